// Taxonis against the test domain, its files held against ldapsearch of the same objects.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <strings.h>
#include <thread>

#include "lumivel/com_ptr.h"
#include "schemacache/index_reader.h"
#include "tests/support/child_process.h"
#include "tests/support/temporary_directory.h"
#include "win/com.h"
#include "win/dsclient.h"

namespace {

using lumivel::FromUtf8;
using lumivel::ToUtf8;
using lumivel::testing::ShellOutput;
using lumivel::testing::TemporaryDirectory;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}
std::string Configuration() { return "CN=Configuration," + Env("TESTDC_BASEDN"); }

// One LDIF entry: lower-case attribute name to its values, base64 values decoded.
using Entry = std::map<std::string, std::vector<std::string>>;

std::string DecodeBase64(std::string_view text) {
    static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        const size_t value = kAlphabet.find(c);
        if (value == std::string::npos) continue;
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    return out;
}

std::vector<Entry> Ldapsearch(const std::string& base, const std::string& filter, const std::string& attributes) {
    const std::string output = ShellOutput("ldapsearch -Q -Y GSSAPI -H ldap://" + Env("TESTDC_DC") +
                                           " -LLL -o ldif-wrap=no -E pr=1000/noprompt -s one -b '" + base + "' '" +
                                           filter + "' " + attributes + " 2>/dev/null");
    std::vector<Entry> entries;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        if (name == "dn") {
            entries.emplace_back();
            continue;
        }
        if (entries.empty()) continue;
        const bool encoded = colon + 1 < line.size() && line[colon + 1] == ':';
        const size_t from = colon + (encoded ? 2 : 1);
        std::string value = line.substr(std::min(line.size(), from + (from < line.size() && line[from] == ' ')));
        entries.back()[name].push_back(encoded ? DecodeBase64(value) : value);
    }
    return entries;
}

std::string First(const Entry& entry, const std::string& name) {
    auto found = entry.find(name);
    return found == entry.end() || found->second.empty() ? std::string() : found->second.front();
}

std::string RegistryGuid(const std::string& bytes) {
    if (bytes.size() != 16) return "<bad>";
    auto b = [&](int i) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[static_cast<size_t>(i)])); };
    char text[40];
    std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b(3),
                  b(2), b(1), b(0), b(5), b(4), b(7), b(6), b(8), b(9), b(10), b(11), b(12), b(13), b(14), b(15));
    return text;
}

bool IsLeafClass(const std::string& name) {
    for (const char* leaf : {"user", "computer", "group", "inetorgperson"})
        if (strcasecmp(name.c_str(), leaf) == 0) return true;
    return false;
}

// The records of an index file exactly as written: UTF-16LE after FF FE, CR LF between them.
std::vector<std::string> Records(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(bytes.size() % 2, 0u);
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    EXPECT_FALSE(text.size() >= 2 && text.substr(text.size() - 2) == u"\r\n") << "a line end after the last record";
    std::vector<std::string> records;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(u"\r\n", start);
        records.push_back(ToUtf8(text.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start)));
        if (end == std::u16string::npos) break;
        start = end + 2;
    }
    return records;
}

struct FileIdentity {
    ino_t inode = 0;
    timespec modified{};
    bool operator==(const FileIdentity& o) const {
        return inode == o.inode && modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};
FileIdentity Identity(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return {st.st_ino, st.st_mtim};
}

std::u16string Taxonis() { return FromUtf8(Env("LUMIVEL_BIN_DIR") + "/Taxonis"); }

lumivel::testing::ChildResult RunTaxonis(const std::u16string& tail) {
    return lumivel::testing::RunChild(u"\"" + Taxonis() + u"\"" + (tail.empty() ? u"" : u" \"" + tail + u"\""), 300000);
}

class TaxonisDirectory : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CoInitialize(nullptr); }
    static void TearDownTestSuite() { CoUninitialize(); }

    std::string ClassFile() const { return m_folder.path() + "/ClassIndex.txt"; }
    std::string AttributeFile() const { return m_folder.path() + "/AttributeIndex.txt"; }
    std::u16string Directory() const { return m_folder.wide() + u"/"; }

    TemporaryDirectory m_folder;
};

