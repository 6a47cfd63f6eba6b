#include "provider/common/system_error_text.h"

#include "lumivel/system_messages.h"
#include "win/wformat.h"

namespace revivo {

namespace {

constexpr DWORD kMessageTextLimit = 260;

}  // namespace

std::u16string SystemErrorText(DWORD error) {
    std::u16string out = lumivel::SystemMessageText(error);
    // A text that would not fit the message buffer, line end and terminator included, reads
    // as its code.
    if (out.size() + 3 > kMessageTextLimit) out.clear();
    while (!out.empty() && out.back() == u' ') out.pop_back();
    if (out.empty()) {
        WCHAR code[32];
        swprintf_s(code, ARRAYSIZE(code), u"Error 0x%08X", static_cast<unsigned>(error));
        out = code;
    }
    return out;
}

}  // namespace revivo
