// Records are read whole, however long, and never cut: a record is everything up to the next
// CR LF pair, so a long one cannot swallow the rest of the file.
#include "schemacache/index_reader.h"

#include <climits>
#include <functional>

#include "schemacache/index_format.h"
#include "win/files.h"
#include "win/threads.h"

namespace glossar {
namespace {

constexpr DWORD kChunkBytes = 64 * 1024;

// Readers share everything: the generator never writes a file in place but renames a new one
// over it, which must not be refused while a cache is reading.
constexpr DWORD kReaderShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class File {
public:
    explicit File(HANDLE handle) : m_handle(handle) {}
    ~File() {
        if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    HANDLE get() const { return m_handle; }
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};

// Splits the file into records and hands each non-empty one to the sink. A trailing odd byte
// is no code unit and is ignored; a byte-order mark is skipped only when it is there, so that
// a file written without one loses nothing of its first record.
void ReadRecords(HANDLE file, const std::function<void(std::u16string_view)>& sink) {
    std::vector<unsigned char> chunk(kChunkBytes);
    std::u16string record;
    bool pendingCr = false;
    bool atStart = true;
    int carry = -1;  // a byte left over from the previous chunk
    auto emit = [&] {
        if (!record.empty()) sink(record);
        record.clear();
    };
    auto take = [&](char16_t unit) {
        if (atStart) {
            atStart = false;
            if (unit == 0xFEFF) return;
        }
        if (pendingCr) {
            pendingCr = false;
            if (unit == u'\n') {
                emit();
                return;
            }
            record.push_back(u'\r');
        }
        if (unit == u'\r') {
            pendingCr = true;
            return;
        }
        record.push_back(unit);
    };
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, chunk.data(), kChunkBytes, &got, nullptr) || got == 0) break;
        DWORD i = 0;
        if (carry >= 0) {
            take(static_cast<char16_t>(carry | (chunk[0] << 8)));
            carry = -1;
            i = 1;
        }
        for (; i + 1 < got; i += 2) take(static_cast<char16_t>(chunk[i] | (chunk[i + 1] << 8)));
        if (i < got) carry = chunk[i];
    }
    if (pendingCr) record.push_back(u'\r');
    emit();
}

std::vector<std::u16string_view> SplitFields(std::u16string_view record) {
    std::vector<std::u16string_view> fields;
    size_t start = 0;
    for (;;) {
        const size_t bar = record.find(kFieldSeparator, start);
        if (bar == std::u16string_view::npos) {
            fields.push_back(record.substr(start));
            return fields;
        }
        fields.push_back(record.substr(start, bar - start));
        start = bar + 1;
    }
}

void AddClass(std::u16string_view record, std::vector<SchemaEntry>* entries) {
    const auto fields = SplitFields(record);
    if (fields.size() != kClassFieldCount) return;
    for (size_t i = 0; i < 4; ++i)
        if (fields[i].empty()) return;
    SchemaEntry entry;
    entry.relativeName = fields[0];
    entry.ldapDisplayName = fields[1];
    entry.friendlyName = fields[2];
    entry.guid = fields[3];
    entry.container = fields[4] == u"1" ? 1 : 0;
    entry.iconModule = fields[5];
    entry.iconIndex = ParseIconNumber(fields[6]);
    entries->push_back(std::move(entry));
}

void AddAttribute(std::u16string_view record, std::vector<SchemaEntry>* entries) {
    const auto fields = SplitFields(record);
    if (fields.size() != kAttributeFieldCount) return;
    for (const auto& field : fields)
        if (field.empty()) return;
    SchemaEntry entry;
    entry.relativeName = fields[0];
    entry.ldapDisplayName = fields[1];
    entry.guid = fields[2];
    entries->push_back(std::move(entry));
}

HANDLE OpenIndex(std::u16string_view directory, std::u16string_view fileName) {
    const std::u16string path = std::u16string(directory) + std::u16string(fileName);
    return CreateFileW(path.c_str(), GENERIC_READ, kReaderShare, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                       nullptr);
}

}  // namespace

LONG ParseIconNumber(std::u16string_view field) {
    size_t i = 0;
    while (i < field.size() && (field[i] == u' ' || field[i] == u'\t')) ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == u'+' || field[i] == u'-')) negative = field[i++] == u'-';
    long long value = 0;
    for (; i < field.size() && field[i] >= u'0' && field[i] <= u'9'; ++i) {
        value = value * 10 + (field[i] - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<LONG>(value);
}

void LoadClassIndex(std::u16string_view directory, std::vector<SchemaEntry>* entries) {
    File file(OpenIndex(directory, kClassIndexFile));
    if (!file.valid()) return;
    ReadRecords(file.get(), [entries](std::u16string_view record) { AddClass(record, entries); });
}

bool LoadAttributeIndex(std::u16string_view directory, std::vector<SchemaEntry>* entries) {
    File file(OpenIndex(directory, kAttributeIndexFile));
    if (!file.valid()) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0) return false;
    ReadRecords(file.get(), [entries](std::u16string_view record) { AddAttribute(record, entries); });
    return true;
}

}  // namespace glossar
