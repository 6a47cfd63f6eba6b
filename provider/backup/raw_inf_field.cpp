#include "provider/backup/raw_inf_field.h"

#include <algorithm>
#include <vector>

namespace revivo {

std::optional<std::u16string> ExtractRawField(std::u16string_view line, DWORD index, const std::vector<size_t>& joins) {
    std::vector<std::u16string> fields;
    std::optional<std::u16string> key;
    std::u16string token;
    size_t kept = 0;
    bool started = false;
    bool inQuotes = false;
    auto finish = [&] {
        token.resize(kept);
        std::u16string done;
        done.swap(token);
        kept = 0;
        started = false;
        return done;
    };
    auto keep = [&](char16_t c) {
        token.push_back(c);
        kept = token.size();
        started = true;
    };
    for (size_t i = 0; i < line.size(); ++i) {
        char16_t c = line[i];
        if (inQuotes) {
            if (c != u'"') {
                keep(c == 0 ? u' ' : c);
            } else if (i + 1 < line.size() && line[i + 1] == u'"' &&
                       !std::binary_search(joins.begin(), joins.end(), i + 1)) {
                keep(u'"');
                ++i;
            } else {
                inQuotes = false;
            }
        } else if (c == u'"') {
            inQuotes = true;
            started = true;
            kept = token.size();
        } else if (c == u',') {
            fields.push_back(finish());
        } else if (c == u'=' && !key && fields.empty()) {
            key = finish();
        } else if (c == u';') {
            break;
        } else if (IsInfBlank(c)) {
            if (started) token.push_back(c == 0 ? u' ' : c);
        } else {
            keep(c);
        }
    }
    fields.push_back(finish());
    if (index == 0) {
        if (key) return key;
        if (fields.size() == 1) return fields.front();
        return std::nullopt;
    }
    if (index > fields.size()) return std::nullopt;
    return std::move(fields[index - 1]);
}

}  // namespace revivo
