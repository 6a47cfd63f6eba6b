// The control as a person sees it, painted by the Qt backend offscreen: sorted records with
// their icons above the details text. The picture lands in <build>/screenshots/.
#include <QApplication>
#include <QCoreApplication>

#include <cstdlib>
#include <filesystem>

#include "lumivel/qt_ui.h"
#include "lumivel/thread_queue.h"
#include "resultpane/tests/control_fixture.h"
#include "tests/support/private_hives.h"

namespace panoreltest {
namespace {

// The column choice the control keeps per user goes to a private hive, not the user's own.
const auto* const kHives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

void Settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        lumivel::RunPendingThreadWork();
    }
}

std::string ScreenshotPath(const std::string& name) {
    const char* bin = std::getenv("LUMIVEL_BIN_DIR");
    std::filesystem::path dir = bin ? std::filesystem::path(bin).parent_path() / "screenshots"
                                    : std::filesystem::temp_directory_path() / "lumivel-screenshots";
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

class Screenshot : public ControlTest {
protected:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static std::shared_ptr<lumivel::ui::Backend> backend = lumivel::qtui::MakeQtBackend();
        lumivel::ui::SetBackend(backend);
        headless = false;
        ControlTest::SetUp();
    }
};

TEST_F(Screenshot, RecordsWithIconsSortedAboveTheDetailsText) {
    cache->colours = {RGB(40, 90, 200), RGB(200, 140, 30), RGB(60, 160, 80)};
    cache->icons = {{u"user", 0}, {u"organizationalUnit", 1}, {u"group", 2}};
    provider->topColumns[2]->cx = 180;
    provider->topKeys[2] = u"parent";
    connect();
    control->SetMode(kPanorelModeBottomText);
    std::vector<PropertySet*> records;
    for (auto [name, className, parent] :
         {std::tuple{u"Dave Dunn", u"user", u"OU=Staff,OU=Lumivel Corp,DC=lumivel,DC=test"},
          std::tuple{u"Projects", u"organizationalUnit", u"OU=Lumivel Corp,DC=lumivel,DC=test"},
          std::tuple{u"Alice Archer", u"user", u"OU=Staff,OU=Lumivel Corp,DC=lumivel,DC=test"},
          std::tuple{u"Auditors", u"group", u"OU=Groups,OU=Lumivel Corp,DC=lumivel,DC=test"},
          std::tuple{u"Carol Cole", u"user", u"OU=Projects,OU=Lumivel Corp,DC=lumivel,DC=test"}})
        records.push_back(keep(MakeRecord(name, className, {{u"parent", parent}})));
    show(records);
    provider->detailsText = u"Deleted object, restorable: see https://lumivel.test/help\n\n";
    lumivel::ui::UserSetListSelection(control->topList(), {1}, 1);
    EXPECT_EQ(lumivel::ui::ListViewCellText(control->topList(), 1, 0), u"Auditors");
    EXPECT_EQ(lumivel::ui::ListViewCellImage(control->topList(), 1), 2);
    ShowWindow(host, SW_SHOW);
    Settle();
    ASSERT_TRUE(lumivel::ui::RenderWindowToPng(control->window(), ScreenshotPath("panorel-result-pane.png")));
    EXPECT_GT(std::filesystem::file_size(ScreenshotPath("panorel-result-pane.png")), 1000u);
}