// Two extended rights the generator must cope with, removed again at the end: one without a
// rights GUID (left out, the walk going on with the next) and one without a display name.
class OddExtendedRights {
public:
    explicit OddExtendedRights(const std::string& folder) {
        std::random_device random;
        const std::string tag = std::to_string(random() % 1000000000);
        m_withoutGuid = "CN=lumivel-no-guid-" + tag + ",CN=Extended-Rights," + Configuration();
        m_withoutName = "CN=lumivel-no-name-" + tag + ",CN=Extended-Rights," + Configuration();
        char guid[40];
        std::snprintf(guid, sizeof guid, "6f1e4c0a-1111-4222-8333-%012llx", static_cast<unsigned long long>(random()));
        m_guid = guid;
        m_nameRecord = "CN=lumivel-no-name-" + tag + "||{" + m_guid + "}";
        const std::string path = folder + "/rights.ldif";
        std::ofstream(path) << "dn: " << m_withoutGuid << "\nobjectClass: controlAccessRight\ndisplayName: No GUID\n\n"
                            << "dn: " << m_withoutName << "\nobjectClass: controlAccessRight\nrightsGuid: " << m_guid
                            << "\n";
        m_added = ShellOutput("ldapadd -Q -Y GSSAPI -H ldap://" + Env("TESTDC_DC") + " -f '" + path + "' 2>&1");
        std::filesystem::remove(path);
    }
    ~OddExtendedRights() {
        ShellOutput("ldapdelete -Q -Y GSSAPI -H ldap://" + Env("TESTDC_DC") + " '" + m_withoutGuid + "' '" +
                    m_withoutName + "' 2>&1");
    }
    const std::string& added() const { return m_added; }
    // The record the right without a display name gets.
    const std::string& nameRecord() const { return m_nameRecord; }

private:
    std::string m_withoutGuid, m_withoutName, m_guid, m_nameRecord, m_added;
};

