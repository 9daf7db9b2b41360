// The engine filters of both families. The matching is the same for FAT32
// and NTFS; a family says how an entry's names and size are read.
#pragma once

#include "filters/EngineCheckFile.h"
#include "fat32/DirEntryInterface.h"
#include "ntfs/NtfsEntryInterface.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <string>
#include <vector>

struct CZelFat32Family {
    typedef CFat32CheckFile Interface;
    typedef CDirEntryInterface Entry;
    // The 32-bit size, widened without sign.
    static uint64_t Size(const Entry& entry) { return entry.GetSize(); }
    static const wchar_t* WideName(const Entry& entry) { return entry.GetLongName().GetBuffer(); }
    static const char* NarrowName(const Entry& entry) { return entry.GetShortName().GetBuffer(); }
};

struct CZelNtfsFamily {
    typedef CNtfsCheckFile Interface;
    typedef CNtfsEntryInterface Entry;
    static uint64_t Size(const Entry& entry) { return entry.GetSize(); }
    static const wchar_t* WideName(const Entry& entry) { return entry.GetNameW(); }
    static const char* NarrowName(const Entry& entry) { return entry.GetNameA(); }
};

// True when the name's extension (the text after its last ".", or the whole
// name when it has none) equals extension, ignoring the case of ASCII
// letters. The wide name is used when the entry has one, else the narrow
// name; an entry with neither matches nothing.
bool ZelMatchExtension(const wchar_t* wideName, const char* narrowName, const std::wstring& extension);

template <class TFamily>
class CZelEngineCheckFileSizeT : public TFamily::Interface {
public:
    CZelEngineCheckFileSizeT(uint64_t minimum, uint64_t maximum) : m_Min(minimum), m_Max(maximum) {}
    // Both bounds are exclusive.
    bool Check(const typename TFamily::Entry* entry) override
    {
        if (entry == nullptr)
            return false;
        uint64_t size = TFamily::Size(*entry);
        return m_Min < size && size < m_Max;
    }

private:
    uint64_t m_Min;
    uint64_t m_Max;
};

template <class TFamily>
class CZelEngineExtCheckFileT : public TFamily::Interface {
public:
    explicit CZelEngineExtCheckFileT(std::wstring extension) : m_Extension(std::move(extension)) {}
    bool Check(const typename TFamily::Entry* entry) override
    {
        if (entry == nullptr)
            return false;
        return ZelMatchExtension(TFamily::WideName(*entry), TFamily::NarrowName(*entry), m_Extension);
    }

protected:
    std::wstring m_Extension;
};

template <class TFamily>
class CZelEngineExtsCheckFileT : public CZelEngineExtCheckFileT<TFamily> {
public:
    CZelEngineExtsCheckFileT(std::wstring extension, std::vector<std::wstring> extensions)
        : CZelEngineExtCheckFileT<TFamily>(std::move(extension)), m_Extensions(std::move(extensions))
    {
    }
    // Each listed extension in turn becomes the working extension; an empty
    // list matches nothing.
    bool Check(const typename TFamily::Entry* entry) override
    {
        for (const std::wstring& extension : m_Extensions) {
            this->m_Extension = extension;
            if (CZelEngineExtCheckFileT<TFamily>::Check(entry))
                return true;
        }
        return false;
    }

private:
    std::vector<std::wstring> m_Extensions;
};

template <class TFamily>
class CZelEngineStorageCheckFileT : public TFamily::Interface {
public:
    void Add(boost::shared_ptr<typename TFamily::Interface> member) { m_Members.push_back(std::move(member)); }

protected:
    std::vector<boost::shared_ptr<typename TFamily::Interface>> m_Members;
};

template <class TFamily>
class CZelEngineStorageCheckFileAndT : public CZelEngineStorageCheckFileT<TFamily> {
public:
    // Every member must accept; null members are skipped, and an empty group
    // accepts everything.
    bool Check(const typename TFamily::Entry* entry) override
    {
        for (const auto& member : this->m_Members)
            if (member && !member->Check(entry))
                return false;
        return true;
    }
};

// The two families by their own names.
class CZelFat32CheckFileSize : public CZelEngineCheckFileSizeT<CZelFat32Family> {
    using CZelEngineCheckFileSizeT::CZelEngineCheckFileSizeT;
};
class CZelFat32ExtCheckFile : public CZelEngineExtCheckFileT<CZelFat32Family> {
    using CZelEngineExtCheckFileT::CZelEngineExtCheckFileT;
};
class CZelFat32ExtsCheckFile : public CZelEngineExtsCheckFileT<CZelFat32Family> {
    using CZelEngineExtsCheckFileT::CZelEngineExtsCheckFileT;
};
class CZelFat32StorageCheckFileAnd : public CZelEngineStorageCheckFileAndT<CZelFat32Family> {};

class CZelNtfsCheckFileSize : public CZelEngineCheckFileSizeT<CZelNtfsFamily> {
    using CZelEngineCheckFileSizeT::CZelEngineCheckFileSizeT;
};
class CZelNtfsExtCheckFile : public CZelEngineExtCheckFileT<CZelNtfsFamily> {
    using CZelEngineExtCheckFileT::CZelEngineExtCheckFileT;
};
class CZelNtfsExtsCheckFile : public CZelEngineExtsCheckFileT<CZelNtfsFamily> {
    using CZelEngineExtsCheckFileT::CZelEngineExtsCheckFileT;
};
class CZelNtfsStorageCheckFileAnd : public CZelEngineStorageCheckFileAndT<CZelNtfsFamily> {};
