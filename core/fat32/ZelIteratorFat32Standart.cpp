#include "fat32/ZelIteratorFat32Standart.h"

#include "ZelFSEntryImpl.h"
#include "fat32/Fat32Wrapper.h"
#include "jexcommon/ZelText.h"

#include <boost/make_shared.hpp>

namespace {

// The longest path shown, in characters, as on NTFS; room is kept for a
// long name at its end.
constexpr size_t kMaxPathLength = 4096;
constexpr size_t kRoomForName = 256;

std::string TrimTrailingSpaces(const char* text)
{
    std::string s = text == nullptr ? std::string() : std::string(text);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

std::wstring TrimTrailingSpaces(std::wstring s)
{
    while (!s.empty() && s.back() == L' ')
        s.pop_back();
    return s;
}

// The name an entry shows: its long name, or its short name converted.
std::wstring WideName(const CDirEntryInterface& node)
{
    const wchar_t* longName = node.GetLongName().GetBuffer();
    if (longName != nullptr && *longName != 0)
        return longName;
    return ZelNarrowToWide(node.GetShortName().GetBuffer());
}

template <class TEntry>
void FillEntry(TEntry& entry, const CDirEntryInterface& node, const std::string& rootName)
{
    const char* shortName = node.GetShortName().GetBuffer();
    entry.SetNames(shortName == nullptr ? std::string() : std::string(shortName), WideName(node));
    entry.SetAttributes(node.GetAttributes());

    // Deleted when the entry itself or any folder above it is marked.
    bool deleted = false;
    std::vector<const CDirEntryInterface*> chain;
    for (const CDirEntryInterface* n = &node; n != nullptr; n = n->GetParent()) {
        deleted = deleted || n->IsDeleted();
        chain.push_back(n);
    }
    entry.SetDeleted(deleted);

    // A path never grows past the longest one a system takes: folders
    // deeper than that are left out, the entry's own name never is. Crafted
    // trees of hundreds of long names would otherwise cost gigabytes.
    std::string pathA = rootName;
    std::wstring pathW = ZelNarrowToWide(rootName);
    bool fullA = false, fullW = false;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const bool own = *it == &node;
        std::string partA = TrimTrailingSpaces((*it)->GetShortName().GetBuffer());
        std::wstring partW = TrimTrailingSpaces(WideName(**it));
        fullA = fullA || pathA.size() + 1 + partA.size() + kRoomForName > kMaxPathLength;
        fullW = fullW || pathW.size() + 1 + partW.size() + kRoomForName > kMaxPathLength;
        if (own || !fullA)
            pathA += "/" + partA;
        if (own || !fullW)
            pathW += L"/" + partW;
    }
    entry.SetPaths(std::move(pathA), std::move(pathW));
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
    std::string rootName = m_pEngine->GetRootName();
    if (node->GetType() == FatEntryFile) {
        auto file = boost::make_shared<CZelFSFileImpl<CZelFSFile>>(node, m_pEngine, m_pEngine->GetGeneration());
        FillEntry(*file, *node, rootName);
        file->SetSize(node->GetSize());
        return file;
    }
    if (node->GetType() == FatEntryDirectory) {
        auto directory = boost::make_shared<CZelFSDirectoryImpl<CZelFSDirectory>>();
        FillEntry(*directory, *node, rootName);
        return directory;
    }
    return boost::shared_ptr<CZelFSFileEntry>();
}
