// libFuzzer target: the input as a FAT volume (FAT12, FAT16 or FAT32),
// scanned and restored.
#include "EngineFuzz.h"
#include "fat32/Fat32Wrapper.h"

#include <boost/make_shared.hpp>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    jexfuzz::ScanAndRestore(boost::make_shared<CFat32Wrapper>(), data, size);
    return 0;
}
