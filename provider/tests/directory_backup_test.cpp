// Backups against the test directory: what a section holds, line by line, against what
// ldapsearch returns for the same object; where archives go; what a failing run says; the
// scriptable entry point; and the batched reading against the object-by-object one.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "lumivel/com_ptr.h"
#include "lumivel/registry_key.h"
#include "lumivel/ui_test_hook.h"
#include "provider/backup/attribute_lists.h"
#include "provider/backup/backup_folder.h"
#include "provider/backup/backup_inf_file.h"
#include "provider/backup/backup_writer.h"
#include "provider/backup/object_sections.h"
#include "provider/backup/perform_backup_dialog.h"
#include "provider/common/resource_ids.h"
#include "provider/revivo.h"
#include "provider/tests/backup_fixture.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"
#include "tests/support/directory_fixture.h"
#include "tests/support/private_hives.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/oleauto.h"
#include "win/user.h"
#include "win/winreg.h"

using lumivel::ComPtr;
using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;
using revivo::Revivo;
using lumivel::testing::BackupFile;
using lumivel::testing::BackupLine;
using lumivel::testing::BackupSection;
using lumivel::testing::EscapeRdnValue;
using lumivel::testing::LdapEntry;

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string parentOf(const std::string& dn) {
    for (size_t i = 0; i < dn.size(); ++i) {
        if (dn[i] == '\\') {
            ++i;
            continue;
        }
        if (dn[i] == ',') return dn.substr(i + 1);
    }
    return {};
}

// "20260308123456.0Z" as the platform's date text.
std::string dateText(const std::string& generalized) {
    if (generalized.size() < 14) return "?";
    std::string date = generalized.substr(4, 2) + "/" + generalized.substr(6, 2) + "/" + generalized.substr(0, 4);
    std::string time = generalized.substr(8, 2) + ":" + generalized.substr(10, 2) + ":" + generalized.substr(12, 2);
    return time == "00:00:00" ? date : date + " " + time;
}

// Whether one line's text is an encoding of the directory's value.
bool encodes(const BackupLine& line, const std::string& value) {
    std::string decoded = lumivel::testing::DecodeTextHexUtf8(line.value);
    std::string boolean = value == "TRUE" ? "True" : value == "FALSE" ? "False" : "";
    switch (line.type) {
        case 8:
        case 3: return decoded == value;
        case 11: return decoded == boolean;
        case 8209: return line.value == lumivel::testing::ByteHex(value);
        case 7: return line.value == dateText(value);
        case 8200:
        case 8204:
            return decoded == value || (!boolean.empty() && decoded == boolean) || line.value == lumivel::testing::ByteHex(value) ||
                   line.value == dateText(value);
        default: return false;
    }
}

class BackupTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (lumivel::testing::TestDirectory().server.empty()) GTEST_SKIP() << "not inside testdc exec";
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(Revivo::CreateInstance(nullptr, IID_IRevivo, m_revivo.putVoid()), S_OK);
        ASSERT_EQ(m_revivo.queryInterface(IID_IProviderCommands, &m_commands), S_OK);
        m_suffix = lumivel::testing::UniqueSuffix();
        m_server = lumivel::testing::TestDirectory().server;
        m_root = "OU=RevivoBackup " + m_suffix + "," + lumivel::testing::TestDirectory().baseDn;
        ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(m_root));
        m_folder = "/tmp/revivo-backups-" + m_suffix;
        std::filesystem::create_directories(m_folder);
        setFileLocation(m_folder);
        const char* bin = std::getenv("LUMIVEL_BIN_DIR");
        m_restricted = std::make_unique<revivo::AttributeLists>(WidenText(std::string(bin ? bin : ".") + "/Revivo_Config.inf"));
        m_restricted->Load();
    }
    void TearDown() override {
        lumivel::ui::SetTestHook({});
        if (!m_root.empty()) lumivel::testing::LdapDeleteTree(m_root);
        std::error_code ignored;
        if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ignored);
        m_commands.reset();
        m_revivo.reset();
        CoUninitialize();
    }

    void setFileLocation(const std::string& folder) {
        lumivel::RegistryKey policy;
        ASSERT_EQ(policy.create(HKEY_CURRENT_USER, revivo::kBackupPolicyKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
        if (folder.empty())
            policy.deleteValue(revivo::kFileLocationValue);
        else
            ASSERT_EQ(policy.writeString(revivo::kFileLocationValue, WidenText(folder)), ERROR_SUCCESS);
    }

    PropertySet* record(const std::string& dn) {
        PropertySet* made = PropertySet::create();
        made->setText(u"path", WidenText(dn));
        made->setText(u"distinguishedName", WidenText(dn));
        made->setText(u"FocusedDC", WidenText(m_server));
        m_records.push_back(made);
        return made;
    }

    // Command 310 with OK pressed in "Perform Backup"; message boxes recorded and answered.
    HRESULT backUp(const std::vector<std::string>& dns, std::string* archive = nullptr) {
        std::vector<PropertySet*> selection;
        for (const std::string& dn : dns) selection.push_back(record(dn));
        m_boxes.clear();
        lumivel::ui::SetTestHook([this](const lumivel::ui::Surface& surface) -> INT_PTR {
            if (surface.kind == lumivel::ui::SurfaceKind::MessageBox) {
                m_boxes.push_back({surface.caption, surface.text});
                return IDOK;
            }
            SendMessageW(surface.window, WM_COMMAND, surface.resourceId == IDD_PERFORM_BACKUP ? IDOK : IDCANCEL, 0);
            return 0;
        });
        VARIANT list, result;
        VariantInit(&list);
        VariantInit(&result);
        lumivel::shared::BuildObjectList(selection, &list);
        HRESULT status = m_commands->ExecuteCommand(nullptr, 1, ID_GENERATE_BACKUP, &list, &result);
        VariantClear(&list);
        lumivel::ui::SetTestHook({});
        if (archive) *archive = NarrowText(selection.front()->getText(revivo::kBackupArchiveKey));
        return status;
    }

    // An archive of the folder, read back: one member named like it.
    BackupFile readArchive(const std::string& archive) {
        BackupFile file;
        std::string base = std::filesystem::path(archive).stem().string();
        EXPECT_EQ(lumivel::testing::ArchiveMembers(archive), std::vector<std::string>{base + ".inf"});
        EXPECT_TRUE(lumivel::testing::ReadBackupFile(archive, base + ".inf", &file)) << archive;
        return file;
    }

    // Every line of the section against the entry, and every value of the entry in the section.
    void checkSection(const BackupSection& section, const LdapEntry& entry) {
        SCOPED_TRACE(entry.dn);
        ASSERT_FALSE(section.lines.empty());
        const BackupLine& path = section.lines.back();
        EXPECT_EQ(path.key, "path");
        EXPECT_EQ(path.type, 8);
        EXPECT_EQ(lumivel::testing::DecodeTextHexUtf8(path.value), parentOf(entry.dn));
        std::map<std::string, std::vector<const BackupLine*>> byAttribute;
        for (size_t i = 0; i + 1 < section.lines.size(); ++i) {
            const BackupLine& line = section.lines[i];
            size_t underscore = line.key.rfind('_');
            bool numbered = underscore != std::string::npos && line.key.find_first_not_of("0123456789", underscore + 1) == std::string::npos &&
                            (line.type == 8200 || line.type == 8204);
            std::string attribute = numbered ? line.key.substr(0, underscore) : line.key;
            EXPECT_FALSE(m_restricted->IsRestricted(WidenText(attribute))) << attribute << " is restricted";
            auto& lines = byAttribute[lower(attribute)];
            // Each attribute once: a single value on one line, several on numbered ones only.
            EXPECT_TRUE(numbered || lines.empty()) << attribute << " is written more than once";
            if (numbered) {
                EXPECT_EQ(line.key.substr(underscore + 1), std::to_string(lines.size() + 1)) << line.key;
            }
            lines.push_back(&line);
        }
        for (const auto& [attribute, lines] : byAttribute) {
            auto values = entry.attributes.find(attribute);
            ASSERT_NE(values, entry.attributes.end()) << attribute << " is not in the directory";
            ASSERT_EQ(lines.size(), values->second.size()) << attribute;
            for (size_t i = 0; i < lines.size(); ++i)
                EXPECT_TRUE(encodes(*lines[i], values->second[i]))
                    << lines[i]->key << " type " << lines[i]->type << " \"" << lines[i]->value.substr(0, 80) << "\"";
        }
        for (const auto& [attribute, values] : entry.attributes) {
            if (m_restricted->IsRestricted(WidenText(attribute))) continue;
            EXPECT_TRUE(byAttribute.count(attribute)) << attribute << " is missing from the section";
        }
    }

    ComPtr<IRevivo> m_revivo;
    ComPtr<IProviderCommands> m_commands;
    std::string m_suffix, m_server, m_root, m_folder;
    std::unique_ptr<revivo::AttributeLists> m_restricted;
    std::vector<std::pair<std::u16string, std::u16string>> m_boxes;
    std::vector<PropertySet*> m_records;

    struct RecordsGo {
        std::vector<PropertySet*>* records;
        ~RecordsGo() {
            for (PropertySet* record : *records) record->release();
        }
    } m_recordsGo{&m_records};
};

TEST_F(BackupTest, LeafAndSubtreeHoldWhatTheDirectoryHolds) {
    std::string team = "OU=Team " + m_suffix + "," + m_root;
    std::string ada = "CN=Ada Lovelace " + m_suffix + "," + team;
    std::string many = "CN=Many Numbers " + m_suffix + "," + m_root;
    std::string group = "CN=Engines " + m_suffix + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(team));
    ASSERT_TRUE(lumivel::testing::AddUser(ada, "Ada Lovelace " + m_suffix));
    std::string photo("\x00\x01\xff\x7f", 4);
    ASSERT_TRUE(lumivel::testing::LdapModify("dn: " + ada + "\nchangetype: modify\nreplace: otherTelephone\n"
                                        "otherTelephone: +44 1\notherTelephone: +44 2\notherTelephone: +44 3\n-\n"
                                        "replace: msNPAllowDialin\nmsNPAllowDialin: TRUE\n-\n"
                                        "replace: accountExpires\naccountExpires: 9223372036854775807\n-\n"
                                        "replace: thumbnailPhoto\nthumbnailPhoto:: AAH/fw==\n-\n"
                                        "replace: description\ndescription: Z\xc3\xbcrich \xf0\x9f\x98\x80 \"analyst\"\n\n"));
    // More values than a server hands out at once are written whole.
    std::string numbers = "dn: " + many + "\nchangetype: add\nobjectClass: contact\n";
    for (int i = 1; i <= 1600; ++i) numbers += "otherTelephone: +358 " + std::to_string(100000 + i) + "\n";
    ASSERT_TRUE(lumivel::testing::LdapModify(numbers + "\n"));
    ASSERT_TRUE(lumivel::testing::LdapAdd(group, {"objectClass: group\n", "sAMAccountName: g" + m_suffix + "\n", "member: " + ada + "\n"}));

    std::vector<LdapEntry> entries = lumivel::testing::LdapSubtree(m_root);
    ASSERT_EQ(entries.size(), 5u);
    std::map<std::string, const LdapEntry*> byGuid;
    for (const LdapEntry& entry : entries) byGuid[entry.guidSection()] = &entry;

    std::string leafArchive;
    ASSERT_EQ(backUp({ada}, &leafArchive), S_OK);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0], std::make_pair(std::u16string(u"Success"), std::u16string(u"Backup completed successfully")));
    ASSERT_FALSE(leafArchive.empty());
    EXPECT_EQ(std::filesystem::path(leafArchive).parent_path(), std::filesystem::path(m_folder));
    BackupFile leaf = readArchive(leafArchive);
    EXPECT_EQ(leaf.info["Origin"], ada);
    ASSERT_EQ(leaf.sections.size(), 1u);
    ASSERT_TRUE(byGuid.count(leaf.sections[0].name));
    checkSection(leaf.sections[0], *byGuid[leaf.sections[0].name]);
    EXPECT_EQ(byGuid[leaf.sections[0].name]->dn, ada);
    // The values of each kind appear as such.
    auto line = [&](const BackupSection& section, const std::string& key) -> const BackupLine* {
        for (const BackupLine& l : section.lines)
            if (l.key == key) return &l;
        return nullptr;
    };
    ASSERT_TRUE(line(leaf.sections[0], "otherTelephone_3"));
    EXPECT_FALSE(line(leaf.sections[0], "otherTelephone_4"));
    ASSERT_TRUE(line(leaf.sections[0], "accountExpires"));
    EXPECT_EQ(line(leaf.sections[0], "accountExpires")->type, 8);
    ASSERT_TRUE(line(leaf.sections[0], "msNPAllowDialin"));
    EXPECT_EQ(line(leaf.sections[0], "msNPAllowDialin")->type, 11);
    ASSERT_TRUE(line(leaf.sections[0], "thumbnailPhoto"));
    EXPECT_EQ(line(leaf.sections[0], "thumbnailPhoto")->value, "0001FF7F");

    std::string treeArchive;
    ASSERT_EQ(backUp({m_root}, &treeArchive), S_OK);
    ASSERT_FALSE(treeArchive.empty());
    EXPECT_NE(treeArchive, leafArchive);
    BackupFile tree = readArchive(treeArchive);
    EXPECT_EQ(tree.info["Origin"], m_root);
    ASSERT_EQ(tree.sections.size(), entries.size());
    std::set<std::string> seen;
    for (const BackupSection& section : tree.sections) {
        ASSERT_TRUE(byGuid.count(section.name)) << section.name;
        EXPECT_TRUE(seen.insert(section.name).second) << "twice: " << section.name;
        checkSection(section, *byGuid[section.name]);
    }
    const BackupSection* manySection = tree.find(byGuid.rbegin()->first);
    for (const auto& [guid, entry] : byGuid)
        if (entry->dn == many) manySection = tree.find(guid);
    ASSERT_NE(manySection, nullptr);
    EXPECT_TRUE(line(*manySection, "otherTelephone_1600"));
    // Restricted attributes are left out in whatever case the directory spells them.
    for (const BackupSection& section : tree.sections)
        for (const BackupLine& l : section.lines)
            for (const char* name : {"objectguid", "objectsid", "whencreated", "usnchanged", "distinguishedname", "memberof"})
                EXPECT_NE(lower(l.key), name);
}

