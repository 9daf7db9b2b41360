// Filter descriptions: built by the caller through named parameters and
// handed to FindDeleted, which turns them into the engine's own filter.
#pragma once

#include <boost/any.hpp>
#include <boost/shared_ptr.hpp>

#include <cstdint>

class CZelCheckFile {
public:
    virtual ~CZelCheckFile() = default;
    // Sets a named parameter; unknown names and values of the wrong type are
    // ignored.
    virtual void SetParam(const wchar_t* name, boost::any value) = 0;
    // A new copy of a named parameter's value, or empty when the name is not
    // served.
    virtual boost::shared_ptr<boost::any> GetParam(const wchar_t* name) = 0;
};

// Type codes of CreateCheckFile.
enum ZelCheckFileType : uint32_t {
    ZelCheckFileAnd = 0,        // conjunction group
    ZelCheckFileExtension = 1,  // one extension
    ZelCheckFileExtensions = 2, // list of extensions
    ZelCheckFileSizeRange = 3,  // size range, both bounds exclusive
};

class CZelCheckFileCreator {
public:
    virtual ~CZelCheckFileCreator() = default;
    // A new filter description of the given type code, or empty for an
    // unknown code.
    virtual boost::shared_ptr<CZelCheckFile> CreateCheckFile(uint32_t type) = 0;
};
