// Reading registrar scripts: tokens, replacements and the key tree.
#include "registrar_script.h"

#include <cstdio>

#include "win/winerror.h"

namespace lumivel::com {

namespace {

// Nesting deeper than this is certainly a broken script; the limit keeps recursion bounded.
constexpr int kMaxDepth = 64;

struct Token {
    std::u16string text;
    bool quoted = false;
    int line = 0;
};

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xFEFF; }

std::u16string Ascii(const char* text) { return std::u16string(text, text + std::char_traits<char>::length(text)); }

std::u16string LineText(int line) { return Ascii(("line " + std::to_string(line) + ": ").c_str()); }

bool EqualsAsciiNoCase(std::u16string_view a, const char* b) {
    size_t n = std::char_traits<char>::length(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char16_t x = a[i] >= u'A' && a[i] <= u'Z' ? char16_t(a[i] + 32) : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? char(b[i] + 32) : b[i];
        if (x != char16_t(y)) return false;
    }
    return true;
}

class Parser {
public:
    Parser(const RegistrarReplacement* replacements, size_t count, std::u16string* error)
        : m_replacements(replacements), m_count(count), m_error(error) {}

    bool tokenize(std::u16string_view script) {
        int line = 1;
        size_t i = 0;
        while (i < script.size()) {
            char16_t c = script[i];
            if (c == u'\n') ++line;
            if (IsSpace(c)) {
                ++i;
                continue;
            }
            if (c == u'/' && i + 1 < script.size() && script[i + 1] == u'/') {
                while (i < script.size() && script[i] != u'\n') ++i;
                continue;
            }
            Token token;
            token.line = line;
            if (c == u'\'') {
                token.quoted = true;
                ++i;
                for (;;) {
                    if (i >= script.size()) return fail(line, "unterminated quoted text");
                    if (script[i] == u'\'') {
                        if (i + 1 < script.size() && script[i + 1] == u'\'') {
                            token.text.push_back(u'\'');
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (script[i] == u'\n') ++line;
                    token.text.push_back(script[i++]);
                }
            } else {
                while (i < script.size() && !IsSpace(script[i]) && script[i] != u'\'') token.text.push_back(script[i++]);
            }
            if (!replace(&token)) return false;
            m_tokens.push_back(std::move(token));
        }
        return true;
    }

    bool parse(std::vector<RegistrarRoot>* roots) {
        while (!atEnd()) {
            const Token& name = next();
            RegistrarRoot root;
            if (!rootKey(name.text, &root.root)) return fail(name.line, "unknown root key", name.text);
            if (!expect(u"{")) return false;
            while (!peekIs(u"}")) {
                if (atEnd()) return fail(lastLine(), "missing '}'");
                if (!entry(&root.subkeys, &root.values, 1)) return false;
            }
            next();
            roots->push_back(std::move(root));
        }
        return true;
    }

private:
    bool fail(int line, const char* what, std::u16string_view detail = {}) {
        if (m_error) {
            *m_error = LineText(line) + Ascii(what);
            if (!detail.empty()) *m_error += u" '" + std::u16string(detail) + u"'";
        }
        return false;
    }

    bool replace(Token* token) {
        std::u16string out;
        const std::u16string& in = token->text;
        for (size_t i = 0; i < in.size(); ++i) {
            if (in[i] != u'%') {
                out.push_back(in[i]);
                continue;
            }
            size_t end = in.find(u'%', i + 1);
            if (end == std::u16string::npos) return fail(token->line, "unpaired '%'");
            std::u16string_view name(in.data() + i + 1, end - i - 1);
            if (name.empty()) {
                out.push_back(u'%');
            } else {
                const RegistrarReplacement* found = nullptr;
                for (size_t r = 0; r < m_count && !found; ++r)
                    if (m_replacements[r].name && name == m_replacements[r].name) found = &m_replacements[r];
                if (!found) return fail(token->line, "unknown replacement", name);
                if (found->value) out += found->value;
            }
            i = end;
            // Replaced text is never syntax: a value of "{" must not open a block.
            token->quoted = true;
        }
        token->text = std::move(out);
        return true;
    }

    static bool rootKey(std::u16string_view name, HKEY* root) {
        struct Root {
            const char* shortName;
            const char* longName;
            HKEY key;
        };
        static const Root kRoots[] = {
            {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
            {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
            {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
            {"HKU", "HKEY_USERS", HKEY_USERS},
        };
        for (const Root& candidate : kRoots)
            if (EqualsAsciiNoCase(name, candidate.shortName) || EqualsAsciiNoCase(name, candidate.longName)) {
                *root = candidate.key;
                return true;
            }
        return false;
    }

    bool atEnd() const { return m_pos >= m_tokens.size(); }
    const Token& next() { return m_tokens[m_pos++]; }
    bool peekIs(const char16_t* text) const { return !atEnd() && !m_tokens[m_pos].quoted && m_tokens[m_pos].text == text; }
    int lastLine() const { return m_tokens.empty() ? 1 : m_tokens.back().line; }
    bool expect(const char16_t* text) {
        if (peekIs(text)) {
            ++m_pos;
            return true;
        }
        return fail(atEnd() ? lastLine() : m_tokens[m_pos].line, "expected", text);
    }

    // One key or "val" line inside a block.
    bool entry(std::vector<RegistrarKey>* keys, std::vector<std::pair<std::u16string, RegistrarValue>>* values,
               int depth) {
        if (depth > kMaxDepth) return fail(m_tokens[m_pos].line, "keys nested too deeply");
        Token first = next();
        if (!first.quoted && EqualsAsciiNoCase(first.text, "val")) {
            if (atEnd()) return fail(first.line, "value name missing");
            Token name = next();
            if (!expect(u"=")) return false;
            RegistrarValue value;
            if (!valueOf(&value)) return false;
            values->emplace_back(name.text, std::move(value));
            return true;
        }
        RegistrarKey key;
        Token name = first;
        if (!first.quoted) {
            if (EqualsAsciiNoCase(first.text, "ForceRemove")) key.mode = RegistrarKey::Mode::ForceRemove;
            else if (EqualsAsciiNoCase(first.text, "NoRemove")) key.mode = RegistrarKey::Mode::NoRemove;
            else if (EqualsAsciiNoCase(first.text, "Delete")) key.mode = RegistrarKey::Mode::Delete;
            if (key.mode != RegistrarKey::Mode::Normal) {
                if (atEnd()) return fail(first.line, "key name missing");
                name = next();
            }
        }
        if (!name.quoted && (name.text == u"{" || name.text == u"}" || name.text == u"="))
            return fail(name.line, "key name expected, found", name.text);
        if (name.text.empty()) return fail(name.line, "empty key name");
        // One script key is one registry level; a path would escape what unregistering removes.
        if (name.text.find(u'\\') != std::u16string::npos) return fail(name.line, "key name holds a backslash", name.text);
        key.name = name.text;
        if (peekIs(u"=")) {
            next();
            key.hasDefault = true;
            if (!valueOf(&key.defaultValue)) return false;
        }
        if (peekIs(u"{")) {
            next();
            while (!peekIs(u"}")) {
                if (atEnd()) return fail(lastLine(), "missing '}'");
                if (!entry(&key.subkeys, &key.values, depth + 1)) return false;
            }
            next();
        }
        keys->push_back(std::move(key));
        return true;
    }

    bool valueOf(RegistrarValue* value) {
        if (atEnd()) return fail(lastLine(), "value type missing");
        Token type = next();
        if (atEnd()) return fail(type.line, "value missing");
        Token data = next();
        if (!type.quoted && (EqualsAsciiNoCase(type.text, "s") || EqualsAsciiNoCase(type.text, "e"))) {
            value->type = EqualsAsciiNoCase(type.text, "s") ? REG_SZ : REG_EXPAND_SZ;
            const BYTE* bytes = reinterpret_cast<const BYTE*>(data.text.c_str());
            value->data.assign(bytes, bytes + (data.text.size() + 1) * sizeof(WCHAR));
            return true;
        }
        if (!type.quoted && EqualsAsciiNoCase(type.text, "d")) {
            uint64_t number = 0;
            std::u16string_view digits = data.text;
            int base = 10;
            if (digits.size() > 2 && digits[0] == u'0' && (digits[1] == u'x' || digits[1] == u'X')) {
                base = 16;
                digits.remove_prefix(2);
            }
            if (digits.empty()) return fail(data.line, "number expected", data.text);
            for (char16_t c : digits) {
                int digit = c >= u'0' && c <= u'9'   ? c - u'0'
                            : base == 16 && c >= u'a' && c <= u'f' ? c - u'a' + 10
                            : base == 16 && c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                                     : -1;
                if (digit < 0) return fail(data.line, "number expected", data.text);
                number = number * base + digit;
                if (number > 0xFFFFFFFFu) return fail(data.line, "number too large", data.text);
            }
            DWORD dword = DWORD(number);
            value->type = REG_DWORD;
            const BYTE* bytes = reinterpret_cast<const BYTE*>(&dword);
            value->data.assign(bytes, bytes + sizeof(dword));
            return true;
        }
        if (!type.quoted && EqualsAsciiNoCase(type.text, "b")) {
            if (data.text.size() % 2) return fail(data.line, "odd number of hexadecimal digits", data.text);
            value->type = REG_BINARY;
            for (size_t i = 0; i < data.text.size(); i += 2) {
                int byte = 0;
                for (size_t k = 0; k < 2; ++k) {
                    char16_t c = data.text[i + k];
                    int digit = c >= u'0' && c <= u'9'   ? c - u'0'
                                : c >= u'a' && c <= u'f' ? c - u'a' + 10
                                : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                         : -1;
                    if (digit < 0) return fail(data.line, "hexadecimal digits expected", data.text);
                    byte = byte * 16 + digit;
                }
                value->data.push_back(BYTE(byte));
            }
            return true;
        }
        return fail(type.line, "unknown value type", type.text);
    }

    const RegistrarReplacement* m_replacements;
    size_t m_count;
    std::u16string* m_error;
    std::vector<Token> m_tokens;
    size_t m_pos = 0;
};

}  // namespace

HRESULT ParseRegistrarScript(std::u16string_view script, const RegistrarReplacement* replacements, size_t count,
                             std::vector<RegistrarRoot>* roots, std::u16string* error) {
    Parser parser(replacements, count, error);
    if (!parser.tokenize(script) || !parser.parse(roots)) return E_INVALIDARG;
    return S_OK;
}

}  // namespace lumivel::com