// Classes whose schema reaches attributes several ways: through superclasses and auxiliary
// classes, and as mandatory in one class and optional in another (cn, objectClass, name).
TEST_F(BackupTest, EachAttributeOnceWithAllItsValuesWhateverWaysTheClassReachesIt) {
    std::string unit = "OU=Classes " + m_suffix + "," + m_root;
    std::string user = "CN=Plain User " + m_suffix + "," + unit;
    std::string computer = "CN=WS" + m_suffix.substr(0, 8) + "," + unit;
    std::string person = "CN=Org Person " + m_suffix + "," + unit;
    std::string group = "CN=Team Group " + m_suffix + "," + unit;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(unit));
    ASSERT_TRUE(lumivel::testing::LdapModify("dn: " + unit + "\nchangetype: modify\nreplace: description\ndescription: units\n-\n"
                                             "replace: street\nstreet: 1 Main St\n\n"));
    ASSERT_TRUE(lumivel::testing::AddUser(user, "Plain User " + m_suffix));
    ASSERT_TRUE(lumivel::testing::LdapAdd(computer, {"objectClass: computer\n", "sAMAccountName: ws" + m_suffix.substr(0, 8) + "$\n",
                                                     "dNSHostName: ws.lumivel.test\n", "servicePrincipalName: HOST/ws1\n",
                                                     "servicePrincipalName: HOST/ws2\n"}));
    ASSERT_TRUE(lumivel::testing::LdapAdd(person, {"objectClass: inetOrgPerson\n", "sAMAccountName: op" + m_suffix + "\n",
                                                   "mail: op@lumivel.test\n", "uid: op" + m_suffix + "\n",
                                                   "telephoneNumber: +1 555 0199\n", "mobile: +1 555 0198\n"}));
    ASSERT_TRUE(lumivel::testing::LdapAdd(group, {"objectClass: group\n", "sAMAccountName: tg" + m_suffix + "\n",
                                                  "member: " + user + "\n", "member: " + person + "\n",
                                                  "description: two members\n"}));
    std::vector<LdapEntry> entries = lumivel::testing::LdapSubtree(unit);
    ASSERT_EQ(entries.size(), 5u);
    std::string archive;
    ASSERT_EQ(backUp({unit}, &archive), S_OK);
    BackupFile file = readArchive(archive);
    ASSERT_EQ(file.sections.size(), entries.size());
    for (const LdapEntry& entry : entries) {
        const BackupSection* section = file.find(entry.guidSection());
        ASSERT_NE(section, nullptr) << entry.dn;
        checkSection(*section, entry);
        // The names that more than one class of each of these lists.
        std::map<std::string, int> seen;
        for (const BackupLine& line : section->lines) ++seen[lower(line.key)];
        for (const char* name : {"cn", "objectclass", "name", "description", "objectcategory", "instancetype"})
            EXPECT_LE(seen[name], 1) << entry.dn << ": " << name;
    }
}

