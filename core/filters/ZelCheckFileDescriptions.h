// Filter descriptions: what a caller builds through CreateCheckFile and
// named parameters. They know nothing of file systems; a scan turns them
// into engine filters.
#pragma once

#include "jexfscore/ZelCheckFile.h"

#include <cstdint>
#include <string>
#include <vector>

// Accepts sizes strictly between the minimum and the maximum. Without a
// "Min" given, sizes from 0 up: an empty file is found by a range that
// names no lower bound.
class CZelCheckFileSize : public CZelCheckFile {
public:
    void SetParam(const wchar_t* name, boost::any value) override;
    boost::shared_ptr<boost::any> GetParam(const wchar_t* name) override;
    uint64_t GetMin() const { return m_Min; }
    uint64_t GetMax() const { return m_Max; }
    bool HasMin() const { return m_HasMin; }

private:
    bool m_HasMin = false;
    uint64_t m_Min = 0;
    uint64_t m_Max = UINT64_MAX;
};

// Accepts names with one extension (stored without a dot).
class CZelExtCheckFile : public CZelCheckFile {
public:
    void SetParam(const wchar_t* name, boost::any value) override;
    boost::shared_ptr<boost::any> GetParam(const wchar_t* name) override;
    const std::wstring& GetExtension() const { return m_Extension; }

protected:
    std::wstring m_Extension;
};

// Accepts names with any of a list of extensions.
class CZelExtsCheckFile : public CZelExtCheckFile {
public:
    void SetParam(const wchar_t* name, boost::any value) override;
    boost::shared_ptr<boost::any> GetParam(const wchar_t* name) override;
    const std::vector<std::wstring>& GetExtensions() const { return m_Extensions; }

private:
    std::vector<std::wstring> m_Extensions;
};

// A group of descriptions.
class CZelStorageCheckFile : public CZelCheckFile {
public:
    void SetParam(const wchar_t* name, boost::any value) override;
    boost::shared_ptr<boost::any> GetParam(const wchar_t* name) override;
    const std::vector<boost::shared_ptr<CZelCheckFile>>& GetMembers() const { return m_Members; }

protected:
    std::vector<boost::shared_ptr<CZelCheckFile>> m_Members;
};

// Accepts what every member accepts.
class CZelStorageCheckFileAnd : public CZelStorageCheckFile {};

class CZelCheckFileCreatorImpl : public CZelCheckFileCreator {
public:
    boost::shared_ptr<CZelCheckFile> CreateCheckFile(uint32_t type) override;
};
