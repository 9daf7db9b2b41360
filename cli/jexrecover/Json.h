// The JSON that jexrecover prints, made with nlohmann-json: members in the
// order they were added, and each element of a list on a line of its own
// so that the output can be read and grepped as well as parsed.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <string>

using CZelJson = nlohmann::ordered_json;

// Sets object[key] to text. Text from the command line or the file system
// need not be UTF-8, which JSON strings must be: such a text is given with
// each byte that is not part of a UTF-8 sequence as U+FFFD, and its bytes
// follow, exactly, as hexadecimal digits in key + "Hex".
void ZelJsonSetText(CZelJson& object, const std::string& key, const std::string& text);
// A share from 0 to 100, or null when it is negative (not known).
CZelJson ZelJsonPercent(int32_t value);
// Prints value on out: an object with each member on a line of its own,
// lists with each element on a line of its own, both indented; ends with a
// newline.
void ZelPrintJson(const CZelJson& value, FILE* out);

// Prints an object like ZelPrintJson whose one list is written element by
// element as it is made, so that a list of hundreds of thousands of entries
// is never held whole: the members of head, the list under listKey, then
// the members of tail.
class CZelJsonListWriter {
public:
    CZelJsonListWriter(FILE* out, const CZelJson& head, const std::string& listKey);
    void Add(const CZelJson& element);
    void Finish(const CZelJson& tail);

private:
    void Write(const std::string& text);

    FILE* m_Out;
    uint64_t m_Count = 0;
};
