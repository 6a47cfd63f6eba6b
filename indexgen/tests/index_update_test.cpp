#include <gtest/gtest.h>

#include <filesystem>

#include "indexgen/index_update.h"
#include "schemacache/tests/index_test_support.h"
#include "win/files.h"

namespace taxonis {
namespace {

using glossar::testing::ReadBytes;
using glossar::testing::TemporaryDirectory;
using glossar::testing::Utf16;
using glossar::testing::WriteBytes;

const std::u16string kOldClass = u"CN=Old|old|Old|{BF967ABA-0DE6-11D0-A285-00AA003049E2}|0||";
const std::u16string kOldAttribute = u"CN=Old|old|{BF967ABA-0DE6-11D0-A285-00AA003049E2}";
const std::u16string kNewClass = u"CN=New|new|New|{BF967A8B-0DE6-11D0-A285-00AA003049E2}|1||";
const std::u16string kNewAttribute = u"CN=New|new|{BF967A8B-0DE6-11D0-A285-00AA003049E2}";

class IndexUpdateTest : public ::testing::Test {
protected:
    void WriteOldFiles() {
        WriteBytes(m_folder.path() + "/ClassIndex.txt", Utf16(kOldClass));
        WriteBytes(m_folder.path() + "/AttributeIndex.txt", Utf16(kOldAttribute));
    }
    // A schema time after or before the class index was written.
    FILETIME SchemaTime(long long secondsAfterTheFiles) const {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        GetFileAttributesExW(m_folder.wide("ClassIndex.txt").c_str(), GetFileExInfoStandard, &data);
        ULARGE_INTEGER time;
        time.LowPart = data.ftLastWriteTime.dwLowDateTime;
        time.HighPart = data.ftLastWriteTime.dwHighDateTime;
        time.QuadPart += static_cast<ULONGLONG>(secondsAfterTheFiles * 10000000LL);
        return FILETIME{time.LowPart, time.HighPart};
    }
    std::vector<unsigned char> Bytes(const char* name) const { return ReadBytes(m_folder.path() + "/" + name); }
    size_t Files() const {
        size_t count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_folder.path())) ++count;
        return count;
    }
    std::u16string Directory() const { return m_folder.wide() + u"/"; }

    TemporaryDirectory m_folder;
};

TEST_F(IndexUpdateTest, AWalkCutShortLeavesStaleFilesAsTheyWere) {
    WriteOldFiles();
    int walks = 0;
    const auto result = UpdateIndex(Directory(), SchemaTime(60), [&](IndexLists* lists) {
        ++walks;
        lists->classes.push_back(kNewClass);
        lists->attributes.push_back(kNewAttribute);
        return false;
    });
    EXPECT_EQ(result, UpdateResult::WalkFailed);
    EXPECT_EQ(walks, 1);
    EXPECT_EQ(Bytes("ClassIndex.txt"), Utf16(kOldClass));
    EXPECT_EQ(Bytes("AttributeIndex.txt"), Utf16(kOldAttribute));
    EXPECT_EQ(Files(), 2u);
}

TEST_F(IndexUpdateTest, ACompleteWalkReplacesStaleFiles) {
    WriteOldFiles();
    const auto result = UpdateIndex(Directory(), SchemaTime(60), [&](IndexLists* lists) {
        lists->classes.push_back(kNewClass);
        lists->attributes = {kNewAttribute, kOldAttribute};
        return true;
    });
    EXPECT_EQ(result, UpdateResult::Written);
    EXPECT_EQ(Bytes("ClassIndex.txt"), Utf16(kNewClass));
    EXPECT_EQ(Bytes("AttributeIndex.txt"), Utf16(kNewAttribute + u"\r\n" + kOldAttribute));
    EXPECT_EQ(Files(), 2u);
}

TEST_F(IndexUpdateTest, CurrentFilesAreNotWalkedAgain) {
    WriteOldFiles();
    int walks = 0;
    auto walk = [&](IndexLists*) { return ++walks, true; };
    EXPECT_EQ(UpdateIndex(Directory(), SchemaTime(-60), walk), UpdateResult::Current);
    EXPECT_EQ(UpdateIndex(Directory(), FILETIME{}, walk), UpdateResult::Current);
    EXPECT_EQ(walks, 0);

    // A missing or empty attribute index makes the walk run, however fresh the class index.
    WriteBytes(m_folder.path() + "/AttributeIndex.txt", {});
    EXPECT_EQ(UpdateIndex(Directory(), SchemaTime(-60), walk), UpdateResult::Written);
    EXPECT_EQ(walks, 1);
}

TEST_F(IndexUpdateTest, AnEmptyListWritesNoFile) {
    const auto result = UpdateIndex(Directory(), FILETIME{}, [&](IndexLists* lists) {
        lists->attributes.push_back(kNewAttribute);
        return true;
    });
    EXPECT_EQ(result, UpdateResult::Written);
    EXPECT_FALSE(std::filesystem::exists(m_folder.path() + "/ClassIndex.txt"));
    EXPECT_EQ(Bytes("AttributeIndex.txt"), Utf16(kNewAttribute));
}

TEST_F(IndexUpdateTest, AnUnwritableDirectoryKeepsWhatIsThere) {
    const std::u16string missing = m_folder.wide("missing") + u"/";
    EXPECT_EQ(UpdateIndex(missing, FILETIME{}, [&](IndexLists* lists) {
                  lists->classes.push_back(kNewClass);
                  lists->attributes.push_back(kNewAttribute);
                  return true;
              }),
              UpdateResult::WriteFailed);
    EXPECT_EQ(Files(), 0u);
}

}  // namespace
}  // namespace taxonis