TEST_F(Screenshot, ATombstonesDetailsBelowTheList) {
    cache->colours = {RGB(40, 90, 200), RGB(60, 160, 80)};
    cache->icons = {{u"user", 0}, {u"group", 1}};
    provider->topColumns[0]->cx = 150;
    provider->topColumns[2]->cx = 220;
    provider->topKeys[2] = u"parent";
    RECT wide{0, 0, 640, 420};
    control->SetObjectRects(&wide, &wide);
    connect();
    control->SetMode(kPanorelModeBottomText);
    std::vector<PropertySet*> records;
    for (auto [name, className] : {std::pair{u"Bob Baker", u"user"}, std::pair{u"Auditors", u"group"}})
        records.push_back(keep(MakeRecord(name, className, {{u"parent", u"OU=Staff,OU=Lumivel Corp,DC=lumivel,DC=test"}})));
    show(records);
    // As the provider words them; the selected record's name ends the text.
    provider->detailsText =
        u"Kept by the directory: 4 attributes\n"
        u"  cn: Bob Baker<U+000A>DEL:2b7e1f30-7a47-4b0a-9d49-1c1c2b6a3e01\n"
        u"  isDeleted: TRUE\n"
        u"  objectGUID: 2b7e1f30-7a47-4b0a-9d49-1c1c2b6a3e01\n"
        u"  objectSid: S-1-5-21-3623811015-3361044348-30300820-1104\n\n"
        u"Backups holding it in /backups/, newest first:\n"
        u"  planted.zip, 2026-12-02 08:00:00 UTC, from OU=Staff,DC=lumivel,DC=test, not trusted: the archive may be "
        u"written by every user\n"
        u"  staff.zip, 2026-12-01 09:00:00 UTC, from OU=Staff,DC=lumivel,DC=test, trusted\n"
        u"Lost since the newest trusted backup, staff.zip of 2026-12-01 09:00:00 UTC:\n"
        u"  telephoneNumber (1 value): Re-apply writes it back\n"
        u"  otherTelephone (2 values): Re-apply writes it back\n"
        u"  member of CN=Payroll,OU=Groups,DC=lumivel,DC=test: Re-apply joins it again\n"
        u"The Restore Plan offers \"Re-apply\": it writes 2 attributes and joins 1 group.\n\n";
    lumivel::ui::UserSetListSelection(control->topList(), {1}, 1);
    ShowWindow(host, SW_SHOW);
    Settle();
    ASSERT_TRUE(lumivel::ui::RenderWindowToPng(control->window(), ScreenshotPath("panorel-tombstone-details.png")));
    EXPECT_GT(std::filesystem::file_size(ScreenshotPath("panorel-tombstone-details.png")), 1000u);
}

TEST_F(Screenshot, TombstonesSortedByTheirPurgeTimeInTheExpiresColumn) {
    cache->colours = {RGB(40, 90, 200), RGB(60, 160, 80)};
    cache->icons = {{u"user", 0}, {u"group", 1}};
    provider->topColumns[0]->cx = 110;
    provider->topColumns[1]->cx = 60;
    provider->topColumns[2]->cx = 95;
    provider->offerExpiresColumn(125);
    connect();
    std::vector<PropertySet*> records;
    for (auto [name, className, parent, expires, expiresUtc] :
         {std::tuple{u"Dave Dunn", u"user", u"OU=Staff", u"06/02/2027 - 09:14", u"2027-06-02T09:14:00Z"},
          std::tuple{u"Auditors", u"group", u"OU=Groups", u"12/20/2026 - 17:40", u"2026-12-20T17:40:00Z"},
          std::tuple{u"Alice Archer", u"user", u"OU=Staff", u"01/11/2027 - 08:05", u"2027-01-11T08:05:00Z"},
          std::tuple{u"Carol Cole", u"user", u"OU=Projects", u"", u""}})
        records.push_back(keep(MakeRecord(
            name, className, {{u"parent", parent}, {u"Expires", expires}, {u"ExpiresUtc", expiresUtc}})));
    show(records);
    rightClick(control->topList(), u"Show &Expires Column");
    ASSERT_TRUE(control->expiresColumnShown());
    lumivel::ui::UserListColumnClick(control->topList(), 3);
    EXPECT_EQ(lumivel::ui::ListViewCellText(control->topList(), 0, 0), u"Auditors");
    EXPECT_EQ(lumivel::ui::ListViewCellText(control->topList(), 3, 3), u"") << "no purge time, last";
    ShowWindow(host, SW_SHOW);
    Settle();
    ASSERT_TRUE(lumivel::ui::RenderWindowToPng(control->window(), ScreenshotPath("panorel-expires-column.png")));
    EXPECT_GT(std::filesystem::file_size(ScreenshotPath("panorel-expires-column.png")), 1000u);
}

