#include "Json.h"

#include "jexcommon/ZelText.h"

namespace {

std::string Compact(const CZelJson& value)
{
    // Every text went through ZelJsonSetText; replacing stays as a last
    // guard so that printing can never throw.
    return value.dump(-1, ' ', false, CZelJson::error_handler_t::replace);
}

void Print(const CZelJson& value, const std::string& indent, std::string& out);

// One member of the outermost object, after what came before it.
void PrintMember(const std::string& key, const CZelJson& value, bool first, std::string& out)
{
    out += first ? "\n  " : ",\n  ";
    out += Compact(CZelJson(key)) + ": ";
    if (value.is_array())
        Print(value, "  ", out);
    else
        out += Compact(value);
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
        if (object && indent.empty()) {
            PrintMember(it.key(), it.value(), first, out);
        } else {
            out += first ? "\n" : ",\n";
            out += indent + "  ";
            if (object)
                out += Compact(CZelJson(it.key())) + ": ";
            out += Compact(it.value());
        }
        first = false;
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

CZelJsonListWriter::CZelJsonListWriter(FILE* out, const CZelJson& head, const std::string& listKey) : m_Out(out)
{
    std::string text = "{";
    bool first = true;
    for (auto it = head.begin(); it != head.end(); ++it) {
        PrintMember(it.key(), it.value(), first, text);
        first = false;
    }
    text += first ? "\n  " : ",\n  ";
    text += Compact(CZelJson(listKey)) + ": ";
    Write(text);
}

void CZelJsonListWriter::Add(const CZelJson& element)
{
    Write((m_Count++ == 0 ? "[\n    " : ",\n    ") + Compact(element));
}

void CZelJsonListWriter::Finish(const CZelJson& tail)
{
    std::string text = m_Count == 0 ? "[]" : "\n  ]";
    for (auto it = tail.begin(); it != tail.end(); ++it)
        PrintMember(it.key(), it.value(), false, text);
    text += "\n}\n";
    Write(text);
    std::fflush(m_Out);
}

void CZelJsonListWriter::Write(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), m_Out);
}
