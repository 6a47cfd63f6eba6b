// FormatMessageW and the table of system message texts other areas extend.
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "system_message_table.h"
#include "win/errors.h"
#include "win/wformat.h"

namespace lumivel {
namespace {

struct MessageTable {
    std::shared_mutex mutex;
    std::unordered_map<DWORD, const char16_t*> texts;

    MessageTable() {
        for (size_t i = 0; i < kBuiltInMessageCount; ++i) texts[kBuiltInMessages[i].code] = kBuiltInMessages[i].text;
    }
};

MessageTable& Messages() {
    static MessageTable table;
    return table;
}

bool IsEnglishOrNeutral(DWORD language) {
    WORD primary = language & 0x3FF;
    return language == 0 || primary == 0 /* LANG_NEUTRAL */ || primary == LANG_ENGLISH;
}

// The argument source of one call: an array of DWORD_PTR or a va_list read in order.
class Arguments {
public:
    Arguments(va_list* list, bool isArray) : m_list(list), m_isArray(isArray) {}
    bool present() const { return m_list != nullptr; }
    DWORD_PTR get(int index) {
        if (m_isArray) return reinterpret_cast<const DWORD_PTR*>(m_list)[index - 1];
        while (static_cast<int>(m_read.size()) < index) m_read.push_back(va_arg(*m_list, DWORD_PTR));
        return m_read[index - 1];
    }

private:
    va_list* m_list;
    bool m_isArray;
    std::vector<DWORD_PTR> m_read;
};

std::optional<std::u16string> FormatInsert(const std::u16string& printfSpec, DWORD_PTR value) {
    std::u16string conv = u"%" + printfSpec;
    char16_t conversion = conv.back();
    bool wide64 = conv.find(u"I64") != std::u16string::npos || conv.find(u"ll") != std::u16string::npos ||
                  (conv.find(u'I') != std::u16string::npos && conv.find(u"I32") == std::u16string::npos);
    WCHAR buffer[2048];
    int n;
    if (conversion == u's' || conversion == u'S') {
        if (conv.find(u"hs") != std::u16string::npos || (conversion == u'S' && conv.find(u"ls") == std::u16string::npos))
            n = _snwprintf_s(buffer, ARRAYSIZE(buffer), _TRUNCATE, conv.c_str(), reinterpret_cast<const char*>(value));
        else
            n = _snwprintf_s(buffer, ARRAYSIZE(buffer), _TRUNCATE, conv.c_str(), reinterpret_cast<const WCHAR*>(value));
    } else if (conversion == u'p') {
        n = _snwprintf_s(buffer, ARRAYSIZE(buffer), _TRUNCATE, conv.c_str(), reinterpret_cast<void*>(value));
    } else if (wide64) {
        n = _snwprintf_s(buffer, ARRAYSIZE(buffer), _TRUNCATE, conv.c_str(), static_cast<long long>(value));
    } else {
        n = _snwprintf_s(buffer, ARRAYSIZE(buffer), _TRUNCATE, conv.c_str(), static_cast<int>(value));
    }
    if (n < 0 && buffer[0] == 0) return std::nullopt;
    return std::u16string(buffer);
}

// Expands inserts and escapes. Returns nullopt with the error code set on failure.
std::optional<std::u16string> Expand(std::u16string_view text, DWORD flags, Arguments& args) {
    if (flags & FORMAT_MESSAGE_IGNORE_INSERTS) return std::u16string(text);
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c != u'%' || i + 1 >= text.size()) {
            out.push_back(c);
            continue;
        }
        char16_t e = text[++i];
        if (e >= u'1' && e <= u'9') {
            int index = e - u'0';
            if (i + 1 < text.size() && text[i + 1] >= u'0' && text[i + 1] <= u'9') index = index * 10 + (text[++i] - u'0');
            std::u16string printfSpec = u"s";
            if (i + 1 < text.size() && text[i + 1] == u'!') {
                size_t close = text.find(u'!', i + 2);
                if (close == std::u16string_view::npos) {
                    SetLastError(ERROR_INVALID_PARAMETER);
                    return std::nullopt;
                }
                printfSpec = std::u16string(text.substr(i + 2, close - i - 2));
                i = close;
                if (printfSpec.empty() || printfSpec.find(u'*') != std::u16string::npos ||
                    printfSpec.find(u'n') != std::u16string::npos) {
                    SetLastError(ERROR_INVALID_PARAMETER);
                    return std::nullopt;
                }
            }
            // Windows would read whatever lies on the stack; refusing is the only safe answer.
            if (!args.present()) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return std::nullopt;
            }
            auto inserted = FormatInsert(printfSpec, args.get(index));
            if (!inserted) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return std::nullopt;
            }
            out += *inserted;
        } else if (e == u'0') {
            return out;
        } else if (e == u'n') {
            out += u"\r\n";
        } else if (e == u'r') {
            out.push_back(u'\r');
        } else if (e == u't') {
            out.push_back(u'\t');
        } else {
            out.push_back(e);  // %%, %., %!, %\ and "% " stand for the character itself.
        }
    }
    return out;
}

}  // namespace

