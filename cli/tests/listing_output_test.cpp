// The listing written as it comes, held against the whole-document formatting it replaced
// (kept here as the reference): byte for byte, in every format, for tombstones whose names and
// parents carry what a terminal could act on, text of every width, and enough rows that the
// table's cells wait in a temporary file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "cli/completion_words.h"
#include "cli/listing_output.h"
#include "cli/output_schemas.h"
#include "cli/terminal_text.h"
#include "shared/provider_interfaces.h"
#include "shared/text_helpers.h"
#include "tests/support/temporary_directory.h"

using namespace lumivel_cli;

namespace {

// The former output: every row's cells, then the widths, then the text.
std::string formerTable(const std::vector<Record>& records) {
    const RecordSchema& schema = kListSchema;
    RecordWriter cellsOnly(schema, OutputFormat::Table, std::cout);
    std::vector<std::vector<std::string>> cells;
    std::vector<std::string> headings;
    for (const TableColumn& column : schema.table) headings.push_back(column.heading);
    cells.push_back(headings);
    for (const Record& record : records) cells.push_back(cellsOnly.cells(record));
    std::vector<size_t> widths(headings.size(), 0);
    for (const auto& row : cells)
        for (size_t i = 0; i < widths.size(); ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));
    std::string out;
    for (const auto& row : cells) {
        std::string line;
        for (size_t i = 0; i < widths.size(); ++i) {
            line += row[i];
            if (i + 1 < widths.size()) line.append(widths[i] - DisplayWidth(row[i]) + 2, ' ');
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + "\n";
    }
    return out;
}

std::string formerJson(const std::vector<Record>& records) {
    Json document = Json::object();
    document["version"] = kListSchema.version;
    document["command"] = kListSchema.command;
    Json items = Json::array();
    for (const Record& record : records) {
        Json item = Json::object();
        for (const Column& column : kListSchema.columns) {
            auto found = record.values.find(column.key);
            item[column.key] = found != record.values.end() ? *found : Json();
        }
        items.push_back(std::move(item));
    }
    document[kListSchema.itemsKey] = std::move(items);
    return JsonText(document);
}

std::string formerTsv(const std::vector<DeletedRow>& rows) {
    std::string out;
    const std::vector<std::string>& names = FieldNames();
    for (size_t i = 0; i < names.size(); ++i) out += names[i] + (i + 1 < names.size() ? "\t" : "\n");
    for (const DeletedRow& row : rows) {
        // The local times stand where a table shows them too; the UTC ones are empty when they
        // are no time, as the schema's time columns are.
        auto utc = [](const std::string& text) { return SecondsOfIsoUtc(text) ? text : std::string(); };
        const std::string fields[] = {row.name,       row.lastKnownParent, row.className, row.dateDeleted, utc(row.deletedUtc),
                                      row.guid,       row.tombstoneName,   row.tombstone, row.expires,     utc(row.expiresUtc)};
        for (size_t i = 0; i < names.size(); ++i)
            out += TerminalText(fields[i], Escaping::Reversible) + (i + 1 < names.size() ? "\t" : "\n");
    }
    return out;
}

struct Records {
    std::vector<PropertySet*> owned;
    ~Records() {
        for (PropertySet* record : owned) record->release();
    }
};

// Names that steer a terminal, reorder text, are wide or are no UTF-8, in turn.
const char* const kHostile[] = {"Plain", "Esc\x1b[31mred", "Tab\there", "Line\nfeed", "C1\xc2\x9b" "2J",
                                "Bidi\xe2\x80\xae" "evil", "\xe4\xb8\xad\xe6\x96\x87 wide", "Broken\xff\xfe",
                                "Back\\slash, \"quoted\"", "Del\x7f", "Clef \xf0\x9d\x84\x9e beyond", ""};

PropertySet* tombstone(size_t i, bool dated) {
    using lumivel::shared::WidenText;
    PropertySet* record = PropertySet::create();
    const std::string guid = "0000" + std::to_string(1000 + i % 9000) + "-aaaa-bbbb-cccc-0123456789ab";
    const std::string name = std::string(kHostile[i % std::size(kHostile)]) + " " + std::to_string(i);
    const std::string parent = "OU=" + std::string(kHostile[(i / 3) % std::size(kHostile)]) + std::string(i % 50, 'x') +
                               ",DC=lumivel,DC=test";
    record->setText(u"name", WidenText(name + "\nDEL:" + guid));
    record->setText(u"distinguishedName", WidenText("CN=" + name + "\\0ADEL:" + guid + ",CN=Deleted Objects,DC=lumivel,DC=test"));
    record->setText(u"Parent", WidenText(parent));
    record->setText(u"class", i % 4 ? u"user" : u"organizationalUnit");
    if (i % 5) record->setText(u"FriendlyClassName", i % 2 ? u"User" : u"\u7528\u6237");
    if (dated) {
        record->setText(kDateDeletedUtcKey, u"2026-12-0" + WidenText(std::to_string(1 + i % 9)) + u"T10:11:12Z");
        record->setText(kExpiresUtcKey, u"2027-0" + WidenText(std::to_string(1 + i % 9)) + u"-01T00:00:00Z");
    } else {
        record->setText(u"dateDeleted", u"12/08/2026 - 13:57");
    }
    // Times not of the provider's form are null in JSON, as any text but a time.
    if (i % 13 == 5) record->setText(kExpiresUtcKey, u"2027-02-30T00:00:00Z");
    if (i % 17 == 6) record->setText(kDateDeletedUtcKey, u"soon");
    return record;
}

struct Streamed {
    std::string text;
    std::string guids;
    size_t shown = 0;
};

Streamed stream(const std::vector<PropertySet*>& records, OutputFormat format, std::optional<long long> within = {},
                long long now = 0) {
    std::ostringstream out;
    ListingPrinter printer(format, out, within, now);
    std::string why;
    for (const PropertySet* record : records) EXPECT_TRUE(printer.add(record, &why)) << why;
    EXPECT_TRUE(printer.finish(&why)) << why;
    return {out.str(), printer.guidLines(), printer.shown()};
}

}  // namespace

