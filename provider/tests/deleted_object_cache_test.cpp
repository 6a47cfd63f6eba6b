// The deleted-object cache behind EnumDeletedObjects and reanimation, on a scripted directory:
// one list per naming context, kept by several workers listing at once, replaced only by a
// whole listing, and deleted parents whose last known parents lead round in a circle.
// Built a second time with ThreadSanitizer (see provider/CMakeLists.txt).
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "lumivel/com_ptr.h"
#include "lumivel/ui_test_hook.h"
#include "lumivel/unique_bstr.h"
#include "provider/common/resource_ids.h"
#include "provider/revivo.h"
#include "provider/tests/scripted_search.h"
#include "tests/support/private_hives.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"

using lumivel::ComPtr;
using namespace revivo_test;

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

std::u16string guidOf(int n) {
    std::u16string guid = u"00000000-0000-4000-8000-0000000000";
    guid += static_cast<char16_t>(u'0' + n / 10 % 10);
    guid += static_cast<char16_t>(u'0' + n % 10);
    return guid;
}

// The tombstone of object number n of a naming context, deleted from parentDn.
Row tombstone(int n, const std::u16string& namingContext, const std::u16string& parentDn,
              const std::u16string& className = u"user") {
    std::u16string name = u"Object " + std::u16string(1, static_cast<char16_t>(u'A' + n % 26));
    std::u16string relative = className == u"organizationalUnit" ? u"OU=" : u"CN=";
    return Row{{u"cn", {ignoreCase(name + u"\nDEL:" + guidOf(n))}},
               {u"distinguishedName",
                {dn(relative + name + u"\\0ADEL:" + guidOf(n) + u",CN=Deleted Objects," + namingContext)}},
               {u"lastKnownParent", {dn(parentDn)}},
               {u"objectClass", {ignoreCase(u"top"), ignoreCase(className)}}};
}

// The mangled DN object number n has as a parent that was deleted too.
std::u16string deletedParent(int n, const std::u16string& namingContext) {
    return u"OU=Object " + std::u16string(1, static_cast<char16_t>(u'A' + n % 26)) + u"\\0ADEL:" + guidOf(n) +
           u",CN=Deleted Objects," + namingContext;
}

// Naming contexts with their tombstones; every listing gets a search of its own.
class ScriptedDirectory {
public:
    std::map<std::u16string, std::vector<Row>> contents;
    HRESULT openResult = S_OK;
    size_t breakAfter = SIZE_MAX;
    HRESULT rowResult = S_OK;

    revivo::DeletedObjectsOpener opener() {
        return [this](LPCWSTR namingContext, std::u16string* used, IDirectorySearch** search) -> HRESULT {
            std::lock_guard<std::mutex> guard(m_lock);
            if (FAILED(openResult)) return openResult;
            std::u16string context = namingContext ? namingContext : u"DC=default,DC=test";
            auto found = contents.find(context);
            if (found == contents.end()) return HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT);
            auto scripted = std::make_unique<ScriptedSearch>();
            scripted->rows = found->second;
            scripted->breakAfter = breakAfter;
            scripted->rowResult = rowResult;
            *search = scripted.get();
            *used = context;
            m_searches.push_back(std::move(scripted));
            return S_OK;
        };
    }

private:
    std::mutex m_lock;
    std::vector<std::unique_ptr<ScriptedSearch>> m_searches;
};

class DeletedObjectCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The console thread's apartment comes first, as in the console; it also sets up the
        // platform's lazily made state before any worker starts.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(revivo::Revivo::CreateInstance(nullptr, IID_IRevivo, m_revivo.putVoid()), S_OK);
        m_provider = static_cast<revivo::Revivo*>(m_revivo.get());
        m_provider->setDeletedObjectsOpener(m_directory.opener());
    }
    void TearDown() override {
        lumivel::ui::SetTestHook({});
        m_owned.clear();
        m_revivo.reset();
        CoUninitialize();
    }

    PropertySet* node(const std::u16string& namingContext) {
        PropertySet* record = PropertySet::create();
        record->IsNode = 1;
        record->enableLock();
        record->setText(u"NamingContext", namingContext);
        record->setText(u"FocusedDC", u"dc1.lumivel.test");
        m_nodes.emplace_back(record);
        return record;
    }
    HRESULT list(PropertySet* from, std::vector<PropertySet*>* records, const char16_t* filter = nullptr) {
        VARIANT objects;
        VariantInit(&objects);
        lumivel::UniqueBstr text(filter);
        HRESULT result = m_revivo->EnumDeletedObjects(reinterpret_cast<LONG_PTR>(from), text.get(), &objects);
        if (FAILED(result)) {
            EXPECT_EQ(objects.vt, VT_EMPTY) << "a failed listing hands out nothing";
        }
        *records = lumivel::shared::ReadObjectList(&objects);
        VariantClear(&objects);
        for (PropertySet* record : *records) m_owned.emplace_back(record);
        return result;
    }

    struct Release {
        void operator()(PropertySet* record) const { record->release(); }
    };
    ScriptedDirectory m_directory;
    ComPtr<IRevivo> m_revivo;
    revivo::Revivo* m_provider = nullptr;
    std::vector<std::unique_ptr<PropertySet, Release>> m_nodes, m_owned;
};

// Two domain nodes' workers list at once while the console thread sets a node's DC (command
// 312): each naming context keeps its own whole list, so neither throws the other's parents
// away, and every record carries a DC the node really had.
TEST_F(DeletedObjectCacheTest, TwoWorkersListingTwoNamingContextsKeepBothLists) {
    const std::u16string first = u"DC=first,DC=test", second = u"DC=second,DC=test";
    for (int i = 0; i < 40; ++i) m_directory.contents[first].push_back(tombstone(i, first, u"OU=Sales," + first));
    for (int i = 0; i < 25; ++i) m_directory.contents[second].push_back(tombstone(i, second, u"OU=Staff," + second));
    PropertySet* nodes[2] = {node(first), node(second)};
    const std::u16string controllers[] = {u"dc1.lumivel.test", u"dc2.lumivel.test"};

    std::atomic<bool> listing{true};
    std::atomic<int> wrong{0};
    auto worker = [&](int index) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        for (int round = 0; round < 30; ++round) {
            VARIANT objects;
            VariantInit(&objects);
            if (m_revivo->EnumDeletedObjects(reinterpret_cast<LONG_PTR>(nodes[index]), nullptr, &objects) != S_OK)
                ++wrong;
            std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(&objects);
            if (records.size() != (index == 0 ? 40u : 25u)) ++wrong;
            for (PropertySet* record : records) {
                std::u16string_view dc = record->getText(u"FocusedDC");
                if (dc != controllers[0] && dc != controllers[1]) ++wrong;
            }
            lumivel::shared::FreeObjectListRecords(&objects);
        }
        CoUninitialize();
    };
    std::thread one(worker, 0), two(worker, 1);
    std::thread console([&] {
        for (int i = 0; listing; ++i) {
            nodes[i % 2]->setText(u"FocusedDC", controllers[i % 2 == 0 ? 1 : 0]);
            nodes[i % 2]->setText(u"FocusedDC", controllers[0]);
            (void)m_provider->deletedObjectCacheSize();
        }
    });
    one.join();
    two.join();
    listing = false;
    console.join();
    EXPECT_EQ(wrong.load(), 0);
    // Both lists stay, although the records they were handed out as are gone.
    EXPECT_EQ(m_provider->deletedObjectCacheSize(first), 40u);
    EXPECT_EQ(m_provider->deletedObjectCacheSize(second), 25u);
    EXPECT_EQ(m_provider->deletedObjectCacheSize(), 65u);
}

