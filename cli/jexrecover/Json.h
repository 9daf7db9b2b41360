// The JSON that jexrecover prints: arrays of flat objects, one object per
// line, members in the order they were added.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CZelJsonObject {
public:
    CZelJsonObject& Add(const char* key, const std::string& text);
    CZelJsonObject& Add(const char* key, const char* text) { return Add(key, std::string(text)); }
    CZelJsonObject& Add(const char* key, uint64_t number);
    CZelJsonObject& Add(const char* key, bool value);
    // A share from 0 to 100, or null when it is negative (not known).
    CZelJsonObject& AddPercent(const char* key, int32_t value);
    // {"key": value, ...}
    const std::string& Text() const;

private:
    CZelJsonObject& Member(const char* key, const std::string& value);

    std::string m_Members;
    mutable std::string m_Text;
};

// text as a JSON string, quotes included; text is UTF-8.
std::string ZelJsonString(const std::string& text);
// Prints the objects on standard output as one array: "[", then each object
// on a line of its own, then "]".
void ZelPrintJsonArray(const std::vector<CZelJsonObject>& objects);
