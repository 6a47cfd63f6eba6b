#include "shared/text_helpers.h"

#include "win/strings.h"

namespace lumivel::shared {

bool StartsWithNoCase(WideView text, WideView prefix) {
    return text.size() >= prefix.size() && CompareNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

size_t FindText(WideView text, WideView part) { return text.find(part); }

size_t FindTextNoCase(WideView text, WideView part) {
    if (part.empty()) return 0;
    if (part.size() > text.size()) return WideView::npos;
    for (size_t i = 0; i + part.size() <= text.size(); ++i) {
        if (CompareNoCase(text.substr(i, part.size()), part) == 0) return i;
    }
    return WideView::npos;
}

WideView TextAfter(WideView text, WideView separator) {
    size_t position = text.find(separator);
    return position == WideView::npos ? WideView() : text.substr(position + separator.size());
}

std::string NarrowText(WideView text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

WideString WidenText(std::string_view text) {
    if (text.empty()) return {};
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return {};
    WideString wide(static_cast<size_t>(size), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

}  // namespace lumivel::shared
