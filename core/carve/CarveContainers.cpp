// Files made of sized boxes or chunks. RIFF (AVI, WAV, WebP): the size in
// its header, checked by walking its chunks to exactly that end. ISO base
// media (MP4, MOV, 3GP, M4A, HEIC, CR3): top-level boxes from ftyp on,
// 64-bit sizes included; the file ends where the next bytes are no box,
// and it holds together when it had both its movie box and its media data.
#include "carve/CarveFormats.h"

#include "jexcommon/ByteOrder.h"

#include <cstring>
#include <string>

namespace {

bool IsFourCc(const uint8_t* bytes)
{
    for (size_t i = 0; i < 4; ++i)
        if (bytes[i] < 0x20 || bytes[i] > 0x7E)
            return false;
    return true;
}

class CRiffStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override { return Need(12); }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        if (m_End == 0) {
            if (size != 12 || !ZelMatchesRiff(bytes, size))
                return Fail("no RIFF header");
            m_End = static_cast<uint64_t>(ZelLE32(bytes + 4)) + 8;
            SetExtension(std::memcmp(bytes + 8, "AVI ", 4) == 0    ? "avi"
                         : std::memcmp(bytes + 8, "WAVE", 4) == 0 ? "wav"
                                                                  : "webp");
            return Next();
        }
        if (bytes == nullptr)
            return Next();
        if (m_Peeking) {
            // An AVI past 1 GiB goes on in "RIFF ... AVIX" lists.
            m_Peeking = false;
            if (std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "AVIX", 4) == 0) {
                m_End = Position() - 12 + ZelLE32(bytes + 4) + 8;
                return Next();
            }
            return Done(true, size);
        }
        if (!IsFourCc(bytes))
            return Fail("a chunk whose name is not text");
        const uint64_t length = ZelLE32(bytes + 4);
        // Chunks are padded to an even length.
        const uint64_t padded = length + (length & 1);
        if (Position() + padded > m_End) {
            // Writers may leave the last pad byte out.
            if (Position() + length == m_End)
                return length == 0 ? Next() : Skip(length);
            return Fail("a chunk runs past the file's end");
        }
        ++m_Chunks;
        return padded == 0 ? Next() : Skip(padded);
    }

private:
    Ask Next()
    {
        if (Position() == m_End) {
            if (m_Chunks == 0)
                return Fail("it holds no chunk");
            if (Extension() != "avi")
                return Done(true);
            m_Peeking = true;
            return Need(12);
        }
        return Need(8);
    }

    Ask OnEnd() override
    {
        // The bytes end where an AVI might have gone on.
        if (m_Peeking)
            return Done(true, Unfinished());
        return Ask();
    }

    uint64_t m_End = 0;
    uint64_t m_Chunks = 0;
    bool m_Peeking = false;
};

bool IsTopLevelBox(const uint8_t* type)
{
    static const char* const kBoxes[] = {"ftyp", "moov", "mdat", "free", "skip", "wide", "uuid", "meta", "pdin",
                                         "moof", "mfra", "sidx", "styp", "ssix", "prft", "pnot", "PICT", "junk",
                                         "udta", "emsg"};
    for (const char* box : kBoxes)
        if (std::memcmp(type, box, 4) == 0)
            return true;
    return false;
}

class CIsoMediaStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override
    {
        m_Step = Step::Header;
        return Need(8);
    }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        switch (m_Step) {
        case Step::Header: {
            // Past the first box, an ftyp is the start of another file.
            if (!IsTopLevelBox(bytes + 4) || (m_Boxes != 0 && std::memcmp(bytes + 4, "ftyp", 4) == 0))
                return m_Boxes == 0 ? Fail("no ftyp box") : End(8);
            uint64_t length = ZelBE32(bytes);
            std::memcpy(m_Type, bytes + 4, 4);
            if (m_Boxes == 0 && std::memcmp(m_Type, "ftyp", 4) != 0)
                return Fail("no ftyp box");
            if (length == 1) {
                m_Step = Step::Large;
                return Need(8);
            }
            if (length == 0)
                return Fail("a box that runs to the end of the volume");
            return Box(length, 8);
        }
        case Step::Large:
            return Box(ZelBE64(bytes), 16);
        case Step::Brand:
            Brand(bytes, size);
            m_Step = Step::Body;
            return m_Left == 0 ? Header() : Skip(m_Left);
        case Step::Body:
            return Header();
        case Step::Child: {
            // A box inside the movie box: it must be one, and the last must
            // end where the movie box does.
            const uint64_t length = ZelBE32(bytes);
            if (!IsFourCc(bytes + 4) || length < 8 || length > m_Left)
                return Fail("its movie box does not hold together");
            m_Left -= length;
            m_Step = Step::ChildBody;
            return length == 8 ? OnBytes(nullptr, 0) : Skip(length - 8);
        }
        case Step::ChildBody:
            if (m_Left == 0)
                return Header();
            if (m_Left < 8)
                return Fail("its movie box does not hold together");
            m_Step = Step::Child;
            return Need(8);
        }
        return Fail("lost its place");
    }

    Ask OnEnd() override { return End(Unfinished()); }