// A listing that fails (the container cannot be opened, or the search breaks off) returns its
// HRESULT and leaves the naming context's last whole list; a filtered listing forgets only its
// own naming context's list.
TEST_F(DeletedObjectCacheTest, OnlyWholeListingsReplaceTheList) {
    const std::u16string first = u"DC=first,DC=test", second = u"DC=second,DC=test";
    for (int i = 0; i < 12; ++i) m_directory.contents[first].push_back(tombstone(i, first, u"OU=Sales," + first));
    m_directory.contents[second].push_back(tombstone(1, second, u"OU=Staff," + second));
    std::vector<PropertySet*> records;
    ASSERT_EQ(list(node(first), &records), S_OK);
    ASSERT_EQ(records.size(), 12u);
    ASSERT_EQ(list(node(second), &records), S_OK);

    m_directory.contents[first].push_back(tombstone(20, first, u"OU=Sales," + first));
    m_directory.breakAfter = 5;
    m_directory.rowResult = HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN);
    EXPECT_EQ(list(node(first), &records), HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN));
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(m_provider->deletedObjectCacheSize(first), 12u);
    // An answer the server's limits cut short at a page's end is no whole listing either.
    for (const HRESULT cut : {HRESULT_FROM_WIN32(ERROR_DS_SIZELIMIT_EXCEEDED), HRESULT_FROM_WIN32(ERROR_DS_ADMIN_LIMIT_EXCEEDED)}) {
        m_directory.rowResult = cut;
        EXPECT_EQ(list(node(first), &records), cut);
        EXPECT_TRUE(records.empty());
        EXPECT_EQ(m_provider->deletedObjectCacheSize(first), 12u);
    }

    m_directory.breakAfter = SIZE_MAX;
    m_directory.openResult = HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT);
    EXPECT_EQ(list(node(first), &records), HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT));
    EXPECT_EQ(m_provider->deletedObjectCacheSize(first), 12u);

    m_directory.openResult = S_OK;
    ASSERT_EQ(list(node(first), &records, u"CN=Object B"), S_OK);
    EXPECT_EQ(m_provider->deletedObjectCacheSize(first), 0u);
    EXPECT_EQ(m_provider->deletedObjectCacheSize(second), 1u);
    ASSERT_EQ(list(node(first), &records), S_OK);
    EXPECT_EQ(m_provider->deletedObjectCacheSize(first), 13u);
}

// Tombstones whose last known parents lead back to themselves, through one, two or three
// deleted parents, or down a chain longer than any real one, are refused with the directory's
// loop text before anything is sent, and nothing leaves the cache.
TEST_F(DeletedObjectCacheTest, ParentChainsThatCircleOrNeverEndAreRefused) {
    const std::u16string context = u"DC=loops,DC=test";
    auto& rows = m_directory.contents[context];
    // 0 -> 0; 1 -> 2 -> 1; 3 -> 4 -> 5 -> 3; 10 -> 11 -> ... -> 89 -> 10 (more than 64 long).
    rows.push_back(tombstone(0, context, deletedParent(0, context), u"organizationalUnit"));
    rows.push_back(tombstone(1, context, deletedParent(2, context), u"organizationalUnit"));
    rows.push_back(tombstone(2, context, deletedParent(1, context), u"organizationalUnit"));
    rows.push_back(tombstone(3, context, deletedParent(4, context), u"organizationalUnit"));
    rows.push_back(tombstone(4, context, deletedParent(5, context), u"organizationalUnit"));
    rows.push_back(tombstone(5, context, deletedParent(3, context), u"organizationalUnit"));
    for (int i = 10; i < 90; ++i)
        rows.push_back(tombstone(i, context, deletedParent(i + 1 < 90 ? i + 1 : 10, context), u"organizationalUnit"));
    std::vector<PropertySet*> records;
    ASSERT_EQ(list(node(context), &records), S_OK);
    ASSERT_EQ(records.size(), rows.size());
    const size_t cached = m_provider->deletedObjectCacheSize();

    std::vector<lumivel::ui::Surface> shown;
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        shown.push_back(surface);
        return IDOK;
    });
    ComPtr<IProviderCommands> commands;
    ASSERT_EQ(m_revivo.queryInterface(IID_IProviderCommands, &commands), S_OK);
    for (size_t start : {size_t(0), size_t(1), size_t(4), size_t(6)}) {
        SCOPED_TRACE(start);
        shown.clear();
        VARIANT selection, result;
        VariantInit(&selection);
        VariantInit(&result);
        lumivel::shared::RecordToVariant(records[start], &selection);
        EXPECT_EQ(commands->ExecuteCommand(nullptr, 1, ID_RESTORE, &selection, &result), S_FALSE);
        EXPECT_EQ(result.vt, VT_EMPTY);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].caption, u"Restore Object");
        EXPECT_EQ(shown[0].text, u"Loop Detected");
        EXPECT_EQ(shown[0].style & 0xF0u, static_cast<UINT>(MB_ICONSTOP));
        EXPECT_EQ(m_provider->deletedObjectCacheSize(), cached);
    }
}

}  // namespace

