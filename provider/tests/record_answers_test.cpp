// The provider's record face without a directory and without the UI test hook: a caller that
// asks for no dialogs gets every message in the result header, its failures with their HRESULT
// and text, and every question a dialog would ask handed back instead of a window. The UI
// backend here records whatever reaches it, so nothing can be shown unnoticed.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "lumivel/com_ptr.h"
#include "lumivel/ui_backend.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "provider/restore/restore_plan.h"
#include "provider/revivo.h"
#include "provider/tests/scripted_search.h"
#include "shared/object_list.h"
#include "shared/provider_interfaces.h"
#include "shared/text_list.h"
#include "tests/support/private_hives.h"
#include "win/adsi.h"
#include "win/user.h"
#include "win/winldap.h"

using lumivel::ComPtr;
using namespace revivo_test;

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

// Counts every message box and dialog that reaches the UI, and closes each dialog at once.
class RecordingBackend final : public lumivel::ui::Backend {
public:
    std::vector<std::u16string> boxes;
    int dialogs = 0;

    const char* name() const override { return "recording"; }
    bool canRunDialogs() const override { return true; }
    void runModalLoop(HWND dialog, const std::function<bool()>& ended) override {
        ++dialogs;
        EndDialog(dialog, IDCANCEL);
        for (int i = 0; i < 100 && !ended(); ++i) processEvents();
    }
    int messageBox(HWND, const std::u16string& text, const std::u16string& caption, UINT type) override {
        boxes.push_back(caption + u": " + text);
        return lumivel::ui::MessageBoxDefaultButton(type);
    }
    UINT trackPopupMenu(HMENU, const std::vector<lumivel::ui::MenuItemSnapshot>&, UINT, POINT, HWND) override {
        return 0;
    }
};

constexpr char16_t kContext[] = u"DC=records,DC=test";

std::u16string guidOf(int n) { return u"0000000" + std::u16string(1, char16_t(u'0' + n)) + u"-0000-4000-8000-000000000000"; }

std::u16string tombstoneDn(const std::u16string& rdn, int n) {
    return rdn + u"\\0ADEL:" + guidOf(n) + u",CN=Deleted Objects," + kContext;
}

Row tombstoneRow(const std::u16string& rdn, int n, const std::u16string& parent, const std::u16string& className) {
    return Row{{u"cn", {ignoreCase(rdn.substr(3) + u"\nDEL:" + guidOf(n))}},
               {u"distinguishedName", {dn(tombstoneDn(rdn, n))}},
               {u"lastKnownParent", {dn(parent)}},
               {u"objectClass", {ignoreCase(u"top"), ignoreCase(className)}}};
}

class RecordAnswersTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        m_backend = std::make_shared<RecordingBackend>();
        lumivel::ui::SetBackend(m_backend);
        ASSERT_EQ(revivo::Revivo::CreateInstance(nullptr, IID_IRevivo, m_revivo.putVoid()), S_OK);
        m_provider = static_cast<revivo::Revivo*>(m_revivo.get());
        ASSERT_EQ(m_revivo.queryInterface(IID_IProviderCommands, &m_commands), S_OK);
        m_provider->setDeletedObjectsOpener([this](LPCWSTR, std::u16string* used, IDirectorySearch** search) {
            m_search = std::make_unique<ScriptedSearch>();
            m_search->rows = m_rows;
            *used = kContext;
            *search = m_search.get();
            return S_OK;
        });
    }
    void TearDown() override {
        for (PropertySet* record : m_owned) record->release();
        m_commands.reset();
        m_revivo.reset();
        lumivel::ui::SetBackend(lumivel::ui::MakeHeadlessBackend());
        CoUninitialize();
    }

    // The scripted tombstones listed as the console lists them, kept by the test.
    std::vector<PropertySet*> list() {
        VARIANT objects;
        VariantInit(&objects);
        EXPECT_EQ(m_revivo->EnumDeletedObjects(0, nullptr, &objects), S_OK);
        std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(&objects);
        VariantClear(&objects);
        for (PropertySet* record : records) {
            record->setText(u"FocusedDC", u"dc1.records.test");
            m_owned.push_back(record);
        }
        return records;
    }
    PropertySet* record(std::initializer_list<std::pair<const char16_t*, const char16_t*>> texts) {
        PropertySet* made = PropertySet::create();
        for (const auto& [key, value] : texts) made->setText(key, value);
        m_owned.push_back(made);
        return made;
    }

    // The command on one record, asked for no dialogs: its return and the records it handed
    // out (the header first; it is the test's to free).
    HRESULT run(LONG command, PropertySet* on, std::vector<PropertySet*>* answer) {
        on->setInt(kNoDialogsKey, 1);
        lumivel::VariantHolder selection, result;
        lumivel::shared::RecordToVariant(on, selection.get());
        HRESULT status = m_commands->ExecuteCommand(nullptr, 1, command, selection.get(), result.get());
        *answer = lumivel::shared::ReadObjectList(result.get());
        if (!answer->empty()) m_owned.push_back(answer->front());
        return status;
    }

    std::shared_ptr<RecordingBackend> m_backend;
    ComPtr<IRevivo> m_revivo;
    ComPtr<IProviderCommands> m_commands;
    revivo::Revivo* m_provider = nullptr;
    std::vector<Row> m_rows;
    std::unique_ptr<ScriptedSearch> m_search;
    std::vector<PropertySet*> m_owned;
};

