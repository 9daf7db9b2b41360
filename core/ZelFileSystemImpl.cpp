#include "ZelFileSystemImpl.h"

#include "fat32/Fat32Wrapper.h"
#include "fat32/ZelIteratorFat32Standart.h"
#include "filters/ZelCheckFileConvert.h"
#include "jexfscore/ZelText.h"
#include "ntfs/NtfsUndeleteWrapper.h"
#include "ntfs/ZelIteratorNtfsStandart.h"
#include "platform/MessageHook.h"
#include "platform/VolumePath.h"

#include <boost/make_shared.hpp>

boost::shared_ptr<CFat32Interface> CZelFat32Traits::CreateEngine()
{
    return boost::make_shared<CFat32Wrapper>();
}

boost::shared_ptr<CFat32CheckFile> CZelFat32Traits::ConvertFilter(const boost::shared_ptr<CZelCheckFile>& filter)
{
    return ZelConvertForFat32(filter);
}

boost::shared_ptr<CZelEntityIterator> CZelFat32Traits::CreateIterator(const boost::shared_ptr<CFat32Interface>& engine)
{
    return boost::make_shared<CZelIteratorFat32Standart>(engine);
}

boost::shared_ptr<CNtfsInterface> CZelNtfsTraits::CreateEngine()
{
    return boost::make_shared<CNtfsUndeleteWrapper>();
}

boost::shared_ptr<CNtfsCheckFile> CZelNtfsTraits::ConvertFilter(const boost::shared_ptr<CZelCheckFile>& filter)
{
    return ZelConvertForNtfs(filter);
}

boost::shared_ptr<CZelEntityIterator> CZelNtfsTraits::CreateIterator(const boost::shared_ptr<CNtfsInterface>& engine)
{
    return boost::make_shared<CZelIteratorNtfsStandart>(engine);
}

namespace {

// The engine works on the device path; a mount point or a path with a
// trailing "/" is turned into it, other texts are passed on unchanged.
std::string EnginePath(const wchar_t* volume)
{
    std::string narrow = ZelWideToNarrow(volume);
    CZelVolumePath resolved = ZelResolveVolumePath(narrow);
    return resolved.device.empty() ? narrow : resolved.device;
}

} // namespace

template <class TBase, class TTraits>
ZELRESULT CZelFileSystemImplT<TBase, TTraits>::Open(const wchar_t* volume, uint32_t bytesPerSector)
{
    boost::mutex::scoped_lock lock(m_Mutex);
    if (!m_pEngine)
        return ZEL_E_ENGINE;
    if (bytesPerSector == 0)
        bytesPerSector = m_SectorSize;
    // A volume the engine cannot open shows as an empty result of the scan.
    m_pEngine->Open(EnginePath(volume).c_str(), static_cast<int32_t>(bytesPerSector));
    return ZEL_S_OK;
}

template <class TBase, class TTraits>
void CZelFileSystemImplT<TBase, TTraits>::Close()
{
    boost::mutex::scoped_lock lock(m_Mutex);
    if (m_pEngine)
        m_pEngine->Close();
}

template <class TBase, class TTraits>
ZELRESULT CZelFileSystemImplT<TBase, TTraits>::FindDeleted(const wchar_t* volume, int32_t /*flag*/,
                                                          boost::shared_ptr<CZelCheckFile> filter)
{
    boost::mutex::scoped_lock lock(m_Mutex);
    if (!m_pEngine)
        return ZEL_E_ENGINE;
    // The engine filter lives for the whole scan.
    auto engineFilter = TTraits::ConvertFilter(filter);
    if (m_pEngine->FindDeleted(EnginePath(volume).c_str(), 1, engineFilter.get()) != 0) {
        // Callers that only look at the result see an empty scan; the user is
        // told why nothing could be scanned.
        std::string reason = m_pEngine->GetLastError();
        if (!reason.empty())
            ZelShowMessage(ZelNarrowToWide(reason), kZelTroubleCaption);
    }
    return ZEL_S_OK;
}

template <class TBase, class TTraits>
boost::shared_ptr<CZelEntityIterator> CZelFileSystemImplT<TBase, TTraits>::GetIterator()
{
    if (!m_pEngine)
        return boost::shared_ptr<CZelEntityIterator>();
    if (TTraits::LockIterator) {
        boost::mutex::scoped_lock lock(m_Mutex);
        return TTraits::CreateIterator(m_pEngine);
    }
    return TTraits::CreateIterator(m_pEngine);
}

template <class TBase, class TTraits>
double CZelFileSystemImplT<TBase, TTraits>::GetProgress()
{
    return m_pEngine ? m_pEngine->GetProgress() : 0.0;
}

CZelFileSystemFAT32Impl::CZelFileSystemFAT32Impl(uint32_t sectorSize)
    : CZelFileSystemImplT<CZelFileSystemFAT32, CZelFat32Traits>(sectorSize, L"FAT32")
{
}

CZelFileSystemNTFSImpl::CZelFileSystemNTFSImpl(uint32_t sectorSize)
    : CZelFileSystemImplT<CZelFileSystemNTFS, CZelNtfsTraits>(sectorSize, L"NTFS")
{
}

template class CZelFileSystemImplT<CZelFileSystemFAT32, CZelFat32Traits>;
template class CZelFileSystemImplT<CZelFileSystemNTFS, CZelNtfsTraits>;