TEST_F(BackupTest, BatchedReadingWritesWhatTheObjectByObjectReadingWrites) {
    std::string seeded = "OU=Lumivel Corp," + lumivel::testing::TestDirectory().baseDn;
    auto* provider = static_cast<Revivo*>(m_revivo.get());
    std::string written[2];
    revivo::SubtreeReading readings[] = {revivo::SubtreeReading::PerObject, revivo::SubtreeReading::Batched};
    for (int i = 0; i < 2; ++i) {
        std::string path = m_folder + "/reading" + std::to_string(i) + ".inf";
        revivo::BackupInfFile file;
        ASSERT_TRUE(file.Create(WidenText(path)));
        SYSTEMTIME when{};
        file.WriteHeader(when, WidenText(seeded));
        revivo::SectionReport report;
        LONG considered = revivo::WriteObjectSections(provider->backupSources(), file, WidenText(m_server), WidenText(seeded), readings[i], &report);
        ASSERT_TRUE(file.Close());
        EXPECT_EQ(report.incomplete, S_OK);
        EXPECT_EQ(report.skipped, S_OK);
        EXPECT_EQ(considered, static_cast<LONG>(file.SectionCount()));
        EXPECT_GT(file.SectionCount(), 10u);
        std::ifstream in(path, std::ios::binary);
        written[i].assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_EQ(written[0].size(), written[1].size());
    EXPECT_TRUE(written[0] == written[1]) << "the two readings differ";
}

TEST_F(BackupTest, HostileNamesKeepTheirParentsExactly) {
    const std::string names[] = {
        "Smith, John " + m_suffix,       "Quote \"q\" " + m_suffix,          "back\\slash " + m_suffix,
        "slash/ed " + m_suffix,          "#hash " + m_suffix,                "Z\xc3\xbcrich \xe6\x9d\xb1 " + m_suffix,
        "outside \xf0\xa0\xae\xb7 " + m_suffix,
    };
    std::string parent = m_root;
    for (const std::string& name : names) {
        parent = "OU=" + EscapeRdnValue(name) + "," + parent;
        ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(parent)) << name;
    }
    std::string leaf = "CN=" + EscapeRdnValue("a/b, \"c\" " + m_suffix) + "," + parent;
    ASSERT_TRUE(lumivel::testing::AddUser(leaf, "a/b, \"c\" " + m_suffix));
    std::vector<LdapEntry> entries = lumivel::testing::LdapSubtree(m_root);
    std::string archive;
    ASSERT_EQ(backUp({m_root}, &archive), S_OK);
    BackupFile file = readArchive(archive);
    ASSERT_EQ(file.sections.size(), entries.size());
    for (const LdapEntry& entry : entries) {
        const BackupSection* section = file.find(entry.guidSection());
        ASSERT_NE(section, nullptr) << entry.dn;
        EXPECT_EQ(lumivel::testing::DecodeTextHexUtf8(section->lines.back().value), parentOf(entry.dn)) << entry.dn;
    }
    // The object with a slash in its own name also backs up on its own.
    std::string single;
    ASSERT_EQ(backUp({leaf}, &single), S_OK);
    ASSERT_FALSE(single.empty());
    EXPECT_EQ(readArchive(single).sections.size(), 1u);
}

