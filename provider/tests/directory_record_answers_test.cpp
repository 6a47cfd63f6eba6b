// The provider's commands against the test directory with every answer on the record and no
// dialog, as the command line runs them: a name that is taken asked back and answered, a
// deleted parent no longer listed recreated from the archive the record names, Restore To into
// a container of the record's, and a backup and a scheduled job made from the record alone.
// No UI hook is installed; the headless interface would print any box that still opened.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "lumivel/com_ptr.h"
#include "lumivel/registry_key.h"
#include "lumivel/variant_holder.h"
#include "provider/backup/backup_folder.h"
#include "provider/backup/backup_script.h"
#include "provider/backup/backup_writer.h"
#include "provider/revivo.h"
#include "provider/tests/backup_fixture.h"
#include "provider/tests/tombstone_records.h"
#include "shared/object_list.h"
#include "shared/provider_interfaces.h"
#include "shared/text_helpers.h"
#include "shared/text_list.h"
#include "tests/support/directory_fixture.h"
#include "tests/support/private_hives.h"
#include "win/datetime.h"
#include "win/dserror.h"
#include "win/mstask.h"
#include "win/oleauto.h"
#include "win/winreg.h"

using lumivel::ComPtr;
using lumivel::shared::NarrowText;
using lumivel::shared::TextListOf;
using lumivel::shared::WidenText;

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

class RecordAnswersDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_TEST_DIRECTORY();
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(revivo::Revivo::CreateInstance(nullptr, IID_IRevivo, m_revivo.putVoid()), S_OK);
        ASSERT_EQ(m_revivo.queryInterface(IID_IProviderCommands, &m_commands), S_OK);
        m_suffix = lumivel::testing::UniqueSuffix();
        m_root = "OU=RevivoRecords " + m_suffix + "," + lumivel::testing::TestDirectory().baseDn;
        ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(m_root));
        m_folder = "/tmp/revivo-records-" + m_suffix;
        std::filesystem::create_directories(m_folder);
        lumivel::RegistryKey policy;
        ASSERT_EQ(policy.create(HKEY_CURRENT_USER, revivo::kBackupPolicyKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
        ASSERT_EQ(policy.writeString(revivo::kFileLocationValue, WidenText(m_folder)), ERROR_SUCCESS);
    }
    void TearDown() override {
        if (!m_root.empty()) lumivel::testing::LdapDeleteTree(m_root);
        std::error_code ignored;
        if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ignored);
        for (PropertySet* record : m_owned) record->release();
        m_commands.reset();
        m_revivo.reset();
        CoUninitialize();
    }

    void listAll() {
        VARIANT objects;
        VariantInit(&objects);
        ASSERT_EQ(m_revivo->EnumDeletedObjects(0, nullptr, &objects), S_OK);
        m_listing = lumivel::shared::ReadObjectList(&objects);
        VariantClear(&objects);
        m_owned.insert(m_owned.end(), m_listing.begin(), m_listing.end());
    }
    PropertySet* tombstoneOf(const std::string& name) { return lumivel::testing::TombstoneNamed(m_listing, name); }

    PropertySet* liveRecord(const std::string& dn) {
        PropertySet* record = PropertySet::create();
        m_owned.push_back(record);
        record->setText(u"path", WidenText(dn));
        record->setText(u"distinguishedName", WidenText(dn));
        record->setText(u"FocusedDC", WidenText(lumivel::testing::TestDirectory().server));
        return record;
    }

    // The command on the record without dialogs: its return, the header (the test's to free)
    // and the records after it.
    struct Answer {
        HRESULT status = E_FAIL;
        PropertySet* header = nullptr;
        std::vector<PropertySet*> records;
        std::vector<std::u16string> messages() const { return TextListOf(header, kCommandMessagesKey); }
    };
    Answer run(LONG command, PropertySet* record) {
        record->setInt(kNoDialogsKey, 1);
        lumivel::VariantHolder selection, result;
        lumivel::shared::RecordToVariant(record, selection.get());
        Answer answer;
        answer.status = m_commands->ExecuteCommand(nullptr, 1, command, selection.get(), result.get());
        std::vector<PropertySet*> listed = lumivel::shared::ReadObjectList(result.get());
        EXPECT_FALSE(listed.empty()) << "a caller without dialogs always gets a header";
        if (listed.empty()) return answer;
        answer.header = listed.front();
        m_owned.push_back(answer.header);
        answer.records.assign(listed.begin() + 1, listed.end());
        return answer;
    }

    ComPtr<IRevivo> m_revivo;
    ComPtr<IProviderCommands> m_commands;
    std::string m_suffix, m_root, m_folder;
    std::vector<PropertySet*> m_listing, m_owned;
};