// A restore the provider refuses says why in the header, in the very words and with the
// caption its message box has for the console; the console's own call still gets no result.
TEST_F(RecordAnswersTest, AFailureComesBackInTheHeaderWithItsHresultAndText) {
    // An OU whose last known parent is its own tombstone: refused before anything is sent.
    m_rows.push_back(tombstoneRow(u"OU=Circle", 1, tombstoneDn(u"OU=Circle", 1), u"organizationalUnit"));
    std::vector<PropertySet*> listed = list();
    ASSERT_EQ(listed.size(), 1u);

    std::vector<PropertySet*> answer;
    EXPECT_EQ(run(kCommandRestore, listed[0], &answer), S_FALSE);
    ASSERT_EQ(answer.size(), 1u) << "a header and no restored record";
    const PropertySet* header = answer[0];
    EXPECT_EQ(header->getRaw(kCommandResultKey), HRESULT_FROM_WIN32(LdapMapErrorToWin32(LDAP_LOOP_DETECT)));
    EXPECT_EQ(header->getText(kCommandErrorKey), u"Loop Detected");
    EXPECT_EQ(header->getText(kCommandErrorCaptionKey), u"Restore Object");
    EXPECT_EQ(lumivel::shared::TextListOf(header, kCommandMessagesKey),
              std::vector<std::u16string>{u"Restore Object: Loop Detected"});
    EXPECT_FALSE(header->has(u"RefreshReason")) << "nothing for a console to take out of its view";
    EXPECT_TRUE(m_backend->boxes.empty());
    EXPECT_EQ(m_backend->dialogs, 0);

    // The same record from a caller with a window: its message box, and no result at all.
    listed[0]->removeValue(kNoDialogsKey);
    lumivel::VariantHolder selection, result;
    lumivel::shared::RecordToVariant(listed[0], selection.get());
    EXPECT_EQ(m_commands->ExecuteCommand(nullptr, 1, kCommandRestore, selection.get(), result.get()), S_FALSE);
    EXPECT_EQ(result->vt, VT_EMPTY);
    EXPECT_EQ(m_backend->boxes, std::vector<std::u16string>{u"Restore Object: Loop Detected"});
}

// A record the restore cannot start with: no box says so, the header gives the system's text.
TEST_F(RecordAnswersTest, AFailureNoBoxSaysGetsTheSystemsText) {
    PropertySet* live = record({{u"name", u"Ann"}, {u"distinguishedName", u"CN=Ann,OU=Sales,DC=x"},
                                {u"lastKnownParent", u"OU=Sales,DC=x"}, {u"FocusedDC", u""}});
    std::vector<PropertySet*> answer;
    EXPECT_EQ(run(kCommandRestore, live, &answer), S_FALSE);
    ASSERT_FALSE(answer.empty());
    EXPECT_EQ(answer[0]->getRaw(kCommandResultKey), E_INVALIDARG);
    EXPECT_EQ(answer[0]->getText(kCommandErrorKey), u"The parameter is incorrect.");
    EXPECT_FALSE(answer[0]->has(kCommandMessagesKey));
    EXPECT_TRUE(m_backend->boxes.empty());
}

