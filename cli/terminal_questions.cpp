#include "cli/terminal_questions.h"

#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <mutex>

#include "cli/terminal_text.h"
#include "lumivel/wide_string.h"
#include "shared/text_helpers.h"

namespace lumivel_cli {

namespace {

using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;

std::string shown(std::u16string_view text) { return TerminalText(NarrowText(text), Escaping::ReadableLines); }

bool headless() {
    const char* ui = std::getenv("LUMIVEL_UI");
    return ui && std::string(ui) == "headless";
}

// A line typed at the terminal; nothing once input has ended.
std::optional<std::string> ask(const std::string& prompt) {
    std::cerr << prompt << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) {
        std::cerr << "\n";
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

Interaction InteractionFor(bool yes) {
    if (yes || headless() || isatty(STDIN_FILENO) != 1 || isatty(STDERR_FILENO) != 1) return Interaction::Unattended;
    return Interaction::Terminal;
}

void PrintProviderMessages(const std::vector<std::u16string>& messages) {
    bool toLog = headless();
    for (const std::u16string& message : messages) {
        std::cerr << shown(message) << "\n";
        if (!toLog) continue;
        static std::once_flag opened;
        std::call_once(opened, [] { openlog("lumivel", LOG_PID, LOG_USER); });
        syslog(LOG_NOTICE, "%s", NarrowText(message).c_str());
    }
    std::cerr << std::flush;
}

std::optional<std::u16string> AskNewName(std::u16string_view taken) {
    std::optional<std::string> line =
        ask("Name: " + shown(taken) + " is taken there. Restore it under another name (empty to leave it): ");
    if (!line || line->empty()) return std::nullopt;
    return WidenText(*line);
}

std::optional<size_t> AskArchive(const std::vector<ArchiveChoice>& archives) {
    if (archives.empty()) return std::nullopt;
    std::cerr << "Archives in the backup folder that hold the object, newest first:\n";
    for (size_t row = 0; row < archives.size(); ++row)
        std::cerr << "  " << row + 1 << ") " << shown(ArchiveFileName(archives[row].path)) << "  "
                  << shown(archives[row].date) << "  " << shown(archives[row].origin)
                  << (archives[row].distrust.empty() ? "" : "  NOT TRUSTED: " + shown(archives[row].distrust)) << "\n";
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::optional<std::string> answer = ask("Recreate the deleted parent from archive (1-" +
                                                std::to_string(archives.size()) + ", empty for none): ");
        if (!answer || answer->empty()) return std::nullopt;
        char* end = nullptr;
        long number = std::strtol(answer->c_str(), &end, 10);
        if (end && *end == 0 && number >= 1 && static_cast<size_t>(number) <= archives.size())
            return static_cast<size_t>(number - 1);
    }
    return std::nullopt;
}

bool AskYes(const std::string& prompt) {
    std::optional<std::string> answer = ask(prompt);
    return answer && (*answer == "y" || *answer == "Y" || *answer == "yes");
}

std::u16string_view ArchiveFileName(std::u16string_view path) {
    size_t cut = path.find_last_of(u"/\\");
    return cut == std::u16string_view::npos ? path : path.substr(cut + 1);
}

bool NamesArchive(const std::u16string& wanted, std::u16string_view fileName) {
    std::u16string_view name = ArchiveFileName(wanted);
    return !fileName.empty() && lumivel::EqualsNoCase(name, fileName);
}

}  // namespace lumivel_cli
