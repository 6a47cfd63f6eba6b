// The archives of a backup folder as a restore and the command line see them: newest first,
// what each holds read once and then taken from the index while the archive stays the same,
// and the former parent read back from an object's section.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "lumivel/registry_key.h"
#include "provider/archive/archive_commands.h"
#include "provider/backup/archive_index.h"
#include "provider/backup/attribute_lists.h"
#include "provider/backup/backup_folder.h"
#include "provider/backup/backup_inf_file.h"
#include "provider/backup/backup_parent_path.h"
#include "provider/backup/tests/test_files.h"
#include "provider/backup/text_hex.h"
#include "tests/support/private_hives.h"
#include "win/datetime.h"

namespace revivo {
namespace {

// The backup folder policy is read from the registry: private hives for the whole program.
const auto* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

using testing::TempDirectory;

struct Section {
    std::u16string name;
    std::u16string lines;  // already ended by CR LF
};

std::u16string pathLine(std::u16string_view dn, std::u16string_view type = u"8") {
    return u"path=" + std::u16string(type) + u"\t\"" + EncodeTextHex(dn) + u"\"\r\n";
}

// An archive as the writer makes it, in folder, named guid + ".zip".
void makeArchive(const TempDirectory& dir, const std::string& folder, const std::string& guid, const SYSTEMTIME& when,
                 const std::vector<Section>& sections, const std::string& archiveName = {}) {
    std::filesystem::create_directories(dir.path() / "work");
    std::filesystem::create_directories(dir.path() / folder);
    std::u16string inf = dir.Path("work/" + guid + ".inf");
    std::filesystem::remove(dir.path() / "work" / (guid + ".inf"));
    BackupInfFile file;
    ASSERT_TRUE(file.Create(inf));
    file.WriteHeader(when, u"OU=Origin of " + lumivel::FromUtf8(guid) + u",DC=x");
    for (const Section& section : sections) {
        file.BeginSection(section.name);
        file.WriteLines(section.lines);
    }
    ASSERT_TRUE(file.Close());
    std::u16string archive = dir.Path(folder + "/" + (archiveName.empty() ? guid + ".zip" : archiveName));
    std::filesystem::remove(lumivel::ToUtf8(archive));
    ASSERT_EQ(PackFile(archive.c_str(), inf.c_str()), 0);
}

SYSTEMTIME at(int year, int month, int day) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year), t.wMonth = static_cast<WORD>(month), t.wDay = static_cast<WORD>(day);
    t.wHour = 8;
    return t;
}

// Sets a file's last write to that day, as the share would have recorded it.
void setWritten(const TempDirectory& dir, const std::string& name, const SYSTEMTIME& when) {
    FILETIME written{};
    ASSERT_TRUE(SystemTimeToFileTime(&when, &written));
    const uint64_t ticks = uint64_t(written.dwHighDateTime) << 32 | written.dwLowDateTime;
    timespec times[2] = {{time_t(ticks / 10000000ull - 11644473600ull), 0}, {time_t(ticks / 10000000ull - 11644473600ull), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir.path() / name).c_str(), times, 0), 0);
}

const std::u16string kAnn = u"5e4a1f6c1c1b574c9d2e0a1b2c3d4e5f";
const std::u16string kBob = u"00112233445566778899aabbccddeeff";

std::vector<std::u16string> names(const std::vector<ArchiveSummary>& archives) {
    std::vector<std::u16string> out;
    for (const ArchiveSummary& archive : archives) out.push_back(archive.fileName);
    return out;
}