TEST_F(Screenshot, FilterBarNarrowsTheListToTheTypedTextAndDays) {
    cache->colours = {RGB(40, 90, 200), RGB(200, 140, 30)};
    cache->icons = {{u"user", 0}, {u"organizationalUnit", 1}};
    provider->topColumns[0]->cx = 120;
    provider->topColumns[1]->cx = 110;
    provider->topColumns[2]->cx = 230;
    provider->topKeys[2] = u"parent";
    RECT wide{0, 0, 620, 300};
    control->SetObjectRects(&wide, &wide);
    connect();
    PropertySet* domain = keep(MakeRecord(u"lumivel.test", u"domainDNS"));
    control->put_SelectedNode(reinterpret_cast<LONG_PTR>(domain));
    std::vector<PropertySet*> records;
    for (auto [name, className, parent] :
         {std::tuple{u"\u00C5ngstr\u00F6m Lab", u"organizationalUnit", u"OU=Research,DC=lumivel,DC=test"},
          std::tuple{u"Ann Lindstr\u00F6m", u"user", u"OU=Research,DC=lumivel,DC=test"},
          std::tuple{u"Bob Baker", u"user", u"OU=Payroll,DC=lumivel,DC=test"},
          std::tuple{u"Carol Cole", u"user", u"OU=Staff,DC=lumivel,DC=test"}})
        records.push_back(
            keep(MakeRecord(name, className, {{u"parent", parent}, {u"DateDeletedUtc", u"2026-03-04T10:00:00Z"}})));
    show(records);
    ASSERT_TRUE(lumivel::ui::UserSetEditText(control->filterEdit(), u"strom"));
    EXPECT_EQ(lumivel::ui::ListViewItemCount(control->topList()), 2);
    EXPECT_EQ(console->status, u"2 of 4 deleted objects shown.");
    lumivel::ui::UserClickButton(control->deletedAfterCheck());
    SYSTEMTIME march{2026, 3, 0, 1, 0, 0, 0, 0};
    lumivel::ui::UserSetDateTime(control->deletedAfterPicker(), &march);
    EXPECT_EQ(lumivel::ui::ListViewItemCount(control->topList()), 2);
    ShowWindow(host, SW_SHOW);
    Settle();
    ASSERT_TRUE(lumivel::ui::RenderWindowToPng(control->window(), ScreenshotPath("panorel-filter-bar.png")));
    EXPECT_GT(std::filesystem::file_size(ScreenshotPath("panorel-filter-bar.png")), 1000u);
}

TEST_F(Screenshot, FirstRunColumnsFitThePaneAndDeletedParentsReadAsNames) {
    cache->colours = {RGB(40, 90, 200), RGB(200, 140, 30)};
    cache->icons = {{u"user", 0}, {u"organizationalUnit", 1}};
    provider->clearTopColumns();
    provider->addColumn(u"Name", u"name", 100);
    provider->addColumn(u"Last Known Parent", u"parent", 100);
    provider->addColumn(u"Class", u"FriendlyClassName", 100);
    RECT wide{0, 0, 620, 240};
    control->SetObjectRects(&wide, &wide);
    connect();
    std::vector<PropertySet*> records;
    for (auto [name, className, friendly, parent] :
         {std::tuple{u"Payroll\nDEL:9a8b7c6d-0000-4000-8000-00000000000a", u"organizationalUnit", u"Organizational Unit",
                     u"OU=Finance,DC=lumivel,DC=test"},
          std::tuple{u"Bob Baker\nDEL:0f1e2d3c-0000-4000-8000-000000000002", u"user", u"User",
                     u"OU=Payroll\\0ADEL:9a8b7c6d-0000-4000-8000-00000000000a,CN=Deleted Objects,DC=lumivel,DC=test"},
          std::tuple{u"Carol Cole\nDEL:0f1e2d3c-0000-4000-8000-000000000003", u"user", u"User",
                     u"OU=Staff,DC=lumivel,DC=test"}})
        records.push_back(keep(MakeRecord(name, className, {{u"parent", parent}, {u"FriendlyClassName", friendly}})));
    show(records);
    EXPECT_EQ(lumivel::ui::ListViewCellText(control->topList(), 0, 1), u"OU=Payroll (deleted)");
    ShowWindow(host, SW_SHOW);
    Settle();
    ASSERT_TRUE(lumivel::ui::RenderWindowToPng(control->window(), ScreenshotPath("panorel-readable-places.png")));
    EXPECT_GT(std::filesystem::file_size(ScreenshotPath("panorel-readable-places.png")), 1000u);
}

}  // namespace
}  // namespace panoreltest
