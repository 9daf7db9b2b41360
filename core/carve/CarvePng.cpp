// PNG: the signature, then chunks of length, type, data and CRC, the first
// IHDR, to IEND. Every chunk's CRC is checked.
#include "carve/CarveFormats.h"

#include "jexcommon/ByteOrder.h"

#include <zlib.h>

#include <cstring>

namespace {

const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool IsLetter(uint8_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

class CPngStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override
    {
        m_Step = Step::Signature;
        return Need(8);
    }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        switch (m_Step) {
        case Step::Signature:
            if (size != 8 || std::memcmp(bytes, kSignature, 8) != 0)
                return Fail("no PNG signature");
            m_Step = Step::Header;
            return Need(8);
        case Step::Header: {
            const uint32_t length = ZelBE32(bytes);
            if (length > 0x7FFFFFFF)
                return Fail("a chunk of " + std::to_string(length) + " bytes");
            for (size_t i = 4; i < 8; ++i)
                if (!IsLetter(bytes[i]))
                    return Fail("a chunk type that is not letters");
            std::memcpy(m_Type, bytes + 4, 4);
            if (m_Chunks++ == 0 && std::memcmp(m_Type, "IHDR", 4) != 0)
                return Fail("the first chunk is not IHDR");
            m_Crc = crc32(0L, bytes + 4, 4);
            m_Step = Step::Data;
            return length == 0 ? OnBytes(nullptr, 0) : Skip(length);
        }
        case Step::Data:
            m_Step = Step::Crc;
            return Need(4);
        case Step::Crc:
            if (ZelBE32(bytes) != static_cast<uint32_t>(m_Crc))
                return Fail("the CRC of its " + std::string(m_Type, 4) + " chunk does not agree");
            if (std::memcmp(m_Type, "IEND", 4) == 0)
                return Done(true);
            m_Step = Step::Header;
            return Need(8);
        }
        return Fail("lost its place");
    }

    void OnSkipped(const uint8_t* bytes, size_t size) override
    {
        m_Crc = crc32(m_Crc, bytes, static_cast<uInt>(size));
    }

private:
    enum class Step { Signature, Header, Data, Crc };
    Step m_Step = Step::Signature;
    char m_Type[4] = {};
    uint64_t m_Chunks = 0;
    uLong m_Crc = 0;
};

} // namespace

bool ZelMatchesPng(const uint8_t* bytes, size_t size)
{
    return size >= 16 && std::memcmp(bytes, kSignature, 8) == 0 && std::memcmp(bytes + 12, "IHDR", 4) == 0;
}

std::unique_ptr<CZelCarveStream> ZelMakePngStream(uint64_t bound)
{
    return std::make_unique<CPngStream>(bound);
}