TEST(ArchiveIndex, NewestFirstAndEachArchiveReadOnceWhileItStaysTheSame) {
    TempDirectory dir;
    makeArchive(dir, "share", "{A}", at(2026, 1, 1), {{kAnn, pathLine(u"OU=x")}});
    makeArchive(dir, "share", "{B}", at(2026, 3, 1), {{kAnn, pathLine(u"OU=y")}, {kBob, pathLine(u"OU=y")}});
    makeArchive(dir, "share", "{C}", at(2025, 12, 31), {{kBob, pathLine(u"OU=z")}});
    // Renamed after the backup: its member no longer has the archive's name, as a restore needs.
    makeArchive(dir, "share", "{D}", at(2026, 6, 1), {{kAnn, pathLine(u"OU=w")}}, "renamed.zip");
    dir.Write("share/notes.zip", "not an archive");
    dir.Write("share/readme.txt", "ignored");
    // The share's write times order them, as each backup reached the share.
    setWritten(dir, "share/{A}.zip", at(2026, 1, 1));
    setWritten(dir, "share/{B}.zip", at(2026, 3, 1));
    setWritten(dir, "share/{C}.zip", at(2025, 12, 31));
    setWritten(dir, "share/renamed.zip", at(2025, 1, 2));
    setWritten(dir, "share/notes.zip", at(2025, 1, 1));

    const std::u16string folder = dir.Path("share") + u"/";
    ArchiveIndex first(dir.Path("cache/lumivel/backup-index"));
    std::vector<ArchiveSummary> archives;
    ASSERT_TRUE(ListBackupArchives(folder, first, &archives));
    ASSERT_EQ(archives.size(), 5u);
    std::vector<std::u16string> order = names(archives);
    order.resize(3);
    EXPECT_EQ(order, (std::vector<std::u16string>{u"{B}.zip", u"{A}.zip", u"{C}.zip"}));
    EXPECT_EQ(first.ArchivesRead(), 5u);
    const ArchiveSummary& newest = archives[0];
    EXPECT_TRUE(newest.readable);
    EXPECT_EQ(newest.path, folder + u"{B}.zip");
    EXPECT_EQ(newest.dateTime, u"2026-03-01 08:00:00");
    EXPECT_EQ(newest.origin, u"OU=Origin of {B},DC=x");
    EXPECT_EQ(newest.sections.size(), 2u);
    EXPECT_TRUE(newest.Holds(u"00112233445566778899AABBCCDDEEFF"));
    EXPECT_FALSE(archives[2].Holds(kAnn));
    for (size_t i = 3; i < 5; ++i) {
        EXPECT_FALSE(archives[i].readable) << lumivel::ToUtf8(archives[i].fileName);
        EXPECT_FALSE(archives[i].Holds(kAnn));
    }

    // A second look, in another process as well, reads no archive again.
    ArchiveIndex second(dir.Path("cache/lumivel/backup-index"));
    std::vector<ArchiveSummary> again;
    ASSERT_TRUE(ListBackupArchives(folder, second, &again));
    EXPECT_EQ(second.ArchivesRead(), 0u);
    EXPECT_EQ(names(again), names(archives));
    EXPECT_EQ(again[0].sections, archives[0].sections);
    EXPECT_EQ(again[0].origin, archives[0].origin);

    // An archive replaced under its name is read again; so is one whose index was damaged.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    makeArchive(dir, "share", "{A}", at(2026, 1, 2), {{kBob, pathLine(u"OU=v,OU=longer")}});
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "cache/lumivel/backup-index")) {
        std::ifstream in(entry.path());
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        if (text.find("{C}.zip") != std::string::npos)
            std::ofstream(entry.path(), std::ios::trunc) << text.substr(0, text.size() / 2);
    }
    ArchiveIndex third(dir.Path("cache/lumivel/backup-index"));
    ASSERT_TRUE(ListBackupArchives(folder, third, &again));
    EXPECT_EQ(third.ArchivesRead(), 2u);
    const ArchiveSummary* replaced = nullptr;
    for (const ArchiveSummary& archive : again)
        if (archive.fileName == u"{A}.zip") replaced = &archive;
    ASSERT_NE(replaced, nullptr);
    EXPECT_TRUE(replaced->Holds(kBob));
    EXPECT_FALSE(replaced->Holds(kAnn));
    // Index files are written whole under names of their own: nothing half-done stays.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "cache/lumivel/backup-index"))
        EXPECT_EQ(entry.path().extension(), ".idx") << entry.path();
}

// The index lives under names anyone can work out: one that has become a link is replaced,
// never written through.
TEST(ArchiveIndex, PlantedLinksAreReplacedNotWrittenThrough) {
    TempDirectory dir;
    makeArchive(dir, "share", "{A}", at(2026, 1, 1), {{kAnn, pathLine(u"OU=x")}});
    const std::u16string folder = dir.Path("share") + u"/";
    std::vector<ArchiveSummary> archives;
    ArchiveIndex first(dir.Path("index"));
    ASSERT_TRUE(ListBackupArchives(folder, first, &archives));
    const std::string victim = (dir.path() / "victim").string();
    dir.Write("victim", "precious");
    size_t planted = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "index")) {
        std::filesystem::remove(entry.path());
        std::filesystem::create_symlink(victim, entry.path());
        ++planted;
    }
    ASSERT_EQ(planted, 1u);

    ArchiveIndex second(dir.Path("index"));
    ASSERT_TRUE(ListBackupArchives(folder, second, &archives));
    EXPECT_EQ(second.ArchivesRead(), 1u);
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_TRUE(archives[0].Holds(kAnn));
    std::ifstream in(victim);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), "precious");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "index"))
        EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(entry.path()))) << entry.path();
}

