// A backup file is refused before it is parsed when it, or one of its lines, is too large; the
// bounds hold however the bytes arrive, and an archive whose member passes them is not summed up.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "provider/archive/archive_commands.h"
#include "provider/backup/archive_index.h"
#include "provider/backup/attribute_lists.h"
#include "provider/backup/backup_file_bounds.h"
#include "provider/backup/backup_parent_path.h"
#include "provider/backup/backup_sections.h"
#include "provider/backup/tests/test_files.h"
#include "win/winerror.h"

namespace revivo {
namespace {

using testing::TempDirectory;

TEST(BackupFileBounds, ALineMayBeOneMebibyteAndNoMoreWhereverTheChunksSplitIt) {
    std::string line(kMaxBackupLineBytes, 'A');
    BackupBoundsGuard exact;
    EXPECT_TRUE(exact.Feed(line.data(), line.size()));
    EXPECT_TRUE(exact.Feed("\r\n", 2));
    EXPECT_TRUE(exact.Feed(line.data(), line.size())) << "each line is counted on its own";

    BackupBoundsGuard split;
    EXPECT_TRUE(split.Feed("x=", 2));
    EXPECT_TRUE(split.Feed(line.data(), line.size() - 2));
    EXPECT_FALSE(split.Feed("y", 1)) << "a line that goes on across chunks is one line";
    EXPECT_NE(split.Why().find(u"line 1 "), std::u16string::npos);
    EXPECT_FALSE(split.Feed("\n", 1)) << "once refused, it stays refused";
}

TEST(BackupFileBounds, ManyShortLinesStillStopAtTheFileBound) {
    std::string chunk(1 << 20, 'a');
    for (size_t i = 0; i < chunk.size(); i += 100) chunk[i] = '\n';
    BackupBoundsGuard guard;
    uint64_t fed = 0;
    while (fed + chunk.size() <= kMaxBackupFileBytes) {
        ASSERT_TRUE(guard.Feed(chunk.data(), chunk.size()));
        fed += chunk.size();
    }
    EXPECT_FALSE(guard.Feed("a", 1));
    EXPECT_EQ(guard.Why(), u"it is larger than 64 MiB");
}

TEST(BackupFileBounds, FilesAreRefusedBySizeOrLineWithTheirName) {
    TempDirectory dir;
    std::u16string why;
    std::u16string small = dir.Write("small.inf", std::string(testing::kInfHeader) + "[Backup Info]\r\nOrigin=\"x\"\r\n");
    EXPECT_EQ(CheckBackupFileBounds(small, &why), DWORD(ERROR_SUCCESS));
    EXPECT_TRUE(why.empty());

    std::u16string longLine = dir.Write("long.inf", "[s]\r\nk=8\t\"" + std::string(kMaxBackupLineBytes + 1, '4') + "\"\r\n");
    EXPECT_EQ(CheckBackupFileBounds(longLine, &why), DWORD(ERROR_FILE_TOO_LARGE));
    EXPECT_NE(why.find(u"long.inf"), std::u16string::npos);
    EXPECT_NE(why.find(u"line 2 is longer than 1 MiB"), std::u16string::npos);

    // A sparse file: refused by its size, without reading 64 MiB.
    std::filesystem::path huge = dir.path() / "huge.inf";
    dir.Write("huge.inf", "");
    std::filesystem::resize_file(huge, kMaxBackupFileBytes + 1);
    EXPECT_EQ(CheckBackupFileBounds(dir.Path("huge.inf"), &why), DWORD(ERROR_FILE_TOO_LARGE));
    EXPECT_NE(why.find(u"larger than 64 MiB"), std::u16string::npos);

    EXPECT_NE(CheckBackupFileBounds(dir.Path("missing.inf"), &why), DWORD(ERROR_SUCCESS))
        << "a file that cannot be read is no file within bounds";
}

TEST(BackupFileBounds, AnArchiveWithAnOverlongLineIsNeitherSummedUpNorReadForItsParent) {
    TempDirectory dir;
    const std::string section = "5e4a1f6c1c1b574c9d2e0a1b2c3d4e5f";
    std::u16string inf = dir.Write("{D}.inf", std::string(testing::kInfHeader) + "[Backup Info]\r\nDateTime=\"2026-01-01 08:00:00\"\r\n[" +
                                                  section + "]\r\nk=8\t\"" + std::string(kMaxBackupLineBytes + 10, '4') +
                                                  "\"\r\npath=8\t\"4F003D00780000\"\r\n");
    std::filesystem::create_directories(dir.path() / "share");
    std::u16string archive = dir.Path("share/{D}.zip");
    ASSERT_EQ(PackFile(archive.c_str(), inf.c_str()), 0);

    ArchiveSummary summary;
    DWORD error = ERROR_SUCCESS;
    EXPECT_FALSE(ReadArchiveSummary(archive, &summary, &error));
    EXPECT_EQ(error, DWORD(ERROR_FILE_TOO_LARGE));
    EXPECT_FALSE(summary.readable);
    EXPECT_TRUE(summary.sections.empty());

    AttributeLists lists;
    std::u16string why;
    EXPECT_FALSE(ReadBackupParentPath(lists, archive, lumivel::FromUtf8(section), &why));
    EXPECT_NE(why.find(u"longer than 1 MiB"), std::u16string::npos);
}

TEST(BackupFileBounds, AMemberDeclaredOverTheBoundIsRefusedBeforeItIsUnpacked) {
    // Compresses to little: the archive is small, what it would unpack to is not.
    TempDirectory dir;
    const std::string section = "5e4a1f6c1c1b574c9d2e0a1b2c3d4e5f";
    std::string text = std::string(testing::kInfHeader) + "[" + section + "]\r\n";
    const std::string line = "k=8\t\"41\"\r\n";
    text.reserve(kMaxBackupFileBytes + 4096);
    while (text.size() <= kMaxBackupFileBytes) text += line;
    std::u16string inf = dir.Write("{D}.inf", text);
    text.clear();
    text.shrink_to_fit();
    std::filesystem::create_directories(dir.path() / "share");
    std::u16string archive = dir.Path("share/{D}.zip");
    ASSERT_EQ(PackFile(archive.c_str(), inf.c_str()), 0);
    std::filesystem::remove(dir.path() / "{D}.inf");

    // Named by the archive: a refusal of the unpacked copy would name a temporary file.
    std::u16string why;
    EXPECT_FALSE(BackupSections::Open(archive, &why));
    EXPECT_EQ(why, u"The backup file in " + archive + u" is refused: it is larger than 64 MiB.");
    AttributeLists lists;
    why.clear();
    EXPECT_FALSE(ReadBackupParentPath(lists, archive, lumivel::FromUtf8(section), &why));
    EXPECT_EQ(why, u"The backup file in " + archive + u" is refused: it is larger than 64 MiB.");
}

}  // namespace
}  // namespace revivo
