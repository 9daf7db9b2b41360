// The program's parameters, from "Params.vrl": the name of the language to
// use (element 0) and the extension lists of the four categories (elements 1
// to 4: documents, audio, images, video). Read once, never written.
#pragma once

#include "jexvars/ZelComPtr.h"
#include "jexvars/ZelVars.h"

#include <mutex>
#include <string>

// A parameter store that could not make its builder.
constexpr HRESULT ZEL_E_CREATEFAILED = ZEL_HR(0x80040309u);

class CApplicationParams {
public:
    // Makes the store's builder; Created() tells how that went.
    CApplicationParams();
    // 0, ZEL_E_NOMEMORY or ZEL_E_CREATEFAILED.
    HRESULT Created() const { return m_Created; }

    // Reads the file (UTF-8 path); ZEL_E_INVALIDARG without a builder, the
    // store's code when the read fails.
    HRESULT ReadParams(const std::string& path);
    // The language name; 0 without a name when nothing was read,
    // ZEL_E_INVALIDARG when element 0 is no string.
    HRESULT GetLanguageName(std::u16string& name, bool& found);
    // The length of list a; 0 when it is none, ZEL_E_INVALIDARG (negative)
    // when a lies past the root.
    HRESULT GetListCount(LONG a);
    // Text b of list a; found is false when there is none.
    HRESULT GetListString(LONG a, LONG b, std::u16string& text, bool& found);

private:
    // Element a of the root when it lies within it (list empty when that is
    // no list); false past the root. The lock is held.
    bool ListAt(LONG a, CZelComPtr<IZelArray>& list);

    std::mutex m_Lock;
    HRESULT m_Created = S_OK;
    CZelComPtr<IZelVarBuilder> m_pBuilder;
    CZelComPtr<IZelArray> m_pRoot;
};
