#include "ntfs/ZelIteratorNtfsStandart.h"

#include "ZelFSEntryImpl.h"
#include "jexcommon/ZelText.h"
#include "ntfs/NtfsUndeleteWrapper.h"

#include <boost/make_shared.hpp>

namespace {

// Root name, parent folders and the name, joined with "/", in UTF-8.
std::string NarrowPath(const std::string& rootName, const CNtfsEntryInterface& record)
{
    // The root name as text (bytes that are not UTF-8 read as
    // Windows-1252), as every path of the engines shows it.
    std::string path;
    if (!rootName.empty())
        path = ZelWideToNarrow(ZelNarrowToWide(rootName)) + "/";
    if (record.GetParentPathW() != nullptr)
        path += ZelWideToNarrow(record.GetParentPathW());
    std::string name = record.GetNameA() == nullptr ? std::string() : std::string(record.GetNameA());
    if (path.size() > 1 && path.back() != '/' && (name.empty() || name.front() != '/'))
        path += "/";
    return path + name;
}

template <class TEntry>
void FillEntry(TEntry& entry, const CNtfsEntryInterface& record, const std::string& rootName)
{
    // The UTF-8 texts alone are kept: they convert back to the very same
    // wide ones (names are Unicode scalar values), which are made when
    // asked for. A scan of a large volume keeps one copy of each path.
    entry.SetNames(record.GetNameA() == nullptr ? std::string() : std::string(record.GetNameA()), std::wstring());
    entry.SetPaths(NarrowPath(rootName, record), std::wstring());
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
