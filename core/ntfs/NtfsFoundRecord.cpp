#include "ntfs/NtfsFoundRecord.h"

#include "jexcommon/ZelText.h"
#include "ntfs/NtfsLayout.h"

#include <algorithm>

CZelFoundEntryView CNtfsEntryInterface::GetView() const
{
    CZelFoundEntryView view;
    view.narrowName = GetNameA();
    view.size = GetSize();
    view.directory = GetKind() == 3;
    return view;
}

bool ZelNtfsConvertName(const std::u16string& name, std::wstring& wide)
{
    if (name.empty() || name.find(u'\0') != std::u16string::npos)
        return false;
    wide = ZelUtf16ToWide(name.data(), name.size());
    return true;
}

int ZelNtfsPreferredName(const std::vector<CNtfsFileNameFields>& names)
{
    int preferred = -1;
    std::wstring ignored;
    for (size_t i = 0; i < names.size(); ++i)
        if ((preferred < 0 || names[i].nameSpace < names[static_cast<size_t>(preferred)].nameSpace) &&
            ZelNtfsConvertName(names[i].name, ignored))
            preferred = static_cast<int>(i);
    return preferred;
}

const CNtfsDataFields* ZelNtfsUnnamedStream(const CNtfsRecordFields& record)
{
    for (const CNtfsDataFields& stream : record.dataStreams)
        if (stream.name.empty())
            return &stream;
    return nullptr;
}

uint64_t ZelNtfsLargestSize(const CNtfsRecordFields& record)
{
    uint64_t largest = 0;
    for (const CNtfsFileNameFields& name : record.fileNames)
        largest = std::max({largest, name.allocatedSize, name.dataSize});
    for (const CNtfsDataFields& stream : record.dataStreams)
        largest = std::max({largest, stream.dataSize, stream.initializedSize});
    return largest;
}

int64_t ZelNtfsTimeToUnix(int64_t ntfsTime)
{
    // Both operands in 100 ns; the division rounds toward zero.
    if (ntfsTime < INT64_MIN + ntfslayout::kEpochDifference)
        return INT64_MIN / 10000000;
    return (ntfsTime - ntfslayout::kEpochDifference) / 10000000;
}

bool ZelNtfsRunsImplausible(const CNtfsDataFields& stream, int64_t volumeClusters)
{
    std::vector<std::pair<int64_t, int64_t>> spans;
    uint64_t total = 0;
    for (const CNtfsRun& run : stream.runs) {
        if (run.lcn < 0 || run.length <= 0)
            continue;
        // Summed without overflow: a run longer than the volume ends it.
        if (static_cast<uint64_t>(run.length) > static_cast<uint64_t>(std::max<int64_t>(volumeClusters, 0)) - total)
            return true;
        total += static_cast<uint64_t>(run.length);
        spans.emplace_back(run.lcn, run.length);
    }
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); ++i)
        if (spans[i].first - spans[i - 1].first < spans[i - 1].second)
            return true;
    return false;
}