TEST(ArchiveIndex, MissingFolderFailsAndEmptyFolderIsEmpty) {
    TempDirectory dir;
    ArchiveIndex index(dir.Path("index"));
    std::vector<ArchiveSummary> archives;
    DWORD error = 0;
    EXPECT_FALSE(ListBackupArchives(dir.Path("missing") + u"/", index, &archives, &error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    std::filesystem::create_directories(dir.path() / "empty");
    EXPECT_TRUE(ListBackupArchives(dir.Path("empty") + u"/", index, &archives, &error));
    EXPECT_TRUE(archives.empty());
}

TEST(ArchiveIndex, LatestIsByTheSharesWriteTimeNotTheDateAnArchiveClaims) {
    TempDirectory dir;
    makeArchive(dir, "share", "{OLD}", at(2031, 1, 1), {{kAnn, pathLine(u"OU=forged")}});
    makeArchive(dir, "share", "{NEW}", at(2026, 5, 1), {{kAnn, pathLine(u"OU=real")}});
    setWritten(dir, "share/{OLD}.zip", at(2026, 1, 1));
    setWritten(dir, "share/{NEW}.zip", at(2026, 5, 1));
    ArchiveIndex index(u"");
    std::vector<ArchiveSummary> archives;
    ASSERT_TRUE(ListBackupArchives(dir.Path("share") + u"/", index, &archives));
    EXPECT_EQ(names(archives), (std::vector<std::u16string>{u"{NEW}.zip", u"{OLD}.zip"}));
}

TEST(ArchiveIndex, AnIndexOthersCouldWriteIsNotBelieved) {
    TempDirectory dir;
    makeArchive(dir, "share", "{A}", at(2026, 1, 1), {{kAnn, pathLine(u"OU=x")}});
    const std::u16string folder = dir.Path("share") + u"/";
    std::vector<ArchiveSummary> archives;
    {
        ArchiveIndex first(dir.Path("cache/index"));
        ASSERT_TRUE(ListBackupArchives(folder, first, &archives));
        ArchiveIndex second(dir.Path("cache/index"));
        ASSERT_TRUE(ListBackupArchives(folder, second, &archives));
        ASSERT_EQ(second.ArchivesRead(), 0u) << "the caller's own index is used";
    }
    // An index file anyone may rewrite could claim the archive holds anything.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "cache/index"))
        std::filesystem::permissions(entry.path(), std::filesystem::perms::others_write, std::filesystem::perm_options::add);
    ArchiveIndex planted(dir.Path("cache/index"));
    ASSERT_TRUE(ListBackupArchives(folder, planted, &archives));
    EXPECT_EQ(planted.ArchivesRead(), 1u);
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_TRUE(archives[0].Holds(kAnn));

    // So is a folder others may write into: its files are neither read nor written.
    std::filesystem::create_directories(dir.path() / "open");
    std::filesystem::permissions(dir.path() / "open", std::filesystem::perms::group_write, std::filesystem::perm_options::add);
    for (int run = 0; run < 2; ++run) {
        ArchiveIndex open(dir.Path("open"));
        ASSERT_TRUE(ListBackupArchives(folder, open, &archives));
        EXPECT_EQ(open.ArchivesRead(), 1u) << "run " << run;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "open"));
}

TEST(BackupParentPath, TheLastQualifyingPathLineAndNothingElse) {
    TempDirectory dir;
    // Extraction goes into a private folder of the temporary path that is gone afterwards.
    std::filesystem::create_directories(dir.path() / "tmp");
    std::string previousTmp = std::getenv("TMP") ? std::getenv("TMP") : "";
    setenv("TMP", (dir.path() / "tmp").c_str(), 1);
    AttributeLists lists(dir.Write("config.inf", std::string(testing::kInfHeader) + "[Restricted.Attributes]\nobjectSid\n"));

    const std::u16string parent = u"OU=B\u00fcro \U00020BB7/Nord,OU=Smith\\, John \\\"x\\\",DC=lumivel,DC=test";
    const std::u16string odd = u"0123456789abcdef0123456789abcdef";
    const std::u16string numbered = u"ffffffffffffffffffffffffffffffff";
    const std::u16string broken = u"eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee";
    makeArchive(dir, "share", "{E}", at(2026, 1, 1),
                {{kAnn, u"cn=8\t\"41006E006E00\"\r\n" + pathLine(u"OU=old") + pathLine(parent)},
                 {odd, pathLine(u"OU=earlier") + pathLine(u"OU=later", u"3")},
                 {numbered, u"cn=8\t\"41006E006E00\"\r\n"},
                 {broken, pathLine(u"OU=fine") + u"path=8\t\"4F0055003D0\"\r\n"}});
    std::u16string archive = dir.Path("share/{E}.zip");
    EXPECT_EQ(ReadBackupParentPath(lists, archive, kAnn), parent);
    EXPECT_EQ(ReadBackupParentPath(lists, archive, u"5E4A1F6C1C1B574C9D2E0A1B2C3D4E5F"), parent);
    // A line of another type is passed over; the type-8 line before it counts.
    EXPECT_EQ(ReadBackupParentPath(lists, archive, odd), u"OU=earlier");
    EXPECT_EQ(ReadBackupParentPath(lists, archive, numbered), std::nullopt);
    // The last line decides: one that is not whole characters gives no name at all.
    EXPECT_EQ(ReadBackupParentPath(lists, archive, broken), std::nullopt);
    EXPECT_EQ(ReadBackupParentPath(lists, archive, kBob), std::nullopt);
    EXPECT_EQ(ReadBackupParentPath(lists, u"", kAnn), std::nullopt);
    EXPECT_EQ(ReadBackupParentPath(lists, dir.Path("share/missing.zip"), kAnn), std::nullopt);
    std::filesystem::copy(dir.path() / "share/{E}.zip", dir.path() / "share/copy.zip");
    EXPECT_EQ(ReadBackupParentPath(lists, dir.Path("share/copy.zip"), kAnn), std::nullopt);

    AttributeLists restricted(dir.Write("restricted.inf", std::string(testing::kInfHeader) + "[Restricted.Attributes]\nPATH\n"));
    EXPECT_EQ(ReadBackupParentPath(restricted, archive, kAnn), std::nullopt);

    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "tmp"));
    previousTmp.empty() ? unsetenv("TMP") : setenv("TMP", previousTmp.c_str(), 1);
}

