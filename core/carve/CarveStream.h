// A file found by its signature is measured as the volume is read: its
// decoder is handed the bytes from its start on, in order, and follows the
// format's own structure to the file's end. It never reads the volume
// itself, so the deep search still reads each byte once.
//
// A decoder asks for what it needs next:
// - Need(n): the next n bytes, whole (a header), handed to OnBytes;
// - Skip(n): n bytes it need not see (a chunk's body), handed to OnSkipped
//   piece by piece for a running check sum;
// - Scan(): every byte from here on, handed to OnScan piece by piece until it
//   says how many it used (data whose end only a marker tells).
// and ends with Done (the file's length is the bytes taken so far) or Fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class CarveState {
    // The decoder wants more bytes.
    Going,
    // The file ends where the bytes taken end.
    Done,
    // Not (or no longer) the file it seemed: problem says why.
    Failed,
};

class CZelCarveStream {
public:
    explicit CZelCarveStream(uint64_t bound) : m_Bound(bound) {}
    virtual ~CZelCarveStream() = default;
    CZelCarveStream(const CZelCarveStream&) = delete;
    CZelCarveStream& operator=(const CZelCarveStream&) = delete;

    // Takes up to size bytes of the file (the next ones); used says how
    // many it took: all of them while Going, those up to the end once Done.
    CarveState Take(const uint8_t* bytes, size_t size, size_t& used);
    // The bytes end here (a cluster in use follows, or the volume ends):
    // the file may end here too where its format allows it.
    CarveState End();

    CarveState State() const { return m_State; }
    // Bytes taken: the file's length once Done.
    uint64_t Taken() const { return m_Taken; }
    // The structure was followed to the end and every check sum held.
    bool Validated() const { return m_Validated; }
    const std::string& Problem() const { return m_Problem; }
    // The extension its content tells (a ZIP that is a DOCX); empty: the
    // format's own.
    const std::string& Extension() const { return m_Extension; }

protected:
    struct Ask {
        enum Kind { Need, Skip, Scan, Stop } kind = Stop;
        uint64_t count = 0;
    };
    Ask Need(size_t count);
    Ask Skip(uint64_t count);
    Ask Scan();
    // The file ends here, or giveBack bytes before here (where it took what
    // follows the file to see that it is no part of it; from OnScan, before
    // the end of the bytes it says it used); validated when its structure
    // checked out.
    Ask Done(bool validated, uint64_t giveBack = 0);
    Ask Fail(const std::string& problem);

    // The first thing to ask for.
    virtual Ask Start() = 0;
    // The bytes asked for with Need; after a Skip, with no bytes.
    virtual Ask OnBytes(const uint8_t* bytes, size_t size) = 0;
    virtual void OnSkipped(const uint8_t* /*bytes*/, size_t /*size*/) {}
    // Bytes from the scan; used is set to those that belong to it and the
    // next ask returned. With used == size and Scan() the scan goes on.
    virtual Ask OnScan(const uint8_t* bytes, size_t size, size_t& used)
    {
        used = size;
        (void)bytes;
        return Fail("no scan");
    }
    // The bytes ended, or the bound was reached: where the format can tell
    // a file's end only by what follows it, Done; else nothing (the file was
    // cut short, or its end is not within the bound).
    virtual Ask OnEnd() { return Ask(); }
    void SetExtension(const std::string& extension) { m_Extension = extension; }
    // Bytes taken before the one being handed over.
    uint64_t Position() const { return m_Taken; }
    // Bytes of a Need not yet whole (taken, and counted in Position).
    uint64_t Unfinished() const { return m_Ask.kind == Ask::Need ? m_Buffer.size() : 0; }

private:
    void Apply(const Ask& ask);
    // Takes back what Done said to, once the bytes of its call are counted.
    void GiveBack();

    uint64_t m_Bound;
    uint64_t m_Taken = 0;
    Ask m_Ask;
    bool m_Started = false;
    std::vector<uint8_t> m_Buffer;
    CarveState m_State = CarveState::Going;
    bool m_Validated = false;
    uint64_t m_GiveBack = 0;
    std::string m_Problem;
    std::string m_Extension;
};
