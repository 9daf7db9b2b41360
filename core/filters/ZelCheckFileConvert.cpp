#include "filters/ZelCheckFileConvert.h"

#include "filters/EngineCheckFiles.h"
#include "filters/ZelCheckFileConverters.h"
#include "filters/ZelCheckFileDescriptions.h"

#include <boost/make_shared.hpp>

namespace {

// Codes of one family's converters.
struct CZelFat32Codes {
    static constexpr uint32_t Storage = ZelConvertStorageToFat32And, Ext = ZelConvertExtToFat32,
                              Exts = ZelConvertExtsToFat32, Size = ZelConvertSizeToFat32;
};
struct CZelNtfsCodes {
    static constexpr uint32_t Storage = ZelConvertStorageToNtfsAnd, Ext = ZelConvertExtToNtfs,
                              Exts = ZelConvertExtsToNtfs, Size = ZelConvertSizeToNtfs;
};

// The converter code for a description of the family, by its concrete type
// (the list is tested before the single extension it derives from); false
// for an empty pointer or any other type.
template <class TCodes>
bool ChooseCode(const CZelCheckFile* description, uint32_t& code)
{
    if (dynamic_cast<const CZelCheckFileSize*>(description) != nullptr)
        code = TCodes::Size;
    else if (dynamic_cast<const CZelExtsCheckFile*>(description) != nullptr)
        code = TCodes::Exts;
    else if (dynamic_cast<const CZelExtCheckFile*>(description) != nullptr)
        code = TCodes::Ext;
    else if (dynamic_cast<const CZelStorageCheckFile*>(description) != nullptr)
        code = TCodes::Storage;
    else
        return false;
    return true;
}

template <class TFamily>
boost::shared_ptr<boost::any> Wrap(boost::shared_ptr<typename TFamily::Interface> filter)
{
    return boost::make_shared<boost::any>(filter);
}

template <class TFamily, class TSize>
class CZelCheckFileSizeToT : public CZelCheckFileToFSCheckFile {
public:
    boost::shared_ptr<boost::any> Convert(boost::shared_ptr<CZelCheckFile> description) override
    {
        auto size = boost::dynamic_pointer_cast<CZelCheckFileSize>(description);
        if (!size)
            return boost::shared_ptr<boost::any>();
        return Wrap<TFamily>(boost::make_shared<TSize>(size->GetMin(), size->GetMax()));
    }
};

template <class TFamily, class TExt>
class CZelCheckFileExtToT : public CZelCheckFileToFSCheckFile {
public:
    boost::shared_ptr<boost::any> Convert(boost::shared_ptr<CZelCheckFile> description) override
    {
        auto ext = boost::dynamic_pointer_cast<CZelExtCheckFile>(description);
        if (!ext)
            return boost::shared_ptr<boost::any>();
        return Wrap<TFamily>(boost::make_shared<TExt>(ext->GetExtension()));
    }
};

template <class TFamily, class TExts>
class CZelCheckFileExtsToT : public CZelCheckFileToFSCheckFile {
public:
    boost::shared_ptr<boost::any> Convert(boost::shared_ptr<CZelCheckFile> description) override
    {
        auto exts = boost::dynamic_pointer_cast<CZelExtsCheckFile>(description);
        if (!exts)
            return boost::shared_ptr<boost::any>();
        return Wrap<TFamily>(boost::make_shared<TExts>(exts->GetExtension(), exts->GetExtensions()));
    }
};

// Converts a description with the converter its type calls for; empty when
// it does not convert.
template <class TFamily, class TCodes>
boost::shared_ptr<typename TFamily::Interface> ConvertDescription(const boost::shared_ptr<CZelCheckFile>& description)
{
    typedef boost::shared_ptr<typename TFamily::Interface> Filter;
    uint32_t code = 0;
    if (!ChooseCode<TCodes>(description.get(), code))
        return Filter();
    auto converter = ZelCreateCheckFileConverter(code);
    if (!converter)
        return Filter();
    auto converted = converter->Convert(description);
    try {
        if (converted)
            return boost::any_cast<Filter>(*converted);
    } catch (const boost::bad_any_cast&) {
    }
    // The scan runs without a filter.
    return Filter();
}

template <class TFamily, class TCodes, class TAnd>
class CZelCheckFileStorageToAndT : public CZelCheckFileToFSCheckFile {
public:
    boost::shared_ptr<boost::any> Convert(boost::shared_ptr<CZelCheckFile> description) override
    {
        auto group = boost::dynamic_pointer_cast<CZelStorageCheckFile>(description);
        if (!group)
            return boost::shared_ptr<boost::any>();
        auto result = boost::make_shared<TAnd>();
        for (const auto& member : group->GetMembers()) {
            // Empty members and nested groups are skipped.
            if (!member || dynamic_cast<const CZelStorageCheckFile*>(member.get()) != nullptr)
                continue;
            auto filter = ConvertDescription<TFamily, TCodes>(member);
            if (filter)
                result->Add(filter);
        }
        return Wrap<TFamily>(result);
    }
};

typedef CZelCheckFileStorageToAndT<CZelNtfsFamily, CZelNtfsCodes, CZelNtfsStorageCheckFileAnd>
    CZelCheckFileStorageToNtfsAnd;
typedef CZelCheckFileExtToT<CZelNtfsFamily, CZelNtfsExtCheckFile> CZelCheckFileExtToNtfs;
typedef CZelCheckFileExtsToT<CZelNtfsFamily, CZelNtfsExtsCheckFile> CZelCheckFileExtsToNtfs;
typedef CZelCheckFileSizeToT<CZelNtfsFamily, CZelNtfsCheckFileSize> CZelCheckFileSizeToNtfs;
typedef CZelCheckFileStorageToAndT<CZelFat32Family, CZelFat32Codes, CZelFat32StorageCheckFileAnd>
    CZelCheckFileStorageToFat32And;
typedef CZelCheckFileExtToT<CZelFat32Family, CZelFat32ExtCheckFile> CZelCheckFileExtToFat32;
typedef CZelCheckFileExtsToT<CZelFat32Family, CZelFat32ExtsCheckFile> CZelCheckFileExtsToFat32;
typedef CZelCheckFileSizeToT<CZelFat32Family, CZelFat32CheckFileSize> CZelCheckFileSizeToFat32;

} // namespace