TEST_F(RecordAnswersDirectoryTest, ATakenNameIsAskedBackAndTheRecordsNewNameAnswersIt) {
    std::string name = "Smith " + m_suffix, dn = "CN=" + name + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    std::string other = "Taken Too " + m_suffix;
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + other + "," + m_root, other));
    listAll();
    PropertySet* tombstone = tombstoneOf(name);
    ASSERT_NE(tombstone, nullptr);

    Answer asked = run(kCommandRestore, tombstone);
    EXPECT_EQ(asked.status, S_FALSE);
    EXPECT_EQ(asked.header->getText(kQuestionKey), kNewNameKey);
    EXPECT_EQ(NarrowText(asked.header->getText(kTakenNameKey)), dn);
    EXPECT_EQ(asked.header->getRaw(kCommandResultKey), E_ADS_OBJECT_EXISTS);
    EXPECT_TRUE(asked.messages().empty()) << "no box was shown";

    // A name that is taken as well: asked back again, naming that one.
    tombstone->setText(kNewNameKey, WidenText(other));
    Answer again = run(kCommandRestore, tombstone);
    EXPECT_EQ(again.status, S_FALSE);
    EXPECT_EQ(NarrowText(again.header->getText(kTakenNameKey)), "CN=" + other + "," + m_root);

    // No name at all is refused in dialog 206's words.
    tombstone->setText(kNewNameKey, u"");
    Answer empty = run(kCommandRestore, tombstone);
    EXPECT_EQ(empty.status, S_FALSE);
    EXPECT_EQ(empty.header->getText(kCommandErrorKey), u"Please enter a valid name.");

    std::string renamed = "Smith, John \"" + m_suffix + "\"";
    std::string renamedDn = "CN=" + lumivel::testing::EscapeRdnValue(renamed) + "," + m_root;
    tombstone->setText(kNewNameKey, WidenText(renamed));
    Answer restored = run(kCommandRestore, tombstone);
    ASSERT_EQ(restored.status, S_OK);
    EXPECT_EQ(restored.header->getText(u"RefreshReason"), u"ObjectsDeleted");
    EXPECT_EQ(restored.header->getRaw(kCommandResultKey), S_OK);
    EXPECT_EQ(NarrowText(restored.header->getText(kTakenNameKey)), dn) << "the name the answer replaced";
    EXPECT_EQ(restored.records, std::vector<PropertySet*>{tombstone});
    EXPECT_EQ(TextListOf(restored.header, kRestoredAsKey), std::vector<std::u16string>{WidenText(renamedDn)});
    EXPECT_EQ(restored.messages(), std::vector<std::u16string>{u"Success: The object was successfully restored."});
    EXPECT_TRUE(lumivel::testing::LdapExists(renamedDn));
}

