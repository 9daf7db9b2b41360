// The found-file object of the NTFS engine.
#pragma once

#include "ZelFSEntryImpl.h"
#include "ntfs/NtfsInterface.h"

template <class TBase>
class CZelFSFileImpl_NTFS : public CZelFSFileEngineImpl<TBase, CNtfsInterface, CNtfsEntryInterface> {
public:
    using CZelFSFileEngineImpl<TBase, CNtfsInterface, CNtfsEntryInterface>::CZelFSFileEngineImpl;
};
