// The exFAT file-system object's factory for the engine table.
#pragma once

#include "jexfscore/ZelFileSystem.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>

boost::shared_ptr<CZelFileSystem> ZelCreateExfatFileSystem(uint32_t sectorSize);