TEST_F(RecordAnswersDirectoryTest, ADeletedParentComesBackFromTheArchiveTheRecordNames) {
    std::string dept = "OU=Dept " + m_suffix + "," + m_root, child = "Kid " + m_suffix;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(dept));
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + child + "," + dept, child));

    // The backup itself from the record: "Perform Backup" answered with "Now".
    PropertySet* live = liveRecord(dept);
    live->setText(kPerformBackupKey, kPerformBackupNow);
    Answer backedUp = run(kCommandBackup, live);
    ASSERT_EQ(backedUp.status, S_OK);
    EXPECT_EQ(backedUp.messages(), std::vector<std::u16string>{u"Success: Backup completed successfully"});
    std::u16string archive(live->getText(kBackupArchiveKey));
    ASSERT_FALSE(archive.empty());

    ASSERT_TRUE(lumivel::testing::LdapDelete("CN=" + child + "," + dept));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dept));
    std::vector<std::string> parent = lumivel::testing::TombstoneDns(lumivel::testing::TestDirectory().baseDn,
                                                                     "(ou=Dept " + m_suffix + "*)");
    ASSERT_EQ(parent.size(), 1u);
    ASSERT_TRUE(lumivel::testing::PurgeTombstone(parent[0]));
    listAll();
    PropertySet* tombstone = tombstoneOf(child);
    ASSERT_NE(tombstone, nullptr);

    // Asked back with the archives that hold it; meanwhile the restore went on as the
    // dialog's Cancel lets it, and failed.
    Answer asked = run(kCommandRestore, tombstone);
    EXPECT_EQ(asked.status, S_FALSE);
    EXPECT_EQ(asked.header->getText(kQuestionKey), kRestoreFromFileKey);
    EXPECT_EQ(TextListOf(asked.header, kArchivesKey), std::vector<std::u16string>{archive});
    EXPECT_EQ(TextListOf(asked.header, kArchiveOriginsKey), std::vector<std::u16string>{WidenText(dept)});
    std::vector<std::u16string> said = asked.messages();
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said[0], u"Error: Could not create the container for this object.");
    EXPECT_EQ(asked.header->getText(kCommandErrorCaptionKey), u"Restore Object");
    EXPECT_FALSE(lumivel::testing::LdapExists(dept));

    tombstone->setText(kRestoreFromFileKey, archive);
    Answer restored = run(kCommandRestore, tombstone);
    ASSERT_EQ(restored.status, S_OK) << NarrowText(restored.header->getText(kCommandErrorKey));
    EXPECT_TRUE(restored.header->getText(kQuestionKey).empty());
    EXPECT_TRUE(lumivel::testing::LdapExists(dept));
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + child + "," + dept));
}

TEST_F(RecordAnswersDirectoryTest, RestoreToTakesTheContainerFromTheRecordAndSaysWhyItRefusesOne) {
    std::string other = "OU=Elsewhere," + m_root, holder = "CN=Holder " + m_suffix + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(other));
    ASSERT_TRUE(lumivel::testing::AddUser(holder, "Holder " + m_suffix));
    std::string name = "Moved " + m_suffix;
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + name + "," + m_root, name));
    ASSERT_TRUE(lumivel::testing::LdapDelete("CN=" + name + "," + m_root));
    listAll();
    PropertySet* tombstone = tombstoneOf(name);
    ASSERT_NE(tombstone, nullptr);

    tombstone->setText(kRestoreTargetKey, WidenText(holder));
    Answer refused = run(kCommandRestoreTo, tombstone);
    EXPECT_EQ(refused.status, S_FALSE);
    EXPECT_TRUE(FAILED(static_cast<HRESULT>(refused.header->getRaw(kCommandResultKey))));
    EXPECT_EQ(refused.header->getText(kCommandErrorCaptionKey), u"Restore Object");
    EXPECT_EQ(NarrowText(refused.header->getText(kCommandErrorKey)),
              "The container " + holder + " does not accept an object of class user.");
    EXPECT_TRUE(refused.records.empty());

    tombstone->setText(kRestoreTargetKey, WidenText(other));
    Answer restored = run(kCommandRestoreTo, tombstone);
    ASSERT_EQ(restored.status, S_OK);
    EXPECT_EQ(restored.records, std::vector<PropertySet*>{tombstone});
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + name + "," + other));
}

