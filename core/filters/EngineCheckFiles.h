// The engine filters: a size range, one extension, a list of extensions and
// a conjunction group. Each holds what its description held.
#pragma once

#include "filters/EngineCheckFile.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <string>
#include <vector>

// True when the name's extension (the text after its last ".", or the whole
// name when it has none) equals extension, ignoring the case of ASCII
// letters. The wide name is used when the entry has one, else the narrow
// name; an entry with neither matches nothing.
bool ZelMatchExtension(const wchar_t* wideName, const char* narrowName, const std::wstring& extension);

class CZelEngineCheckFileSize : public CZelEngineCheckFile {
public:
    // lowerBound false: sizes from 0 up, the minimum left aside.
    CZelEngineCheckFileSize(uint64_t minimum, uint64_t maximum, bool lowerBound = true)
        : m_Min(minimum), m_Max(maximum), m_LowerBound(lowerBound)
    {
    }
    // Both bounds are exclusive.
    bool Check(const CZelFoundEntryView* entry) override;

private:
    uint64_t m_Min;
    uint64_t m_Max;
    bool m_LowerBound;
};

class CZelEngineExtCheckFile : public CZelEngineCheckFile {
public:
    explicit CZelEngineExtCheckFile(std::wstring extension) : m_Extension(std::move(extension)) {}
    bool Check(const CZelFoundEntryView* entry) override;

protected:
    std::wstring m_Extension;
};

class CZelEngineExtsCheckFile : public CZelEngineExtCheckFile {
public:
    CZelEngineExtsCheckFile(std::wstring extension, std::vector<std::wstring> extensions)
        : CZelEngineExtCheckFile(std::move(extension)), m_Extensions(std::move(extensions))
    {
    }
    // Each listed extension in turn becomes the working extension; an empty
    // list matches nothing.
    bool Check(const CZelFoundEntryView* entry) override;

private:
    std::vector<std::wstring> m_Extensions;
};

class CZelEngineStorageCheckFile : public CZelEngineCheckFile {
public:
    void Add(boost::shared_ptr<CZelEngineCheckFile> member) { m_Members.push_back(std::move(member)); }

protected:
    std::vector<boost::shared_ptr<CZelEngineCheckFile>> m_Members;
};

class CZelEngineStorageCheckFileAnd : public CZelEngineStorageCheckFile {
public:
    // Every member must accept; null members are skipped, and an empty group
    // accepts everything.
    bool Check(const CZelFoundEntryView* entry) override;
};
