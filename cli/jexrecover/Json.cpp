#include "Json.h"

#include "jexcommon/ZelText.h"

namespace {

std::string Compact(const CZelJson& value)
{
    // Every text went through ZelJsonSetText; replacing stays as a last
    // guard so that printing can never throw.
    return value.dump(-1, ' ', false, CZelJson::error_handler_t::replace);
}

void Print(const CZelJson& value, const std::string& indent, std::string& out)
{
    const bool nested = value.is_object() || value.is_array();
    if (!nested || value.empty()) {
        out += Compact(value);
        return;
    }
    // One level is spread over lines; what lies deeper stays on one line.
    const bool object = value.is_object();
    out += object ? "{" : "[";
    bool first = true;
    for (auto it = value.begin(); it != value.end(); ++it) {
        out += first ? "\n" : ",\n";
        first = false;
        out += indent + "  ";
        if (object) {
            out += Compact(CZelJson(it.key())) + ": ";
            if (it.value().is_array() && indent.empty())
                Print(it.value(), indent + "  ", out);
            else
                out += Compact(it.value());
        } else {
            out += Compact(it.value());
        }
    }
    out += "\n" + indent + (object ? "}" : "]");
}

} // namespace

void ZelJsonSetText(CZelJson& object, const std::string& key, const std::string& text)
{
    if (ZelIsUtf8(text)) {
        object[key] = text;
        return;
    }
    // Stray bytes must not pass for characters (as Windows-1252, say): each
    // becomes U+FFFD, and the hexadecimal bytes say what stood there.
    std::string replaced = CZelJson(text).dump(-1, ' ', false, CZelJson::error_handler_t::replace);
    object[key] = CZelJson::parse(replaced).get<std::string>();
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : text) {
        hex.push_back(digits[c >> 4]);
        hex.push_back(digits[c & 15]);
    }
    object[key + "Hex"] = hex;
}

CZelJson ZelJsonPercent(int32_t value)
{
    return value < 0 ? CZelJson(nullptr) : CZelJson(value);
}

void ZelPrintJson(const CZelJson& value, FILE* out)
{
    std::string text;
    Print(value, "", text);
    text += "\n";
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
}
