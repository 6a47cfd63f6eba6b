#include "provider/backup/attribute_lists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "provider/backup/tests/test_files.h"

namespace revivo {
namespace {

using testing::kInfHeader;
using testing::TempDirectory;

std::string Config(const std::string& restricted, const std::string& post = "") {
    return std::string(kInfHeader) + "[Restricted.Attributes]\n" + restricted + "[Post.Attributes]\n" + post;
}

TEST(AttributeLists, LooksNamesUpWithoutRegardToCase) {
    TempDirectory dir;
    AttributeLists lists(dir.Write("Revivo_Config.inf",
                                   Config("; identity\nobjectGUID\nWhenCreated\nobjectguid\nuSNChanged = note\n"
                                          "\"msDS-LastKnownRDN\"\n\xc3\x89tat\n",
                                          "description\n")));
    const char16_t* kRestricted[] = {u"objectGUID", u"OBJECTGUID", u"whencreated", u"USNCHANGED",
                                     u"msds-lastknownrdn", u"\u00e9TAT"};
    for (const char16_t* name : kRestricted) EXPECT_TRUE(IsRestrictedAttribute(lists, name)) << lumivel::ToUtf8(name);
    const char16_t* kFree[] = {u"cn", u"objectGUI", u"objectGUIDs", u"", u"note", u"description"};
    for (const char16_t* name : kFree) EXPECT_FALSE(IsRestrictedAttribute(lists, name)) << lumivel::ToUtf8(name);
    EXPECT_FALSE(IsRestrictedAttribute(lists, nullptr));
    EXPECT_EQ(lists.Restricted().Size(), 6u);
    EXPECT_TRUE(lists.Post().Contains(u"DESCRIPTION"));
}

TEST(AttributeLists, EditsTakeEffectAtTheNextLoad) {
    TempDirectory dir;
    AttributeLists lists(dir.Write("c.inf", Config("objectSid\n")));
    EXPECT_TRUE(IsRestrictedAttribute(lists, u"objectSid"));
    dir.Write("c.inf", Config("telephoneNumber\n"));
    EXPECT_TRUE(IsRestrictedAttribute(lists, u"objectSid"));  // a filled list is not re-read
    LoadAttributeLists(lists);
    EXPECT_FALSE(IsRestrictedAttribute(lists, u"objectSid"));
    EXPECT_TRUE(IsRestrictedAttribute(lists, u"TelephoneNumber"));
}

TEST(AttributeLists, AnEmptyListRereadsTheFileOnEveryLookup) {
    TempDirectory dir;
    std::u16string path = dir.Path("c.inf");
    AttributeLists lists(path);
    EXPECT_FALSE(IsRestrictedAttribute(lists, u"objectGUID"));  // no file yet
    dir.Write("c.inf", Config(""));
    EXPECT_FALSE(IsRestrictedAttribute(lists, u"objectGUID"));  // empty section
    dir.Write("c.inf", std::string(kInfHeader) + "[Other]\nobjectGUID\n");
    EXPECT_FALSE(IsRestrictedAttribute(lists, u"objectGUID"));  // no section
    dir.Write("c.inf", Config("objectGUID\n"));
    EXPECT_TRUE(IsRestrictedAttribute(lists, u"objectGUID"));
}

// Secrets and computed values stay out of every backup: with no file, with a file that does
// not list them, and in any letter case. A file that is there but cannot be read is an error
// a backup must stop at, not an empty configuration.
TEST(AttributeLists, TheMinimumHoldsWhateverTheFileSays) {
    TempDirectory dir;
    const char16_t* kAlways[] = {u"unicodePwd", u"SUPPLEMENTALCREDENTIALS", u"ms-Mcs-AdmPwd", u"msLAPS-Password",
                                 u"canonicalName", u"tokenGroups", u"msDS-User-Account-Control-Computed"};
    AttributeLists missing(dir.Path("none.inf"));
    EXPECT_EQ(LoadAttributeLists(missing), static_cast<DWORD>(ERROR_SUCCESS));
    AttributeLists other(dir.Write("other.inf", Config("telephoneNumber\n")));
    EXPECT_EQ(LoadAttributeLists(other), static_cast<DWORD>(ERROR_SUCCESS));
    for (AttributeLists* lists : {&missing, &other}) {
        for (const char16_t* name : kAlways) EXPECT_TRUE(IsRestrictedAttribute(*lists, name)) << lumivel::ToUtf8(name);
        for (const char16_t* name : {u"cn", u"description", u"member", u"memberOf", u"path"})
            EXPECT_FALSE(IsRestrictedAttribute(*lists, name)) << lumivel::ToUtf8(name);
    }
    EXPECT_TRUE(IsRestrictedAttribute(other, u"TELEPHONENUMBER"));

    std::filesystem::create_directories(dir.path() / "folder.inf");
    AttributeLists unreadable(dir.Path("folder.inf"));
    DWORD error = LoadAttributeLists(unreadable);
    EXPECT_NE(error, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_NE(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(unreadable.LoadError(), error);
    EXPECT_TRUE(IsRestrictedAttribute(unreadable, u"unicodePwd"));
    AttributeLists damaged(dir.Write("damaged.inf", "[Version]\nSignature=\"$Windows NT$\"\n[Restricted.Attributes\nx\n"));
    EXPECT_NE(LoadAttributeLists(damaged), static_cast<DWORD>(ERROR_SUCCESS));
    // Mended, it reads again.
    dir.Write("damaged.inf", Config("x\n"));
    EXPECT_EQ(LoadAttributeLists(damaged), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(IsRestrictedAttribute(damaged, u"x"));
}

TEST(AttributeLists, BisectionAgreesWithALinearSearch) {
    std::mt19937 random(7);
    std::vector<std::u16string> names;
    for (int i = 0; i < 2000; ++i) {
        std::u16string name;
        for (int length = 1 + random() % 12; length > 0; --length) {
            name.push_back(u"aBcDeF-_19\u00e9\u00c9Zz"[random() % 14]);
        }
        names.push_back(name);
    }
    // Reference folding for this alphabet: ASCII letters and e acute.
    auto fold = [](char16_t c) {
        if (c == u'\u00e9') return u'\u00c9';
        return c < 0x80 ? static_cast<char16_t>(std::toupper(c)) : c;
    };
    AttributeNameList list;
    list.Assign(std::vector<std::u16string>(names.begin(), names.begin() + 1000));
    for (size_t i = 0; i < names.size(); ++i) {
        std::u16string probe = names[i];
        for (char16_t& c : probe) c = fold(c);
        bool expected = std::any_of(names.begin(), names.begin() + 1000, [&](const std::u16string& name) {
            if (name.size() != probe.size()) return false;
            for (size_t k = 0; k < name.size(); ++k) {
                if (fold(name[k]) != probe[k]) return false;
            }
            return true;
        });
        EXPECT_EQ(list.Contains(probe), expected) << lumivel::ToUtf8(probe);
    }
}

TEST(AttributeLists, TheShippedFileLiesBesideTheModule) {
    AttributeLists lists;
    const char* bin = std::getenv("LUMIVEL_BIN_DIR");
    ASSERT_NE(bin, nullptr);
    EXPECT_EQ(lists.ConfigurationPath(), lumivel::FromUtf8(std::string(bin) + "/Revivo_Config.inf"));
    const char16_t* kSystemOwned[] = {u"objectGUID", u"objectSid", u"whenCreated", u"whenChanged",
                                      u"uSNCreated", u"uSNChanged", u"replPropertyMetaData", u"isDeleted"};
    for (const char16_t* name : kSystemOwned) EXPECT_TRUE(lists.IsRestricted(name)) << lumivel::ToUtf8(name);
    // What a restore needs must stay: the object's class and naming, and the parent line.
    for (const char16_t* name : {u"objectClass", u"cn", u"name", u"description", u"path", u"member"}) {
        EXPECT_FALSE(lists.IsRestricted(name)) << lumivel::ToUtf8(name);
    }
}

}  // namespace
}  // namespace revivo
