// GIMP's XCF: a header with the image's properties and the pointers to its
// layers and channels; each of those points on to a hierarchy of levels
// whose tiles hold the pixels. GIMP writes every structure after what
// points to it, so the structures are read in the order of their places as
// the bytes come. A tile carries no length: it ends where the next
// structure begins. GIMP writes the smaller levels of a hierarchy, which
// hold no tiles, after its first level's tiles: each is a width, a height
// and a 32-bit zero, whatever the size of the file's pointers. The file ends after its last structure;
// one whose last bytes are a tile cannot be measured.
#include "carve/CarveFormats.h"

#include "jexcommon/ByteOrder.h"

#include <cstdlib>
#include <cstring>
#include <map>

namespace {

// Structures followed in one file, properties in one list and their sizes.
constexpr size_t kMaxStructures = 1 << 20;
constexpr uint32_t kMaxProperties = 4096;
constexpr uint32_t kMaxPropertyLength = 1 << 24;
constexpr uint32_t kMaxName = 65536;

class CXcfStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override { return Need(14 + 12); }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        if (bytes == nullptr) {
            // A stretch passed over: up to a structure, a property's body
            // or a name.
            if (m_Arriving) {
                m_Arriving = false;
                return Arrive();
            }
            if (m_Step == Step::PropertyBody) {
                m_Step = Step::Property;
                return Need(8);
            }
            return Properties();
        }
        switch (m_Step) {
        case Step::Header: {
            if (size != 26 || !ZelMatchesXcf(bytes, size))
                return Fail("no XCF header");
            const int version =
                std::memcmp(bytes + 9, "file", 4) == 0 ? 0 : std::atoi(reinterpret_cast<const char*>(bytes) + 10);
            m_Wide = version >= 11;
            m_Kind = Kind::Image;
            if (version >= 4) {
                m_Step = Step::Precision;
                return Need(4);
            }
            return Properties();
        }
        case Step::Precision:
            return Properties();
        case Step::Property: {
            const uint32_t type = ZelBE32(bytes), length = ZelBE32(bytes + 4);
            if (type == 0)
                return AfterProperties();
            if (++m_Properties > kMaxProperties || length > kMaxPropertyLength)
                return Fail("a property list that does not hold together");
            m_Step = Step::PropertyBody;
            return length == 0 ? OnBytes(nullptr, 0) : Skip(length);
        }
        case Step::PropertyBody:
            break;
        case Step::Pointer: {
            const uint64_t pointer = m_Wide ? ZelBE64(bytes) : ZelBE32(bytes);
            if (m_Fixed > 0) {
                // A layer's hierarchy and mask, a channel's hierarchy: one
                // pointer each, which may be 0.
                --m_Fixed;
                if (pointer != 0 && !Pending(pointer, m_Fixed > 0 ? Kind::Hierarchy : m_After))
                    return Fail("a pointer out of place");
                if (m_Fixed > 0)
                    return Pointer();
                return Next();
            }
            if (pointer == 0) {
                // The end of a list: the image's layers are followed by its
                // channels.
                if (m_Kind == Kind::Image && m_Pointing == Kind::Layer) {
                    m_Pointing = Kind::Channel;
                    return Pointer();
                }
                return Next();
            }
            // A hierarchy's first level is its image; the others are empty.
            const Kind kind = m_Pointing == Kind::Level && m_Levels++ != 0 ? Kind::DummyLevel : m_Pointing;
            if (!Pending(pointer, kind))
                return Fail("a pointer out of place");
            return Pointer();
        }
        case Step::NameHead: {
            const uint32_t length = ZelBE32(bytes + size - 4);
            if (length > kMaxName)
                return Fail("a name of impossible length");
            m_Step = Step::NameBody;
            return length == 0 ? Properties() : Skip(length);
        }
        case Step::NameBody:
            break;
        case Step::HierarchyHead:
            m_Pointing = Kind::Level;
            m_Levels = 0;
            return Pointer();
        case Step::DummyLevel:
            if (ZelBE32(bytes + 8) != 0)
                return Fail("a smaller level that holds tiles");
            return Next();
        case Step::LevelHead:
            m_Pointing = Kind::Tile;
            return Pointer();
        }
        return Fail("lost its place");
    }