// Each dialog's question, asked of a caller that shows none, comes back with the key that
// answers it, and the command does nothing else.
TEST_F(RecordAnswersTest, EveryDialogsQuestionComesBackInsteadOfTheDialog) {
    m_rows.push_back(tombstoneRow(u"CN=Ada", 2, u"OU=Staff,DC=records,DC=test", u"user"));
    std::vector<PropertySet*> listed = list();
    ASSERT_EQ(listed.size(), 1u);
    struct Row {
        LONG command;
        PropertySet* on;
        const char16_t* question;
        HRESULT status;
    } rows[] = {
        {kCommandConnect, record({{u"name", u"Tarvo Lumivel"}}), kConnectDomainKey, S_OK},
        {kCommandChooseDomainController,
         record({{u"name", u"records.test"}, {u"FocusedDC", u"dc1.records.test"}}), kDomainControllerKey, S_OK},
        {kCommandBackup, record({{u"distinguishedName", u"OU=Staff,DC=records,DC=test"},
                                 {u"FocusedDC", u"dc1.records.test"}}),
         kPerformBackupKey, S_FALSE},
        {kCommandRestoreTo, listed[0], kRestoreTargetKey, S_FALSE},
        {kCommandShowRestorePlan, listed[0], kReapplyKey, S_FALSE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        std::vector<PropertySet*> answer;
        EXPECT_EQ(run(row.command, row.on, &answer), row.status);
        ASSERT_EQ(answer.size(), 1u);
        EXPECT_EQ(answer[0]->getText(kQuestionKey), row.question);
        EXPECT_EQ(answer[0]->getRaw(kCommandResultKey), HRESULT_FROM_WIN32(ERROR_CANCELLED));
        EXPECT_FALSE(answer[0]->getText(kCommandErrorKey).empty());
        row.on->removeValue(kNoDialogsKey);
    }
    EXPECT_EQ(m_backend->dialogs, 0);
    EXPECT_TRUE(m_backend->boxes.empty());
    EXPECT_EQ(m_provider->deletedObjectCacheSize(), 1u) << "nothing was restored";
}

// The schedule form's answers on a record are refused as the form refuses its fields, before
// anything is made, and the record does not keep the password.
TEST_F(RecordAnswersTest, ScheduleAnswersAreCheckedAsTheFormChecksThem) {
    PropertySet* object = record({{u"distinguishedName", u"OU=Staff,DC=records,DC=test"},
                                  {u"guid", u"0123456789abcdef0123456789abcdef"},
                                  {u"FocusedDC", u"dc1.records.test"},
                                  {kPerformBackupKey, kPerformBackupSchedule},
                                  {kAccountKey, u"backup@RECORDS.TEST"},
                                  {kPasswordKey, u"Secret1"}});
    object->setInt(kScheduleKey, 0);
    object->setInt(kTimeSliceKey, 366);
    std::vector<PropertySet*> answer;
    EXPECT_EQ(run(kCommandBackup, object, &answer), S_FALSE);
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(answer[0]->getRaw(kCommandResultKey), E_INVALIDARG);
    EXPECT_EQ(answer[0]->getText(kCommandErrorKey), u"The maximum allowed value is 365 days.");
    EXPECT_EQ(answer[0]->getText(kCommandErrorCaptionKey), u"Value");
    EXPECT_FALSE(object->has(kPasswordKey));
    for (const std::u16string& message : lumivel::shared::TextListOf(answer[0], kCommandMessagesKey))
        EXPECT_EQ(message.find(u"Secret1"), std::u16string::npos);

    // An answer of the wrong kind is no answer the form could give.
    object->setText(kPasswordKey, u"Secret1");
    object->setText(kTimeSliceKey, u"1");
    EXPECT_EQ(run(kCommandBackup, object, &answer), S_FALSE);
    EXPECT_EQ(answer[0]->getText(kCommandErrorCaptionKey), u"Schedule");
    EXPECT_FALSE(object->has(kPasswordKey));
    EXPECT_EQ(m_backend->dialogs, 0);
    EXPECT_TRUE(m_backend->boxes.empty());
}

// The one restore planner, on listed tombstones alone: deleted parents first, each below the
// DN its parent gets (escapes and all); a parent no longer listed, or a chain that loops, ends
// the walk; a container to restore into takes the object alone.
TEST(RestorePlannerTest, DeletedParentsComeFirstAndEachGoesBelowTheNameItsParentGets) {
    auto copy = [](const std::u16string& rdn, int n, const std::u16string& parent) {
        std::u16string dnText = tombstoneDn(rdn, n), name = rdn.substr(3) + u"\nDEL:" + guidOf(n);
        const std::u16string_view fields[] = {dnText, parent, name, u"organizationalUnit", u"", u"", u""};
        return std::make_shared<const revivo::TombstoneCopy>(fields, 0);
    };
    auto step = [](const revivo::TombstoneCopy& of) {
        return revivo::PlannedStep{std::u16string(of.name()), std::u16string(of.className()),
                                   std::u16string(of.distinguishedName()), std::u16string(of.lastKnownParent()),
                                   {}, {}, {}};
    };
    auto top = copy(u"OU=Apollo\\, Phase 2", 1, u"OU=Projects,DC=records,DC=test");
    auto middle = copy(u"OU=Archive", 2, tombstoneDn(u"OU=Apollo\\, Phase 2", 1));
    auto child = copy(u"CN=Ada", 3, tombstoneDn(u"OU=Archive", 2));
    std::vector<revivo::TombstoneRef> listed{child, middle, top};

    revivo::RestoreChain plan = revivo::PlanRestoreChain(step(*child), listed);
    ASSERT_EQ(plan.steps.size(), 3u);
    EXPECT_TRUE(plan.missingParent.empty());
    EXPECT_EQ(plan.liveParent, u"OU=Projects,DC=records,DC=test");
    EXPECT_EQ(plan.steps[0].target, u"OU=Apollo\\, Phase 2,OU=Projects,DC=records,DC=test");
    EXPECT_EQ(plan.steps[1].target, u"OU=Archive,OU=Apollo\\, Phase 2,OU=Projects,DC=records,DC=test");
    EXPECT_EQ(plan.steps[2].target, u"CN=Ada,OU=Archive,OU=Apollo\\, Phase 2,OU=Projects,DC=records,DC=test");
    EXPECT_EQ(plan.steps[2].distinguishedName, child->distinguishedName());

    revivo::RestoreChain alone = revivo::PlanRestoreChain(step(*top), listed);
    ASSERT_EQ(alone.steps.size(), 1u);
    EXPECT_EQ(alone.steps[0].target, u"OU=Apollo\\, Phase 2,OU=Projects,DC=records,DC=test");

    revivo::RestoreChain into = revivo::PlanRestoreChain(step(*child), listed, u"OU=Elsewhere,DC=records,DC=test");
    ASSERT_EQ(into.steps.size(), 1u);
    EXPECT_EQ(into.steps[0].target, u"CN=Ada,OU=Elsewhere,DC=records,DC=test");

    // Without the middle one listed, the chain stops at it; nothing below it gets a DN yet.
    revivo::RestoreChain missing = revivo::PlanRestoreChain(step(*child), {child, top});
    EXPECT_EQ(missing.missingParent, tombstoneDn(u"OU=Archive", 2));
    ASSERT_EQ(missing.steps.size(), 1u);
    EXPECT_TRUE(missing.steps[0].target.empty());
    EXPECT_TRUE(missing.liveParent.empty());

    // Two tombstones that name each other as parents: no directory makes them, a file could.
    auto first = copy(u"OU=First", 4, tombstoneDn(u"OU=Second", 5));
    auto second = copy(u"OU=Second", 5, tombstoneDn(u"OU=First", 4));
    revivo::RestoreChain loop = revivo::PlanRestoreChain(step(*first), {first, second});
    EXPECT_FALSE(loop.missingParent.empty());
    EXPECT_EQ(loop.steps.size(), 2u);
}

// The provider's copy of a listed record holds the record's own texts: the receiver changing a
// value, or freeing the record, leaves the copy as it was listed; a value the record lacks is
// empty in the copy.
TEST(TombstoneCopyTest, ACopyKeepsTheListedTextsWhateverTheRecordDoesLater) {
    PropertySet* record = PropertySet::create();
    ASSERT_NE(record, nullptr);
    record->setText(u"distinguishedName", u"CN=Ann\\0ADEL:1,CN=Deleted Objects,DC=x");
    record->setSharedString(u"path", record->getString(u"distinguishedName"));
    record->setText(u"lastKnownParent", u"OU=Sales,DC=x");
    record->setText(u"name", u"Ann\nDEL:1");
    record->setCommonText(u"class", u"user");
    record->setText(kExpiresUtcKey, u"2027-01-01T00:00:00Z");
    revivo::TombstoneCopy copy(*record, 42);
    EXPECT_EQ(copy.distinguishedName().data(), record->getString(u"distinguishedName")) << "shared, not copied";

    record->setText(u"lastKnownParent", u"OU=Elsewhere,DC=x");
    record->setText(u"distinguishedName", u"CN=Ann,OU=Sales,DC=x");
    record->release();
    EXPECT_EQ(copy.distinguishedName(), u"CN=Ann\\0ADEL:1,CN=Deleted Objects,DC=x");
    EXPECT_EQ(copy.lastKnownParent(), u"OU=Sales,DC=x");
    EXPECT_EQ(copy.name(), u"Ann\nDEL:1");
    EXPECT_EQ(copy.className(), u"user");
    EXPECT_EQ(copy.expiresUtc(), u"2027-01-01T00:00:00Z");
    EXPECT_TRUE(copy.focusedDc().empty());
    EXPECT_TRUE(copy.expires().empty());
    EXPECT_EQ(copy.handedOut(), 42);
}

}  // namespace
