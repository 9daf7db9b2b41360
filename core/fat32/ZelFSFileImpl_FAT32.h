// The found-file object of the FAT32 engine.
#pragma once

#include "ZelFSEntryImpl.h"
#include "fat32/Fat32Interface.h"

template <class TBase>
class CZelFSFileImpl_FAT32 : public CZelFSFileEngineImpl<TBase, CFat32Interface, CDirEntryInterface> {
public:
    using CZelFSFileEngineImpl<TBase, CFat32Interface, CDirEntryInterface>::CZelFSFileEngineImpl;
};
