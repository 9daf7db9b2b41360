// Turns a filter description into an engine filter. One converter serves
// each kind of description; an empty description, or one that does not
// convert, gives no filter.
#pragma once

#include "filters/EngineCheckFile.h"
#include "jexfscore/ZelCheckFile.h"

#include <boost/any.hpp>
#include <boost/shared_ptr.hpp>

#include <cstdint>

class CZelCheckFileToFSCheckFile {
public:
    virtual ~CZelCheckFileToFSCheckFile() = default;
    // A boost::any holding a shared pointer to CZelEngineCheckFile; empty
    // when the description is not of this converter's kind.
    virtual boost::shared_ptr<boost::any> Convert(boost::shared_ptr<CZelCheckFile> description) = 0;
};

// Converter codes.
enum ZelConverterCode : uint32_t {
    ZelConvertStorageToAnd = 0,
    ZelConvertExt = 1,
    ZelConvertExts = 2,
    ZelConvertSize = 3,
};

// A new converter for the code; empty for an unknown code.
boost::shared_ptr<CZelCheckFileToFSCheckFile> ZelCreateCheckFileConverter(uint32_t code);

// The engine filter of a description, chosen by its type (a size range, an
// extension list, one extension, a group; the list is tested before the
// single extension it derives from). Empty for an empty description and for
// one that does not convert: the scan then runs without a filter.
boost::shared_ptr<CZelEngineCheckFile> ZelConvertForEngine(const boost::shared_ptr<CZelCheckFile>& description);
