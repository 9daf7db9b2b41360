#include "ZelFileSystemImpl.h"

#include "engine/ZelEngine.h"
#include "filters/ZelCheckFileConvert.h"
#include "jexcommon/ZelText.h"
#include "jexplatform/VolumePath.h"
#include "platform/MessageHook.h"

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

template <class TBase>
CZelFileSystemImplT<TBase>::CZelFileSystemImplT(boost::shared_ptr<CZelEngine> engine, uint32_t sectorSize,
                                                std::wstring name)
    : m_pEngine(std::move(engine)), m_SectorSize(sectorSize), m_Name(std::move(name))
{
}

template <class TBase>
ZELRESULT CZelFileSystemImplT<TBase>::Open(const wchar_t* volume, uint32_t bytesPerSector)
{
    boost::mutex::scoped_lock lock(m_Mutex);
    if (!m_pEngine)
        return ZEL_E_ENGINE;
    if (bytesPerSector == 0)
        bytesPerSector = m_SectorSize;
    // A volume the engine cannot open shows as a failed scan.
    m_pEngine->Open(EnginePath(volume).c_str(), static_cast<int32_t>(bytesPerSector));
    return ZEL_S_OK;
}

template <class TBase>
void CZelFileSystemImplT<TBase>::Close()
{
    boost::mutex::scoped_lock lock(m_Mutex);
    if (m_pEngine)
        m_pEngine->Close();
}

template <class TBase>
ZELRESULT CZelFileSystemImplT<TBase>::FindDeletedEx(const wchar_t* volume, int32_t flag,
                                                    boost::shared_ptr<CZelCheckFile> filter, CZelScanReport& report)
{
    report = CZelScanReport();
    boost::mutex::scoped_lock lock(m_Mutex);
    if (!m_pEngine)
        return ZEL_E_ENGINE;
    // The engine filter lives for the whole scan.
    auto engineFilter = ZelConvertForEngine(filter);
    const bool deep = (flag & kZelSearchDeep) != 0;
    m_pEngine->SetListStreams((flag & kZelSearchStreams) != 0);
    int32_t result = m_pEngine->FindDeleted(EnginePath(volume).c_str(), 1, engineFilter.get(), deep);
    report.unreadableStretches = m_pEngine->GetUnreadableCount();
    report.unreadableBytes = m_pEngine->GetUnreadableBytes();
    report.bytesRead = m_pEngine->GetBytesRead();
    report.stopped = m_pEngine->WasStopped();
    report.notice = ZelNarrowToWide(m_pEngine->GetNotice());
    if (result != 0) {
        report.reason = ZelNarrowToWide(m_pEngine->GetLastError());
        return ZEL_E_ENGINE;
    }
    return ZEL_S_OK;
}

template <class TBase>
void CZelFileSystemImplT<TBase>::StopSearch()
{
    // Not under the object's mutex: the search holds it.
    if (m_pEngine)
        m_pEngine->RequestStop();
}

template <class TBase>
ZELRESULT CZelFileSystemImplT<TBase>::FindDeleted(const wchar_t* volume, int32_t flag,
                                                  boost::shared_ptr<CZelCheckFile> filter)
{
    if (!m_pEngine)
        return ZEL_E_ENGINE;
    CZelScanReport report;
    // Callers that only look at the result see an empty scan; the user is
    // told why nothing could be scanned. It is the quick search.
    if (FindDeletedEx(volume, flag & ~(kZelSearchDeep | kZelSearchStreams), filter, report) != ZEL_S_OK && !report.reason.empty())
        ZelShowMessage(report.reason, kZelTroubleCaption);
    return ZEL_S_OK;
}

template <class TBase>
boost::shared_ptr<CZelEntityIterator> CZelFileSystemImplT<TBase>::GetIterator()
{
    if (!m_pEngine)
        return boost::shared_ptr<CZelEntityIterator>();
    boost::mutex::scoped_lock lock(m_Mutex);
    return m_pEngine->GetIterator();
}

template <class TBase>
void CZelFileSystemImplT<TBase>::GetReadProgress(uint64_t& read, uint64_t& volumeBytes)
{
    read = m_pEngine ? m_pEngine->GetBytesRead() : 0;
    volumeBytes = m_pEngine ? m_pEngine->GetVolumeBytes() : 0;
}

template <class TBase>
double CZelFileSystemImplT<TBase>::GetProgress()
{
    return m_pEngine ? m_pEngine->GetProgress() : 0.0;
}

template class CZelFileSystemImplT<CZelFileSystem>;
template class CZelFileSystemImplT<CZelFileSystemFAT32>;
template class CZelFileSystemImplT<CZelFileSystemNTFS>;
