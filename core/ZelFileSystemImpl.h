// The file-system object: it owns one engine and serialises Open, Close,
// FindDeleted and the making of iterators on it with its mutex. TBase is
// the interface it is handed out as (CZelFileSystemFAT32 and
// CZelFileSystemNTFS for the two engines the factory names, CZelFileSystem
// for any other).
#pragma once

#include "jexfscore/ZelFileSystem.h"

#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include <cstdint>
#include <string>

class CZelEngine;

template <class TBase>
class CZelFileSystemImplT : public TBase {
public:
    CZelFileSystemImplT(boost::shared_ptr<CZelEngine> engine, uint32_t sectorSize, std::wstring name);

    ZELRESULT Open(const wchar_t* volume, uint32_t bytesPerSector) override;
    void Close() override;
    ZELRESULT FindDeleted(const wchar_t* volume, int32_t flag, boost::shared_ptr<CZelCheckFile> filter) override;
    boost::shared_ptr<CZelEntityIterator> GetIterator() override;
    // The extra iterators are always empty.
    boost::shared_ptr<CZelEntityIterator> GetIteratorEx1() override { return boost::shared_ptr<CZelEntityIterator>(); }
    boost::shared_ptr<CZelEntityIterator> GetIteratorEx2() override { return boost::shared_ptr<CZelEntityIterator>(); }
    boost::shared_ptr<CZelEntityIterator> GetIteratorEx3() override { return boost::shared_ptr<CZelEntityIterator>(); }
    double GetProgress() override;
    void GetReadProgress(uint64_t& read, uint64_t& volumeBytes) override;
    std::wstring GetName() override { return m_Name; }
    void StopSearch() override;
    ZELRESULT FindDeletedEx(const wchar_t* volume, int32_t flag, boost::shared_ptr<CZelCheckFile> filter,
                            CZelScanReport& report) override;

private:
    boost::shared_ptr<CZelEngine> m_pEngine;
    uint32_t m_SectorSize;
    boost::mutex m_Mutex;
    std::wstring m_Name;
};

extern template class CZelFileSystemImplT<CZelFileSystem>;
extern template class CZelFileSystemImplT<CZelFileSystemFAT32>;
extern template class CZelFileSystemImplT<CZelFileSystemNTFS>;
