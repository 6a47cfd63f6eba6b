#include "shared/backup_job.h"

#include "win/files.h"
#include "win/strings.h"
#include "win/threads.h"

namespace lumivel::shared {

namespace {

constexpr char kFirstLines[] = "Set oObject = CreateObject(\"RevivoProvider.Revivo\")\r\n\r\nIf IsObject(oObject) Then\r\n";
constexpr char kCallStart[] = "   oObject.BackupObjects \"";
constexpr char kLastLine[] = "End If";
// Far more than the script of the longest name; a larger file is not ours.
constexpr DWORD kLongestScript = 64 * 1024;

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

std::optional<std::u16string> ObjectOfBackupTask(ITask* task) {
    LPWSTR parameters = nullptr;
    if (!task || FAILED(task->GetParameters(&parameters)) || !parameters) return std::nullopt;
    std::u16string path = parameters;
    CoTaskMemFree(parameters);
    if (path.size() < 2 || path.front() != u'"' || path.back() != u'"') return std::nullopt;
    path = path.substr(1, path.size() - 2);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string text(kLongestScript, '\0');
    DWORD read = 0;
    BOOL ok = ReadFile(file, text.data(), kLongestScript, &read, nullptr);
    CloseHandle(file);
    if (!ok) return std::nullopt;
    text.resize(read);
    return ObjectOfBackupScript(text);
}

}  // namespace lumivel::shared
