#include "filters/ZelCheckFileConvert.h"

#include "filters/EngineCheckFiles.h"
#include "filters/ZelCheckFileDescriptions.h"

#include <boost/make_shared.hpp>

namespace {

typedef boost::shared_ptr<CZelEngineCheckFile> Filter;

// The converter code for a description by its concrete type; false for an
// empty pointer or any other type.
bool ChooseCode(const CZelCheckFile* description, uint32_t& code)
{
    if (dynamic_cast<const CZelCheckFileSize*>(description) != nullptr)
        code = ZelConvertSize;
    else if (dynamic_cast<const CZelExtsCheckFile*>(description) != nullptr)
        code = ZelConvertExts;
    else if (dynamic_cast<const CZelExtCheckFile*>(description) != nullptr)
        code = ZelConvertExt;
    else if (dynamic_cast<const CZelStorageCheckFile*>(description) != nullptr)
        code = ZelConvertStorageToAnd;
    else
        return false;
    return true;
}

boost::shared_ptr<boost::any> Wrap(Filter filter)
{
    return boost::make_shared<boost::any>(filter);
}

class CZelCheckFileSizeTo : public CZelCheckFileToFSCheckFile {
public:
    boost::shared_ptr<boost::any> Convert(boost::shared_ptr<CZelCheckFile> description) override
    {
        auto size = boost::dynamic_pointer_cast<CZelCheckFileSize>(description);
        if (!size)
            return boost::shared_ptr<boost::any>();
        return Wrap(boost::make_shared<CZelEngineCheckFileSize>(size->GetMin(), size->GetMax(), size->HasMin()));
    }
};

class CZelCheckFileExtTo : public CZelCheckFileToFSCheckFile {
public:
    boost::shared_ptr<boost::any> Convert(boost::shared_ptr<CZelCheckFile> description) override
    {
        auto ext = boost::dynamic_pointer_cast<CZelExtCheckFile>(description);
        if (!ext)
            return boost::shared_ptr<boost::any>();
        return Wrap(boost::make_shared<CZelEngineExtCheckFile>(ext->GetExtension()));
    }
};

class CZelCheckFileExtsTo : public CZelCheckFileToFSCheckFile {
public:
    boost::shared_ptr<boost::any> Convert(boost::shared_ptr<CZelCheckFile> description) override
    {
        auto exts = boost::dynamic_pointer_cast<CZelExtsCheckFile>(description);
        if (!exts)
            return boost::shared_ptr<boost::any>();
        return Wrap(boost::make_shared<CZelEngineExtsCheckFile>(exts->GetExtension(), exts->GetExtensions()));
    }
};

class CZelCheckFileStorageToAnd : public CZelCheckFileToFSCheckFile {
public:
    boost::shared_ptr<boost::any> Convert(boost::shared_ptr<CZelCheckFile> description) override
    {
        auto group = boost::dynamic_pointer_cast<CZelStorageCheckFile>(description);
        if (!group)
            return boost::shared_ptr<boost::any>();
        auto result = boost::make_shared<CZelEngineStorageCheckFileAnd>();
        for (const auto& member : group->GetMembers()) {
            // Empty members and nested groups are skipped.
            if (!member || dynamic_cast<const CZelStorageCheckFile*>(member.get()) != nullptr)
                continue;
            Filter filter = ZelConvertForEngine(member);
            if (filter)
                result->Add(filter);
        }
        return Wrap(result);
    }
};

} // namespace

boost::shared_ptr<CZelCheckFileToFSCheckFile> ZelCreateCheckFileConverter(uint32_t code)
{
    switch (code) {
    case ZelConvertStorageToAnd:
        return boost::make_shared<CZelCheckFileStorageToAnd>();
    case ZelConvertExt:
        return boost::make_shared<CZelCheckFileExtTo>();
    case ZelConvertExts:
        return boost::make_shared<CZelCheckFileExtsTo>();
    case ZelConvertSize:
        return boost::make_shared<CZelCheckFileSizeTo>();
    default:
        return boost::shared_ptr<CZelCheckFileToFSCheckFile>();
    }
}

boost::shared_ptr<CZelEngineCheckFile> ZelConvertForEngine(const boost::shared_ptr<CZelCheckFile>& description)
{
    uint32_t code = 0;
    if (!ChooseCode(description.get(), code))
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
    return Filter();
}
