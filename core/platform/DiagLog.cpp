#include "platform/DiagLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace {

std::string ChooseLogPath()
{
    const char* explicitPath = std::getenv("JEXFSCORE_LOG");
    if (explicitPath != nullptr && *explicitPath != 0)
        return explicitPath;
    std::string stateHome;
    const char* xdg = std::getenv("XDG_STATE_HOME");
    if (xdg != nullptr && *xdg == '/') {
        stateHome = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home == 0)
            return std::string();
        stateHome = std::string(home) + "/.local/state";
    }
    return stateHome + "/jexfilerecovery/jexfilerecovery.log";
}

class CZelDiagLog {
public:
    CZelDiagLog()
    {
        std::string path = ChooseLogPath();
        if (path.empty())
            return;
        std::error_code ignored;
        std::filesystem::path folder = std::filesystem::path(path).parent_path();
        if (!folder.empty())
            std::filesystem::create_directories(folder, ignored);
        m_pFile = std::fopen(path.c_str(), "we");
    }
    ~CZelDiagLog()
    {
        if (m_pFile != nullptr)
            std::fclose(m_pFile);
    }
    CZelDiagLog(const CZelDiagLog&) = delete;
    CZelDiagLog& operator=(const CZelDiagLog&) = delete;

    void Write(const char* text, size_t length)
    {
        if (m_pFile == nullptr)
            return;
        std::lock_guard<std::mutex> lock(m_Mutex);
        std::fwrite(text, 1, length, m_pFile);
        if (length == 0 || text[length - 1] != '\n')
            std::fputc('\n', m_pFile);
        std::fflush(m_pFile);
    }

private:
    std::FILE* m_pFile = nullptr;
    std::mutex m_Mutex;
};

// Opened during the library's static initialisation, closed at unload.
CZelDiagLog g_Log;

} // namespace

void ZelLogLine(const std::string& text)
{
    g_Log.Write(text.data(), text.size());
}

void ZelLogFormat(const char* format, ...)
{
    char small[512];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int needed = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (needed < 0) {
        va_end(again);
        return;
    }
    if (static_cast<size_t>(needed) < sizeof small) {
        g_Log.Write(small, static_cast<size_t>(needed));
    } else {
        std::string large(static_cast<size_t>(needed) + 1, '\0');
        std::vsnprintf(&large[0], large.size(), format, again);
        g_Log.Write(large.data(), static_cast<size_t>(needed));
    }
    va_end(again);
}
