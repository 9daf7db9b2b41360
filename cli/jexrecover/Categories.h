// The extension lists of the file categories, from "Params.vrl" beside the
// program, read through libJexVars.so.
#pragma once

#include <map>
#include <string>
#include <vector>

// Category name (documents, audio, images, video) to its extensions; false
// with a message when the file or the library cannot be read.
bool ZelReadCategories(const std::string& folder, std::map<std::string, std::vector<std::string>>& categories,
                       std::string& error);
