// The core's own small string classes: a zero-terminated text in a buffer
// taken from the runtime heap (malloc family), null when the string is empty.
// CZelStringT is the common base; CZelStringA (char) and CZelStringW (wchar_t)
// know the length of their text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

template <class TChar>
class CZelStringT {
public:
    CZelStringT() : m_pBuffer(nullptr), m_Zero(0) {}
    CZelStringT(const CZelStringT& other) : m_pBuffer(nullptr), m_Zero(0) { CopyFrom(other.m_pBuffer); }
    CZelStringT& operator=(const CZelStringT& other)
    {
        if (this != &other) {
            TChar* copy = DuplicateText(other.m_pBuffer);
            Clear();
            m_pBuffer = copy;
        }
        return *this;
    }

    // Frees the buffer and leaves the string empty.
    virtual void Clear()
    {
        std::free(m_pBuffer);
        m_pBuffer = nullptr;
    }
    // Replaces the text by a copy of byteCount bytes at data (the count
    // includes the terminator). A null pointer leaves the string empty.
    virtual void SetData(const void* data, size_t byteCount)
    {
        Clear();
        if (data == nullptr)
            return;
        // Room for at least one terminator, whatever the caller counted.
        size_t allocated = byteCount + sizeof(TChar);
        m_pBuffer = static_cast<TChar*>(std::malloc(allocated));
        if (m_pBuffer == nullptr)
            throw std::bad_alloc();
        std::memcpy(m_pBuffer, data, byteCount);
        std::memset(reinterpret_cast<char*>(m_pBuffer) + byteCount, 0, sizeof(TChar));
    }
    virtual ~CZelStringT() { std::free(m_pBuffer); }
    virtual TChar* GetBuffer() const { return m_pBuffer; }
    // The character at index, or an empty text when the index is out of range.
    virtual const TChar* At(int32_t index) const
    {
        if (index >= 0 && index < GetLength() && m_pBuffer != nullptr)
            return m_pBuffer + index;
        return &m_Zero;
    }
    virtual int32_t GetLength() const { return 0; }
    virtual int32_t GetByteSize() const { return 0; }
    virtual void AppendBase(CZelStringT /*other*/) {}
    virtual void Empty() { AssignBase(CZelStringT()); }
    // Makes this string a copy of the argument's text.
    virtual void AssignBase(CZelStringT other)
    {
        if (other.m_pBuffer == m_pBuffer)
            return;
        TChar* copy = DuplicateText(other.m_pBuffer);
        Clear();
        m_pBuffer = copy;
    }
    virtual TChar* Duplicate() const { return nullptr; }

protected:
    static size_t TextLength(const TChar* text)
    {
        size_t n = 0;
        if (text != nullptr)
            while (text[n] != 0)
                ++n;
        return n;
    }
    // A zero-terminated heap copy of text, null for a null text.
    static TChar* DuplicateText(const TChar* text)
    {
        if (text == nullptr)
            return nullptr;
        return DuplicateCount(text, TextLength(text));
    }
    static TChar* DuplicateCount(const TChar* text, size_t count)
    {
        TChar* copy = static_cast<TChar*>(std::malloc((count + 1) * sizeof(TChar)));
        if (copy == nullptr)
            throw std::bad_alloc();
        if (count != 0)
            std::memcpy(copy, text, count * sizeof(TChar));
        copy[count] = 0;
        return copy;
    }
    void CopyFrom(const TChar* text) { m_pBuffer = DuplicateText(text); }

    TChar* m_pBuffer;
    TChar m_Zero;
};

// The length-aware strings. Byte sizes count the terminator.
template <class TChar>
class CZelStringLengthT : public CZelStringT<TChar> {
public:
    CZelStringLengthT() = default;
    explicit CZelStringLengthT(const TChar* text) { this->CopyFrom(text); }
    CZelStringLengthT(const TChar* text, size_t count)
    {
        this->m_pBuffer = text == nullptr ? this->DuplicateCount(nullptr, 0) : this->DuplicateCount(text, count);
    }
    CZelStringLengthT(const CZelStringLengthT& other) : CZelStringT<TChar>(other) {}
    CZelStringLengthT& operator=(const CZelStringLengthT& other)
    {
        CZelStringT<TChar>::operator=(other);
        return *this;
    }

    int32_t GetLength() const override
    {
        return static_cast<int32_t>(this->TextLength(this->m_pBuffer));
    }
    int32_t GetByteSize() const override
    {
        if (this->m_pBuffer == nullptr)
            return 0;
        return static_cast<int32_t>((this->TextLength(this->m_pBuffer) + 1) * sizeof(TChar));
    }
    TChar* Duplicate() const override
    {
        if (this->m_pBuffer == nullptr)
            return nullptr;
        return this->DuplicateText(this->m_pBuffer);
    }
    // Puts a copy of the argument's text behind this text; an empty string
    // becomes a copy of the argument.
    virtual void Append(CZelStringLengthT other)
    {
        const TChar* add = other.GetBuffer();
        size_t addLength = this->TextLength(add);
        if (addLength == 0)
            return;
        size_t ownLength = this->TextLength(this->m_pBuffer);
        TChar* joined = static_cast<TChar*>(std::realloc(this->m_pBuffer, (ownLength + addLength + 1) * sizeof(TChar)));
        if (joined == nullptr)
            throw std::bad_alloc();
        std::memcpy(joined + ownLength, add, (addLength + 1) * sizeof(TChar));
        this->m_pBuffer = joined;
    }
    // Replaces this text by a copy of the argument's text.
    virtual void Assign(CZelStringLengthT other)
    {
        this->Clear();
        this->CopyFrom(other.GetBuffer());
    }
};

class CZelStringA : public CZelStringLengthT<char> {
public:
    CZelStringA() = default;
    CZelStringA(const char* text) : CZelStringLengthT<char>(text) {}
    CZelStringA(const char* text, size_t count) : CZelStringLengthT<char>(text, count) {}
    CZelStringA(const CZelStringLengthT<char>& other) : CZelStringLengthT<char>(other) {}
};

class CZelStringW : public CZelStringLengthT<wchar_t> {
public:
    // The wide string starts as an empty zero-terminated text, not as null.
    CZelStringW() : CZelStringLengthT<wchar_t>(L"") {}
    CZelStringW(const wchar_t* text) : CZelStringLengthT<wchar_t>(text) {}
    CZelStringW(const wchar_t* text, size_t count) : CZelStringLengthT<wchar_t>(text, count) {}
    CZelStringW(const CZelStringLengthT<wchar_t>& other) : CZelStringLengthT<wchar_t>(other) {}
};
