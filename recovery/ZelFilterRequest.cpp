#include "jexrecovery/ZelFilterRequest.h"

#include "jexcommon/ZelText.h"

bool ZelRequestAccepts(const CZelFilterRequest& request, const std::string& name, uint64_t size)
{
    if ((request.hasMinSize && size < request.minSize) || (request.hasMaxSize && size > request.maxSize))
        return false;
    if (!request.byExtension)
        return true;
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    size_t dot = name.rfind('.');
    std::string extension = name.substr(dot == std::string::npos ? 0 : dot + 1);
    for (char& c : extension)
        c = lower(c);
    for (const std::wstring& wanted : request.extensions) {
        std::string text = ZelWideToNarrow(wanted);
        for (char& c : text)
            c = lower(c);
        if (text == extension)
            return true;
    }
    return false;
}

boost::shared_ptr<CZelCheckFile> ZelBuildFilter(CZelCreator& creator, const CZelFilterRequest& request,
                                                std::string& error)
{
    if (request.Empty())
        return boost::shared_ptr<CZelCheckFile>();
    boost::shared_ptr<CZelCheckFileCreator> factory = creator.CreateCheckFileCreator();
    if (!factory) {
        error = "the core makes no filters";
        return boost::shared_ptr<CZelCheckFile>();
    }
    return ZelBuildFilter(*factory, request);
}

boost::shared_ptr<CZelCheckFile> ZelBuildFilter(CZelCheckFileCreator& factory, const CZelFilterRequest& request)
{
    if (request.Empty())
        return boost::shared_ptr<CZelCheckFile>();
    boost::shared_ptr<CZelCheckFile> group = factory.CreateCheckFile(ZelCheckFileAnd);
    if (!group)
        return group;
    if (request.byExtension) {
        // One list: a file of any of the extensions is found.
        boost::shared_ptr<CZelCheckFile> list = factory.CreateCheckFile(ZelCheckFileExtensions);
        for (const std::wstring& extension : request.extensions)
            list->SetParam(L"Add", extension.c_str());
        group->SetParam(L"Add", list);
    }
    if (request.hasMinSize || request.hasMaxSize) {
        // The filter's bounds are exclusive, the user's inclusive.
        boost::shared_ptr<CZelCheckFile> size = factory.CreateCheckFile(ZelCheckFileSizeRange);
        if (request.hasMinSize && request.minSize > 0)
            size->SetParam(L"Min", uint64_t(request.minSize - 1));
        if (request.hasMaxSize && request.maxSize < UINT64_MAX)
            size->SetParam(L"Max", uint64_t(request.maxSize + 1));
        group->SetParam(L"Add", size);
    }
    return group;
}
