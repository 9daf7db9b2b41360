// libntfs-3g, with the standard headers its own headers expect before them.
#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <ctime>
#include <sys/stat.h>
#include <sys/types.h>

extern "C" {
#include <ntfs-3g/types.h>
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/device.h>
#include <ntfs-3g/logging.h>
#include <ntfs-3g/mst.h>
#include <ntfs-3g/volume.h>
}

// The library defines these as macros; they would break the standard ones.
#undef min
#undef max
