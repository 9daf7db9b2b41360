#include "ntfs/ZelIteratorNtfsStandart.h"

#include "ZelFSEntryImpl.h"
#include "jexcommon/ZelText.h"
#include "ntfs/NtfsUndeleteWrapper.h"

#include <boost/make_shared.hpp>

namespace {

// Whether a "/" goes between a folder part and the name after it.
bool NeedsSlash(const std::string& folder)
{
    return folder.size() > 1 && folder.back() != '/';
}

} // namespace

std::shared_ptr<const std::string> CZelIteratorNtfsStandart::FolderPart(const CNtfsEntryInterface& record)
{
    if (m_FoldersGeneration != m_pEngine->GetGeneration()) {
        m_Folders.clear();
        m_FoldersGeneration = m_pEngine->GetGeneration();
    }
    auto& folder = m_Folders[record.GetParentPathW()];
    if (!folder) {
        // The root name as text (bytes that are not UTF-8 read as
        // Windows-1252), as every path of the engines shows it.
        const std::string rootName = m_pEngine->GetRootName();
        std::string path;
        if (!rootName.empty())
            path = ZelWideToNarrow(ZelNarrowToWide(rootName)) + "/";
        if (record.GetParentPathW() != nullptr)
            path += ZelWideToNarrow(record.GetParentPathW());
        folder = std::make_shared<const std::string>(std::move(path));
    }
    return folder;
}

CZelIteratorNtfsStandart::CZelIteratorNtfsStandart(boost::shared_ptr<CNtfsUndeleteWrapper> engine)
    : m_pEngine(std::move(engine))
{
}

void CZelIteratorNtfsStandart::First()
{
    m_Index = 0;
    m_Folders.clear();
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
    // The UTF-8 texts alone are kept: they convert back to the very same
    // wide ones (names are Unicode scalar values), which are made when
    // asked for.
    std::string name = record->GetNameA() == nullptr ? std::string() : std::string(record->GetNameA());
    std::shared_ptr<const std::string> folder = FolderPart(*record);
    std::string leaf = NeedsSlash(*folder) && (name.empty() || name.front() != '/') ? "/" + name : name;
    auto fill = [&](auto& entry) {
        entry.SetNames(std::move(name), std::string());
        entry.SetPaths(CZelSharedPath{std::move(folder), std::move(leaf)}, CZelSharedPath());
        // Every record the engine lists is free in the MFT bitmap: deleted.
        entry.SetDeleted(true);
    };
    if (record->GetKind() == 3) {
        auto directory = boost::make_shared<CZelFSDirectoryImpl<CZelFSDirectory>>();
        fill(*directory);
        return directory;
    }
    auto file = boost::make_shared<CZelFSFileImpl<CZelFSFile>>(record, m_pEngine, m_pEngine->GetGeneration());
    fill(*file);
    file->SetSize(record->GetSize());
    return file;
}
