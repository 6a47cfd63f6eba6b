#include "inf_parser.h"

#include <vector>

#include "lumivel/text.h"
#include "win/setupapi.h"
#include "win/winerror.h"

namespace lumivel::setupapi {

namespace {

constexpr int kEnd = -1;
constexpr char16_t kEndOfFileMark = 0x1A;  // Ctrl-Z ends an INF file wherever it stands

bool IsBlank(int c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\f' || c == u'\v' || c == 0; }

class Parser {
public:
    Parser(std::u16string_view text, InfDocument& document) : m_text(text), m_document(document) {}

    InfParseResult Run() {
        while (At(m_pos) != kEnd) {
            SkipBlanks();
            int c = At(m_pos);
            if (c == kEnd) break;
            if (c == u'\n') {
                EndLine();
            } else if (c == u';') {
                SkipToLineEnd();
                EndLine();
            } else if (c == u'[') {
                InfParseResult result = ParseSectionHeader();
                if (result.error) return result;
            } else if (!m_hasSection) {
                return {ERROR_EXPECTED_SECTION_NAME, m_line};
            } else {
                ParseEntry();
            }
        }
        return {};
    }

private:
    int At(size_t position) const {
        if (position >= m_text.size() || m_text[position] == kEndOfFileMark) return kEnd;
        return m_text[position];
    }
    void SkipBlanks() {
        while (IsBlank(At(m_pos))) ++m_pos;
    }
    void SkipToLineEnd() {
        while (At(m_pos) != kEnd && At(m_pos) != u'\n') ++m_pos;
    }
    void EndLine() {
        if (At(m_pos) == u'\n') {
            ++m_pos;
            ++m_line;
        }
    }

    InfParseResult ParseSectionHeader() {
        size_t start = ++m_pos;
        while (At(m_pos) != kEnd && At(m_pos) != u'\n' && At(m_pos) != u']') ++m_pos;
        if (At(m_pos) != u']') return {ERROR_BAD_SECTION_NAME_LINE, m_line};
        std::u16string_view name = m_text.substr(start, m_pos - start);
        if (name.size() > MAX_SECT_NAME_LEN) return {ERROR_SECTION_NAME_TOO_LONG, m_line};
        m_section = m_document.OpenSection(name);
        m_hasSection = true;
        SkipToLineEnd();  // text after the closing bracket is ignored
        EndLine();
        return {};
    }

    // A backslash continues the line when only blanks, further backslashes or a comment
    // follow it; "a\\b" keeps both backslashes. Every backslash of one run has the same
    // answer, so a run is scanned once: a hostile line of backslashes stays linear.
    bool IsContinuation(size_t position) {
        if (position < m_runEnd) return m_runContinues;
        size_t q = position + 1;
        while (IsBlank(At(q)) || At(q) == u'\\') ++q;
        int c = At(q);
        m_runEnd = q;
        m_runContinues = c == kEnd || c == u'\n' || c == u';';
        return m_runContinues;
    }

    void AppendKept(char16_t c) {
        m_token.push_back(c);
        m_kept = m_token.size();
        m_tokenStarted = true;
    }

    // Leading and trailing blanks outside quotes are dropped; blanks inside are kept.
    std::u16string FinishToken() {
        m_token.resize(m_kept);
        std::u16string done;
        done.swap(m_token);
        m_kept = 0;
        m_tokenStarted = false;
        return done;
    }

    void ParseEntry() {
        m_fields.clear();
        m_token.clear();
        m_kept = 0;
        m_tokenStarted = false;
        bool hasKey = false;
        bool inQuotes = false;
        std::u16string key;

        for (;;) {
            int c = At(m_pos);
            if (c == kEnd || c == u'\n') break;  // an open quote ends with its line
            if (inQuotes && c == u'\r') {
                // Carriage returns before the line feed end the line, even inside an open quote.
                size_t q = m_pos;
                while (At(q) == u'\r') ++q;
                if (At(q) == u'\n' || At(q) == kEnd) {
                    m_pos = q;
                    continue;
                }
            }
            if (inQuotes) {
                if (c == u'"') {
                    if (At(m_pos + 1) == u'"') {
                        AppendKept(u'"');
                        m_pos += 2;
                        continue;
                    }
                    inQuotes = false;
                } else {
                    AppendKept(c == 0 ? u' ' : static_cast<char16_t>(c));
                }
                ++m_pos;
                continue;
            }
            if (c == u'"') {
                inQuotes = true;
                m_tokenStarted = true;
                m_kept = m_token.size();
            } else if (c == u',') {
                m_fields.push_back(FinishToken());
            } else if (c == u'=' && !hasKey && m_fields.empty()) {
                key = FinishToken();
                hasKey = true;
            } else if (c == u';') {
                SkipToLineEnd();
                break;
            } else if (c == u'\\' && IsContinuation(m_pos)) {
                m_token.resize(m_kept);
                SkipToLineEnd();
                EndLine();
                SkipBlanks();
                continue;
            } else if (IsBlank(c)) {
                if (m_tokenStarted) m_token.push_back(c == 0 ? u' ' : static_cast<char16_t>(c));
            } else {
                AppendKept(static_cast<char16_t>(c));
            }
            ++m_pos;
        }
        m_fields.push_back(FinishToken());
        EndLine();

        InfLine line;
        if (hasKey) line.keyField = m_document.AddField(key);
        line.firstField = m_document.FieldCount();
        for (const std::u16string& field : m_fields) m_document.AddField(field);
        line.fieldCount = static_cast<uint32_t>(m_fields.size());
        // A lone field doubles as the key, so one-word lines can be looked up by name.
        if (!hasKey && line.fieldCount == 1) line.keyField = line.firstField;
        m_document.AddLine(m_section, line);
    }

    std::u16string_view m_text;
    InfDocument& m_document;
    size_t m_pos = 0;
    UINT m_line = 1;
    bool m_hasSection = false;
    size_t m_section = 0;

    std::vector<std::u16string> m_fields;
    std::u16string m_token;
    size_t m_kept = 0;
    bool m_tokenStarted = false;
    size_t m_runEnd = 0;  // end of the last run of backslashes and blanks scanned
    bool m_runContinues = false;
};

bool EqualsNoCase(std::u16string_view left, std::u16string_view right) {
    return left.size() == right.size() && InfDocument::Fold(left) == InfDocument::Fold(right);
}

std::optional<std::u16string_view> VersionValue(const InfDocument& document, std::u16string_view key) {
    std::optional<size_t> version = document.FindSection(u"Version");
    if (!version) return std::nullopt;
    for (const InfLine& line : document.Section(*version).lines) {
        std::optional<std::u16string_view> name = document.Field(line, 0);
        if (line.keyField >= 0 && line.keyField != line.firstField && name && EqualsNoCase(*name, key)) {
            return document.Field(line, 1);
        }
    }
    return std::nullopt;
}

}  // namespace

std::u16string DecodeInfBytes(std::string_view bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string text((bytes.size() - 2) / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                            (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
        }
        return text;
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return FromUtf8(bytes);
}

InfParseResult ParseInfText(std::u16string_view text, InfDocument& document) {
    return Parser(text, document).Run();
}

DWORD CheckWin4Version(const InfDocument& document, std::u16string_view infClass) {
    std::optional<std::u16string_view> signature = VersionValue(document, u"Signature");
    if (!signature || !(EqualsNoCase(*signature, u"$Windows NT$") || EqualsNoCase(*signature, u"$Chicago$") ||
                        EqualsNoCase(*signature, u"$Windows 95$"))) {
        return ERROR_WRONG_INF_STYLE;
    }
    if (!infClass.empty()) {
        std::optional<std::u16string_view> actual = VersionValue(document, u"Class");
        if (!actual || !EqualsNoCase(*actual, infClass)) return ERROR_CLASS_MISMATCH;
    }
    return 0;
}

}  // namespace lumivel::setupapi
