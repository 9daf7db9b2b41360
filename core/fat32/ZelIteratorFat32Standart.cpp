#include "fat32/ZelIteratorFat32Standart.h"

#include "ZelFSEntryImpl.h"
#include "fat32/Fat32Wrapper.h"
#include "jexcommon/ZelText.h"

#include <boost/make_shared.hpp>

namespace {

std::string TrimTrailingSpaces(std::string s)
{
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

std::string TrimTrailingSpaces(const char* text)
{
    return TrimTrailingSpaces(text == nullptr ? std::string() : std::string(text));
}

// The long name in UTF-8; empty when the entry has none.
std::string LongName(const CDirEntryInterface& node)
{
    const wchar_t* longName = node.GetLongName().GetBuffer();
    return longName != nullptr && *longName != 0 ? ZelWideToNarrow(longName) : std::string();
}

// The name an entry shows, in UTF-8: its long name, or its short name
// converted.
std::string ShownName(const CDirEntryInterface& node)
{
    std::string name = LongName(node);
    return name.empty() ? ZelWideToNarrow(ZelNarrowToWide(node.GetShortName().GetBuffer())) : name;
}

} // namespace

CZelIteratorFat32Standart::CZelIteratorFat32Standart(boost::shared_ptr<CFat32Wrapper> engine)
    : m_pEngine(std::move(engine))
{
    First();
}

void CZelIteratorFat32Standart::First()
{
    m_Path.assign(1, 0);
    m_Done = false;
    m_Folders.clear();
}

const CZelIteratorFat32Standart::Folder&
CZelIteratorFat32Standart::FolderOf(const std::vector<const CDirEntryInterface*>& chain)
{
    // The cache holds the folder parts of the last entry handed out, from
    // the root down; it is made again after another scan, whose nodes may
    // lie where the last one's did.
    const std::string rootName = m_pEngine->GetRootName();
    const uint64_t generation = m_pEngine->GetGeneration();
    if (m_Folders.empty() || m_FoldersGeneration != generation || m_FoldersRoot != rootName) {
        m_Folders.clear();
        Folder root;
        root.partA = ZelRootFolderPart(rootName);
        root.partU = ZelRootFolderPart(ZelWideToNarrow(ZelNarrowToWide(rootName)));
        m_Folders.push_back(std::move(root));
        m_FoldersGeneration = generation;
        m_FoldersRoot = rootName;
    }
    // chain runs from the entry up to its top folder; m_Folders[i] is the
    // part naming the first i folders below the root on its way.
    const size_t depth = chain.size() - 1;
    size_t kept = 1;
    while (kept < m_Folders.size() && kept <= depth && m_Folders[kept].node == chain[depth - kept + 1])
        ++kept;
    m_Folders.resize(kept);
    for (size_t i = kept; i <= depth; ++i) {
        const CDirEntryInterface& folder = *chain[depth - i + 1];
        Folder next;
        next.node = &folder;
        next.partA = ZelFolderPartBelow(m_Folders[i - 1].partA, TrimTrailingSpaces(folder.GetShortName().GetBuffer()));
        next.partU = ZelFolderPartBelow(m_Folders[i - 1].partU, TrimTrailingSpaces(ShownName(folder)));
        m_Folders.push_back(std::move(next));
    }
    return m_Folders[depth];
}

template <class TEntry>
void CZelIteratorFat32Standart::FillEntry(TEntry& entry, const CDirEntryInterface& node)
{
    const char* shortName = node.GetShortName().GetBuffer();
    entry.SetNames(shortName == nullptr ? std::string() : std::string(shortName), LongName(node));
    entry.SetAttributes(node.GetAttributes());

    // Deleted when the entry itself or any folder above it is marked.
    bool deleted = false;
    std::vector<const CDirEntryInterface*> chain;
    for (const CDirEntryInterface* n = &node; n != nullptr && chain.size() < m_Path.size(); n = n->GetParent()) {
        deleted = deleted || n->IsDeleted();
        chain.push_back(n);
    }
    entry.SetDeleted(deleted);

    const Folder& folder = FolderOf(chain);
    entry.SetPaths(CZelSharedPath{folder.partA.path, TrimTrailingSpaces(shortName)},
                   CZelSharedPath{folder.partU.path, TrimTrailingSpaces(ShownName(node))});
}

const CDirEntryInterface* CZelIteratorFat32Standart::Resolve(size_t depth) const
{
    if (!m_pEngine || depth == 0 || depth > m_Path.size())
        return nullptr;
    const CDirEntryInterface* node = m_pEngine->GetEntry(m_Path[0]);
    for (size_t i = 1; i < depth && node != nullptr; ++i)
        node = node->GetChild(m_Path[i]);
    return node;
}

void CZelIteratorFat32Standart::Normalize()
{
    while (!m_Path.empty()) {
        uint32_t count;
        if (m_Path.size() == 1) {
            count = m_pEngine ? m_pEngine->GetEntryCount() : 0;
        } else {
            const CDirEntryInterface* parent = Resolve(m_Path.size() - 1);
            count = parent == nullptr ? 0 : parent->GetChildCount();
        }
        if (m_Path.back() < count)
            return;
        m_Path.pop_back();
        if (!m_Path.empty())
            ++m_Path.back();
    }
    m_Done = true;
}

void CZelIteratorFat32Standart::Next()
{
    if (IsDone())
        return;
    const CDirEntryInterface* node = Resolve(m_Path.size());
    if (node != nullptr && node->GetChildCount() > 0) {
        m_Path.push_back(0);
        return;
    }
    ++m_Path.back();
    Normalize();
}

bool CZelIteratorFat32Standart::IsDone()
{
    return m_Done || !m_pEngine || m_pEngine->GetEntryCount() == 0;
}

boost::shared_ptr<CZelFSFileEntry> CZelIteratorFat32Standart::CurrentItem()
{
    if (IsDone())
        return boost::shared_ptr<CZelFSFileEntry>();
    const CDirEntryInterface* node = Resolve(m_Path.size());
    if (node == nullptr)
        return boost::shared_ptr<CZelFSFileEntry>();
    if (node->GetType() == FatEntryFile) {
        auto file = boost::make_shared<CZelFSFileImpl<CZelFSFile>>(node, m_pEngine, m_pEngine->GetGeneration());
        FillEntry(*file, *node);
        file->SetSize(node->GetSize());
        return file;
    }
    if (node->GetType() == FatEntryDirectory) {
        auto directory = boost::make_shared<CZelFSDirectoryImpl<CZelFSDirectory>>();
        FillEntry(*directory, *node);
        return directory;
    }
    return boost::shared_ptr<CZelFSFileEntry>();
}
