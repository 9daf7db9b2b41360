// The FAT32 and NTFS file-system objects: each owns one engine object and
// serialises Open, Close and FindDeleted on it with its mutex.
#pragma once

#include "jexfscore/ZelFileSystem.h"

#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include <cstdint>
#include <string>

class CFat32Interface;
class CNtfsInterface;

// Common body of both file-system objects. TTraits names the engine's
// interface (Engine) and supplies CreateEngine, ConvertFilter,
// CreateIterator and LockIterator (whether GetIterator takes the mutex).
template <class TBase, class TTraits>
class CZelFileSystemImplT : public TBase {
public:
    typedef typename TTraits::Engine Engine;

    CZelFileSystemImplT(uint32_t sectorSize, const wchar_t* name)
        : m_pEngine(TTraits::CreateEngine()), m_SectorSize(sectorSize), m_Name(name)
    {
    }

    ZELRESULT Open(const wchar_t* volume, uint32_t bytesPerSector) override;
    void Close() override;
    ZELRESULT FindDeleted(const wchar_t* volume, int32_t flag, boost::shared_ptr<CZelCheckFile> filter) override;
    boost::shared_ptr<CZelEntityIterator> GetIterator() override;
    // The extra iterators are always empty.
    boost::shared_ptr<CZelEntityIterator> GetIteratorEx1() override { return boost::shared_ptr<CZelEntityIterator>(); }
    boost::shared_ptr<CZelEntityIterator> GetIteratorEx2() override { return boost::shared_ptr<CZelEntityIterator>(); }
    boost::shared_ptr<CZelEntityIterator> GetIteratorEx3() override { return boost::shared_ptr<CZelEntityIterator>(); }
    double GetProgress() override;
    std::wstring GetName() override { return m_Name; }

private:
    boost::shared_ptr<Engine> m_pEngine;
    uint32_t m_SectorSize;
    boost::mutex m_Mutex;
    std::wstring m_Name;
};

class CZelEntityIterator;
class CFat32CheckFile;
class CNtfsCheckFile;

struct CZelFat32Traits {
    typedef CFat32Interface Engine;
    static constexpr bool LockIterator = false;
    static boost::shared_ptr<Engine> CreateEngine();
    static boost::shared_ptr<CFat32CheckFile> ConvertFilter(const boost::shared_ptr<CZelCheckFile>& filter);
    static boost::shared_ptr<CZelEntityIterator> CreateIterator(const boost::shared_ptr<Engine>& engine);
};

struct CZelNtfsTraits {
    typedef CNtfsInterface Engine;
    static constexpr bool LockIterator = true;
    static boost::shared_ptr<Engine> CreateEngine();
    static boost::shared_ptr<CNtfsCheckFile> ConvertFilter(const boost::shared_ptr<CZelCheckFile>& filter);
    static boost::shared_ptr<CZelEntityIterator> CreateIterator(const boost::shared_ptr<Engine>& engine);
};

class CZelFileSystemFAT32Impl : public CZelFileSystemImplT<CZelFileSystemFAT32, CZelFat32Traits> {
public:
    explicit CZelFileSystemFAT32Impl(uint32_t sectorSize);
};

class CZelFileSystemNTFSImpl : public CZelFileSystemImplT<CZelFileSystemNTFS, CZelNtfsTraits> {
public:
    explicit CZelFileSystemNTFSImpl(uint32_t sectorSize);
};
