#include "cli/listing_state.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "cli/completion_words.h"
#include "cli/private_file.h"
#include "cli/terminal_text.h"
#include "lumivel/temporary_file.h"
#include "shared/provider_interfaces.h"
#include "shared/text_helpers.h"

namespace lumivel_cli {

namespace {

using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;

// The form written now: this line, an 8-byte checksum of what follows it, then fields, each
// a 4-byte length and its bytes (numbers little-endian): the domain, the sync point's four,
// the time of the whole read as decimal text, the count of tombstones, and each tombstone's
// fields in TombstoneField order. Nothing is escaped, so any text comes back as it went.
constexpr std::string_view kMagic = "lumivel-listing\t2\n";
// The former form: tab-separated lines of escaped text, read once and then written anew.
constexpr std::string_view kFormerMagic = "lumivel-listing\t1\n";
// Far beyond any domain's listing: a larger file is not one this program wrote.
constexpr off_t kLongestState = 1024L * 1024 * 1024;
constexpr size_t kChecksumSize = 8;
constexpr size_t kHeaderFields = 6;

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

// A damaged or cut file is found by this, not a forged one: only the user can write there.
uint64_t checksumOf(std::string_view bytes) {
    constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
    uint64_t sum = 0xCBF29CE484222325ULL ^ bytes.size();
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        sum = (sum ^ word) * kMultiplier;
        sum ^= sum >> 29;
    }
    for (; i < bytes.size(); ++i) sum = (sum ^ static_cast<unsigned char>(bytes[i])) * kMultiplier;
    return sum ^ (sum >> 32);
}

void appendNumber(std::string* out, uint64_t value, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint64_t numberAt(std::string_view bytes, size_t at, size_t size) {
    uint64_t value = 0;
    for (size_t i = 0; i < size; ++i) value |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

void appendField(std::string* out, std::string_view field) {
    appendNumber(out, field.size(), 4);
    out->append(field);
}

// Reads the fields of the current form in turn; false once one would run past the end.
class FieldReader {
public:
    explicit FieldReader(std::string_view bytes) : m_bytes(bytes) {}
    bool next(std::string_view* field) {
        if (m_bytes.size() - m_at < 4) return false;
        const uint64_t size = numberAt(m_bytes, m_at, 4);
        if (size > m_bytes.size() - m_at - 4) return false;
        *field = m_bytes.substr(m_at + 4, size);
        m_at += 4 + size;
        return true;
    }
    size_t left() const { return m_bytes.size() - m_at; }

private:
    std::string_view m_bytes;
    size_t m_at = 0;
};

bool readWhole(const std::string& path, std::string* text, std::string* why) {
    switch (ReadPrivateFile(path, kLongestState, text)) {
        case PrivateFileRead::Read: return true;
        case PrivateFileRead::Missing: *why = "no saved listing"; return false;
        case PrivateFileRead::Unopened: *why = "the saved listing cannot be opened"; return false;
        case PrivateFileRead::NotPrivate: *why = "the saved listing is not a private file of this user's"; return false;
        case PrivateFileRead::Unreadable: break;
    }
    *why = "the saved listing cannot be read";
    return false;
}

bool damaged(ListingState* state, std::string* why, const char* what) {
    state->tombstones.clear();
    state->owned.clear();
    *why = std::string("the saved listing is damaged (") + what + ")";
    return false;
}

bool otherDomain(ListingState* state, std::string* why) {
    state->tombstones.clear();
    state->owned.clear();
    *why = "the saved listing is of another domain";
    return false;
}

bool wholeReadTime(std::string_view text, std::time_t* at) {
    const std::string digits(text);
    char* end = nullptr;
    const long long value = std::strtoll(digits.c_str(), &end, 10);
    if (digits.empty() || *end != '\0') return false;
    *at = static_cast<std::time_t>(value);
    return true;
}

bool readCurrent(std::string_view body, const std::string& domainKey, ListingState* state, std::string* why) {
    if (body.size() < kChecksumSize) return damaged(state, why, "it is cut short");
    const std::string_view fields = body.substr(kChecksumSize);
    if (numberAt(body, 0, kChecksumSize) != checksumOf(fields)) return damaged(state, why, "its checksum does not hold");
    FieldReader reader(fields);
    std::string_view header[kHeaderFields];
    for (std::string_view& field : header)
        if (!reader.next(&field)) return damaged(state, why, "it is incomplete");
    if (header[0] != domainKey) return otherDomain(state, why);
    state->server = WidenText(header[1]);
    state->invocationId = WidenText(header[2]);
    state->usn = WidenText(header[3]);
    state->cookie = WidenText(header[4]);
    if (!wholeReadTime(header[5], &state->wholeReadAt)) return damaged(state, why, "the time of the whole read");
    std::string_view countField;
    if (!reader.next(&countField) || countField.size() != 8) return damaged(state, why, "it is incomplete");
    const uint64_t count = numberAt(countField, 0, 8);
    // Each tombstone takes at least its fields' lengths: a larger count is not this file's.
    if (count > reader.left() / (4 * kTombstoneFieldCount)) return damaged(state, why, "the count of tombstones");
    state->tombstones.resize(static_cast<size_t>(count));
    for (TombstoneFields& tombstone : state->tombstones)
        for (std::string_view& field : tombstone)
            if (!reader.next(&field)) return damaged(state, why, "a tombstone is cut short");
    if (reader.left() != 0) return damaged(state, why, "it goes on after its tombstones");
    return true;
}

// The former form's record keys of a tombstone line, in order.
constexpr const char16_t* kFormerFields[] = {u"name",           u"distinguishedName", u"lastKnownParent",
                                             u"class",          u"FriendlyClassName", u"dateDeleted",
                                             kDateDeletedUtcKey, kExpiresKey,         kExpiresUtcKey,
                                             u"FocusedDC"};
constexpr size_t kFormerFieldCount = sizeof kFormerFields / sizeof kFormerFields[0];

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

bool readFormer(std::string_view rest, const std::string& domainKey, ListingState* state, std::string* why) {
    bool domain = false;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        if (end == std::string_view::npos) return damaged(state, why, "it does not end with a whole line");
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        std::vector<std::string_view> parts = split(line);
        std::vector<std::string> values;
        for (size_t i = 1; i < parts.size(); ++i) {
            std::optional<std::string> value = UnescapeField(parts[i]);
            if (!value) return damaged(state, why, "a field is not escaped as written");
            values.push_back(std::move(*value));
        }
        const std::string_view kind = parts[0];
        if (kind == "t") {
            if (values.size() != kFormerFieldCount) return damaged(state, why, "a tombstone line has the wrong fields");
            PropertySet* record = PropertySet::create();
            if (!record) return damaged(state, why, "out of memory");
            for (size_t i = 0; i < kFormerFieldCount; ++i)
                if (!values[i].empty()) record->setText(kFormerFields[i], WidenText(values[i]));
            // That form kept the last known parent, which the listing showed.
            if (record->has(u"lastKnownParent")) record->setText(u"Parent", record->getText(u"lastKnownParent"));
            state->owned.push_back(TombstoneFieldsOf(record));
            record->release();
            state->tombstones.push_back(ViewsOf(state->owned.back()));
            continue;
        }
        if (values.size() != 1) return damaged(state, why, "a line has the wrong fields");
        if (kind == "domain") {
            if (values[0] != domainKey) return otherDomain(state, why);
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
            if (!wholeReadTime(values[0], &state->wholeReadAt)) return damaged(state, why, "the time of the whole read");
        } else {
            return damaged(state, why, "a line of an unknown kind");
        }
    }
    if (!domain) return damaged(state, why, "it is incomplete");
    return true;
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
    state->owned.clear();
    state->bytes.clear();
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
    if (!readWhole(path, &state->bytes, why)) return false;
    const std::string_view text(state->bytes);
    if (text.starts_with(kMagic)) return readCurrent(text.substr(kMagic.size()), domainKey, state, why);
    if (text.starts_with(kFormerMagic)) {
        const bool read = readFormer(text.substr(kFormerMagic.size()), domainKey, state, why);
        state->bytes.clear();
        return read;
    }
    return damaged(state, why, "not a listing of this version");
}

bool WriteListingState(const std::string& path, const std::string& domainKey, const ListingState& state,
                       const std::vector<TombstoneFields>& tombstones) {
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
    size_t size = kMagic.size() + kChecksumSize + 256 + domainKey.size() + state.cookie.size() * 3;
    for (const TombstoneFields& tombstone : tombstones)
        for (std::string_view field : tombstone) size += 4 + field.size();
    std::string bytes;
    bytes.reserve(size);
    bytes.append(kMagic);
    bytes.append(kChecksumSize, '\0');
    appendField(&bytes, domainKey);
    for (const std::u16string* text : {&state.server, &state.invocationId, &state.usn, &state.cookie})
        appendField(&bytes, NarrowText(*text));
    appendField(&bytes, std::to_string(static_cast<long long>(state.wholeReadAt)));
    appendNumber(&bytes, 8, 4);
    appendNumber(&bytes, tombstones.size(), 8);
    for (const TombstoneFields& tombstone : tombstones)
        for (std::string_view field : tombstone) appendField(&bytes, field);
    const size_t fields = kMagic.size() + kChecksumSize;
    const uint64_t sum = checksumOf(std::string_view(bytes).substr(fields));
    for (size_t i = 0; i < kChecksumSize; ++i) bytes[kMagic.size() + i] = static_cast<char>((sum >> (8 * i)) & 0xFF);
    return lumivel::WriteFileAtomically(path, bytes, 0600, lumivel::ExistingFile::Replace) == 0;
}

}  // namespace lumivel_cli
