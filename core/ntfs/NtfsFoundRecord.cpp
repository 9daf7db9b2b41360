#include "ntfs/NtfsFoundRecord.h"

#include "ntfs/NtfsLayout.h"

const DataStreamRecord* ufile::UnnamedStream() const
{
    for (const DataStreamRecord& stream : m_Streams)
        if (!stream.named)
            return &stream;
    return nullptr;
}

int64_t ZelNtfsTimeToUnix(int64_t ntfsTime)
{
    // Both operands in 100 ns; the division rounds toward zero.
    if (ntfsTime < INT64_MIN + ntfslayout::kEpochDifference)
        return INT64_MIN / 10000000;
    return (ntfsTime - ntfslayout::kEpochDifference) / 10000000;
}
