#include "script_parser.h"

#include <algorithm>
#include <array>

#include "lumivel/text.h"
#include "lumivel/wide_string.h"

namespace lumivel::scheduler {
namespace {

constexpr size_t kLongestIdentifier = 255;
constexpr size_t kDeepestIf = 64;
constexpr char16_t kSupported[] =
    u"Expected statement (this script host runs only Set name = CreateObject(\"...\"), "
    u"If IsObject(name) Then ... End If, and name.Method \"text\")";

// Words VBScript reserves; none of them names a variable.
constexpr std::array<std::u16string_view, 52> kKeywords = {
    u"And",   u"ByRef",  u"ByVal",  u"Call",    u"Case",      u"Class",    u"Const",   u"Default", u"Dim",
    u"Do",    u"Each",   u"Else",   u"ElseIf",  u"Empty",     u"End",      u"Eqv",     u"Erase",   u"Error",
    u"Exit",  u"False",  u"For",    u"Function", u"Get",      u"If",       u"Imp",     u"In",      u"Is",
    u"Let",   u"Loop",   u"Mod",    u"New",     u"Next",      u"Not",      u"Nothing", u"Null",    u"On",
    u"Option", u"Or",    u"Preserve", u"Private", u"Property", u"Public",  u"ReDim",   u"Rem",     u"Resume",
    u"Select", u"Set",   u"Stop",   u"Sub",     u"Then",      u"True",     u"While"};

bool IsKeyword(std::u16string_view word) {
    return std::any_of(kKeywords.begin(), kKeywords.end(), [&](std::u16string_view k) { return AsciiEqualsNoCase(k, word); });
}

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::u16string_view Describe(HRESULT code) {
    switch (code) {
        case kScriptSyntaxError: return u"Syntax error";
        case kScriptExpectedOpenParen: return u"Expected '('";
        case kScriptExpectedCloseParen: return u"Expected ')'";
        case kScriptExpectedIdentifier: return u"Expected identifier";
        case kScriptExpectedEquals: return u"Expected '='";
        case kScriptExpectedIf: return u"Expected 'If'";
        case kScriptExpectedEnd: return u"Expected 'End'";
        case kScriptExpectedThen: return u"Expected 'Then'";
        case kScriptExpectedStatement: return kSupported;
        case kScriptExpectedEndOfStatement: return u"Expected end of statement";
        case kScriptIdentifierTooLong: return u"Identifier too long";
        case kScriptInvalidCharacter: return u"Invalid character";
        case kScriptUnterminatedString: return u"Unterminated string constant";
        default: return u"Syntax error";
    }
}

struct Failure {
    size_t at;
    HRESULT code;
};

// One line of the script, read left to right.
class LineReader {
public:
    explicit LineReader(std::u16string_view text) : m_text(text) {}

    size_t at() const { return m_at; }
    bool done() const { return m_at >= m_text.size(); }
    char16_t peek() const { return done() ? u'\0' : m_text[m_at]; }
    void blanks() {
        while (!done() && (peek() == u' ' || peek() == u'\t')) ++m_at;
    }
    // A blank is needed between two words, not before punctuation.
    bool blanksNeeded() {
        size_t before = m_at;
        blanks();
        return m_at > before;
    }

    std::u16string_view word() {
        size_t start = m_at;
        if (!IsLetter(peek())) return {};
        while (!done() && (IsLetter(peek()) || IsDigit(peek()) || peek() == u'_')) ++m_at;
        return m_text.substr(start, m_at - start);
    }

    // A word that must be the given keyword.
    std::optional<Failure> keyword(std::u16string_view expected, HRESULT otherwise) {
        blanks();
        size_t start = m_at;
        if (!AsciiEqualsNoCase(word(), expected)) return Failure{start, otherwise};
        return std::nullopt;
    }

    std::optional<Failure> name(std::u16string* out) {
        blanks();
        size_t start = m_at;
        std::u16string_view w = word();
        if (w.empty() || IsKeyword(w)) return Failure{start, kScriptExpectedIdentifier};
        if (w.size() > kLongestIdentifier) return Failure{start, kScriptIdentifierTooLong};
        *out = w;
        return std::nullopt;
    }

    std::optional<Failure> punctuation(char16_t expected, HRESULT otherwise) {
        blanks();
        if (peek() != expected) return Failure{m_at, otherwise};
        ++m_at;
        return std::nullopt;
    }