TEST_F(BackupTest, SysvolIsTheDefaultFolderAndItsLastLevelIsCreated) {
    setFileLocation("");
    std::string archive;
    ASSERT_EQ(backUp({m_root}, &archive), S_OK);
    ASSERT_EQ(m_boxes.size(), 1u) << NarrowText(m_boxes.back().second);
    EXPECT_EQ(m_boxes[0].first, u"Success");
    std::u16string expectedFolder = u"\\\\" + WidenText(m_server) + u"\\sysvol\\Tarvo Lumivel\\";
    ASSERT_EQ(WidenText(archive).rfind(expectedFolder, 0), 0u) << archive;
    WIN32_FILE_ATTRIBUTE_DATA found{};
    ASSERT_TRUE(GetFileAttributesExW(WidenText(archive).c_str(), GetFileExInfoStandard, &found)) << GetLastError();
    EXPECT_GT(found.nFileSizeLow, 100u);
    // Read back through the share like any archive.
    std::string local = m_folder + "/" + archive.substr(archive.rfind('\\') + 1);
    ASSERT_TRUE(CopyFileW(WidenText(archive).c_str(), WidenText(local).c_str(), TRUE)) << GetLastError();
    EXPECT_EQ(readArchive(local).sections.size(), 1u);
    EXPECT_TRUE(DeleteFileW(WidenText(archive).c_str()));
}