TEST_F(RecordAnswersDirectoryTest, AScheduledBackupIsMadeFromTheRecordsAnswersAlone) {
    const char* user = std::getenv("TESTDC_USER_NAME");
    const char* password = std::getenv("TESTDC_USER_PASSWORD");
    if (!user || !password) GTEST_SKIP() << "the domain is not seeded";
    setenv("LUMIVEL_TASK_FOLDER", (m_folder + "/tasks").c_str(), 1);
    struct Unset {
        ~Unset() { unsetenv("LUMIVEL_TASK_FOLDER"); }
    } unset;
    std::string object = "OU=Nightly " + m_suffix + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(object));
    std::vector<lumivel::testing::LdapEntry> entries = lumivel::testing::LdapSubtree(object);
    ASSERT_FALSE(entries.empty());
    std::u16string guid = WidenText(entries.front().guidSection());
    ASSERT_EQ(guid.size(), 32u);
    DWORD folderError = 0;
    const std::string script = NarrowText(revivo::ScheduledBackupsFolder(&folderError) + revivo::BackupScriptFileName(guid));

    auto answers = [&](const char* secret) {
        PropertySet* record = liveRecord(object);
        record->setText(u"guid", guid);
        record->setText(kPerformBackupKey, kPerformBackupSchedule);
        record->setInt(kScheduleKey, 1);
        record->setInt(kTimeSliceKey, 1);
        record->setInt(kDaysOrMonthsKey, 0x41);  // Monday and Sunday
        SYSTEMTIME start{};
        GetLocalTime(&start);
        start.wHour = 3, start.wMinute = 0, start.wSecond = 0, start.wMilliseconds = 0;
        VARIANT when;
        VariantInit(&when);
        when.vt = VT_DATE;
        SystemTimeToVariantTime(&start, &when.date);
        record->setValue(kStartTimeKey, &when);
        record->setText(kAccountKey, WidenText(user));
        record->setText(kPasswordKey, WidenText(secret));
        return record;
    };

    PropertySet* wrong = answers("not the password");
    Answer refused = run(kCommandBackup, wrong);
    EXPECT_EQ(refused.status, S_FALSE);
    EXPECT_EQ(refused.header->getText(kCommandErrorCaptionKey), u"Error");
    EXPECT_EQ(refused.header->getText(kCommandErrorKey), u"The user name or password is incorrect.");
    EXPECT_FALSE(wrong->has(kPasswordKey)) << "the password goes once it was used";
    for (const std::u16string& message : refused.messages())
        EXPECT_EQ(message.find(u"not the password"), std::u16string::npos);

    PropertySet* right = answers(password);
    Answer made = run(kCommandBackup, right);
    ASSERT_EQ(made.status, S_OK) << NarrowText(made.header->getText(kCommandErrorKey));
    EXPECT_EQ(made.header->getRaw(kCommandResultKey), S_OK);
    EXPECT_FALSE(right->has(kPasswordKey));
    EXPECT_EQ(lumivel::testing::FilesIn(m_folder + "/tasks", ".job").size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(script));

    // The same object again keeps the first job, and says so.
    Answer twice = run(kCommandBackup, answers(password));
    EXPECT_EQ(twice.status, S_FALSE);
    EXPECT_EQ(twice.header->getText(kCommandErrorKey), u"The file exists.");
    std::error_code ignored;
    std::filesystem::remove(script, ignored);
}

