#include "platform/MessageHook.h"

#include "jexfscore/ZelCreator.h"
#include "jexcommon/ZelExport.h"
#include "jexcommon/ZelText.h"
#include "platform/DiagLog.h"

#include <atomic>
#include <cstdio>

namespace {

void WriteToStandardError(const wchar_t* text, const wchar_t* caption)
{
    std::string line = ZelWideToNarrow(caption) + ": " + ZelWideToNarrow(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

std::atomic<ZelMessageHandler> g_Handler{&WriteToStandardError};

} // namespace

void ZelShowMessage(const std::wstring& text, const std::wstring& caption)
{
    ZelLogLine(ZelWideToNarrow(caption) + ": " + ZelWideToNarrow(text));
    g_Handler.load()(text.c_str(), caption.c_str());
}

extern "C" ZEL_EXPORT void JexSetMessageHandler(ZelMessageHandler handler)
{
    g_Handler.store(handler != nullptr ? handler : &WriteToStandardError);
}
