#include "ntfs/ZelIteratorNtfsStandart.h"

#include "ZelFSEntryImpl.h"
#include "jexcommon/ZelText.h"
#include "ntfs/NtfsUndeleteWrapper.h"

#include <boost/make_shared.hpp>

namespace {

// Root name, parent folders and the name, joined with "/".
std::wstring WidePath(const std::string& rootName, const CNtfsEntryInterface& record)
{
    std::wstring path;
    if (!rootName.empty())
        path = ZelNarrowToWide(rootName) + L"/";
    if (record.GetParentPathW() != nullptr)
        path += record.GetParentPathW();
    std::wstring name = record.GetNameW() == nullptr ? std::wstring() : std::wstring(record.GetNameW());
    if (path.size() > 1 && path.back() != L'/' && (name.empty() || name.front() != L'/'))
        path += L"/";
    return path + name;
}

template <class TEntry>
void FillEntry(TEntry& entry, const CNtfsEntryInterface& record, const std::string& rootName)
{
    std::wstring nameW = record.GetNameW() == nullptr ? std::wstring() : std::wstring(record.GetNameW());
    std::wstring pathW = WidePath(rootName, record);
    entry.SetNames(ZelWideToNarrow(nameW), nameW);
    entry.SetPaths(ZelWideToNarrow(pathW), pathW);
    // Every record the engine lists is free in the MFT bitmap: deleted.
    entry.SetDeleted(true);
}

} // namespace

CZelIteratorNtfsStandart::CZelIteratorNtfsStandart(boost::shared_ptr<CNtfsUndeleteWrapper> engine)
    : m_pEngine(std::move(engine))
{
}

void CZelIteratorNtfsStandart::First()
{
    m_Index = 0;
}

void CZelIteratorNtfsStandart::Next()
{
    if (!IsDone())
        ++m_Index;
}

bool CZelIteratorNtfsStandart::IsDone()
{
    return !m_pEngine || m_Index >= m_pEngine->GetEntryCount();
}

boost::shared_ptr<CZelFSFileEntry> CZelIteratorNtfsStandart::CurrentItem()
{
    if (IsDone())
        return boost::shared_ptr<CZelFSFileEntry>();
    const CNtfsEntryInterface* record = m_pEngine->GetEntry(m_Index);
    if (record == nullptr)
        return boost::shared_ptr<CZelFSFileEntry>();
    std::string rootName = m_pEngine->GetRootName();
    if (record->GetKind() == 3) {
        auto directory = boost::make_shared<CZelFSDirectoryImpl<CZelFSDirectory>>();
        FillEntry(*directory, *record, rootName);
        return directory;
    }
    auto file = boost::make_shared<CZelFSFileImpl<CZelFSFile>>(record, m_pEngine, m_pEngine->GetGeneration());
    FillEntry(*file, *record, rootName);
    file->SetSize(record->GetSize());
    return file;
}
