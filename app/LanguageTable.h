// The program's texts: every language of "Lang.vrl" with its texts, and the
// one in use. One table serves the whole process.
#pragma once

#include "jexvars/ZelVars.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

struct CZelLanguage {
    std::u16string name;
    std::vector<std::u16string> texts;
};

class CZelLanguageTable {
public:
    // Fills the table from a "Lang.vrl" (UTF-8 path): names and text arrays
    // in pairs, every text array as long as the first. 0, or the failure's
    // code. A text that is no string is passed over, so the texts after it
    // move down by one.
    HRESULT Load(const std::string& path);
    // Makes the first language named exactly name the current one; 0, or
    // ZEL_E_INVALIDARG (the current one stays).
    HRESULT Select(const std::u16string& name);
    // Text k of the current language; null when there is none.
    const std::u16string* Text(uint32_t k) const;

    uint32_t Current() const { return m_Current; }
    void SetCurrent(uint32_t current) { m_Current = current; }
    const std::vector<CZelLanguage>& Languages() const { return m_Languages; }

private:
    uint32_t m_Current = 0;
    std::vector<CZelLanguage> m_Languages;
};

// The process's table.
CZelLanguageTable& ZelLanguageTable();
HRESULT LoadLanguages(const std::string& path);
HRESULT SelectLanguage(const std::u16string& name);
// Text k of the current language; empty when there is none.
std::u16string GetText(uint32_t k);
// The same as the window shows it.
QString GetQText(uint32_t k);
