#include "filters/EngineCheckFiles.h"

#include "jexcommon/ZelText.h"

bool ZelMatchExtension(const wchar_t* wideName, const char* narrowName, const std::wstring& extension)
{
    auto lower = [](auto c) { return (c >= 'A' && c <= 'Z') ? static_cast<decltype(c)>(c - 'A' + 'a') : c; };
    auto matches = [&](const auto& name, const auto& wanted) {
        size_t dot = name.rfind('.');
        size_t start = dot == std::string::npos ? 0 : dot + 1;
        if (name.size() - start != wanted.size())
            return false;
        for (size_t i = 0; i < wanted.size(); ++i)
            if (lower(name[start + i]) != lower(wanted[i]))
                return false;
        return true;
    };
    if (wideName != nullptr && *wideName != 0)
        return matches(std::wstring(wideName), extension);
    if (narrowName != nullptr && *narrowName != 0)
        return matches(std::string(narrowName), ZelWideToNarrow(extension));
    return false;
}

bool CZelEngineCheckFileSize::Check(const CZelFoundEntryView* entry)
{
    if (entry == nullptr)
        return false;
    return (!m_LowerBound || m_Min < entry->size) && entry->size < m_Max;
}

bool CZelEngineExtCheckFile::Check(const CZelFoundEntryView* entry)
{
    if (entry == nullptr)
        return false;
    return ZelMatchExtension(entry->wideName, entry->narrowName, m_Extension);
}

bool CZelEngineExtsCheckFile::Check(const CZelFoundEntryView* entry)
{
    for (const std::wstring& extension : m_Extensions) {
        m_Extension = extension;
        if (CZelEngineExtCheckFile::Check(entry))
            return true;
    }
    return false;
}

bool CZelEngineStorageCheckFileAnd::Check(const CZelFoundEntryView* entry)
{
    for (const auto& member : m_Members)
        if (member && !member->Check(entry))
            return false;
    return true;
}