private:
    enum class Step { Header, Large, Brand, Body, Child, ChildBody };

    Ask Header()
    {
        m_Step = Step::Header;
        return Need(8);
    }

    Ask Box(uint64_t length, uint64_t header)
    {
        if (length < header)
            return Fail("a box shorter than its header");
        ++m_Boxes;
        m_Movie = m_Movie || std::memcmp(m_Type, "moov", 4) == 0;
        m_Media = m_Media || std::memcmp(m_Type, "mdat", 4) == 0 || std::memcmp(m_Type, "moof", 4) == 0;
        const uint64_t body = length - header;
        if (m_Boxes == 1 && body >= 4 && body <= 4096) {
            // The brands of ftyp tell the kind of file.
            m_Step = Step::Brand;
            m_Left = body - 4;
            return Need(4);
        }
        if (std::memcmp(m_Type, "moov", 4) == 0 && body >= 8) {
            m_Step = Step::Child;
            m_Left = body;
            return Need(8);
        }
        m_Step = Step::Body;
        return body == 0 ? Header() : Skip(body);
    }

    void Brand(const uint8_t* brand, size_t size)
    {
        if (size < 4)
            return;
        const std::string major(reinterpret_cast<const char*>(brand), 4);
        if (major == "qt  ")
            SetExtension("mov");
        else if (major == "M4A " || major == "M4B ")
            SetExtension("m4a");
        else if (major == "heic" || major == "heix" || major == "mif1" || major == "msf1")
            SetExtension("heic");
        else if (major == "crx ")
            SetExtension("cr3");
        else if (major.compare(0, 3, "3gp") == 0 || major.compare(0, 3, "3g2") == 0)
            SetExtension("3gp");
    }

    // The bytes after the last box are no box (giveBack of them were
    // taken to see so): the file ended before them.
    Ask End(uint64_t giveBack)
    {
        if (m_Step != Step::Header)
            return Fail("cut short inside a box");
        // A HEIF image keeps its item data in mdat with no movie box.
        if (m_Media && (m_Movie || Extension() == "heic"))
            return Done(true, giveBack);
        return Fail(m_Movie ? "it has no media data" : "it has no movie box");
    }

    Step m_Step = Step::Header;
    char m_Type[4] = {};
    uint64_t m_Boxes = 0;
    uint64_t m_Left = 0;
    bool m_Movie = false;
    bool m_Media = false;
};

} // namespace

bool ZelMatchesRiff(const uint8_t* bytes, size_t size)
{
    return size >= 12 && std::memcmp(bytes, "RIFF", 4) == 0 &&
           (std::memcmp(bytes + 8, "AVI ", 4) == 0 || std::memcmp(bytes + 8, "WAVE", 4) == 0 ||
            std::memcmp(bytes + 8, "WEBP", 4) == 0) &&
           ZelLE32(bytes + 4) >= 4;
}

std::unique_ptr<CZelCarveStream> ZelMakeRiffStream(uint64_t bound)
{
    return std::make_unique<CRiffStream>(bound);
}

bool ZelMatchesIsoMedia(const uint8_t* bytes, size_t size)
{
    const uint32_t length = size >= 8 ? ZelBE32(bytes) : 0;
    return size >= 16 && std::memcmp(bytes + 4, "ftyp", 4) == 0 && length >= 16 && length <= 4096 && IsFourCc(bytes + 8);
}

std::unique_ptr<CZelCarveStream> ZelMakeIsoMediaStream(uint64_t bound)
{
    return std::make_unique<CIsoMediaStream>(bound);
}
