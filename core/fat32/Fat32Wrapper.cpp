#include "fat32/Fat32Wrapper.h"

#include "engine/ZelRestoreVerdict.h"
#include "engine/ZelVolumeCopy.h"
#include "fat32/ZelIteratorFat32Standart.h"
#include "jexcommon/ZelText.h"
#include "jexplatform/OutputFile.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <unistd.h>
#include <vector>

CFat32Wrapper::~CFat32Wrapper()
{
    Close();
}

uint32_t CFat32Wrapper::GetEntryCount()
{
    return m_pScanner && m_pReader ? m_pScanner->GetEntryCount() : 0;
}

const CDirEntryInterface* CFat32Wrapper::GetEntry(uint32_t index)
{
    return m_pScanner && m_pReader ? m_pScanner->GetEntry(index) : nullptr;
}

size_t CFat32Wrapper::OwnListedCount()
{
    return m_pScanner && m_pReader ? m_pScanner->Listing().size() : 0;
}

namespace {

std::string TrimTrailingSpaces(std::string s)
{
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

} // namespace

bool CFat32Wrapper::OwnListed(size_t index, CZelListedEntry& entry)
{
    if (!m_pScanner || !m_pReader || index >= m_pScanner->Listing().size())
        return false;
    const CMUNdelete::Listed& listed = m_pScanner->Listing()[index];
    const CDirEntry& node = *listed.node;
    entry = CZelListedEntry();
    entry.record = &node;
    entry.parent = listed.parent;
    const char* shortName = node.GetShortName().GetBuffer();
    entry.nameA = shortName == nullptr ? std::string() : std::string(shortName);
    const wchar_t* longName = node.GetLongName().GetBuffer();
    if (longName != nullptr && *longName != 0)
        entry.nameU = ZelWideToNarrow(longName);
    entry.leafA = TrimTrailingSpaces(entry.nameA);
    entry.leafU = TrimTrailingSpaces(entry.nameU.empty() ? ZelWideToNarrow(ZelNarrowToWide(entry.nameA)) : entry.nameU);
    entry.attributes = node.GetAttributes();
    entry.directory = node.GetType() == FatEntryDirectory;
    entry.size = entry.directory ? 0 : node.GetSize();
    entry.deleted = node.IsDeleted();
    return true;
}

boost::shared_ptr<CZelEntityIterator> CFat32Wrapper::CreateIterator()
{
    return boost::make_shared<CZelIteratorFat32Standart>(boost::static_pointer_cast<CFat32Wrapper>(shared_from_this()));
}

uint64_t CFat32Wrapper::DataOffsetLocked(const CZelEngineRecord& record)
{
    const CDirEntry* node = dynamic_cast<const CDirEntry*>(&record);
    if (node == nullptr || node->GetType() != FatEntryFile || node->GetDataOffset() == CDirEntry::kNoData)
        return kZelNoDataOffset;
    return node->GetDataOffset();
}

int32_t CFat32Wrapper::RestoreLocked(CZelRestoreSink& out, const CZelEngineRecord& record,
                                     const CZelProgressCallbackPtr& progress, CZelRestoreReport& report)
{
    const CDirEntry* node = dynamic_cast<const CDirEntry*>(&record);
    if (node == nullptr || !CanRead() || node->GetType() != FatEntryFile)
        return kZelNotThisEngine;

    // A restored file never replaces an existing one.
    if (!out.Open(0666)) {
        report.reason = ZelNarrowToWide(out.Error());
        return 0;
    }
    const CFatBootSector& boot = m_pScanner->Boot();
    const uint64_t size = node->GetSize();
    const uint32_t block = RestoreBlock();
    // The clusters the file is read from, in order. What the plan lacks, or
    // the device does not hold, is not written: a recorded size is only a
    // claim, and a file of 4 GiB of zeros helps no one. The file stops
    // where the volume does.
    const CFatRestorePlan plan = m_pScanner->PlanRestore(*node);
    CZelVolumeCopy copy(*m_pReader, block, out, progress, size);
    for (const CFatClusterRun& run : plan.runs) {
        uint64_t offset = 0;
        if (!boot.ClusterOffset(run.first, offset))
            break;
        const uint64_t runBytes =
            std::min<uint64_t>(static_cast<uint64_t>(run.count) * boot.clusterSize, size - copy.Written());
        const CZelVolumeCopy::End end = copy.Copy(offset, runBytes);
        if (end == CZelVolumeCopy::End::Vanished || end == CZelVolumeCopy::End::WriteFailed) {
            copy.Fail(report, copy.Reason());
            return 0;
        }
        if (end == CZelVolumeCopy::End::VolumeEnded)
            break;
    }
    // What the plan lacks, and what the device ended before.
    const uint64_t missing = size - copy.Written();
    if (!out.Commit()) {
        copy.Fail(report, out.Error());
        return 0;
    }
    CZelRestoreVerdict verdict(node->GetRecoveryEstimate(), node->GetEstimateNote());
    if (copy.Unreadable() != 0)
        verdict.ShortBy(copy.Unreadable(), copy.UnreadableText());
    if (missing != 0)
        verdict.ShortBy(missing, "the volume ends " + std::to_string(missing) +
                                     " bytes before the file does; the file stops there");
    verdict.Judge(report);
    ZelReportProgress(progress, 1.0);
    return 0;
}
