// The core as programs see it: libJexFSCore.so loaded from the build's
// output folder through the binding helper, once per test process; scans
// through its exports; and the capture of its messages.
#pragma once

#include "jexfscore/ZelBinding.h"

#include <map>
#include <string>
#include <vector>

namespace jextest {

const CZelCoreBinding& BoundCore();

struct CapturedMessage {
    std::wstring text;
    std::wstring caption;
};

// While it lives, the core's messages are kept instead of shown; the
// default handler is back when it ends, whatever the test did.
class ScopedMessageCapture {
public:
    ScopedMessageCapture();
    ~ScopedMessageCapture();
    ScopedMessageCapture(const ScopedMessageCapture&) = delete;
    ScopedMessageCapture& operator=(const ScopedMessageCapture&) = delete;

    std::vector<CapturedMessage> Messages() const;
};

// CreateFileSystem, Open and FindDeleted through the exports, then every
// entry the iterator hands out, by narrow path.
class ExportScan {
public:
    // The quick search unless deep is set; more adds to the search's flag.
    explicit ExportScan(const std::string& image, boost::shared_ptr<CZelCheckFile> filter = {}, bool deep = false,
                        int32_t more = 0);

    // The file at a found path ("card.img/DCIM/a.jpg"); fails the test when
    // there is none.
    boost::shared_ptr<CZelFSFile> File(const std::string& path) const;
    size_t Files() const;
    bool Has(const std::string& path) const { return found.count(path) != 0; }

    std::wstring volume;
    boost::shared_ptr<CZelFileSystem> fs;
    // The scan's progress when it had ended, and its report.
    double progress = 0.0;
    CZelScanReport report;
    std::map<std::string, boost::shared_ptr<CZelFSFileEntry>> found;
    // The found paths in the iterator's order.
    std::vector<std::string> order;
};

// Restores a found file to destination, expecting the result given, and
// reads back what was written.
std::vector<uint8_t> Restore(const boost::shared_ptr<CZelFSFile>& file, const std::string& destination,
                             ZELRESULT expected = ZEL_S_OK);

} // namespace jextest
