#include "RegistryScript.h"

#include <cctype>
#include <memory>
#include <vector>

namespace {

struct Token {
    enum Kind { Word, Text, Open, Close, Equals, End } kind;
    std::string text;
};

std::string Replace(const std::string& text, const std::map<std::string, std::string>& replacements)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t end = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
        if (end != std::string::npos) {
            auto found = replacements.find(text.substr(i + 1, end - i - 1));
            if (found != replacements.end()) {
                out += found->second;
                i = end;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

bool Tokenize(const std::string& script, const std::map<std::string, std::string>& replacements,
              std::vector<Token>& tokens)
{
    size_t i = 0;
    while (i < script.size()) {
        char c = script[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '{' && i + 1 < script.size() && std::isxdigit(static_cast<unsigned char>(script[i + 1]))) {
            // A class identifier as a key name: {95750870-E914-...}.
            size_t end = script.find('}', i);
            if (end == std::string::npos)
                return false;
            tokens.push_back({Token::Word, script.substr(i, end - i + 1)});
            i = end + 1;
        } else if (c == '{' || c == '}' || c == '=') {
            tokens.push_back({c == '{' ? Token::Open : c == '}' ? Token::Close : Token::Equals, std::string(1, c)});
            ++i;
        } else if (c == '\'') {
            std::string text;
            ++i;
            for (;;) {
                if (i >= script.size())
                    return false;
                if (script[i] == '\'') {
                    // '' stands for one quote.
                    if (i + 1 < script.size() && script[i + 1] == '\'') {
                        text.push_back('\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text.push_back(script[i++]);
            }
            tokens.push_back({Token::Text, Replace(text, replacements)});
        } else {
            size_t start = i;
            while (i < script.size() && !std::isspace(static_cast<unsigned char>(script[i])) && script[i] != '{' &&
                   script[i] != '}' && script[i] != '=' && script[i] != '\'')
                ++i;
            tokens.push_back({Token::Word, Replace(script.substr(start, i - start), replacements)});
        }
    }
    tokens.push_back({Token::End, ""});
    return true;
}

// The parsed script: keys with values and keys inside them.
struct Node {
    enum Flag { Plain, NoRemove, ForceRemove, Delete } flag = Plain;
    std::string name;
    bool hasDefault = false;
    std::string defaultValue;
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<std::unique_ptr<Node>> keys;
};

class Parser {
public:
    explicit Parser(const std::vector<Token>& tokens) : m_Tokens(tokens) {}

    bool Script(std::vector<std::unique_ptr<Node>>& roots)
    {
        while (Peek().kind != Token::End) {
            auto root = std::make_unique<Node>();
            if (Peek().kind != Token::Word)
                return false;
            root->name = Next().text;
            if (root->name == "HKEY_CLASSES_ROOT")
                root->name = "HKCR";
            if (root->name != "HKCR" || !Body(*root))
                return false;
            root->flag = Node::NoRemove;
            roots.push_back(std::move(root));
        }
        return true;
    }

private:
    const Token& Peek() const { return m_Tokens[m_Position]; }
    const Token& Next() { return m_Tokens[m_Position < m_Tokens.size() - 1 ? m_Position++ : m_Position]; }

    // "= s 'text'" or "= d 'number'".
    bool Value(std::string& value)
    {
        if (Next().kind != Token::Equals)
            return false;
        const Token& type = Next();
        if (type.kind != Token::Word || (type.text != "s" && type.text != "d"))
            return false;
        const Token& text = Next();
        if (text.kind != Token::Text && text.kind != Token::Word)
            return false;
        value = text.text;
        return true;
    }

    bool Body(Node& node)
    {
        if (Next().kind != Token::Open)
            return false;
        while (Peek().kind != Token::Close) {
            if (Peek().kind == Token::End)
                return false;
            if (Peek().kind == Token::Word && Peek().text == "val") {
                Next();
                const Token& name = Next();
                if (name.kind != Token::Word && name.kind != Token::Text)
                    return false;
                std::string value;
                if (!Value(value))
                    return false;
                node.values.emplace_back(name.text, value);
                continue;
            }
            auto key = std::make_unique<Node>();
            if (Peek().kind == Token::Word &&
                (Peek().text == "NoRemove" || Peek().text == "ForceRemove" || Peek().text == "Delete")) {
                const std::string& flag = Next().text;
                key->flag = flag == "NoRemove" ? Node::NoRemove : flag == "ForceRemove" ? Node::ForceRemove : Node::Delete;
            }
            const Token& name = Next();
            if (name.kind != Token::Word && name.kind != Token::Text)
                return false;
            key->name = name.text;
            if (Peek().kind == Token::Equals) {
                key->hasDefault = true;
                if (!Value(key->defaultValue))
                    return false;
            }
            if (Peek().kind == Token::Open && !Body(*key))
                return false;
            node.keys.push_back(std::move(key));
        }
        Next();
        return true;
    }

    const std::vector<Token>& m_Tokens;
    size_t m_Position = 0;
};

void Register(CZelRegistry& registry, const Node& node, const std::string& path)
{
    if (node.flag == Node::Delete) {
        registry.DeleteTree(path);
        return;
    }
    if (node.flag == Node::ForceRemove)
        registry.DeleteTree(path);
    registry.CreateKey(path);
    if (node.hasDefault)
        registry.SetValue(path, "", node.defaultValue);
    for (const auto& value : node.values)
        registry.SetValue(path, value.first, value.second);
    for (const auto& key : node.keys)
        Register(registry, *key, path + "\\" + key->name);
}

void Unregister(CZelRegistry& registry, const Node& node, const std::string& path)
{
    if (node.flag != Node::NoRemove) {
        registry.DeleteTree(path);
        return;
    }
    for (const auto& value : node.values)
        registry.DeleteValue(path, value.first);
    for (const auto& key : node.keys)
        Unregister(registry, *key, path + "\\" + key->name);
}

} // namespace

HRESULT ZelRunRegistryScript(CZelRegistry& registry, const std::string& script,
                             const std::map<std::string, std::string>& replacements, bool registering)
{
    std::vector<Token> tokens;
    std::vector<std::unique_ptr<Node>> roots;
    if (!Tokenize(script, replacements, tokens) || !Parser(tokens).Script(roots))
        return E_FAIL;
    for (const auto& root : roots) {
        if (registering)
            Register(registry, *root, root->name);
        else
            Unregister(registry, *root, root->name);
    }
    return S_OK;
}
