// Shared pieces of the schema cache's tests: hives without a domain for the whole program, index
// files written into a scratch folder, and a cache created on that folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "lumivel/directory_icons.h"
#include "schemacache/index_format.h"
#include "schemacache/index_writer.h"
#include "schemacache/schema_cache.h"
#include "schemacache/tests/index_test_support.h"
#include "lumivel/com_ptr.h"
#include "lumivel/unique_bstr.h"
#include "tests/support/private_hives.h"

namespace glossar::testing {

// Private hives, and no domain to reach: binds fail at once instead of looking for one.
class HivesWithoutDomain : public lumivel::testing::PrivateHives {
public:
    void SetUp() override {
        PrivateHives::SetUp();
        setenv("KRB5CCNAME", ("FILE:" + folder() + "/no-ticket").c_str(), 1);
        setenv("LUMIVEL_LDAP_CONNECT_TIMEOUT", "2", 1);
    }
};

struct ClassLine {
    std::u16string name;
    std::u16string friendly;
    std::u16string guid;
    bool container = false;
    std::u16string iconModule;
    int icon = 0;

    std::u16string record() const {
        return u"CN=" + name + u"|" + name + u"|" + friendly + u"|" + guid + u"|" + (container ? u"1" : u"0") + u"|" +
               iconModule + u"|" + (icon ? lumivel::FromUtf8(std::to_string(icon)) : u"");
    }
};

// The installation's own icon module and its ids (directory_icons.rc).
inline std::u16string OwnIcons() { return lumivel::directory::BuiltInIconModule(); }

// A small forest: classes with and without icons, containers and leaves, the classes that get
// "Disabled" images, an attribute and an extended right (its GUID in lower case, as the
// directory stores rights GUIDs).
inline std::vector<ClassLine> SampleClasses() {
    return {
        {u"container", u"Container", u"{BF967A8B-0DE6-11D0-A285-00AA003049E2}", true, OwnIcons(), 4097},
        {u"user", u"User", u"{BF967ABA-0DE6-11D0-A285-00AA003049E2}", false, OwnIcons(), 4100},
        {u"organizationalUnit", u"Organizational Unit", u"{BF967AA5-0DE6-11D0-A285-00AA003049E2}", true, OwnIcons(), 4098},
        {u"computer", u"Computer", u"{BF967A86-0DE6-11D0-A285-00AA003049E2}", false, OwnIcons(), 4102},
        {u"inetOrgPerson", u"InetOrgPerson", u"{4828CC14-1437-45BC-9B07-AD6F015E5F28}", false, OwnIcons(), 4100},
        {u"leafWithoutIcon", u"Leaf Without Icon", u"{11111111-2222-3333-4444-555555555555}", false, u"", 0},
        {u"boxWithoutIcon", u"Box Without Icon", u"{66666666-7777-8888-9999-AAAAAAAAAAAA}", true, u"", 0},
    };
}

inline std::vector<std::u16string> SampleAttributes() {
    return {u"CN=User-Force-Change-Password|Reset Password|{00299570-246d-11d0-a768-00aa006e0529}",
            u"CN=Common-Name|cn|{BF96793F-0DE6-11D0-A285-00AA003049E2}"};
}

inline void WriteIndex(const std::u16string& directory, const std::vector<ClassLine>& classes,
                       const std::vector<std::u16string>& attributes = SampleAttributes()) {
    std::vector<std::u16string> records;
    for (const auto& line : classes) records.push_back(line.record());
    IndexFileWriter writer(directory);
    ASSERT_TRUE(writer.stage(kClassIndexFile, records));
    ASSERT_TRUE(writer.stage(kAttributeIndexFile, attributes));
    ASSERT_TRUE(writer.commit());
}

// A cache on the folder, with the test program's resources and a generator wait of at most a
// second.
inline lumivel::ComPtr<ISchemaCache> NewCache(const std::u16string& directory) {
    SchemaCacheSettings settings;
    settings.moduleDirectory = directory;
    settings.resources = nullptr;
    settings.generatorTiming = {50, 20};
    lumivel::ComPtr<ISchemaCache> cache;
    EXPECT_EQ(SchemaCache::Create(settings, IID_ISchemaCache, cache.putVoid()), S_OK);
    return cache;
}

inline lumivel::UniqueBstr Text(const char16_t* text) { return lumivel::UniqueBstr(text); }

// The strings of an ADSI string array.
inline std::vector<std::u16string> Strings(const VARIANT& value) {
    std::vector<std::u16string> strings;
    if (value.vt != (VT_ARRAY | VT_VARIANT)) return strings;
    auto* elements = static_cast<VARIANT*>(value.parray->pvData);
    for (ULONG i = 0; i < value.parray->rgsabound[0].cElements; ++i)
        strings.emplace_back(elements[i].bstrVal, SysStringLen(elements[i].bstrVal));
    return strings;
}

inline LONG IconIndex(ISchemaCache* cache, const char16_t* name) {
    LONG index = -2;
    cache->GetIconIndex(Text(name).get(), &index);
    return index;
}

}  // namespace glossar::testing