TEST_F(BackupTest, FailedRunsSayWhyAndLeaveNothingBehind) {
    std::string temporary = m_folder + "/tmp";
    std::filesystem::create_directories(temporary);
    std::string previousTmp = std::getenv("TMP") ? std::getenv("TMP") : "";
    setenv("TMP", temporary.c_str(), 1);

    // Nothing to back up: no section, no archive, the directory's reason.
    std::string archive;
    EXPECT_EQ(backUp({"OU=No Such Unit " + m_suffix + "," + m_root}, &archive), S_OK);
    EXPECT_TRUE(archive.empty());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].first, u"Error");
    EXPECT_EQ(m_boxes[0].second, u"There is no such object on the server.");

    // A folder that is not there: the archive cannot be moved.
    setFileLocation(m_folder + "/missing");
    EXPECT_EQ(backUp({m_root}, &archive), S_OK);
    EXPECT_TRUE(archive.empty());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].first, u"Error Moving File");
    EXPECT_EQ(m_boxes[0].second, u"The system cannot find the path specified.");
    EXPECT_FALSE(std::filesystem::exists(m_folder + "/missing"));

    // Without a server the default folder has no server part: it cannot be created. The dialog
    // is the owner the message would have.
    setFileLocation("");
    auto* provider = static_cast<Revivo*>(m_revivo.get());
    revivo::BackupRun run;
    PropertySet* object = record(m_root);
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        if (surface.kind == lumivel::ui::SurfaceKind::MessageBox) {
            m_boxes.push_back({surface.caption, surface.text});
            return IDOK;
        }
        if (surface.round == 0) run = revivo::RunBackup(provider->backupSources(), surface.window, u"", {object});
        SendMessageW(surface.window, WM_COMMAND, IDCANCEL, 0);
        return 0;
    });
    m_boxes.clear();
    revivo::PerformBackupInput input{provider->backupSources(), WidenText(m_server), object, {object}};
    revivo::ShowPerformBackupDialog(nullptr, input);
    lumivel::ui::SetTestHook({});
    EXPECT_EQ(run.outcome, revivo::BackupRun::Outcome::FolderNotCreated);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].first, u"Error Creating Revivo Directory");
    EXPECT_EQ(m_boxes[0].second, u"The network path was not found.");
    EXPECT_EQ(revivo::BackupToArchive(provider->backupSources(), nullptr, u"", {object}), 1);

    // Nothing of any of these runs is left in the temporary folder.
    EXPECT_TRUE(std::filesystem::is_empty(temporary));
    previousTmp.empty() ? unsetenv("TMP") : setenv("TMP", previousTmp.c_str(), 1);
}

