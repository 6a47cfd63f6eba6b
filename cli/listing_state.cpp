#include "cli/listing_state.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "cli/completion_words.h"
#include "cli/terminal_text.h"
#include "lumivel/temporary_file.h"
#include "shared/provider_interfaces.h"
#include "shared/text_helpers.h"

namespace lumivel_cli {

namespace {

using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;

constexpr char kMagic[] = "lumivel-listing\t1";
// Far beyond any domain's listing: a larger file is not one this program wrote.
constexpr off_t kLongestState = 1024L * 1024 * 1024;

// The record keys a tombstone line holds, in order; "path" and "Parent" repeat two of them.
constexpr const char16_t* kFields[] = {u"name",           u"distinguishedName", u"lastKnownParent",
                                       u"class",          u"FriendlyClassName", u"dateDeleted",
                                       kDateDeletedUtcKey, kExpiresKey,         kExpiresUtcKey,
                                       u"FocusedDC"};
constexpr size_t kFieldCount = sizeof kFields / sizeof kFields[0];

std::string stateRoot() {
    const char* state = std::getenv("XDG_STATE_HOME");
    // A relative value is ignored, as the XDG base directory rules ask.
    if (state && state[0] == '/') return state;
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return {};
    return std::string(home) + "/.local/state";
}

// A folder of this user's that nobody else may change: what holds the state must be, or the
// state is someone else's to forge.
bool isPrivateFolder(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & 022) == 0;
}

bool makePrivateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    return isPrivateFolder(path);
}

std::string field(std::u16string_view text) { return TerminalText(NarrowText(text), Escaping::Reversible); }

std::vector<std::string_view> split(std::string_view line) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) return parts;
        start = tab + 1;
    }
}

bool readWhole(const std::string& path, std::string* text, std::string* why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *why = errno == ENOENT ? "no saved listing" : "the saved listing cannot be opened";
        return false;
    }
    struct stat info {};
    bool fine = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
                (info.st_mode & 077) == 0 && info.st_size <= kLongestState;
    if (!fine) *why = "the saved listing is not a private file of this user's";
    if (fine) {
        text->resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (fine && done < text->size()) {
            const ssize_t got = ::read(fd, text->data() + done, text->size() - done);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) fine = false;
            else done += static_cast<size_t>(got);
        }
        if (!fine) *why = "the saved listing cannot be read";
    }
    ::close(fd);
    return fine;
}

}  // namespace

std::string ListingStatePath(const std::string& domain, const std::optional<std::string>& server) {
    const std::string root = stateRoot();
    const std::string name = SafeFileName(server ? domain + "@" + *server : domain);
    if (root.empty() || name.empty()) return {};
    return root + "/lumivel/listings/" + name;
}

bool ReadListingState(const std::string& path, const std::string& domainKey, ListingState* state, std::string* why) {
    state->tombstones.clear();
    const size_t slash = path.rfind('/');
    struct stat folder {};
    if (path.empty() || slash == std::string::npos || ::lstat(path.substr(0, slash).c_str(), &folder) != 0) {
        *why = "no saved listing";
        return false;
    }
    if (!isPrivateFolder(path.substr(0, slash))) {
        *why = "no private folder holds a saved listing";
        return false;
    }
    std::string text;
    if (!readWhole(path, &text, why)) return false;
    std::string_view rest(text);
    bool magic = false, domain = false;
    auto damaged = [&](const char* what) {
        state->tombstones.clear();
        *why = std::string("the saved listing is damaged (") + what + ")";
        return false;
    };
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        if (end == std::string_view::npos) return damaged("it does not end with a whole line");
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        if (!magic) {
            if (line != kMagic) return damaged("not a listing of this version");
            magic = true;
            continue;
        }
        std::vector<std::string_view> parts = split(line);
        std::vector<std::string> values;
        for (size_t i = 1; i < parts.size(); ++i) {
            std::optional<std::string> value = UnescapeField(parts[i]);
            if (!value) return damaged("a field is not escaped as written");
            values.push_back(std::move(*value));
        }
        const std::string_view kind = parts[0];
        if (kind == "t") {
            if (values.size() != kFieldCount) return damaged("a tombstone line has the wrong fields");
            PropertySet* record = PropertySet::create();
            if (!record) return damaged("out of memory");
            state->tombstones.add(record);
            record->setInt(u"NoDelete", 1);
            record->setInt(u"NoProperties", 1);
            for (size_t i = 0; i < kFieldCount; ++i)
                if (!values[i].empty()) record->setText(kFields[i], WidenText(values[i]));
            record->setText(u"path", record->getText(u"distinguishedName"));
            if (record->has(u"lastKnownParent")) record->setText(u"Parent", record->getText(u"lastKnownParent"));
            continue;
        }
        if (values.size() != 1) return damaged("a line has the wrong fields");
        if (kind == "domain") {
            if (values[0] != domainKey) {
                state->tombstones.clear();
                *why = "the saved listing is of another domain";
                return false;
            }
            domain = true;
        } else if (kind == "server") {
            state->server = WidenText(values[0]);
        } else if (kind == "invocation") {
            state->invocationId = WidenText(values[0]);
        } else if (kind == "usn") {
            state->usn = WidenText(values[0]);
        } else if (kind == "cookie") {
            state->cookie = WidenText(values[0]);
        } else if (kind == "whole") {
            char* end = nullptr;
            const long long at = std::strtoll(values[0].c_str(), &end, 10);
            if (values[0].empty() || *end != '\0') return damaged("the time of the whole read");
            state->wholeReadAt = static_cast<std::time_t>(at);
        } else {
            return damaged("a line of an unknown kind");
        }
    }
    if (!magic || !domain) return damaged("it is incomplete");
    return true;
}

bool WriteListingState(const std::string& path, const std::string& domainKey, const ListingState& state,
                       const std::vector<PropertySet*>& tombstones) {
    const size_t slash = path.rfind('/');
    if (path.empty() || slash == std::string::npos) return false;
    const std::string listings = path.substr(0, slash);
    const std::string product = listings.substr(0, listings.rfind('/'));
    const std::string root = product.substr(0, product.rfind('/'));
    // The base folder is the user's own; only the product's folders must be private.
    for (size_t at = root.find('/', 1); at != std::string::npos; at = root.find('/', at + 1))
        ::mkdir(root.substr(0, at).c_str(), 0700);
    ::mkdir(root.c_str(), 0700);
    if (!makePrivateFolder(product) || !makePrivateFolder(listings)) return false;
    std::string text = std::string(kMagic) + "\n";
    text += "domain\t" + TerminalText(domainKey, Escaping::Reversible) + "\n";
    text += "server\t" + field(state.server) + "\n";
    text += "invocation\t" + field(state.invocationId) + "\n";
    text += "usn\t" + field(state.usn) + "\n";
    text += "cookie\t" + field(state.cookie) + "\n";
    text += "whole\t" + std::to_string(static_cast<long long>(state.wholeReadAt)) + "\n";
    for (const PropertySet* record : tombstones) {
        text += "t";
        for (const char16_t* key : kFields) text += "\t" + field(record->getText(key));
        text += "\n";
    }
    return lumivel::WriteFileAtomically(path, text, 0600, lumivel::ExistingFile::Replace) == 0;
}

}  // namespace lumivel_cli
