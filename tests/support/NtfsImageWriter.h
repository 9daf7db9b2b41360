// The NTFS image editor for tests: every change that fails fails the test,
// naming the cause.
#pragma once

#include "support/NtfsImageEditor.h"

#include <gtest/gtest.h>

namespace jextest {

class NtfsImageWriter {
public:
    explicit NtfsImageWriter(const std::string& image) : m_Editor(image)
    {
        EXPECT_TRUE(m_Editor.Mounted()) << m_Editor.Error();
    }
    ~NtfsImageWriter() { Close(); }

    bool Mounted() const { return m_Editor.Mounted(); }
    void Folder(const std::string& path) { Expect(m_Editor.Folder(path)); }
    void File(const std::string& path, const std::vector<uint8_t>& data) { Expect(m_Editor.File(path, data)); }
    // Writes as far as the volume has room; false when it has not.
    // A new file, false when the volume has no room for it.
    bool TryFile(const std::string& path, const std::vector<uint8_t>& data) { return m_Editor.File(path, data); }
    bool TryWriteAt(const std::string& path, uint64_t offset, const std::vector<uint8_t>& data)
    {
        return m_Editor.WriteAt(path, offset, data);
    }
    void WriteAt(const std::string& path, uint64_t offset, const std::vector<uint8_t>& data)
    {
        Expect(m_Editor.WriteAt(path, offset, data));
    }
    void Truncate(const std::string& path, uint64_t size) { Expect(m_Editor.Truncate(path, size)); }
    void Stream(const std::string& path, const std::string& stream, const std::vector<uint8_t>& data)
    {
        Expect(m_Editor.Stream(path, stream, data));
    }
    void SetDataChangeTime(const std::string& path, int64_t ntfsTime)
    {
        Expect(m_Editor.SetDataChangeTime(path, ntfsTime));
    }
    void DosName(const std::string& path, const std::string& dosName) { Expect(m_Editor.DosName(path, dosName)); }
    void Delete(const std::string& path) { Expect(m_Editor.Delete(path)); }
    void MarkDirty() { Expect(m_Editor.MarkDirty()); }
    uint64_t RecordOf(const std::string& path) { return m_Editor.RecordOf(path); }
    uint64_t RecordOffset(uint64_t record) { return m_Editor.RecordOffset(record); }
    uint64_t DataOffset(const std::string& path) { return m_Editor.DataOffset(path); }
    uint32_t ClusterSize() const { return m_Editor.ClusterSize(); }
    void Close() { Expect(m_Editor.Close()); }

private:
    void Expect(bool done) { EXPECT_TRUE(done) << m_Editor.Error(); }

    NtfsImageEditor m_Editor;
};

} // namespace jextest
