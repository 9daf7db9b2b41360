// The restore sink RestoreEx writes through: a new file that takes its
// destination's name only once it is written whole and on the disk, and
// never replaces a file that is there.
#pragma once

#include "jexfscore/ZelRestoreSink.h"
#include "jexplatform/OutputFile.h"

#include <string>

class CZelFileSink final : public CZelRestoreSink {
public:
    explicit CZelFileSink(std::string destination) : m_Destination(std::move(destination)) {}

    bool Open(uint32_t mode) override { return m_Out.Create(m_Destination, static_cast<mode_t>(mode)); }
    bool IsOpen() const override { return m_Out.IsOpen(); }
    bool Write(const void* data, size_t length) override { return m_Out.Write(data, length); }
    bool Skip(uint64_t count) override { return m_Out.Skip(count); }
    void SetTimes(const timespec& modified) override { m_Out.SetTimes(modified); }
    bool Commit() override { return m_Out.Commit(); }
    void Discard() override { m_Out.Discard(); }
    const std::string& Error() const override { return m_Out.Error(); }

private:
    std::string m_Destination;
    CZelOutputFile m_Out;
};