TEST(ListingOutputTest, StreamedIsByteForByteTheFormerOutput) {
    // A few rows, and enough that the table's cells go through the temporary file.
    for (size_t count : {size_t{0}, size_t{1}, size_t{7}, size_t{1500}}) {
        Records records;
        std::vector<DeletedRow> rows;
        std::vector<Record> listed;
        for (size_t i = 0; i < count; ++i) {
            records.owned.push_back(tombstone(i, i % 7 != 3));
            rows.push_back(DeletedRowOf(records.owned.back()));
            listed.push_back(ListRecordOf(rows.back()));
        }
        SCOPED_TRACE(count);
        EXPECT_EQ(stream(records.owned, OutputFormat::Table).text, formerTable(listed));
        EXPECT_EQ(stream(records.owned, OutputFormat::Json).text, formerJson(listed));
        EXPECT_EQ(stream(records.owned, OutputFormat::Tsv).text, formerTsv(rows));
        // FormatRows is the same writer with every row at hand.
        for (OutputFormat format : {OutputFormat::Table, OutputFormat::Json, OutputFormat::Tsv})
            EXPECT_EQ(stream(records.owned, format).text, FormatRows(rows, format));
    }
}

TEST(ListingOutputTest, EveryAsciiByteIsEscapedAsTheFormerOutputEscapedIt) {
    // The JSON writer escapes ASCII itself; each byte in a name, a parent and a DN, alone
    // and beside another, and once beside text beyond ASCII (which goes the generic way).
    Records records;
    std::vector<Record> listed;
    std::vector<DeletedRow> rows;
    for (int byte = 0; byte < 0x80; ++byte) {
        using lumivel::shared::WidenText;
        const std::string c(1, static_cast<char>(byte));
        PropertySet* record = tombstone(static_cast<size_t>(byte), true);
        const std::string guid = "0000" + std::to_string(2000 + byte) + "-aaaa-bbbb-cccc-0123456789ab";
        const std::string name = byte % 2 ? c : "a" + c + "\x7f" + c + (byte == 0x41 ? "\xc3\xa9" : "z");
        record->setText(u"name", WidenText(name + "\nDEL:" + guid));
        record->setText(u"Parent", WidenText("OU=" + c + c + ",DC=lumivel,DC=test"));
        record->setText(u"distinguishedName", WidenText("CN=" + name + "\\0ADEL:" + guid + ",CN=Deleted Objects"));
        records.owned.push_back(record);
        rows.push_back(DeletedRowOf(record));
        listed.push_back(ListRecordOf(rows.back()));
    }
    EXPECT_EQ(stream(records.owned, OutputFormat::Json).text, formerJson(listed));
    EXPECT_EQ(stream(records.owned, OutputFormat::Table).text, formerTable(listed));
    EXPECT_EQ(stream(records.owned, OutputFormat::Tsv).text, formerTsv(rows));
}

