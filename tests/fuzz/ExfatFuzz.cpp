// libFuzzer target: the input as an exFAT volume, scanned and restored.
#include "EngineFuzz.h"
#include "exfat/ExfatEngine.h"

#include <boost/make_shared.hpp>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    jexfuzz::ScanAndRestore(boost::make_shared<CExfatEngine>(), data, size);
    return 0;
}
