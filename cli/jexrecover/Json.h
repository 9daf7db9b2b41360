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
