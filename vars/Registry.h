// The file-backed registry that stands in for the system registry: keys
// under HKCR with a default value and named string values, kept in the file
// $JEXVARS_REGISTRY, else ${XDG_CONFIG_HOME:-$HOME/.config}/jexvars/registry.
// Key names compare ignoring the case of ASCII letters, as on Windows.
#pragma once

#include "jexvars/ZelCom.h"

#include <map>
#include <string>

class CZelRegistry {
public:
    static std::string DefaultPath();

    // Reads the file at path; a missing file is an empty registry. False
    // when the file exists but cannot be read.
    bool Load(const std::string& path);
    // Writes the file back (folder created); false on failure.
    bool Save() const;

    void CreateKey(const std::string& key);
    // An empty name is the key's default value. The key is created.
    void SetValue(const std::string& key, const std::string& name, const std::string& value);
    bool GetValue(const std::string& key, const std::string& name, std::string& value) const;
    void DeleteValue(const std::string& key, const std::string& name);
    // Removes the key with every key below it.
    void DeleteTree(const std::string& key);

private:
    struct Key {
        std::string path;
        std::map<std::string, std::string> values;
    };
    static std::string Fold(const std::string& path);

    std::string m_Path;
    std::map<std::string, Key> m_Keys;
};

// "{1BAC8AE3-F338-4D59-A8A4-CFEBCBEB4AEE}"
std::string ZelGuidToString(const GUID& guid);