TEST(ListingOutputTest, ExpiringWithinLeavesRowsOutAndTheirGuidsWithThem) {
    Records records;
    for (size_t i = 0; i < 40; ++i) records.owned.push_back(tombstone(i, i % 7 != 3));
    const long long now = *SecondsOfIsoUtc("2027-03-15T00:00:00Z");
    std::vector<DeletedRow> kept;
    for (const PropertySet* record : records.owned) kept.push_back(DeletedRowOf(record));
    kept = ExpiringWithin(std::move(kept), 30 * 86400LL, now);
    ASSERT_FALSE(kept.empty());
    for (OutputFormat format : {OutputFormat::Table, OutputFormat::Json, OutputFormat::Tsv}) {
        const Streamed streamed = stream(records.owned, format, 30 * 86400LL, now);
        EXPECT_EQ(streamed.text, FormatRows(kept, format));
        EXPECT_EQ(streamed.shown, kept.size());
        std::string guids;
        for (const DeletedRow& row : kept) guids += row.guid + "\n";
        EXPECT_EQ(streamed.guids, guids);
    }
}

TEST(ListingOutputTest, OutputThatCannotBeWrittenStopsTheListing) {
    Records records;
    for (size_t i = 0; i < 3; ++i) records.owned.push_back(tombstone(i, true));
    for (OutputFormat format : {OutputFormat::Table, OutputFormat::Json, OutputFormat::Tsv}) {
        std::ostringstream out;
        ListingPrinter printer(format, out, std::nullopt, 0);
        std::string why;
        EXPECT_TRUE(printer.add(records.owned[0], &why));
        out.setstate(std::ios::badbit);
        errno = ENOSPC;
        const bool more = printer.add(records.owned[1], &why) && printer.finish(&why);
        EXPECT_FALSE(more);
        EXPECT_EQ(printer.writeError(), ENOSPC);
        EXPECT_NE(why.find("could not be written"), std::string::npos) << why;
        EXPECT_FALSE(printer.finish(&why)) << "a later finish does not pass for a whole listing";
    }
}

TEST(ListingOutputTest, PlainWordsAreTheFormerOnesForEveryByte) {
    auto former = [](std::string_view word) {
        return !word.empty() && word.size() <= 256 && word.front() != '-' &&
               std::all_of(word.begin(), word.end(), [](unsigned char c) {
                   return std::isalnum(c) || c == '.' || c == '-' || c == '_' || c == '@' || c == '{' || c == '}';
               });
    };
    for (int byte = 0; byte < 256; ++byte) {
        const std::string c(1, static_cast<char>(byte));
        for (const std::string& word : {c, "a" + c, c + "a", "{" + c + "}"})
            EXPECT_EQ(IsPlainWord(word), former(word)) << byte;
    }
    EXPECT_TRUE(IsPlainWord(std::string(256, 'a')));
    EXPECT_FALSE(IsPlainWord(std::string(257, 'a')));
}

TEST(ListingOutputTest, TheCompletionCacheIsWrittenOnlyWhenItsWordsChange) {
    lumivel::testing::TemporaryDirectory home;
    const char* before = std::getenv("XDG_CACHE_HOME");
    const std::string kept = before ? before : "";
    ::setenv("XDG_CACHE_HOME", home.path().c_str(), 1);
    const std::string path = ListingCachePath("lumivel.test");
    auto inode = [&] {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 ? info.st_ino : 0;
    };
    RememberListing("lumivel.test", "aaaa-1\nnot plain\nbbbb-2\n");
    EXPECT_EQ(lumivel::testing::ReadText(path), "aaaa-1\nbbbb-2\n");
    const ino_t first = inode();
    RememberListing("lumivel.test", "aaaa-1\nbbbb-2\n");
    EXPECT_EQ(inode(), first);
    RememberListing("lumivel.test", "aaaa-1\n");
    EXPECT_EQ(lumivel::testing::ReadText(path), "aaaa-1\n");
    // A file others may read is replaced by a private one, though its words are the same.
    const ino_t second = inode();
    ::chmod(path.c_str(), 0644);
    RememberListing("lumivel.test", "aaaa-1\n");
    struct stat info {};
    ASSERT_EQ(::lstat(path.c_str(), &info), 0);
    EXPECT_NE(info.st_ino, second);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    if (before) ::setenv("XDG_CACHE_HOME", kept.c_str(), 1);
    else ::unsetenv("XDG_CACHE_HOME");
}
