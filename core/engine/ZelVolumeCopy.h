// The copy of a restored file's bytes from the volume into its output file,
// shared by the engines that read data in runs of clusters: chunk by chunk,
// sectors that cannot be read as zeros (counted), the device's end or its
// going away told apart, and the file's progress told as it grows.
#pragma once

#include "jexfscore/ZelCallback.h"
#include "jexfscore/ZelRestoreSink.h"
#include "jexfscore/ZelResult.h"
#include "jexplatform/VolumeSource.h"

#include <cstdint>
#include <string>
#include <vector>

// The calling thread's copy buffer, at least bytes long. Its bytes are
// good only until the next call on the thread: take it for one read and
// the write that follows.
uint8_t* ZelCopyBuffer(size_t bytes);

// Tells progress a fraction, clamped to 0..1; nothing without a callback.
void ZelReportProgress(const CZelProgressCallbackPtr& progress, double fraction);

class CZelVolumeCopy {
public:
    enum class End {
        // Every byte asked for was delivered (read, or zeros where it
        // could not be).
        Copied,
        // The volume ends before the bytes asked for do.
        VolumeEnded,
        // The device is gone: Reason says so.
        Vanished,
        // The output file refused the bytes: Reason says why.
        WriteFailed,
    };

    // block: the device's sector size, the unit of salvaging reads. total:
    // the file's size, against which progress is told.
    CZelVolumeCopy(CZelVolumeSource& source, uint32_t block, CZelRestoreSink& out, const CZelProgressCallbackPtr& progress,
                   uint64_t total);

    // Copies count bytes at offset.
    End Copy(uint64_t offset, uint64_t count);
    // Leaves count bytes of zeros in the file (a stretch that is no longer
    // the file's own); false, with Reason set, when the file refuses.
    bool Zeros(uint64_t count);

    // Bytes the file holds so far.
    uint64_t Written() const { return m_Written; }
    // Of those, the bytes that could not be read and are zeros.
    uint64_t Unreadable() const { return m_Unreadable; }
    // Why the copy stopped for Vanished and WriteFailed.
    const std::string& Reason() const { return m_Reason; }
    // "N bytes could not be read (reason) and are zeros", empty when every
    // byte was read.
    std::string UnreadableText() const;
    // Ends the restore as failed, saying why: the sink drops what it holds,
    // and the report keeps the bytes read so far that could not be read
    // (a caller that wanted only the start of the file judges it by them).
    void Fail(CZelRestoreReport& report, const std::string& why);

private:
    CZelVolumeSource& m_Source;
    uint32_t m_Block;
    CZelRestoreSink& m_Out;
    const CZelProgressCallbackPtr& m_Progress;
    uint64_t m_Total;
    uint64_t m_Written = 0;
    uint64_t m_Unreadable = 0;
    int m_Error = 0;
    std::string m_Reason;
};
