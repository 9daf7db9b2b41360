#include "Registry.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

std::string CZelRegistry::DefaultPath()
{
    const char* explicitPath = std::getenv("JEXVARS_REGISTRY");
    if (explicitPath != nullptr && *explicitPath != 0)
        return explicitPath;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && *config == '/')
        return std::string(config) + "/jexvars/registry";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config/jexvars/registry";
}

std::string CZelRegistry::Fold(const std::string& path)
{
    std::string folded = path;
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

bool CZelRegistry::Load(const std::string& path)
{
    m_Path = path;
    m_Keys.clear();
    std::error_code failed;
    if (!std::filesystem::exists(path, failed))
        return true;
    std::ifstream in(path);
    if (!in)
        return false;
    std::string line;
    Key* current = nullptr;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == ';')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            std::string key = line.substr(1, line.size() - 2);
            CreateKey(key);
            current = &m_Keys[Fold(key)];
            continue;
        }
        size_t equals = line.find('=');
        if (current == nullptr || equals == std::string::npos)
            continue;
        std::string name = line.substr(0, equals);
        current->values[name == "@" ? "" : name] = line.substr(equals + 1);
    }
    return true;
}

bool CZelRegistry::Save() const
{
    std::error_code failed;
    std::filesystem::path folder = std::filesystem::path(m_Path).parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, failed);
    std::string temporary = m_Path + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        if (!out)
            return false;
        for (const auto& entry : m_Keys) {
            out << '[' << entry.second.path << "]\n";
            for (const auto& value : entry.second.values)
                out << (value.first.empty() ? "@" : value.first) << '=' << value.second << '\n';
        }
        if (!out)
            return false;
    }
    // The registry is replaced whole, never left half written.
    return std::rename(temporary.c_str(), m_Path.c_str()) == 0;
}

void CZelRegistry::CreateKey(const std::string& key)
{
    // Every key above it exists too.
    size_t slash = 0;
    while ((slash = key.find('\\', slash + 1)) != std::string::npos) {
        std::string parent = key.substr(0, slash);
        Key& k = m_Keys[Fold(parent)];
        if (k.path.empty())
            k.path = parent;
    }
    Key& k = m_Keys[Fold(key)];
    if (k.path.empty())
        k.path = key;
}

void CZelRegistry::SetValue(const std::string& key, const std::string& name, const std::string& value)
{
    CreateKey(key);
    m_Keys[Fold(key)].values[name] = value;
}

bool CZelRegistry::GetValue(const std::string& key, const std::string& name, std::string& value) const
{
    auto k = m_Keys.find(Fold(key));
    if (k == m_Keys.end())
        return false;
    auto v = k->second.values.find(name);
    if (v == k->second.values.end())
        return false;
    value = v->second;
    return true;
}

void CZelRegistry::DeleteValue(const std::string& key, const std::string& name)
{
    auto k = m_Keys.find(Fold(key));
    if (k != m_Keys.end())
        k->second.values.erase(name);
}

void CZelRegistry::DeleteTree(const std::string& key)
{
    std::string folded = Fold(key);
    std::string below = folded + "\\";
    for (auto it = m_Keys.begin(); it != m_Keys.end();) {
        if (it->first == folded || it->first.compare(0, below.size(), below) == 0)
            it = m_Keys.erase(it);
        else
            ++it;
    }
}

std::string ZelGuidToString(const GUID& g)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}