private:
    enum class Step {
        Header, Precision, Property, PropertyBody, Pointer, NameHead, NameBody, HierarchyHead, LevelHead, DummyLevel
    };
    enum class Kind { Image, Layer, Channel, Hierarchy, Level, DummyLevel, Tile };

    Ask Properties()
    {
        m_Properties = 0;
        m_Step = Step::Property;
        return Need(8);
    }

    Ask Pointer()
    {
        m_Step = Step::Pointer;
        return Need(m_Wide ? 8 : 4);
    }

    // What follows a structure's properties: its pointers.
    Ask AfterProperties()
    {
        switch (m_Kind) {
        case Kind::Image:
            m_Pointing = Kind::Layer;
            return Pointer();
        case Kind::Layer:
            // Its hierarchy, then its mask (a channel).
            m_Fixed = 2;
            m_After = Kind::Channel;
            return Pointer();
        case Kind::Channel:
            m_Fixed = 1;
            m_After = Kind::Hierarchy;
            return Pointer();
        default:
            return Fail("lost its place");
        }
    }

    bool Pending(uint64_t pointer, Kind kind)
    {
        // Everything lies after what points to it.
        if (pointer < Position() || m_Pending.size() >= kMaxStructures)
            return false;
        m_Pending.emplace(pointer, kind);
        return true;
    }

    // On to the next structure pointed to, in the order of their places.
    Ask Next()
    {
        if (m_Pending.empty()) {
            if (m_InTile)
                return Fail("it ends with a tile, whose end nothing tells");
            return Done(true);
        }
        const auto next = m_Pending.begin();
        const uint64_t at = next->first;
        m_Kind = next->second;
        m_Pending.erase(next);
        if (at < Position())
            return Fail("structures that overlap");
        // A tile ends where the next structure begins.
        m_InTile = false;
        if (at == Position())
            return Arrive();
        m_Arriving = true;
        return Skip(at - Position());
    }

    Ask Arrive()
    {
        switch (m_Kind) {
        case Kind::Tile:
            m_InTile = true;
            return Next();
        case Kind::Hierarchy:
            m_Step = Step::HierarchyHead;
            return Need(12);
        case Kind::Level:
            m_Step = Step::LevelHead;
            return Need(8);
        case Kind::DummyLevel:
            m_Step = Step::DummyLevel;
            return Need(12);
        case Kind::Layer:
            // Width, height and type, then the name's length.
            m_Step = Step::NameHead;
            return Need(16);
        case Kind::Channel:
            m_Step = Step::NameHead;
            return Need(12);
        case Kind::Image:
            break;
        }
        return Fail("lost its place");
    }

    Step m_Step = Step::Header;
    Kind m_Kind = Kind::Image;
    Kind m_Pointing = Kind::Layer;
    // What the second of a layer's fixed pointers points to.
    Kind m_After = Kind::Channel;
    bool m_Wide = false;
    bool m_Arriving = false;
    bool m_InTile = false;
    uint32_t m_Properties = 0;
    uint32_t m_Levels = 0;
    int m_Fixed = 0;
    std::multimap<uint64_t, Kind> m_Pending;
};

} // namespace

bool ZelMatchesXcf(const uint8_t* bytes, size_t size)
{
    return size >= 26 && std::memcmp(bytes, "gimp xcf ", 9) == 0 && bytes[13] == 0 &&
           (std::memcmp(bytes + 9, "file", 4) == 0 || (bytes[9] == 'v' && bytes[10] >= '0' && bytes[10] <= '9'));
}

std::unique_ptr<CZelCarveStream> ZelMakeXcfStream(uint64_t bound)
{
    return std::make_unique<CXcfStream>(bound);
}