TEST(BackupFolder, PolicyFolderElseTheDomainControllersSysvol) {
    BackupFolder folder = BackupFolderFor(u"dc1.lumivel.test");
    EXPECT_EQ(folder.path, u"\\\\dc1.lumivel.test\\sysvol\\Tarvo Lumivel\\");
    EXPECT_TRUE(folder.onSysvol);
    EXPECT_EQ(ArchivePath(folder, u"{G}"), u"\\\\dc1.lumivel.test\\sysvol\\Tarvo Lumivel\\{G}.zip");
    EXPECT_EQ(BackupFolderFor(u"").path, u"\\\\\\sysvol\\Tarvo Lumivel\\");

    lumivel::RegistryKey policy;
    ASSERT_EQ(policy.open(HKEY_CURRENT_USER, kBackupPolicyKey, KEY_ALL_ACCESS), ERROR_SUCCESS)
        << "the key is created on first use";
    struct Row {
        const char16_t* value;
        const char16_t* folder;
    } rows[] = {
        {u"/srv/backups", u"/srv/backups/"},
        {u"/srv/backups/", u"/srv/backups/"},
        {u"\\\\files\\backups", u"\\\\files\\backups\\"},
        {u"//files/backups", u"//files/backups\\"},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(policy.writeString(kFileLocationValue, row.value), ERROR_SUCCESS);
        BackupFolder set = BackupFolderFor(u"dc1.lumivel.test");
        EXPECT_EQ(set.path, row.folder);
        EXPECT_FALSE(set.onSysvol);
    }
    ASSERT_EQ(policy.writeString(kFileLocationValue, u""), ERROR_SUCCESS);
    EXPECT_TRUE(BackupFolderFor(u"dc1").onSysvol);
}

}  // namespace
}  // namespace revivo