TEST_F(RecordAnswersDirectoryTest, DomainAndControllerAnswersAreBoundAsTheirDialogsBindThem) {
    const std::string domain = lumivel::testing::TestDirectory().domain;
    const std::string server = lumivel::testing::TestDirectory().server;
    PropertySet* request = PropertySet::create();
    m_owned.push_back(request);
    request->setText(kConnectDomainKey, WidenText(domain));
    Answer connected = run(kCommandConnect, request);
    EXPECT_EQ(connected.status, S_OK);
    EXPECT_EQ(connected.header->getRaw(kCommandResultKey), S_OK);
    ASSERT_EQ(connected.records.size(), 1u);
    PropertySet* node = connected.records[0];
    m_owned.push_back(node);
    EXPECT_EQ(node->IsNode, 1);

    request->setText(kConnectDomainKey, u"nowhere-zz9.invalid");
    Answer nowhere = run(kCommandConnect, request);
    EXPECT_EQ(nowhere.status, S_OK) << "as the Parts have it: S_OK, and no node";
    EXPECT_TRUE(nowhere.records.empty());
    EXPECT_TRUE(FAILED(static_cast<HRESULT>(nowhere.header->getRaw(kCommandResultKey))));
    EXPECT_EQ(nowhere.header->getText(kCommandErrorCaptionKey), u"Active Directory");
    EXPECT_FALSE(nowhere.header->getText(kCommandErrorKey).empty());

    node->setText(kDomainControllerKey, u"nowhere-zz9.invalid");
    Answer refused = run(kCommandChooseDomainController, node);
    EXPECT_EQ(refused.header->getText(kCommandErrorKey), u"Error binding to specified domain controller");
    EXPECT_FALSE(refused.header->has(u"RefreshReason"));
    node->setText(kDomainControllerKey, WidenText(server));
    Answer chosen = run(kCommandChooseDomainController, node);
    EXPECT_EQ(chosen.header->getText(u"RefreshReason"), u"ChangeFocusedDC");
    EXPECT_EQ(NarrowText(chosen.header->getText(u"FocusedDC")), server);
    EXPECT_EQ(NarrowText(node->getText(u"FocusedDC")), server);

    // The stored node goes again, so that the hives stay as they were.
    Answer removed = run(kCommandRemove, node);
    EXPECT_EQ(removed.status, S_OK);
    EXPECT_EQ(removed.header->getText(u"RefreshReason"), u"ObjectsDeleted");
}

TEST_F(RecordAnswersDirectoryTest, ThePlansAnswerRestoresAndReappliesWithoutTheDialog) {
    std::string name = "Planned " + m_suffix, user = "CN=" + name + "," + m_root;
    ASSERT_TRUE(lumivel::testing::LdapAdd(user, {"objectClass: user\n", "cn: " + name + "\n",
                                                 "sAMAccountName: p" + m_suffix + "\n",
                                                 "description: Kept in the archive\n"}));
    PropertySet* live = liveRecord(m_root);
    live->setText(kPerformBackupKey, kPerformBackupNow);
    ASSERT_EQ(run(kCommandBackup, live).status, S_OK);
    ASSERT_TRUE(lumivel::testing::LdapDelete(user));
    listAll();
    PropertySet* tombstone = tombstoneOf(name);
    ASSERT_NE(tombstone, nullptr);

    // The re-apply answer on the record: restored as command 311 restores, then re-applied from
    // the newest archive that holds it.
    tombstone->setInt(kReapplyKey, 1);
    Answer restored = run(kCommandShowRestorePlan, tombstone);
    ASSERT_EQ(restored.status, S_OK) << NarrowText(restored.header->getText(kCommandErrorKey));
    EXPECT_EQ(restored.header->getText(u"RefreshReason"), u"ObjectsDeleted");
    std::vector<std::u16string> said = restored.messages();
    ASSERT_EQ(said.size(), 2u);
    EXPECT_EQ(said[0], u"Success: The object was successfully restored.");
    EXPECT_EQ(said[1].rfind(u"Re-apply Attributes: Re-applied from {", 0), 0u) << NarrowText(said[1]);
    std::vector<lumivel::testing::LdapEntry> entries = lumivel::testing::LdapSubtree(user);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front().attributes["description"], std::vector<std::string>{"Kept in the archive"});
}

}  // namespace