// The temporary archive is made on the temporary folder's file system; a backup folder on
// another one gets a copy, and the temporary one goes.
TEST_F(BackupTest, ArchivesReachAFolderOnAnotherFileSystem) {
    struct stat temporary {}, shared {};
    if (stat("/tmp", &temporary) != 0 || stat("/dev/shm", &shared) != 0 || temporary.st_dev == shared.st_dev)
        GTEST_SKIP() << "/tmp and /dev/shm are one file system here";
    std::string elsewhere = "/dev/shm/revivo-backups-" + m_suffix;
    std::filesystem::create_directories(elsewhere);
    std::filesystem::create_directories(m_folder + "/tmp");
    std::string previousTmp = std::getenv("TMP") ? std::getenv("TMP") : "";
    setenv("TMP", (m_folder + "/tmp").c_str(), 1);
    setFileLocation(elsewhere);
    std::string archive;
    EXPECT_EQ(backUp({m_root}, &archive), S_OK);
    previousTmp.empty() ? unsetenv("TMP") : setenv("TMP", previousTmp.c_str(), 1);
    EXPECT_EQ(std::filesystem::path(archive).parent_path(), std::filesystem::path(elsewhere));
    EXPECT_EQ(lumivel::testing::FilesIn(elsewhere, ".zip").size(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(m_folder + "/tmp"));
    std::error_code ignored;
    std::filesystem::remove_all(elsewhere, ignored);
}

// A script reaches BackupObjects by its name through IDispatch and is never shown anything.
TEST_F(BackupTest, BackupObjectsThroughIDispatchByName) {
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(m_revivo.queryInterface(IID_IDispatch, &dispatch), S_OK);
    LPOLESTR name = const_cast<LPOLESTR>(u"BackupObjects");
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    int shown = 0;
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface&) -> INT_PTR { return ++shown, IDOK; });
    auto invoke = [&](const std::string& dn) {
        VARIANT argument;
        argument.vt = VT_BSTR;
        argument.bstrVal = SysAllocString(WidenText(dn).c_str());
        DISPPARAMS parameters{&argument, nullptr, 1, 0};
        VARIANT result;
        VariantInit(&result);
        HRESULT status = dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &parameters, &result, nullptr, nullptr);
        VariantClear(&argument);
        VariantClear(&result);
        return status;
    };
    EXPECT_EQ(invoke(m_root), S_OK);
    std::vector<std::string> archives = lumivel::testing::FilesIn(m_folder, ".zip");
    ASSERT_EQ(archives.size(), 1u);
    BackupFile file = readArchive(archives[0]);
    EXPECT_EQ(file.info["Origin"], m_root);
    EXPECT_EQ(file.sections.size(), 1u);
    // A failing run reports to stderr and the system log, never in a box nobody can press.
    EXPECT_EQ(invoke("OU=No Such Unit " + m_suffix + "," + m_root), S_OK);
    EXPECT_EQ(lumivel::testing::FilesIn(m_folder, ".zip").size(), 1u);
    lumivel::ui::SetTestHook({});
    EXPECT_EQ(shown, 0);
}

}  // namespace
