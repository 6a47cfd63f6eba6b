// The console on the test domain: the real provider lists the connected domain under the
// root, and expanding it fetches the domain's tombstones behind the busy icon.
#include <QApplication>

#include <cctype>

#include "lumivel/console_driver.h"
#include "lumivel/com_ptr.h"
#include "lumivel/text.h"
#include "lumivel/unique_bstr.h"
#include "shared/schema_cache_interface.h"
#include "win/commctrl.h"
#include "root_expansion.h"
#include "snapin_test_support.h"
#include "tests/support/directory_fixture.h"
#include "tests/support/private_hives.h"
#include "win/guid.h"

namespace {

using lumivel::console::ConsoleDriver;
using namespace snapin_test;

const auto* const g_hives =
    ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives(lumivel::testing::PrivateHives::Com::Initialize));

TEST(ConsoleDirectory, ShowsTheConnectedDomainAndFetchesItsTombstones) {
    REQUIRE_TEST_DIRECTORY();
    const std::string& domain = lumivel::testing::TestDirectory().domain;
    ASSERT_EQ(Regsvr("/s \"" + BinDir() + "/RevivoProvider.so\""), 0u);
    ASSERT_EQ(Regsvr("/s \"" + BinDir() + "/RevivoSnapin.so\""), 0u);
    ASSERT_EQ(Regsvr("/s \"" + BinDir() + "/Glossar.so\""), 0u);
    // The domain is stored for this user as the command line connects it.
    auto connected = lumivel::testing::RunChild(lumivel::FromUtf8("\"" + BinDir() + "/lumivel\" connect " + domain), 60000);
    ASSERT_EQ(connected.exitCode, 0u) << connected.output;

    ConsoleDriver console;
    CLSID snapin{};
    CLSIDFromString(kSnapinClsid, &snapin);
    ASSERT_EQ(console.open(snapin), S_OK);
    ASSERT_TRUE(ExpandRoot(console, StoredDomainCount()));
    HSCOPEITEM node = 0;
    for (HSCOPEITEM child : console.children(console.root()))
        if (lumivel::ToUtf8(console.shownName(child)) == domain) node = child;
    ASSERT_NE(node, 0) << "the connected domain is a node below the root";

    // The scope images are the schema cache's: the domain shows the cache's domainDNS icon.
    lumivel::ComPtr<ISchemaCache> cache;
    ASSERT_EQ(CoCreateInstance(CLSID_SchemaCache, nullptr, CLSCTX_INPROC_SERVER, IID_ISchemaCache, cache.putVoid()), S_OK);
    LONG domainIcon = -1;
    lumivel::UniqueBstr domainClass(u"domainDNS");
    ASSERT_EQ(cache->GetIconIndex(domainClass.get(), &domainIcon), S_OK);
    EXPECT_EQ(console.image(node), domainIcon);
    EXPECT_GT(ImageList_GetImageCount(console.session().smallScopeImages()), domainIcon);

    console.select(node);
    ASSERT_TRUE(console.runUntil([&] { return CountIn(console.statusText()) >= 0; }, 180000))
        << lumivel::ToUtf8(console.statusText());
    // The seeded domain holds a few dozen tombstones.
    EXPECT_GT(CountIn(console.statusText()), 10) << lumivel::ToUtf8(console.statusText());
    console.screenshot("console_test_domain");
}

}  // namespace
