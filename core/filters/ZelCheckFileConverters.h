// Converters from filter descriptions to engine filters, one per description
// kind and engine family, chosen by converter code.
#pragma once

#include "jexfscore/ZelCheckFile.h"

#include <boost/any.hpp>
#include <boost/shared_ptr.hpp>

#include <cstdint>

class CZelCheckFileToFSCheckFile {
public:
    virtual ~CZelCheckFileToFSCheckFile() = default;
    // A boost::any holding a shared pointer to the family's engine filter
    // interface; empty when the description is not of this converter's kind.
    virtual boost::shared_ptr<boost::any> Convert(boost::shared_ptr<CZelCheckFile> description) = 0;
};

// Converter codes.
enum ZelConverterCode : uint32_t {
    ZelConvertStorageToNtfsAnd = 0,
    ZelConvertExtToNtfs = 1,
    ZelConvertExtsToNtfs = 2,
    ZelConvertSizeToNtfs = 3,
    ZelConvertStorageToFat32And = 4,
    ZelConvertExtToFat32 = 5,
    ZelConvertExtsToFat32 = 6,
    ZelConvertSizeToFat32 = 7,
};

// A new converter for the code; empty for an unknown code.
boost::shared_ptr<CZelCheckFileToFSCheckFile> ZelCreateCheckFileConverter(uint32_t code);