    std::optional<Failure> string(std::u16string* out) {
        blanks();
        if (peek() != u'"') return Failure{m_at, kScriptSyntaxError};
        size_t start = m_at++;
        out->clear();
        for (;;) {
            if (done()) return Failure{start, kScriptUnterminatedString};
            char16_t c = m_text[m_at++];
            if (c != u'"') {
                out->push_back(c);
                continue;
            }
            if (peek() != u'"') return std::nullopt;
            out->push_back(u'"');
            ++m_at;
        }
    }

    // Nothing but blanks and a comment may follow a statement.
    std::optional<Failure> end() {
        blanks();
        if (done() || peek() == u'\'') return std::nullopt;
        size_t start = m_at;
        std::u16string_view w = word();
        if (AsciiEqualsNoCase(w, u"Rem") && (done() || peek() == u' ' || peek() == u'\t')) return std::nullopt;
        return Failure{start, kScriptExpectedEndOfStatement};
    }

private:
    std::u16string_view m_text;
    size_t m_at = 0;
};

// Reads one line; no statement for blank and comment lines.
std::optional<Failure> ParseLine(std::u16string_view text, std::optional<ScriptStatement>* statement) {
    LineReader line(text);
    line.blanks();
    if (line.done() || line.peek() == u'\'') return std::nullopt;
    const size_t start = line.at();
    std::u16string_view first = line.word();
    if (first.empty()) return Failure{start, IsDigit(line.peek()) || line.peek() < 0x80 ? kScriptExpectedStatement
                                                                                       : kScriptInvalidCharacter};
    ScriptStatement s{};
    s.column = static_cast<int>(start) + 1;
    if (AsciiEqualsNoCase(first, u"Rem")) {
        if (line.done() || line.peek() == u' ' || line.peek() == u'\t') return std::nullopt;
        return Failure{start, kScriptExpectedStatement};
    }
    if (AsciiEqualsNoCase(first, u"Set")) {
        s.kind = ScriptStatement::Kind::CreateObject;
        if (!line.blanksNeeded()) return Failure{line.at(), kScriptExpectedIdentifier};
        if (auto f = line.name(&s.variable)) return f;
        if (auto f = line.punctuation(u'=', kScriptExpectedEquals)) return f;
        if (auto f = line.keyword(u"CreateObject", kScriptExpectedStatement)) return f;
        if (auto f = line.punctuation(u'(', kScriptExpectedOpenParen)) return f;
        if (auto f = line.string(&s.argument)) return f;
        if (auto f = line.punctuation(u')', kScriptExpectedCloseParen)) return f;
    } else if (AsciiEqualsNoCase(first, u"If")) {
        s.kind = ScriptStatement::Kind::IfIsObject;
        if (auto f = line.keyword(u"IsObject", kScriptExpectedStatement)) return f;
        if (auto f = line.punctuation(u'(', kScriptExpectedOpenParen)) return f;
        if (auto f = line.name(&s.variable)) return f;
        if (auto f = line.punctuation(u')', kScriptExpectedCloseParen)) return f;
        if (auto f = line.keyword(u"Then", kScriptExpectedThen)) return f;
    } else if (AsciiEqualsNoCase(first, u"End")) {
        s.kind = ScriptStatement::Kind::EndIf;
        if (!line.blanksNeeded()) return Failure{line.at(), kScriptExpectedIf};
        if (auto f = line.keyword(u"If", kScriptExpectedIf)) return f;
    } else if (!IsKeyword(first)) {
        s.kind = ScriptStatement::Kind::CallMethod;
        if (first.size() > kLongestIdentifier) return Failure{start, kScriptIdentifierTooLong};
        s.variable = first;
        if (line.peek() != u'.') return Failure{line.at(), kScriptExpectedStatement};
        line.punctuation(u'.', kScriptSyntaxError);
        const size_t memberAt = line.at();
        std::u16string_view member = line.word();
        if (member.empty()) return Failure{memberAt, kScriptExpectedIdentifier};
        if (member.size() > kLongestIdentifier) return Failure{memberAt, kScriptIdentifierTooLong};
        s.member = member;
        const bool blank = line.blanksNeeded();
        // A call needs its one string: other calls are no part of this language.
        if (line.done() || line.peek() == u'\'') return Failure{start, kScriptExpectedStatement};
        if (line.peek() == u'(') {
            line.punctuation(u'(', kScriptSyntaxError);
            if (auto f = line.string(&s.argument)) return f;
            if (auto f = line.punctuation(u')', kScriptExpectedCloseParen)) return f;
        } else {
            if (!blank) return Failure{line.at(), kScriptExpectedEndOfStatement};
            if (auto f = line.string(&s.argument)) return f;
        }
    } else {
        return Failure{start, kScriptExpectedStatement};
    }
    if (auto f = line.end()) return f;
    *statement = std::move(s);
    return std::nullopt;
}

// UTF-8 strictly, or UTF-16LE after its byte-order mark; the offset of the first bad byte
// otherwise. Text that does not come back the same through the platform's codec is not UTF-8.
std::optional<std::u16string> Decode(std::string_view bytes, size_t* bad) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        if (bytes.size() % 2) {
            *bad = bytes.size() - 1;
            return std::nullopt;
        }
        std::u16string text;
        for (size_t i = 2; i < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 static_cast<unsigned char>(bytes[i + 1]) << 8));
        return text;
    }
    const size_t mark = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    bytes.remove_prefix(mark);
    std::u16string text = FromUtf8(bytes);
    const std::string back = ToUtf8(text);
    if (back == bytes) return text;
    *bad = mark + static_cast<size_t>(std::mismatch(back.begin(), back.end(), bytes.begin(), bytes.end()).second -
                                      bytes.begin());
    return std::nullopt;
}

