#include "carve/CarvedSet.h"

#include "filters/EngineCheckFile.h"
#include "jexcommon/ZelText.h"

#include <cinttypes>
#include <cstdio>
#include <map>

namespace {

const char kCarvedFolder[] = "$Carved";
// A file whose structure broke off holds some of what it was; how much
// cannot be told.
constexpr int32_t kBrokenEstimate = 50;

} // namespace

CZelCarvedRecord::CZelCarvedRecord(CZelCarvedFile file) : m_File(std::move(file))
{
    char name[64];
    std::snprintf(name, sizeof name, "f%010" PRIu64 ".%s", m_File.offset, m_File.type.c_str());
    m_Name = name;
    m_WideName = ZelNarrowToWide(m_Name);
    m_Estimate = m_File.validated ? 100 : kBrokenEstimate;
    m_Note = "found by its signature, with no name, and taken to lie in one piece";
    if (m_File.validated)
        m_Note += ", as its structure, checked to its end, bears out";
    else
        m_Note += "; " + m_File.problem;
}

CZelFoundEntryView CZelCarvedRecord::GetView() const
{
    CZelFoundEntryView view;
    view.wideName = m_WideName.c_str();
    view.narrowName = m_Name.c_str();
    view.size = m_File.length;
    return view;
}

void CZelCarvedSet::Clear()
{
    m_Records.clear();
    m_Own.clear();
    m_Listing.clear();
}

void CZelCarvedSet::Take(const CZelCarver& carver, CZelEngineCheckFile* filter)
{
    Clear();
    // By type, then in volume order.
    std::map<std::string, std::vector<size_t>> byType;
    for (const CZelCarvedFile& file : carver.Files()) {
        auto record = std::make_unique<CZelCarvedRecord>(file);
        const CZelFoundEntryView view = record->GetView();
        if (filter != nullptr && !filter->Check(&view))
            continue;
        byType[file.type].push_back(m_Records.size());
        m_Own.insert(record.get());
        m_Records.push_back(std::move(record));
    }
    if (m_Records.empty())
        return;
    m_Listing.push_back(Item{-1, -1, kCarvedFolder});
    for (const auto& type : byType) {
        const int64_t folder = static_cast<int64_t>(m_Listing.size());
        m_Listing.push_back(Item{-1, 0, type.first});
        for (size_t index : type.second)
            m_Listing.push_back(Item{static_cast<int64_t>(index), folder, m_Records[index]->Name()});
    }
}

bool CZelCarvedSet::Listed(size_t index, size_t first, CZelListedEntry& entry) const
{
    if (index >= m_Listing.size())
        return false;
    const Item& item = m_Listing[index];
    entry = CZelListedEntry();
    entry.parent = item.parent < 0 ? -1 : static_cast<int64_t>(first) + item.parent;
    entry.nameA = entry.leafA = item.name;
    entry.deleted = true;
    if (item.record < 0) {
        entry.directory = true;
        return true;
    }
    const CZelCarvedRecord& record = *m_Records[static_cast<size_t>(item.record)];
    entry.record = &record;
    entry.size = record.File().length;
    return true;
}

const CZelCarvedRecord* CZelCarvedSet::Find(const CZelEngineRecord& record) const
{
    const CZelCarvedRecord* carved = dynamic_cast<const CZelCarvedRecord*>(&record);
    return carved != nullptr && m_Own.count(carved) != 0 ? carved : nullptr;
}
