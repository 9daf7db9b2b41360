// Loading the project's libraries at run time. A program links against none
// of them: it loads each from its own folder (never the current directory)
// and binds the exports it needs by name.
#pragma once

#include <string>

// The folder of the running executable, links resolved; empty when it cannot
// be found.
std::string ZelProgramFolder();

// One loaded library. It stays loaded until the process ends, because
// objects it created may outlive whoever loaded it.
class CZelSharedLibrary {
public:
    // Loads folder + "/" + fileName. On failure returns false with a message
    // that names the library and the reason.
    bool Load(const std::string& folder, const std::string& fileName, std::string& error);
    bool IsLoaded() const { return m_Handle != nullptr; }
    // The address of an export, or null with a message naming it.
    void* Bind(const char* exportName, std::string& error) const;
    const std::string& Path() const { return m_Path; }

private:
    void* m_Handle = nullptr;
    std::string m_Path;
};
