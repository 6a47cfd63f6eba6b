#include "lumivel/dns_name.h"

namespace lumivel {

bool IsDnsNameText(std::string_view text, bool dotsAllowed) {
    if (text.empty()) return false;
    for (char ch : text) {
        const bool ok = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-' ||
                        ch == '_' || (dotsAllowed && ch == '.');
        if (!ok) return false;
    }
    return true;
}

}  // namespace lumivel
