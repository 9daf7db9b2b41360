// The .vrl file: a 28-byte magic ("JexVarLang 1.0" in UTF-16LE) and one
// array element holding the tree, each element a tag, a comment and a
// payload of fixed-width little-endian fields. The file-side objects mirror
// one element each while a file is read or written.
#pragma once

#include "jexvars/ZelVars.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// An open .vrl file, read or written one field at a time.
class CVrlFile {
public:
    ~CVrlFile();
    // Opens an existing file for reading, or creates (replacing) one for
    // writing; false when that fails.
    bool OpenForReading(const std::string& path);
    bool OpenForWriting(const std::string& path);
    // Puts a written file in place of the old one; false when that fails
    // (the old file then stays).
    bool Commit();
    void Close();

    // Reads up to count bytes; the number read (short at the end).
    size_t Read(void* destination, size_t count);
    bool ReadAll(void* destination, size_t count) { return Read(destination, count) == count; }
    bool Write(const void* data, size_t count);
    // Moves the position back by count bytes.
    bool Back(size_t count);
    // Bytes between the position and the end of the file.
    uint64_t Left() const;
    // Elements a read may still make; false, and nothing taken, once the
    // limit set with SetElementLimit is reached.
    bool TakeElement();
    void SetElementLimit(uint64_t limit) { m_ElementsLeft = limit; }

private:
    int m_Fd = -1;
    std::string m_Target;
    std::string m_Temporary;
    uint64_t m_Size = 0;
    uint64_t m_Position = 0;
    // What was read from the file ahead of the position.
    static constexpr size_t kReadBuffer = 64 * 1024;
    std::vector<uint8_t> m_Buffer;
    size_t m_BufferNext = 0;
    // What was written and not yet handed to the system.
    std::vector<uint8_t> m_Pending;
    uint64_t m_ElementsLeft = UINT64_MAX;

    bool Flush();
};

// The most elements a file is read into unless a caller allows more: about
// 110 MB of variables, at most ten times the size of a file that holds them
// (an element takes at least twelve bytes: a tag, a comment's length and a
// payload of four).
constexpr uint64_t kVrlDefaultElementLimit = 1u << 20;

// Arrays nested deeper than this are refused.
constexpr int kVrlMaxDepth = 1000;
extern const char16_t kVrlMagic[14];

class CVarObject {
public:
    explicit CVarObject(const char16_t* tag) : m_Tag(tag) {}
    virtual ~CVarObject() = default;
    virtual HRESULT CloneObject(std::unique_ptr<CVarObject>& copy) const = 0;
    // A new live variable with the same comment and value.
    virtual HRESULT CreateVariable(IZelVariable** variable) const = 0;
    // Reads one element when the file holds this object's tag at the
    // position; otherwise consumes nothing and reports no match.
    HRESULT ReadFrom(CVrlFile& file, bool& matched, int depth);
    // The kind of element whose tag stands at the position (nothing
    // consumed); None when the tag names no element.
    enum class Kind { None, Long, Double, String, Array };
    static Kind KindAt(CVrlFile& file, HRESULT& hr);
    HRESULT WriteTo(CVrlFile& file, bool& written) const;

    // The file-side copy of a live variable: null for a value of type None.
    static HRESULT FromVariable(IZelVariable* variable, std::unique_ptr<CVarObject>& copy, int depth);

protected:
    virtual HRESULT ReadPayload(CVrlFile& file, int depth) = 0;
    virtual bool WritePayload(CVrlFile& file) const = 0;
    // Comment of the new live variable.
    HRESULT TakeComment(IZelVariable* variable) const;
    // A new live long or double with this object's comment and value.
    template <class TInterface, class TValue>
    HRESULT CreateNumber(ZelVariableTypes type, REFIID iid, TValue value, IZelVariable** variable) const;

    const char16_t* m_Tag;
    std::u16string m_Comment;
};

class CVarObjectLong : public CVarObject {
public:
    CVarObjectLong() : CVarObject(u"SL") {}
    HRESULT CloneObject(std::unique_ptr<CVarObject>& copy) const override;
    HRESULT CreateVariable(IZelVariable** variable) const override;
    int32_t m_Value = 0;

protected:
    HRESULT ReadPayload(CVrlFile& file, int depth) override;
    bool WritePayload(CVrlFile& file) const override;
};

class CVarObjectDouble : public CVarObject {
public:
    CVarObjectDouble() : CVarObject(u"DD") {}
    HRESULT CloneObject(std::unique_ptr<CVarObject>& copy) const override;
    HRESULT CreateVariable(IZelVariable** variable) const override;
    double m_Value = 0.0;

protected:
    HRESULT ReadPayload(CVrlFile& file, int depth) override;
    bool WritePayload(CVrlFile& file) const override;
};

class CVarObjectString : public CVarObject {
public:
    CVarObjectString() : CVarObject(u"ST") {}
    HRESULT CloneObject(std::unique_ptr<CVarObject>& copy) const override;
    HRESULT CreateVariable(IZelVariable** variable) const override;
    std::u16string m_Value;

protected:
    HRESULT ReadPayload(CVrlFile& file, int depth) override;
    bool WritePayload(CVrlFile& file) const override;
};

class CVarObjectArray : public CVarObject {
public:
    CVarObjectArray() : CVarObject(u"AR") {}
    // An array read straight into live: each element read becomes a live
    // variable added to it at once, so that only one element's file-side
    // object exists at a time, never a second copy of the whole tree.
    explicit CVarObjectArray(IZelArray* live) : CVarObject(u"AR"), m_pLive(live) {}
    HRESULT CloneObject(std::unique_ptr<CVarObject>& copy) const override;
    HRESULT CreateVariable(IZelVariable** variable) const override;
    // Gives the live array its comment, once read.
    HRESULT CommentLive() const;
    std::vector<std::unique_ptr<CVarObject>> m_Elements;

protected:
    HRESULT ReadPayload(CVrlFile& file, int depth) override;
    bool WritePayload(CVrlFile& file) const override;

private:
    // Reads the element at the position into the live array.
    HRESULT ReadLive(CVrlFile& file, bool& matched, int depth);

    IZelArray* m_pLive = nullptr;
};
