// libFuzzer target: the input as an NTFS volume, read by libntfs-3g through
// the same source, scanned and restored.
#include "EngineFuzz.h"
#include "ntfs/NtfsUndeleteWrapper.h"

#include <boost/make_shared.hpp>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    jexfuzz::ScanAndRestore(boost::make_shared<CNtfsUndeleteWrapper>(), data, size);
    return 0;
}