void RegisterSystemMessages(const SystemMessage* table, size_t count) {
    auto& messages = Messages();
    std::unique_lock lock(messages.mutex);
    for (size_t i = 0; i < count; ++i) messages.texts[table[i].code] = table[i].text;
}

const char16_t* FindSystemMessage(DWORD code) {
    auto& messages = Messages();
    std::shared_lock lock(messages.mutex);
    auto it = messages.texts.find(code);
    if (it != messages.texts.end()) return it->second;
    // An HRESULT wrapping a Win32 code reads as that code.
    if ((code & 0xFFFF0000u) == 0x80070000u) {
        it = messages.texts.find(code & 0xFFFF);
        if (it != messages.texts.end()) return it->second;
    }
    return nullptr;
}

std::u16string SystemMessageText(DWORD code) {
    const char16_t* found = FindSystemMessage(code);
    std::u16string text = found ? found : u"";
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r')) text.pop_back();
    return text;
}

}  // namespace lumivel

extern "C" DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                                LPWSTR lpBuffer, DWORD nSize, va_list* Arguments) {
    if (!lpBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string_view text;
    if (dwFlags & FORMAT_MESSAGE_FROM_STRING) {
        if (!lpSource) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        text = static_cast<const WCHAR*>(lpSource);
    } else if (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) {
        if (!lumivel::IsEnglishOrNeutral(dwLanguageId)) {
            SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
            return 0;
        }
        const char16_t* found = lumivel::FindSystemMessage(dwMessageId);
        if (!found) {
            SetLastError(ERROR_MR_MID_NOT_FOUND);
            return 0;
        }
        text = found;
    } else if (dwFlags & FORMAT_MESSAGE_FROM_HMODULE) {
        // Modules carry no message tables on this platform.
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return 0;
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }

    lumivel::Arguments args(Arguments, (dwFlags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0);
    auto expanded = lumivel::Expand(text, dwFlags, args);
    if (!expanded) return 0;
    // A maximum width drops the line break that ends a system text. Wrapping at a given width
    // is not done.
    if ((dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK) && (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM)) {
        while (expanded->size() >= 2 && expanded->compare(expanded->size() - 2, 2, u"\r\n") == 0)
            expanded->resize(expanded->size() - 2);
    }

    size_t length = expanded->size();
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        size_t capacity = std::max<size_t>(length + 1, nSize);
        auto* block = static_cast<WCHAR*>(LocalAlloc(LMEM_FIXED, capacity * sizeof(WCHAR)));
        if (!block) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::char_traits<char16_t>::copy(block, expanded->data(), length);
        block[length] = 0;
        *reinterpret_cast<LPWSTR*>(lpBuffer) = block;
        return static_cast<DWORD>(length);
    }
    if (length + 1 > nSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::char_traits<char16_t>::copy(lpBuffer, expanded->data(), length);
    lpBuffer[length] = 0;
    return static_cast<DWORD>(length);
}