TEST_F(TaxonisDirectory, EveryClassAttributeAndExtendedRightOnceAsTheDirectoryHoldsThem) {
    OddExtendedRights odd(m_folder.path());
    ASSERT_EQ(std::count(odd.added().begin(), odd.added().end(), '\n'), 4) << odd.added();
    const auto run = RunTaxonis(Directory());
    ASSERT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, "");
    ASSERT_TRUE(std::filesystem::exists(ClassFile()));
    ASSERT_TRUE(std::filesystem::exists(AttributeFile()));

    const auto schema = Ldapsearch("CN=Schema," + Configuration(),
                                   "(|(objectClass=classSchema)(objectClass=attributeSchema))",
                                   "cn lDAPDisplayName schemaIDGUID objectClass possibleInferiors");
    const auto rights = Ldapsearch("CN=Extended-Rights," + Configuration(), "(objectClass=*)", "cn displayName rightsGuid");
    const auto specifiers = Ldapsearch("CN=409,CN=DisplaySpecifiers," + Configuration(),
                                       "(objectClass=displaySpecifier)", "cn classDisplayName iconPath");
    ASSERT_GT(schema.size(), 1000u);
    ASSERT_GT(rights.size(), 20u);
    ASSERT_GT(specifiers.size(), 10u);

    std::map<std::string, Entry> specifierOf;  // by lower-case class name
    for (const auto& s : specifiers) {
        std::string cn = First(s, "cn");
        std::transform(cn.begin(), cn.end(), cn.begin(), ::tolower);
        specifierOf[cn.substr(0, cn.size() - std::string("-display").size())] = s;
    }

    // The icon the display-specifier service gives, as the generator asks for it.
    lumivel::ComPtr<IDsDisplaySpecifier> service;
    ASSERT_EQ(CoCreateInstance(CLSID_DsDisplaySpecifier, nullptr, CLSCTX_INPROC_SERVER, IID_IDsDisplaySpecifier,
                               service.putVoid()),
              S_OK);
    auto serviceIcon = [&](const std::string& name) {
        WCHAR path[4096] = {};
        INT id = 0;
        EXPECT_EQ(service->GetIconLocation(FromUtf8(name).c_str(), 0, path, 4096, &id), S_OK);
        return std::make_pair(ToUtf8(path), id);
    };
    const auto containerIcon = serviceIcon("container");

    std::vector<std::string> expectedClasses, expectedAttributes, expectedRights;
    bool userHasInferiors = false;
    for (const auto& object : schema) {
        const std::string name = First(object, "ldapdisplayname");
        const std::string head = "CN=" + First(object, "cn") + "|" + name + "|";
        const std::string guid = RegistryGuid(First(object, "schemaidguid"));
        const auto& classes = object.at("objectclass");
        if (std::find(classes.begin(), classes.end(), "classSchema") == classes.end()) {
            expectedAttributes.push_back(head + guid);
            continue;
        }
        const bool hasInferiors = object.count("possibleinferiors") > 0;
        if (strcasecmp(name.c_str(), "user") == 0) userHasInferiors = hasInferiors;
        const bool container = hasInferiors && !IsLeafClass(name);
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        const Entry* specifier = specifierOf.count(lower) ? &specifierOf[lower] : nullptr;
        const std::string display = specifier ? First(*specifier, "classdisplayname") : "";
        std::pair<std::string, int> icon{"", 0};
        std::string iconPath;  // "state,module,id" of the normal state
        if (specifier && specifier->count("iconpath"))
            for (const auto& value : specifier->at("iconpath"))
                if (value.rfind("0,", 0) == 0 && value.find(',', 2) != std::string::npos) iconPath = value;
        if (!iconPath.empty()) {
            const size_t comma = iconPath.rfind(',');
            icon = {iconPath.substr(2, comma - 2), std::atoi(iconPath.c_str() + comma + 1)};
        } else {
            icon = serviceIcon(name);
        }
        if (icon.second == 0 && container) icon = containerIcon;
        expectedClasses.push_back(head + (display.empty() ? name : display) + "|" + guid + "|" +
                                  (container ? "1" : "0") + "|" +
                                  (icon.second ? icon.first + "|" + std::to_string(std::abs(icon.second)) : "|"));
    }
    EXPECT_TRUE(userHasInferiors) << "the test needs a leaf class with possible inferiors";
    bool rightsAfterOneWithoutGuid = false, withoutGuidSeen = false;
    for (const auto& right : rights) {
        if (First(right, "rightsguid").empty()) {
            withoutGuidSeen = true;
            continue;
        }
        rightsAfterOneWithoutGuid = rightsAfterOneWithoutGuid || withoutGuidSeen;
        expectedRights.push_back("CN=" + First(right, "cn") + "|" + First(right, "displayname") + "|{" +
                                 First(right, "rightsguid") + "}");
    }

    EXPECT_TRUE(withoutGuidSeen);
    if (!rightsAfterOneWithoutGuid) std::printf("note: the right without a GUID came last; nothing followed it\n");
    EXPECT_NE(std::find(expectedRights.begin(), expectedRights.end(), odd.nameRecord()), expectedRights.end());

    auto classes = Records(ClassFile());
    auto attributes = Records(AttributeFile());
    // The extended rights come first, then the attributes.
    ASSERT_GE(attributes.size(), expectedRights.size());
    std::vector<std::string> rightsPart(attributes.begin(), attributes.begin() + static_cast<long>(expectedRights.size()));
    std::vector<std::string> attributePart(attributes.begin() + static_cast<long>(expectedRights.size()), attributes.end());
    for (auto* list : {&classes, &rightsPart, &attributePart, &expectedClasses, &expectedAttributes, &expectedRights})
        std::sort(list->begin(), list->end());
    EXPECT_EQ(classes, expectedClasses);
    EXPECT_EQ(rightsPart, expectedRights);
    EXPECT_EQ(attributePart, expectedAttributes);

    // Spot checks of the rules the expectations above follow.
    auto classRecord = [&](const std::string& name) {
        for (const auto& record : classes)
            if (record.find("|" + name + "|") != std::string::npos) return record;
        return std::string();
    };
    EXPECT_NE(classRecord("user").find("|0|"), std::string::npos);
    EXPECT_NE(classRecord("organizationalUnit").find("|Organizational Unit|"), std::string::npos);
    EXPECT_NE(classRecord("organizationalUnit").find("|1|"), std::string::npos);

    // The cache's reader takes every record but those of rights without a display name.
    std::vector<glossar::SchemaEntry> readClasses, readAttributes;
    glossar::LoadClassIndex(Directory(), &readClasses);
    ASSERT_TRUE(glossar::LoadAttributeIndex(Directory(), &readAttributes));
    EXPECT_EQ(readClasses.size(), expectedClasses.size());
    const auto unnamed = std::count_if(rights.begin(), rights.end(), [](const Entry& right) {
        return !First(right, "rightsguid").empty() && First(right, "displayname").empty();
    });
    EXPECT_EQ(readAttributes.size(), expectedAttributes.size() + expectedRights.size() - static_cast<size_t>(unnamed));
}

