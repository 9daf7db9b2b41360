#include "VrlFile.h"

#include "ZelVariables.h"
#include "jexcommon/ByteOrder.h"
#include "jexvars/ZelComPtr.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char16_t kVrlMagic[14] = {u'J', u'e', u'x', u'V', u'a', u'r', u'L', u'a', u'n', u'g', u' ', u'1', u'.', u'0'};

namespace {

void PutLE32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool ReadInt32(CVrlFile& file, int32_t& value)
{
    uint8_t bytes[4];
    if (!file.ReadAll(bytes, 4))
        return false;
    value = static_cast<int32_t>(ZelLE32(bytes));
    return true;
}

bool WriteInt32(CVrlFile& file, int32_t value)
{
    uint8_t bytes[4];
    PutLE32(bytes, static_cast<uint32_t>(value));
    return file.Write(bytes, 4);
}

// A length-prefixed text: its length is checked against what the file
// still holds before anything is taken for it. The text ends at its first
// zero unit; a trailing odd byte is consumed and ignored.
HRESULT ReadText(CVrlFile& file, std::u16string& text)
{
    int32_t length = 0;
    if (!ReadInt32(file, length))
        return ZEL_E_FILEIO;
    if (length < 0)
        return ZEL_E_BADLENGTH;
    text.clear();
    if (length == 0)
        return S_OK;
    if (static_cast<uint64_t>(length) > file.Left())
        return ZEL_E_FILEIO;
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    if (!file.ReadAll(bytes.data(), bytes.size()))
        return ZEL_E_FILEIO;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0)
            break;
        text.push_back(unit);
    }
    return S_OK;
}

bool WriteText(CVrlFile& file, const std::u16string& text)
{
    if (text.size() > INT32_MAX / 2)
        return false;
    if (!WriteInt32(file, static_cast<int32_t>(2 * text.size())))
        return false;
    std::vector<uint8_t> bytes(2 * text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(text[i]);
        bytes[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
    }
    return bytes.empty() || file.Write(bytes.data(), bytes.size());
}

// The text of a BSTR up to its first zero unit.
std::u16string TextOf(BSTR text)
{
    return text == nullptr ? std::u16string() : std::u16string(text, ZelTextLength(text));
}

template <class T>
HRESULT CreateLive(ZelVariableTypes type, REFIID iid, CZelComPtr<T>& live)
{
    return ZelCreateVariableAs(type, iid, live.Out());
}

} // namespace

CVrlFile::~CVrlFile()
{
    Close();
}

bool CVrlFile::OpenForReading(const std::string& path)
{
    Close();
    // Non-blocking, so that a FIFO in place of the file cannot stall the
    // open; only regular files are read.
    m_Fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (m_Fd < 0)
        return false;
    struct stat info;
    if (::fstat(m_Fd, &info) != 0 || !S_ISREG(info.st_mode) || ::fcntl(m_Fd, F_SETFL, 0) != 0) {
        Close();
        return false;
    }
    m_Size = static_cast<uint64_t>(info.st_size);
    m_Position = 0;
    m_Buffer.clear();
    m_BufferNext = 0;
    return true;
}