namespace {

// Takes a paged listing's records, and fails the one after `failAfter` with `failure`.
class CollectingSink final : public lumivel::com::ComObject<CollectingSink, IDeletedObjectSink> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<CollectingSink, IDeletedObjectSink>(IID_IDeletedObjectSink),
    };
    std::vector<std::u16string> names;
    size_t failAfter = SIZE_MAX;
    HRESULT failure = S_OK;

    STDMETHODIMP TakeDeletedObject(LONG_PTR lRecord) override {
        auto* record = reinterpret_cast<PropertySet*>(lRecord);
        names.emplace_back(record->getText(u"name"));
        record->release();
        return names.size() > failAfter ? failure : S_OK;
    }
};

}  // namespace

// A listing a record at a time gives what the whole one gives, in its order, to a sink that
// owns each record it is given. The receiver holds none, so
// the naming context's list is forgotten; a listing that breaks off, or that the sink stops,
// fails with that failure after the records before it, and leaves the list as it was.
TEST_F(DeletedObjectCacheTest, APagedListingHandsEachRecordOverAndRemembersNone) {
    const std::u16string context = u"DC=paged,DC=test";
    for (int i = 0; i < 12; ++i) m_directory.contents[context].push_back(tombstone(i, context, u"OU=Sales," + context));
    std::vector<PropertySet*> whole;
    ASSERT_EQ(list(node(context), &whole), S_OK);
    ASSERT_EQ(m_provider->deletedObjectCacheSize(context), 12u);
    std::vector<std::u16string> wholeNames;
    for (const PropertySet* record : whole) wholeNames.emplace_back(record->getText(u"name"));

    ComPtr<IDeletedObjectPages> pages;
    ASSERT_EQ(m_revivo.queryInterface(IID_IDeletedObjectPages, &pages), S_OK);
    PropertySet* from = node(context);
    EXPECT_EQ(pages->EnumDeletedObjectsTo(reinterpret_cast<LONG_PTR>(from), nullptr, nullptr), E_POINTER);

    ComPtr<CollectingSink> stopping = lumivel::com::NewComObject<CollectingSink>();
    stopping->failAfter = 3;
    stopping->failure = E_ABORT;
    EXPECT_EQ(pages->EnumDeletedObjectsTo(reinterpret_cast<LONG_PTR>(from), nullptr, stopping.get()), E_ABORT);
    EXPECT_EQ(stopping->names.size(), 4u);
    EXPECT_EQ(m_provider->deletedObjectCacheSize(context), 12u);

    m_directory.breakAfter = 5;
    m_directory.rowResult = HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN);
    ComPtr<CollectingSink> broken = lumivel::com::NewComObject<CollectingSink>();
    EXPECT_EQ(pages->EnumDeletedObjectsTo(reinterpret_cast<LONG_PTR>(from), nullptr, broken.get()),
              HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN));
    EXPECT_EQ(broken->names, std::vector<std::u16string>(wholeNames.begin(), wholeNames.begin() + 5));
    EXPECT_EQ(m_provider->deletedObjectCacheSize(context), 12u);

    m_directory.breakAfter = SIZE_MAX;
    ComPtr<CollectingSink> sink = lumivel::com::NewComObject<CollectingSink>();
    ASSERT_EQ(pages->EnumDeletedObjectsTo(reinterpret_cast<LONG_PTR>(from), nullptr, sink.get()), S_OK);
    EXPECT_EQ(sink->names, wholeNames);
    EXPECT_EQ(m_provider->deletedObjectCacheSize(context), 0u);
}