TEST_F(TaxonisDirectory, RewritesOnlyAfterTheSchemaChanged) {
    ASSERT_EQ(RunTaxonis(Directory()).exitCode, 0u);
    const FileIdentity classes = Identity(ClassFile());
    const FileIdentity attributes = Identity(AttributeFile());
    ASSERT_NE(classes.inode, 0u);

    ASSERT_EQ(RunTaxonis(Directory()).exitCode, 0u);
    EXPECT_EQ(Identity(ClassFile()), classes);
    EXPECT_EQ(Identity(AttributeFile()), attributes);

    // whenChanged counts whole seconds: the change must fall in a later second than the write.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    std::random_device random;
    const std::string name = "lumivelIndexTest" + std::to_string(random() % 1000000000);
    const std::string ldif = "dn: CN=" + name + ",CN=Schema," + Configuration() +
                             "\nobjectClass: top\nobjectClass: attributeSchema\nattributeID: 1.3.6.1.4.1.7165.4.255.9." +
                             std::to_string(random() % 1000000000) + "\nlDAPDisplayName: " + name +
                             "\nattributeSyntax: 2.5.5.12\noMSyntax: 64\nisSingleValued: TRUE\n";
    const std::string path = m_folder.path() + "/attribute.ldif";
    std::ofstream(path) << ldif;
    const std::string added =
        ShellOutput("ldapadd -Q -Y GSSAPI -H ldap://" + Env("TESTDC_DC") + " -f '" + path + "' 2>&1");
    ASSERT_NE(added.find("adding new entry"), std::string::npos) << added;
    std::filesystem::remove(path);

    ASSERT_EQ(RunTaxonis(Directory()).exitCode, 0u);
    EXPECT_NE(Identity(ClassFile()).inode, classes.inode);
    EXPECT_NE(Identity(AttributeFile()).inode, attributes.inode);
    const auto records = Records(AttributeFile());
    EXPECT_EQ(std::count_if(records.begin(), records.end(),
                            [&](const std::string& r) { return r.rfind("CN=" + name + "|" + name + "|{", 0) == 0; }),
              1);
    // No temporary is left beside the files.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder.path()), std::filesystem::directory_iterator()), 2);
}

TEST_F(TaxonisDirectory, WithoutArgumentsItWritesBesideItselfWhateverTheCurrentDirectory) {
    const std::string bin = Env("LUMIVEL_BIN_DIR");
    for (const char* name : {"/ClassIndex.txt", "/AttributeIndex.txt"}) std::filesystem::remove(bin + name);
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(m_folder.path());
    const auto run = RunTaxonis(u"");
    std::filesystem::current_path(before);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(std::filesystem::is_empty(m_folder.path()));
    EXPECT_GT(std::filesystem::file_size(bin + "/ClassIndex.txt"), 1000u);
    EXPECT_GT(std::filesystem::file_size(bin + "/AttributeIndex.txt"), 1000u);
    for (const char* name : {"/ClassIndex.txt", "/AttributeIndex.txt"}) std::filesystem::remove(bin + name);
}

}  // namespace
