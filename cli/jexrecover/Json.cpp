#include "Json.h"

#include <cstdio>

std::string ZelJsonString(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
    }
    return out + "\"";
}

CZelJsonObject& CZelJsonObject::Member(const char* key, const std::string& value)
{
    if (!m_Members.empty())
        m_Members += ", ";
    m_Members += ZelJsonString(key) + ": " + value;
    return *this;
}

CZelJsonObject& CZelJsonObject::Add(const char* key, const std::string& text)
{
    return Member(key, ZelJsonString(text));
}

CZelJsonObject& CZelJsonObject::Add(const char* key, uint64_t number)
{
    return Member(key, std::to_string(number));
}

CZelJsonObject& CZelJsonObject::Add(const char* key, bool value)
{
    return Member(key, value ? "true" : "false");
}

const std::string& CZelJsonObject::Text() const
{
    m_Text = "{" + m_Members + "}";
    return m_Text;
}

void ZelPrintJsonArray(const std::vector<CZelJsonObject>& objects)
{
    std::string out = "[";
    for (size_t i = 0; i < objects.size(); ++i)
        out += (i == 0 ? "\n  " : ",\n  ") + objects[i].Text();
    out += objects.empty() ? "]\n" : "\n]\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}

CZelJsonObject& CZelJsonObject::AddPercent(const char* key, int32_t value)
{
    return Member(key, value < 0 ? std::string("null") : std::to_string(value));
}
