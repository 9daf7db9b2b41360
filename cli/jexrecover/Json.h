// Writing JSON texts.
#pragma once

#include <string>

// text as a JSON string, quotes included; text is UTF-8.
std::string ZelJsonString(const std::string& text);
