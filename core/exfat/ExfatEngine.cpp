#include "exfat/ExfatEngine.h"

#include "engine/ZelRestoreVerdict.h"
#include "engine/ZelVolumeCopy.h"
#include "exfat/ExfatTimestamp.h"
#include "jexcommon/ZelText.h"
#include "jexplatform/OutputFile.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <vector>

CExfatEngine::~CExfatEngine()
{
    Close();
}

size_t CExfatEngine::GetEntryCount()
{
    return m_pScanner && m_pReader ? m_pScanner->Count() : 0;
}

const CExfatFoundEntry* CExfatEngine::GetEntry(size_t index)
{
    return m_pScanner && m_pReader ? m_pScanner->Entry(index) : nullptr;
}

bool CExfatEngine::OwnListed(size_t index, CZelListedEntry& entry)
{
    const CExfatFoundEntry* record = GetEntry(index);
    if (record == nullptr)
        return false;
    entry = CZelListedEntry();
    entry.record = record;
    entry.parent = record->parent;
    entry.nameA = entry.leafA = record->name;
    entry.attributes = record->attributes;
    entry.directory = record->directory;
    entry.size = record->directory ? 0 : record->dataLength;
    entry.deleted = record->deleted || record->inDeletedTree;
    return true;
}

uint64_t CExfatEngine::DataOffsetLocked(const CZelEngineRecord& record)
{
    const CExfatFoundEntry* file = dynamic_cast<const CExfatFoundEntry*>(&record);
    uint64_t offset = 0;
    if (file == nullptr || file->directory || file->validDataLength == 0 || !CanRead() || !m_pScanner->Volume() ||
        !m_pScanner->Volume()->Boot().ClusterOffset(file->firstCluster, offset))
        return kZelNoDataOffset;
    return offset;
}

int32_t CExfatEngine::RestoreLocked(CZelRestoreSink& out, const CZelEngineRecord& record,
                                    const CZelProgressCallbackPtr& progress, CZelRestoreReport& report)
{
    const CExfatFoundEntry* file = dynamic_cast<const CExfatFoundEntry*>(&record);
    if (file == nullptr || file->directory || !CanRead() || !m_pScanner->Volume())
        return kZelNotThisEngine;
    const CExfatBootSector& boot = m_pScanner->Volume()->Boot();
    // The plan is made again: a scan keeps no list of clusters per file.
    const CExfatRestorePlan plan = m_pScanner->PlanFor(*file);
    const uint64_t valid = file->validDataLength;
    const uint64_t size = file->dataLength;

    // Nothing of a file with data can be read: no file is written.
    if (valid != 0 && plan.covered == plan.lost) {
        report.reason = ZelNarrowToWide(file->note.empty() ? std::string("none of its clusters can be read")
                                                            : file->note);
        return 0;
    }
    // A restored file never replaces an existing one.
    if (!out.Open(0666)) {
        report.reason = ZelNarrowToWide(out.Error());
        return 0;
    }
    timespec modified;
    if (ZelExfatTime(file->modifiedTimestamp, file->modified10ms, file->modifiedUtcOffset, modified))
        out.SetTimes(modified);

    const uint32_t block = RestoreBlock();
    CZelVolumeCopy copy(*m_pReader, block, out, progress, size);
    // Bytes kept in place as zeros: clusters another file holds now.
    uint64_t lostBytes = 0;
    for (const CExfatPiece& piece : plan.pieces) {
        uint64_t offset = 0;
        if (copy.Written() >= valid || !boot.ClusterOffset(piece.first, offset))
            break;
        const uint64_t pieceBytes =
            std::min<uint64_t>(static_cast<uint64_t>(piece.count) * boot.clusterSize, valid - copy.Written());
        if (piece.lost) {
            if (!copy.Zeros(pieceBytes)) {
                copy.Fail(report, copy.Reason());
                return 0;
            }
            lostBytes += pieceBytes;
            continue;
        }
        const CZelVolumeCopy::End end = copy.Copy(offset, pieceBytes);
        if (end == CZelVolumeCopy::End::Vanished || end == CZelVolumeCopy::End::WriteFailed) {
            copy.Fail(report, copy.Reason());
            return 0;
        }
        if (end == CZelVolumeCopy::End::VolumeEnded)
            break;
    }
    const uint64_t written = copy.Written(), unreadable = copy.Unreadable();
    // Past the valid data the file reads as zeros, when all of the valid
    // data is there; a file whose data stops early stops there too.
    const uint64_t missing = valid - std::min(valid, written);
    if (missing == 0 && size > written && !out.Skip(size - written)) {
        copy.Fail(report, out.Error());
        return 0;
    }
    if (!out.Commit()) {
        copy.Fail(report, out.Error());
        return 0;
    }
    CZelRestoreVerdict verdict(file->estimate, file->note);
    if (unreadable != 0)
        verdict.ShortBy(unreadable, copy.UnreadableText());
    if (missing != 0)
        verdict.ShortBy(missing, std::to_string(missing) + " bytes of its data could not be followed; the file stops there");
    if (lostBytes != 0)
        verdict.ShortBy(lostBytes, std::to_string(lostBytes) + " bytes lie in clusters another file holds now and are zeros");
    verdict.Judge(report);
    ZelReportProgress(progress, 1.0);
    return 0;
}