boost::shared_ptr<CZelCheckFileToFSCheckFile> ZelCreateCheckFileConverter(uint32_t code)
{
    switch (code) {
    case ZelConvertStorageToNtfsAnd:
        return boost::make_shared<CZelCheckFileStorageToNtfsAnd>();
    case ZelConvertExtToNtfs:
        return boost::make_shared<CZelCheckFileExtToNtfs>();
    case ZelConvertExtsToNtfs:
        return boost::make_shared<CZelCheckFileExtsToNtfs>();
    case ZelConvertSizeToNtfs:
        return boost::make_shared<CZelCheckFileSizeToNtfs>();
    case ZelConvertStorageToFat32And:
        return boost::make_shared<CZelCheckFileStorageToFat32And>();
    case ZelConvertExtToFat32:
        return boost::make_shared<CZelCheckFileExtToFat32>();
    case ZelConvertExtsToFat32:
        return boost::make_shared<CZelCheckFileExtsToFat32>();
    case ZelConvertSizeToFat32:
        return boost::make_shared<CZelCheckFileSizeToFat32>();
    default:
        return boost::shared_ptr<CZelCheckFileToFSCheckFile>();
    }
}

boost::shared_ptr<CFat32CheckFile> ZelConvertForFat32(const boost::shared_ptr<CZelCheckFile>& description)
{
    return ConvertDescription<CZelFat32Family, CZelFat32Codes>(description);
}

boost::shared_ptr<CNtfsCheckFile> ZelConvertForNtfs(const boost::shared_ptr<CZelCheckFile>& description)
{
    return ConvertDescription<CZelNtfsFamily, CZelNtfsCodes>(description);
}