ScriptError ErrorAt(int line, size_t column, HRESULT code) {
    return ScriptError{line, static_cast<int>(column) + 1, code, std::u16string(Describe(code))};
}

}  // namespace

ParsedScript ParseScript(std::string_view bytes) {
    ParsedScript result;
    size_t bad = 0;
    auto text = Decode(bytes, &bad);
    if (!text) {
        // The position of a bad byte: its line and column among the good text before it.
        std::string_view before = bytes.substr(0, bad);
        int line = 1 + static_cast<int>(std::count(before.begin(), before.end(), '\n'));
        size_t lineStart = before.rfind('\n');
        size_t column = lineStart == std::string_view::npos ? bad : bad - lineStart - 1;
        result.error = ErrorAt(line, column, kScriptInvalidCharacter);
        return result;
    }
    std::vector<int> openIfs;  // lines of the If blocks not yet ended
    int lineNumber = 0;
    size_t at = 0;
    while (at <= text->size()) {
        ++lineNumber;
        size_t end = text->find_first_of(u"\r\n", at);
        if (end == std::u16string::npos) end = text->size();
        std::u16string_view line(text->data() + at, end - at);
        // A NUL or other control character is nothing a script holds.
        auto control = std::find_if(line.begin(), line.end(), [](char16_t c) { return c < 0x20 && c != u'\t'; });
        if (control != line.end()) {
            result.error = ErrorAt(lineNumber, static_cast<size_t>(control - line.begin()), kScriptInvalidCharacter);
            return result;
        }
        std::optional<ScriptStatement> statement;
        if (auto failure = ParseLine(line, &statement)) {
            result.error = ErrorAt(lineNumber, failure->at, failure->code);
            return result;
        }
        if (statement) {
            statement->line = lineNumber;
            if (statement->kind == ScriptStatement::Kind::IfIsObject) {
                if (openIfs.size() >= kDeepestIf) {
                    result.error = ErrorAt(lineNumber, 0, kScriptExpectedStatement);
                    return result;
                }
                openIfs.push_back(lineNumber);
            } else if (statement->kind == ScriptStatement::Kind::EndIf) {
                if (openIfs.empty()) {
                    result.error = ErrorAt(lineNumber, static_cast<size_t>(statement->column - 1), kScriptExpectedStatement);
                    return result;
                }
                openIfs.pop_back();
            }
            result.statements.push_back(std::move(*statement));
        }
        if (end == text->size()) break;
        at = end + ((*text)[end] == u'\r' && end + 1 < text->size() && (*text)[end + 1] == u'\n' ? 2 : 1);
        if (at == text->size()) break;
    }
    if (!openIfs.empty()) result.error = ErrorAt(lineNumber + 1, 0, kScriptExpectedEnd);
    return result;
}

}  // namespace lumivel::scheduler
