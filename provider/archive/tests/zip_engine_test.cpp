#include "provider/archive/zip_engine.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "lumivel/text.h"
#include "provider/archive/archive_commands.h"

namespace revivo {
namespace {

namespace fs = std::filesystem;

class ArchiveFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("revivo_archive_" + std::to_string(::getpid()) + "_" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_root);
        fs::create_directories(m_root / "out");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    fs::path Write(const std::string& relative, const std::string& bytes) {
        fs::path path = m_root / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    static std::u16string W(const fs::path& path) { return lumivel::FromUtf8(path.string()); }
    // Runs a shell command in the fixture's folder; its exit status.
    int Shell(const std::string& command) const {
        int status = std::system(("cd '" + m_root.string() + "' && " + command).c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int Python(const std::string& script) {
        Write("script.py", script);
        return Shell(std::string(LUMIVEL_PYTHON3) + " script.py");
    }
    std::set<std::string> Listing(const fs::path& directory) const {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(directory)) {
            names.insert(fs::relative(entry.path(), directory).string());
        }
        return names;
    }
    int Extract(const std::string& archive) { return ExtractInfFiles(W(m_root / archive).c_str(), W(m_root / "out").c_str()); }

    fs::path m_root;
};

std::string HexLines(size_t bytes) {
    std::string text = "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[0A1B]\r\n";
    for (unsigned i = 0; text.size() < bytes; ++i) text += "otherTelephone_" + std::to_string(i) + "=8\t\"3100320033004100\"\r\n";
    return text;
}

TEST_F(ArchiveFixture, PackedBackupPassesUnzipAndPythonByteForByte) {
    const std::string name = "{0A1B2C3D-1111-4222-8333-444455556666}.inf";
    std::string contents = HexLines(400000);
    fs::path source = Write("tmp/" + name, contents);
    fs::path archive = m_root / "{0A1B2C3D-1111-4222-8333-444455556666}.zip";
    ASSERT_EQ(PackFile(W(archive).c_str(), W(source).c_str()), 0);

    EXPECT_EQ(Shell("unzip -tq '" + archive.string() + "' > /dev/null"), 0);
    EXPECT_EQ(Python("import sys, zipfile\n"
                     "z = zipfile.ZipFile('" + archive.string() + "')\n"
                     "names = z.namelist()\n"
                     "info = z.getinfo(names[0])\n"
                     "ok = names == ['" + name + "'] and info.compress_type == zipfile.ZIP_DEFLATED\n"
                     "ok = ok and z.read(names[0]) == open('" + source.string() + "', 'rb').read()\n"
                     "ok = ok and z.testzip() is None and z.comment == b''\n"
                     "sys.exit(0 if ok else 1)\n"),
              0);

    ASSERT_EQ(ExtractInfFiles(W(archive).c_str(), W(m_root / "out").c_str()), 0);
    EXPECT_EQ(Listing(m_root / "out"), std::set<std::string>{name});
    EXPECT_TRUE(Read(m_root / "out" / name) == contents);
}

TEST_F(ArchiveFixture, NonAsciiNamesCarryTheUtf8Flag) {
    fs::path source = Write("caf\xc3\xa9 \xf0\x9f\x98\x80.inf", "x");
    ASSERT_EQ(PackFile(W(m_root / "u.zip").c_str(), W(source).c_str()), 0);
    EXPECT_EQ(Python("import sys, zipfile\n"
                     "info = zipfile.ZipFile('u.zip').infolist()[0]\n"
                     "sys.exit(0 if info.flag_bits & 0x800 and info.filename == 'caf\\u00e9 \\U0001F600.inf' else 1)\n"),
              0);
    ASSERT_EQ(Extract("u.zip"), 0);
    EXPECT_TRUE(fs::exists(m_root / "out" / "caf\xc3\xa9 \xf0\x9f\x98\x80.inf"));
}

TEST_F(ArchiveFixture, PackingNeverReplacesOrLeavesHalfAnArchive) {
    fs::path source = Write("a.inf", "data");
    fs::path existing = Write("exists.zip", "keep me");
    EXPECT_EQ(PackFile(W(existing).c_str(), W(source).c_str()), zip::kZipArchiveExists);
    EXPECT_EQ(Read(existing), "keep me");
    EXPECT_NE(PackFile(W(m_root / "new.zip").c_str(), W(m_root / "missing.inf").c_str()), 0);
    EXPECT_FALSE(fs::exists(m_root / "new.zip"));
}

// Archives made by Info-ZIP: deflated and stored, one and several ".inf" members in folders.
TEST_F(ArchiveFixture, ExtractsInfoZipArchives) {
    Write("tree/a.inf", HexLines(50000));
    Write("tree/sub/b.INF", "[Version]\r\nb\r\n");
    Write("tree/sub/deep/c.inf", "");
    Write("tree/notes.txt", "not an inf");
    for (const char* level : {"-6", "-0"}) {
        SCOPED_TRACE(level);
        fs::remove_all(m_root / "out");
        fs::create_directories(m_root / "out");
        fs::remove(m_root / "tree.zip");
        ASSERT_EQ(Shell(std::string("cd tree && zip -q -r ") + level + " ../tree.zip ."), 0);
        ASSERT_EQ(Extract("tree.zip"), 0);
        EXPECT_EQ(Listing(m_root / "out"), (std::set<std::string>{"a.inf", "b.INF", "c.inf"}));
        EXPECT_TRUE(Read(m_root / "out" / "a.inf") == Read(m_root / "tree/a.inf"));
        EXPECT_EQ(Read(m_root / "out" / "b.INF"), "[Version]\r\nb\r\n");
        EXPECT_EQ(Read(m_root / "out" / "c.inf"), "");
    }
    ASSERT_EQ(Shell("cd tree && zip -q one.zip a.inf"), 0);
    ASSERT_EQ(ExtractInfFiles(W(m_root / "tree/one.zip").c_str(), W(m_root / "out").c_str()), 0);
    ASSERT_EQ(Shell("cd tree && zip -q text.zip notes.txt"), 0);
    EXPECT_EQ(ExtractInfFiles(W(m_root / "tree/text.zip").c_str(), W(m_root / "out").c_str()), zip::kZipNoMatch);
}

TEST_F(ArchiveFixture, HostileNamesLandInsideTheDestinationOrNowhere) {
    ASSERT_EQ(Python("import zipfile\n"
                     "z = zipfile.ZipFile('hostile.zip', 'w')\n"
                     "for n in ['../../escape1.inf', '/tmp/escape2.inf', 'C:\\\\win\\\\escape3.inf', 'x/../../escape4.inf',\n"
                     "          '..', 'dir/', 'ok.inf']:\n"
                     "    z.writestr(n, 'payload ' + n)\n"
                     "z.close()\n"),
              0);
    ASSERT_EQ(Extract("hostile.zip"), 0);
    EXPECT_EQ(Listing(m_root / "out"),
              (std::set<std::string>{"escape1.inf", "escape2.inf", "escape3.inf", "escape4.inf", "ok.inf"}));
    EXPECT_EQ(Read(m_root / "out" / "escape1.inf"), "payload ../../escape1.inf");
    EXPECT_FALSE(fs::exists(m_root / "escape1.inf"));
    EXPECT_FALSE(fs::exists(m_root.parent_path() / "escape1.inf"));
}

// A chosen member that cannot take its name, or two that would take the same one, fail the
// extraction with nothing written, rather than a silent gap or the last one winning.
TEST_F(ArchiveFixture, MembersThatCannotTakeTheirNamesFailTheWholeExtraction) {
    ASSERT_EQ(Python("import zipfile\n"
                     "def make(name, members):\n"
                     "    z = zipfile.ZipFile(name, 'w')\n"
                     "    for n in members: z.writestr(n, 'payload ' + n)\n"
                     "    z.close()\n"
                     "make('control.zip', ['ok.inf', 'ctl\\x01.inf'])\n"
                     "make('linefeed.zip', ['ok.inf', 'nl\\n.inf'])\n"
                     "make('escape.zip', ['ok.inf', 'esc\\x1b[31m.inf'])\n"
                     "make('long.zip', ['ok.inf', 'x' * 300 + '.inf'])\n"
                     "make('folders.zip', ['a/same.inf', 'b/same.inf'])\n"
                     "make('case.zip', ['Same.inf', 'sub/SAME.INF'])\n"),
              0);
    Write("out/ok.inf", "previous");
    for (const char* archive : {"control.zip", "linefeed.zip", "escape.zip", "long.zip"}) {
        SCOPED_TRACE(archive);
        EXPECT_EQ(Extract(archive), zip::kZipBadName);
        EXPECT_EQ(Listing(m_root / "out"), std::set<std::string>{"ok.inf"});
        EXPECT_EQ(Read(m_root / "out/ok.inf"), "previous");
    }
    for (const char* archive : {"folders.zip", "case.zip"}) {
        SCOPED_TRACE(archive);
        EXPECT_EQ(Extract(archive), zip::kZipDuplicateName);
        EXPECT_EQ(Listing(m_root / "out"), std::set<std::string>{"ok.inf"});
    }
}

// Every member is ready before any takes its name; when one cannot, the files the others
// replaced are back as they were and nothing of the extraction is left.
TEST_F(ArchiveFixture, ASecondMemberThatCannotBePlacedUndoesTheFirst) {
    Write("a.inf", "new a");
    Write("b.inf", "new b");
    ASSERT_EQ(Shell("zip -q both.zip a.inf b.inf"), 0);
    Write("out/a.inf", "old a");
    fs::create_directories(m_root / "out/b.inf");  // a folder holds the second name
    EXPECT_EQ(Extract("both.zip"), zip::kZipCannotWrite);
    EXPECT_EQ(Read(m_root / "out/a.inf"), "old a");
    EXPECT_EQ(Listing(m_root / "out"), (std::set<std::string>{"a.inf", "b.inf"}));

    // A read-only file is not replaced either, not even by moving it aside.
    fs::remove(m_root / "out/b.inf");
    Write("out/b.inf", "old b");
    fs::permissions(m_root / "out/b.inf", fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(Extract("both.zip"), zip::kZipCannotWrite);
    EXPECT_EQ(Read(m_root / "out/a.inf"), "old a");
    EXPECT_EQ(Read(m_root / "out/b.inf"), "old b");
    EXPECT_EQ(Listing(m_root / "out"), (std::set<std::string>{"a.inf", "b.inf"}));

    // A link planted under a member's name is replaced, never written through.
    fs::permissions(m_root / "out/b.inf", fs::perms::owner_all);
    fs::remove(m_root / "out/b.inf");
    Write("victim", "untouched");
    fs::create_symlink(m_root / "victim", m_root / "out/b.inf");
    ASSERT_EQ(Extract("both.zip"), 0);
    EXPECT_EQ(Read(m_root / "victim"), "untouched");
    EXPECT_FALSE(fs::is_symlink(m_root / "out/b.inf"));
    EXPECT_EQ(Read(m_root / "out/b.inf"), "new b");
    EXPECT_EQ(Listing(m_root / "out"), (std::set<std::string>{"a.inf", "b.inf"}));
}

// A FIFO (or any file that is not a regular file) is neither read as an archive nor packed:
// either would wait for a writer for ever.
TEST_F(ArchiveFixture, FifosAndDevicesAreRefusedWithoutWaiting) {
    ASSERT_EQ(::mkfifo((m_root / "fifo.zip").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((m_root / "fifo.inf").c_str(), 0600), 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Extract("fifo.zip"), zip::kZipCannotOpenArchive);
    EXPECT_EQ(PackFile(W(m_root / "fifo-packed.zip").c_str(), W(m_root / "fifo.inf").c_str()), zip::kZipCannotReadFile);
    EXPECT_EQ(PackFile(W(m_root / "zero.zip").c_str(), u"/dev/zero"), zip::kZipCannotReadFile);
    EXPECT_EQ(ExtractInfFiles(u"/dev/zero", W(m_root / "out").c_str()), zip::kZipCannotOpenArchive);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_FALSE(fs::exists(m_root / "fifo-packed.zip"));
    EXPECT_FALSE(fs::exists(m_root / "zero.zip"));
    EXPECT_TRUE(Listing(m_root / "out").empty());
}

// Members that would unpack to more than the limit together fail before anything is written,
// however well each compresses on its own.
TEST_F(ArchiveFixture, ExtractionStopsAtTheTotalSizeLimit) {
    ASSERT_EQ(Python("import zipfile\n"
                     "z = zipfile.ZipFile('bomb.zip', 'w', zipfile.ZIP_DEFLATED)\n"
                     "for i in range(3): z.writestr('part%d.inf' % i, b'0' * (1 << 20))\n"
                     "z.close()\n"),
              0);
    ASSERT_LT(fs::file_size(m_root / "bomb.zip"), 20000u);
    setenv("LUMIVEL_ZIP_EXTRACT_LIMIT_MB", "2", 1);
    EXPECT_EQ(Extract("bomb.zip"), zip::kZipOverLimit);
    EXPECT_TRUE(Listing(m_root / "out").empty());
    setenv("LUMIVEL_ZIP_EXTRACT_LIMIT_MB", "3", 1);
    EXPECT_EQ(Extract("bomb.zip"), 0);
    unsetenv("LUMIVEL_ZIP_EXTRACT_LIMIT_MB");

    // The command block's own limit comes first.
    std::string archive = (m_root / "bomb.zip").string(), out = (m_root / "out").string();
    const char* patterns[] = {"*.inf"};
    zip::ZipCommand command;
    command.function = zip::kFunctionExtract;
    command.archive = archive.c_str();
    command.items = patterns;
    command.itemCount = 1;
    command.destination = out.c_str();
    command.messages = zip::EngineMessages::Suppressed;
    command.extractLimit = (1 << 20) + 1;
    zip::ZipEngineStart();
    zip::ZipThreadAttach();
    EXPECT_EQ(zip::ZipEngineRun(command), zip::kZipOverLimit);
    zip::ZipThreadDetach();
    zip::ZipEngineStop();
    EXPECT_EQ(zip::kDefaultExtractLimit, uint64_t(2048) << 20);
}

// Broken archives fail the whole extraction and leave the destination as it was.
TEST_F(ArchiveFixture, BrokenArchivesLeaveNoFileBehind) {
    Write("out/old.inf", "previous");
    fs::path a = Write("a.inf", HexLines(30000));
    Write("b.inf", HexLines(20000));
    ASSERT_EQ(Shell("zip -q -5 good.zip a.inf b.inf && zip -q -P secret locked.zip a.inf"), 0);
    std::string good = Read(m_root / "good.zip");
    size_t secondData = good.find("b.inf") + 5;

    struct Case {
        const char* name;
        std::string bytes;
        int result;
    };
    std::string crc = good;
    crc[good.rfind("PK\x01\x02") + 16] ^= 1;  // last member's CRC in the directory
    std::string flipped = good;
    flipped[secondData + 100] ^= 0x40;
    std::string absurd = good;
    size_t central = good.rfind("PK\x01\x02");
    absurd[central + 27] = 0x7F;
    std::string zip64 = good;
    zip64[good.rfind("PK\x05\x06") + 10] = '\xFF';
    zip64[good.rfind("PK\x05\x06") + 11] = '\xFF';
    const Case cases[] = {
        {"truncated.zip", good.substr(0, good.size() / 2), zip::kZipCorrupt},
        {"crc.zip", crc, zip::kZipCrcMismatch},
        {"flipped.zip", flipped, -1},
        {"absurd.zip", absurd, zip::kZipCorrupt},
        {"zip64.zip", zip64, zip::kZipUnsupported},
        {"empty.zip", "", zip::kZipCorrupt},
        {"garbage.zip", std::string(5000, 'P'), zip::kZipCorrupt},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        Write(testCase.name, testCase.bytes);
        int result = Extract(testCase.name);
        if (testCase.result < 0) {
            EXPECT_TRUE(result == zip::kZipCorrupt || result == zip::kZipCrcMismatch) << result;
        } else {
            EXPECT_EQ(result, testCase.result);
        }
        EXPECT_EQ(Listing(m_root / "out"), std::set<std::string>{"old.inf"});
    }
    EXPECT_EQ(Extract("locked.zip"), zip::kZipEncrypted);
    EXPECT_EQ(Extract("missing.zip"), zip::kZipCannotOpenArchive);
    EXPECT_EQ(Listing(m_root / "out"), std::set<std::string>{"old.inf"});
    EXPECT_EQ(Read(m_root / "out/old.inf"), "previous");

    ASSERT_EQ(Extract("good.zip"), 0);  // members replace files of the same name
    EXPECT_TRUE(Read(m_root / "out/a.inf") == Read(a));
}

TEST_F(ArchiveFixture, TheEngineRunsOnlyWhenStartedOnThisThread) {
    fs::path source = Write("a.inf", "x");
    std::string archive = (m_root / "a.zip").string(), file = source.string();
    const char* items[] = {file.c_str()};
    zip::ZipCommand command;
    command.function = zip::kFunctionPack;
    command.archive = archive.c_str();
    command.items = items;
    command.itemCount = 1;
    command.messages = zip::EngineMessages::Suppressed;
    EXPECT_EQ(zip::ZipEngineRun(command), zip::kZipNotStarted);
    zip::ZipEngineStart();
    EXPECT_EQ(zip::ZipEngineRun(command), zip::kZipNotStarted);
    zip::ZipThreadAttach();
    command.function = 99;
    EXPECT_EQ(zip::ZipEngineRun(command), zip::kZipBadCommand);
    command.function = zip::kFunctionPack;
    const char* twice[] = {file.c_str(), file.c_str()};
    command.items = twice;
    command.itemCount = 2;
    EXPECT_EQ(zip::ZipEngineRun(command), zip::kZipDuplicateName);
    command.items = items;
    command.itemCount = 1;
    EXPECT_EQ(zip::ZipEngineRun(command), zip::kZipOk);
    EXPECT_EQ(zip::ZipEngineRun(command), zip::kZipArchiveExists);
    EXPECT_EQ(zip::ZipThreadLastError(), static_cast<DWORD>(80));  // ERROR_FILE_EXISTS
    zip::ZipThreadDetach();
    zip::ZipEngineStop();
    EXPECT_EQ(zip::ZipEngineRun(command), zip::kZipNotStarted);
}

}  // namespace
}  // namespace revivo
