// Restoring the files a user chose, one after the other, below a
// destination folder.
#pragma once

#include "jexrecovery/ZelRecoveryScan.h"
#include "jexrecovery/ZelRestoreOutcome.h"

#include <cstddef>
#include <string>
#include <vector>

// Told of each file as it is restored, on the restoring thread.
class CZelRestoreObserver {
public:
    virtual ~CZelRestoreObserver() = default;
    // Before a file: its number (its place among the files asked for, from
    // 1), how many there are, and the name it gets. Files are begun in the
    // order their data lies on the volume, so numbers may come in any
    // order.
    virtual void Begin(size_t /*number*/, size_t /*total*/, const std::string& /*name*/) {}
    // The file's progress, a fraction from 0 to 1.
    virtual void Progress(double /*fraction*/) {}
    // Once a file is on the disk and named, or has failed: its number and
    // outcome. Files end in batches, each batch in the order asked, so a
    // file may end after others have begun.
    virtual void End(size_t /*number*/, const CZelRestoreOutcome& /*outcome*/) {}
    // Asked before each file: true ends the run there.
    virtual bool Stopped() { return false; }
};

// Restores each chosen file into its folder below destination (see
// ZelDestinationFolder), made when missing, under a safe name not yet
// taken; an existing file is never replaced. The outcomes of the files
// begun, in the order asked.
std::vector<CZelRestoreOutcome> ZelRestoreFiles(const std::vector<const CZelFoundEntry*>& chosen,
                                                const std::string& destination, bool flat,
                                                CZelRestoreObserver* observer);
