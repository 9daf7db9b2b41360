#include "filters/ZelCheckFileDescriptions.h"

#include <boost/make_shared.hpp>

#include <cwchar>

namespace {

bool Is(const wchar_t* name, const wchar_t* expected)
{
    return name != nullptr && std::wcscmp(name, expected) == 0;
}

// An unsigned 64-bit value; values of any other type give false.
bool AsSize(const boost::any& value, uint64_t& size)
{
    if (const uint64_t* v = boost::any_cast<uint64_t>(&value)) {
        size = *v;
        return true;
    }
    if (const unsigned long long* v = boost::any_cast<unsigned long long>(&value)) {
        size = *v;
        return true;
    }
    return false;
}

// A wide text pointer; null (and values of any other type) give null.
const wchar_t* AsText(const boost::any& value)
{
    if (const wchar_t* const* v = boost::any_cast<const wchar_t*>(&value))
        return *v;
    if (wchar_t* const* v = boost::any_cast<wchar_t*>(&value))
        return *v;
    return nullptr;
}

template <class T>
boost::shared_ptr<boost::any> Answer(const T& value)
{
    return boost::make_shared<boost::any>(value);
}

} // namespace

void CZelCheckFileSize::SetParam(const wchar_t* name, boost::any value)
{
    uint64_t size = 0;
    if (Is(name, L"Min") && AsSize(value, size)) {
        m_Min = size;
        m_HasMin = true;
    }
    else if (Is(name, L"Max") && AsSize(value, size))
        m_Max = size;
}

boost::shared_ptr<boost::any> CZelCheckFileSize::GetParam(const wchar_t* name)
{
    if (Is(name, L"Min"))
        return Answer(m_Min);
    if (Is(name, L"Max"))
        return Answer(m_Max);
    return boost::shared_ptr<boost::any>();
}

void CZelExtCheckFile::SetParam(const wchar_t* name, boost::any value)
{
    const wchar_t* text = AsText(value);
    if (Is(name, L"Extension") && text != nullptr)
        m_Extension = text;
}

boost::shared_ptr<boost::any> CZelExtCheckFile::GetParam(const wchar_t* name)
{
    if (Is(name, L"Extension"))
        return Answer(m_Extension);
    return boost::shared_ptr<boost::any>();
}

void CZelExtsCheckFile::SetParam(const wchar_t* name, boost::any value)
{
    if (Is(name, L"Add")) {
        const wchar_t* text = AsText(value);
        if (text != nullptr)
            m_Extensions.push_back(text);
    } else if (Is(name, L"RemoveAll")) {
        m_Extensions.clear();
    }
}

boost::shared_ptr<boost::any> CZelExtsCheckFile::GetParam(const wchar_t* /*name*/)
{
    return boost::shared_ptr<boost::any>();
}

void CZelStorageCheckFile::SetParam(const wchar_t* name, boost::any value)
{
    if (Is(name, L"Add")) {
        if (const boost::shared_ptr<CZelCheckFile>* member = boost::any_cast<boost::shared_ptr<CZelCheckFile>>(&value))
            m_Members.push_back(*member);
    } else if (Is(name, L"RemoveAll")) {
        m_Members.clear();
    }
}

boost::shared_ptr<boost::any> CZelStorageCheckFile::GetParam(const wchar_t* /*name*/)
{
    return boost::shared_ptr<boost::any>();
}

boost::shared_ptr<CZelCheckFile> CZelCheckFileCreatorImpl::CreateCheckFile(uint32_t type)
{
    switch (type) {
    case ZelCheckFileAnd:
        return boost::make_shared<CZelStorageCheckFileAnd>();
    case ZelCheckFileExtension:
        return boost::make_shared<CZelExtCheckFile>();
    case ZelCheckFileExtensions:
        return boost::make_shared<CZelExtsCheckFile>();
    case ZelCheckFileSizeRange:
        return boost::make_shared<CZelCheckFileSize>();
    default:
        return boost::shared_ptr<CZelCheckFile>();
    }
}