bool CVrlFile::OpenForWriting(const std::string& path)
{
    Close();
    // The new content goes to a file beside the old one, which it replaces
    // only once it is complete.
    m_Target = path;
    m_Temporary = path + ".new";
    m_Fd = ::open(m_Temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    m_Size = m_Position = 0;
    return m_Fd >= 0;
}

bool CVrlFile::Commit()
{
    if (m_Fd < 0 || m_Temporary.empty())
        return false;
    bool ok = Flush();
    ok = ::fsync(m_Fd) == 0 && ok;
    ok = ::close(m_Fd) == 0 && ok;
    m_Fd = -1;
    ok = ok && ::rename(m_Temporary.c_str(), m_Target.c_str()) == 0;
    if (!ok)
        ::unlink(m_Temporary.c_str());
    m_Temporary.clear();
    return ok;
}

void CVrlFile::Close()
{
    if (m_Fd >= 0)
        ::close(m_Fd);
    m_Fd = -1;
    // A file written but not committed leaves the old one as it was.
    if (!m_Temporary.empty())
        ::unlink(m_Temporary.c_str());
    m_Temporary.clear();
    m_Buffer.clear();
    m_BufferNext = 0;
    m_Pending.clear();
}

size_t CVrlFile::Read(void* destination, size_t count)
{
    // Through a buffer: a file holds many small fields, and a system call
    // for each would cost more than the reading itself.
    char* out = static_cast<char*>(destination);
    size_t done = 0;
    while (done < count) {
        if (m_BufferNext == m_Buffer.size()) {
            m_Buffer.resize(kReadBuffer);
            ssize_t got = ::read(m_Fd, m_Buffer.data(), m_Buffer.size());
            if (got < 0 && errno == EINTR) {
                m_Buffer.clear();
                m_BufferNext = 0;
                continue;
            }
            m_Buffer.resize(got > 0 ? static_cast<size_t>(got) : 0);
            m_BufferNext = 0;
            if (got <= 0)
                break;
        }
        size_t take = std::min(count - done, m_Buffer.size() - m_BufferNext);
        std::memcpy(out + done, m_Buffer.data() + m_BufferNext, take);
        m_BufferNext += take;
        done += take;
    }
    m_Position += done;
    return done;
}

bool CVrlFile::Write(const void* data, size_t count)
{
    // Through a buffer too, handed to the system when full and on Commit.
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    m_Pending.insert(m_Pending.end(), bytes, bytes + count);
    m_Position += count;
    return m_Pending.size() < kReadBuffer || Flush();
}

bool CVrlFile::Flush()
{
    size_t done = 0;
    while (done < m_Pending.size()) {
        ssize_t put = ::write(m_Fd, m_Pending.data() + done, m_Pending.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            m_Pending.clear();
            return false;
        }
        done += static_cast<size_t>(put);
    }
    m_Pending.clear();
    return true;
}

bool CVrlFile::TakeElement()
{
    if (m_ElementsLeft == 0)
        return false;
    --m_ElementsLeft;
    return true;
}

bool CVrlFile::Back(size_t count)
{
    if (count == 0)
        return true;
    // Within what the buffer still holds, else on the file itself (where
    // the buffer's unread bytes lie ahead of the position).
    if (count <= m_BufferNext) {
        m_BufferNext -= count;
    } else {
        const off_t ahead = static_cast<off_t>(m_Buffer.size() - m_BufferNext);
        if (::lseek(m_Fd, -static_cast<off_t>(count) - ahead, SEEK_CUR) < 0)
            return false;
        m_Buffer.clear();
        m_BufferNext = 0;
    }
    m_Position -= count;
    return true;
}

uint64_t CVrlFile::Left() const
{
    return m_Position < m_Size ? m_Size - m_Position : 0;
}

HRESULT CVarObject::ReadFrom(CVrlFile& file, bool& matched, int depth)
{
    matched = false;
    uint8_t tag[4];
    size_t got = file.Read(tag, 4);
    if (got < 4 || tag[0] != static_cast<uint8_t>(m_Tag[0]) || tag[1] != 0 ||
        tag[2] != static_cast<uint8_t>(m_Tag[1]) || tag[3] != 0)
        return file.Back(got) ? S_OK : ZEL_E_FILEIO;
    if (!file.TakeElement())
        return ZEL_E_BADLENGTH;
    HRESULT hr = ReadText(file, m_Comment);
    if (FAILED(hr))
        return hr;
    hr = ReadPayload(file, depth);
    if (FAILED(hr))
        return hr;
    matched = true;
    return S_OK;
}

CVarObject::Kind CVarObject::KindAt(CVrlFile& file, HRESULT& hr)
{
    hr = S_OK;
    uint8_t tag[4];
    size_t got = file.Read(tag, 4);
    if (!file.Back(got)) {
        hr = ZEL_E_FILEIO;
        return Kind::None;
    }
    if (got < 4 || tag[1] != 0 || tag[3] != 0)
        return Kind::None;
    auto is = [&](const char16_t* name) { return tag[0] == name[0] && tag[2] == name[1]; };
    return is(u"SL") ? Kind::Long
           : is(u"DD") ? Kind::Double
           : is(u"ST") ? Kind::String
           : is(u"AR") ? Kind::Array
                       : Kind::None;
}

HRESULT CVarObject::WriteTo(CVrlFile& file, bool& written) const
{
    written = false;
    const uint8_t tag[4] = {static_cast<uint8_t>(m_Tag[0]), 0, static_cast<uint8_t>(m_Tag[1]), 0};
    if (!file.Write(tag, 4) || !WriteText(file, m_Comment) || !WritePayload(file))
        return ZEL_E_FILEIO;
    written = true;
    return S_OK;
}

HRESULT CVarObject::TakeComment(IZelVariable* variable) const
{
    CZelBstr comment(m_Comment);
    if (comment.Get() == nullptr)
        return ZEL_E_NOMEMORY;
    return variable->put_Comment(comment.Get());
}

template <class TInterface, class TValue>
HRESULT CVarObject::CreateNumber(ZelVariableTypes type, REFIID iid, TValue value, IZelVariable** variable) const
{
    CZelComPtr<TInterface> live;
    HRESULT hr = CreateLive(type, iid, live);
    if (FAILED(hr))
        return hr;
    live->put_Value(value);
    hr = TakeComment(live.Get());
    if (FAILED(hr))
        return hr;
    *variable = live.Detach();
    return S_OK;
}

HRESULT CVarObject::FromVariable(IZelVariable* variable, std::unique_ptr<CVarObject>& copy, int depth)
{
    copy.reset();
    ZelVariableTypes type = ZelVariableTypes_None;
    if (variable == nullptr || FAILED(variable->get_Type(&type)))
        return S_OK;
    std::u16string comment;
    CZelBstr text;
    if (SUCCEEDED(variable->get_Comment(text.Out())))
        comment = TextOf(text.Get());
    if (type == ZelVariableTypes_Long) {
        CZelComPtr<IZelLong> live;
        if (FAILED(variable->QueryInterface(IID_IZelLong, live.OutVoid())))
            return S_OK;
        auto object = std::make_unique<CVarObjectLong>();
        live->get_Value(&object->m_Value);
        copy = std::move(object);
    } else if (type == ZelVariableTypes_Double) {
        CZelComPtr<IZelDouble> live;
        if (FAILED(variable->QueryInterface(IID_IZelDouble, live.OutVoid())))
            return S_OK;
        auto object = std::make_unique<CVarObjectDouble>();
        live->get_Value(&object->m_Value);
        copy = std::move(object);
    } else if (type == ZelVariableTypes_String) {
        CZelComPtr<IZelString> live;
        if (FAILED(variable->QueryInterface(IID_IZelString, live.OutVoid())))
            return S_OK;
        auto object = std::make_unique<CVarObjectString>();
        CZelBstr value;
        live->get_Value(value.Out());
        object->m_Value = TextOf(value.Get());
        copy = std::move(object);
    } else if (type == ZelVariableTypes_Array) {
        if (depth > kVrlMaxDepth)
            return ZEL_E_BADLENGTH;
        CZelComPtr<IZelArray> live;
        if (FAILED(variable->QueryInterface(IID_IZelArray, live.OutVoid())))
            return S_OK;
        auto object = std::make_unique<CVarObjectArray>();
        LONG count = 0;
        live->get_Count(&count);
        HRESULT hr = S_OK;
        for (LONG i = 0; i < count && SUCCEEDED(hr); ++i) {
            CZelComPtr<IZelVariable> element;
            if (FAILED(live->GetAt(i, element.Out())))
                continue;
            std::unique_ptr<CVarObject> elementCopy;
            hr = FromVariable(element.Get(), elementCopy, depth + 1);
            if (elementCopy)
                object->m_Elements.push_back(std::move(elementCopy));
        }
        if (FAILED(hr))
            return hr;
        copy = std::move(object);
    }
    if (copy)
        copy->m_Comment = comment;
    return S_OK;
}

HRESULT CVarObjectLong::CloneObject(std::unique_ptr<CVarObject>& copy) const
{
    copy = std::make_unique<CVarObjectLong>(*this);
    return S_OK;
}

HRESULT CVarObjectLong::CreateVariable(IZelVariable** variable) const
{
    return CreateNumber<IZelLong>(ZelVariableTypes_Long, IID_IZelLong, m_Value, variable);
}

HRESULT CVarObjectLong::ReadPayload(CVrlFile& file, int)
{
    return ReadInt32(file, m_Value) ? S_OK : ZEL_E_FILEIO;
}

bool CVarObjectLong::WritePayload(CVrlFile& file) const
{
    return WriteInt32(file, m_Value);
}

HRESULT CVarObjectDouble::CloneObject(std::unique_ptr<CVarObject>& copy) const
{
    copy = std::make_unique<CVarObjectDouble>(*this);
    return S_OK;
}

HRESULT CVarObjectDouble::CreateVariable(IZelVariable** variable) const
{
    return CreateNumber<IZelDouble>(ZelVariableTypes_Double, IID_IZelDouble, m_Value, variable);
}

HRESULT CVarObjectDouble::ReadPayload(CVrlFile& file, int)
{
    uint8_t bytes[8];
    if (!file.ReadAll(bytes, 8))
        return ZEL_E_FILEIO;
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    std::memcpy(&m_Value, &bits, 8);
    return S_OK;
}

bool CVarObjectDouble::WritePayload(CVrlFile& file) const
{
    uint64_t bits = 0;
    std::memcpy(&bits, &m_Value, 8);
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
    return file.Write(bytes, 8);
}

HRESULT CVarObjectString::CloneObject(std::unique_ptr<CVarObject>& copy) const
{
    copy = std::make_unique<CVarObjectString>(*this);
    return S_OK;
}

HRESULT CVarObjectString::CreateVariable(IZelVariable** variable) const
{
    CZelComPtr<IZelString> live;
    HRESULT hr = CreateLive(ZelVariableTypes_String, IID_IZelString, live);
    if (FAILED(hr))
        return hr;
    CZelBstr value(m_Value);
    hr = value.Get() == nullptr ? ZEL_E_NOMEMORY : live->put_Value(value.Get());
    if (SUCCEEDED(hr))
        hr = TakeComment(live.Get());
    if (FAILED(hr))
        return hr;
    *variable = live.Detach();
    return S_OK;
}

HRESULT CVarObjectString::ReadPayload(CVrlFile& file, int)
{
    return ReadText(file, m_Value);
}

bool CVarObjectString::WritePayload(CVrlFile& file) const
{
    return WriteText(file, m_Value);
}

HRESULT CVarObjectArray::CloneObject(std::unique_ptr<CVarObject>& copy) const
{
    auto clone = std::make_unique<CVarObjectArray>();
    clone->m_Comment = m_Comment;
    for (const auto& element : m_Elements) {
        std::unique_ptr<CVarObject> elementCopy;
        HRESULT hr = element->CloneObject(elementCopy);
        if (FAILED(hr))
            return hr;
        clone->m_Elements.push_back(std::move(elementCopy));
    }
    copy = std::move(clone);
    return S_OK;
}

HRESULT CVarObjectArray::CreateVariable(IZelVariable** variable) const
{
    CZelComPtr<IZelArray> live;
    HRESULT hr = CreateLive(ZelVariableTypes_Array, IID_IZelArray, live);
    if (FAILED(hr))
        return hr;
    hr = TakeComment(live.Get());
    for (size_t i = 0; i < m_Elements.size() && SUCCEEDED(hr); ++i) {
        CZelComPtr<IZelVariable> element;
        hr = m_Elements[i]->CreateVariable(element.Out());
        if (SUCCEEDED(hr))
            hr = live->Add(element.Get());
    }
    if (FAILED(hr))
        return hr;
    *variable = live.Detach();
    return S_OK;
}

HRESULT CVarObjectArray::ReadPayload(CVrlFile& file, int depth)
{
    // Arrays are read only into a live array.
    if (m_pLive == nullptr)
        return ZEL_E_INVALIDARG;
    if (depth > kVrlMaxDepth)
        return ZEL_E_BADLENGTH;
    int32_t count = 0;
    if (!ReadInt32(file, count))
        return ZEL_E_FILEIO;
    // Every element takes bytes: a count beyond what the file still holds is
    // refused before any slot is tried. A count that merely promises more
    // elements than follow leaves the rest empty: each element read takes
    // at least twelve bytes, so the bytes bound what is made, and the
    // element limit what a large file may cost.
    if (count > 0 && static_cast<uint64_t>(count) > file.Left())
        return ZEL_E_FILEIO;
    for (int32_t slot = 0; slot < count; ++slot) {
        bool matched = false;
        HRESULT hr = S_OK;
        hr = ReadLive(file, matched, depth);
        if (FAILED(hr))
            return hr;
        // A slot that matches nothing consumes nothing: every later slot
        // meets the same bytes and stays empty too.
        if (!matched)
            break;
    }
    return S_OK;
}

HRESULT CVarObjectArray::ReadLive(CVrlFile& file, bool& matched, int depth)
{
    matched = false;
    HRESULT hr = S_OK;
    CZelComPtr<IZelVariable> variable;
    // The one element's file-side object lives on the stack: a large file
    // has a million of them in turn.
    auto scalar = [&](CVarObject&& element) {
        hr = element.ReadFrom(file, matched, depth + 1);
        if (SUCCEEDED(hr) && matched)
            hr = element.CreateVariable(variable.Out());
    };
    switch (KindAt(file, hr)) {
    case Kind::None:
        return hr;
    case Kind::Long:
        scalar(CVarObjectLong());
        break;
    case Kind::Double:
        scalar(CVarObjectDouble());
        break;
    case Kind::String:
        scalar(CVarObjectString());
        break;
    case Kind::Array: {
        CZelComPtr<IZelArray> inner;
        hr = CreateLive(ZelVariableTypes_Array, IID_IZelArray, inner);
        if (FAILED(hr))
            return hr;
        CVarObjectArray reader(inner.Get());
        hr = reader.ReadFrom(file, matched, depth + 1);
        if (SUCCEEDED(hr) && matched)
            hr = reader.CommentLive();
        if (SUCCEEDED(hr) && matched)
            hr = inner->QueryInterface(IID_IZelVariable, variable.OutVoid());
        break;
    }
    }
    if (FAILED(hr) || !matched)
        return hr;
    return m_pLive->Add(variable.Get());
}

HRESULT CVarObjectArray::CommentLive() const
{
    return m_pLive == nullptr ? ZEL_E_INVALIDARG : TakeComment(m_pLive);
}

bool CVarObjectArray::WritePayload(CVrlFile& file) const
{
    if (!WriteInt32(file, static_cast<int32_t>(m_Elements.size())))
        return false;
    for (const auto& element : m_Elements) {
        bool written = false;
        if (FAILED(element->WriteTo(file, written)) || !written)
            return false;
    }
    return true;
}
