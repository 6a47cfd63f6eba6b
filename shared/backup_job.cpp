#include "shared/backup_job.h"

#include "win/strings.h"

namespace lumivel::shared {

namespace {

constexpr char kFirstLines[] = "Set oObject = CreateObject(\"RevivoProvider.Revivo\")\r\n\r\nIf IsObject(oObject) Then\r\n";
constexpr char kCallStart[] = "   oObject.BackupObjects \"";
constexpr char kLastLine[] = "End If";

std::string ansi(std::u16string_view text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::u16string wide(std::string_view bytes) {
    if (bytes.empty()) return {};
    int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::u16string text(static_cast<size_t>(size > 0 ? size : 0), u'\0');
    if (size > 0) MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
    return text;
}

}  // namespace

std::u16string BackupTaskName(std::u16string_view guid) { return u"BackupObjects (" + std::u16string(guid) + u")"; }

std::string BackupScriptText(std::u16string_view distinguishedName) {
    std::u16string quoted;
    for (char16_t c : distinguishedName) {
        quoted += c;
        if (c == u'"') quoted += u'"';
    }
    return std::string(kFirstLines) + kCallStart + ansi(quoted) + "\"\r\n" + kLastLine;
}

std::optional<std::u16string> ObjectOfBackupScript(std::string_view text) {
    const std::string_view head = kFirstLines;
    const std::string_view call = kCallStart;
    if (text.substr(0, head.size()) != head) return std::nullopt;
    text.remove_prefix(head.size());
    if (text.substr(0, call.size()) != call) return std::nullopt;
    text.remove_prefix(call.size());
    const std::string_view end = "\"\r\nEnd If";
    if (text.size() < end.size() || text.substr(text.size() - end.size()) != end) return std::nullopt;
    std::u16string quoted = wide(text.substr(0, text.size() - end.size()));
    std::u16string name;
    for (size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] == u'"') {
            // Inside the string a quote stands only doubled.
            if (i + 1 >= quoted.size() || quoted[i + 1] != u'"') return std::nullopt;
            ++i;
        }
        name += quoted[i];
    }
    return name;
}

}  // namespace lumivel::shared
