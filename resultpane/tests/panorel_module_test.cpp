// Panorel.so as COM sees it: registered with regsvr, created by ProgID, IPanorel through its
// dispatch ids with pointer-sized addresses, and the control interfaces a container asks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "lumivel/registry_key.h"
#include "lumivel/variant_holder.h"
#include "lumivel/wide_string.h"
#include "tests/support/private_hives.h"
#include "resultpane/panorel.h"
#include "tests/support/temporary_directory.h"
#include "win/com.h"

namespace panoreltest {
namespace {

const auto* const kHives = ::testing::AddGlobalTestEnvironment(
    new lumivel::testing::PrivateHives(lumivel::testing::PrivateHives::Com::Initialize));

constexpr char16_t kClassKey[] = u"CLSID\\{EB82BE35-4FB6-424B-AEDB-6D2A61A0E632}";

std::string BinaryFolder() {
    const char* folder = std::getenv("LUMIVEL_BIN_DIR");
    return folder ? folder : ".";
}

std::optional<std::u16string> Value(const std::u16string& key, LPCWSTR name = nullptr) {
    lumivel::RegistryKey opened;
    if (opened.open(HKEY_CLASSES_ROOT, key.c_str(), KEY_READ) != ERROR_SUCCESS) return std::nullopt;
    return opened.readString(name);
}

class PanorelModule : public ::testing::Test {
protected:
    void SetUp() override {
        m_module = m_folder.path() + "/Panorel.so";
        std::filesystem::copy_file(BinaryFolder() + "/Panorel.so", m_module);
        ASSERT_EQ(regsvr(""), 0);
    }
    void TearDown() override { regsvr("/u"); }
    int regsvr(const std::string& options) {
        return std::system((BinaryFolder() + "/regsvr /s " + options + " '" + m_module + "'").c_str());
    }
    lumivel::testing::TemporaryDirectory m_folder;
    std::string m_module;
};

TEST_F(PanorelModule, RegistersTheControlItsNamesAndTypeLibraryAndRemovesThem) {
    const std::u16string classKey = kClassKey;
    const std::u16string module = lumivel::FromUtf8(m_module);
    struct Expected {
        std::u16string key;
        const char16_t* value;  // the default value, or of `name`
        std::optional<std::u16string> text;
    } expected[] = {
        {u"TarvoPanorel.Panorel.1", nullptr, u"Panorel Class"},
        {u"TarvoPanorel.Panorel.1\\CLSID", nullptr, u"{EB82BE35-4FB6-424B-AEDB-6D2A61A0E632}"},
        {u"TarvoPanorel.Panorel", nullptr, u"Panorel Class"},
        {u"TarvoPanorel.Panorel\\CLSID", nullptr, u"{EB82BE35-4FB6-424B-AEDB-6D2A61A0E632}"},
        {u"TarvoPanorel.Panorel\\CurVer", nullptr, u"TarvoPanorel.Panorel.1"},
        {classKey, nullptr, u"Panorel Class"},
        {classKey + u"\\ProgID", nullptr, u"TarvoPanorel.Panorel.1"},
        {classKey + u"\\VersionIndependentProgID", nullptr, u"TarvoPanorel.Panorel"},
        {classKey + u"\\InprocServer32", nullptr, module},
        {classKey + u"\\InprocServer32", u"ThreadingModel", u"Apartment"},
        {classKey + u"\\ToolboxBitmap32", nullptr, module + u", 101"},
        {classKey + u"\\MiscStatus", nullptr, u"0"},
        {classKey + u"\\MiscStatus\\1", nullptr, u"131473"},
        {classKey + u"\\TypeLib", nullptr, u"{BE8EB887-F74F-4E30-B517-6F64C16DCCAB}"},
        {classKey + u"\\Version", nullptr, u"1.0"},
        {u"TypeLib\\{BE8EB887-F74F-4E30-B517-6F64C16DCCAB}\\1.0", nullptr, u"Panorel 1.0 Type Library"},
        {u"Interface\\{D487C8AB-2D38-43C2-8F3F-4B9235B8B6C8}", nullptr, u"IPanorel"},
    };
    for (const Expected& each : expected) {
        if (each.value) EXPECT_EQ(Value(each.key, each.value), each.text) << lumivel::ToUtf8(each.key);
        else EXPECT_EQ(Value(each.key), each.text) << lumivel::ToUtf8(each.key);
    }
    for (const char16_t* empty : {u"Programmable", u"Control", u"Insertable"}) {
        lumivel::RegistryKey key;
        EXPECT_EQ(key.open(HKEY_CLASSES_ROOT, (classKey + u"\\" + empty).c_str(), KEY_READ), ERROR_SUCCESS)
            << lumivel::ToUtf8(empty);
    }
    ASSERT_EQ(regsvr("/u"), 0);
    EXPECT_FALSE(Value(u"TarvoPanorel.Panorel.1"));
    EXPECT_FALSE(Value(u"TarvoPanorel.Panorel"));
    EXPECT_FALSE(Value(kClassKey));
    EXPECT_FALSE(Value(u"Interface\\{D487C8AB-2D38-43C2-8F3F-4B9235B8B6C8}"));
}

TEST_F(PanorelModule, DispatchCarriesPointerSizedAddresses) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"TarvoPanorel.Panorel", &clsid), S_OK);
    lumivel::ComPtr<IDispatch> control;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, control.putVoid()), S_OK);
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(u"HSCOPEITEM");
    ASSERT_EQ(control->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    EXPECT_EQ(id, DISPID_PANOREL_HSCOPEITEM);

    VARIANT value;
    value.vt = VT_I8;
    value.llVal = 0x7ffe12345678LL;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{&value, &named, 1, 1};
    ASSERT_EQ(control->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr), S_OK);
    lumivel::VariantHolder result;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(control->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.get(), nullptr, nullptr), S_OK);
    EXPECT_EQ(result->vt, VT_I8);
    EXPECT_EQ(result->llVal, 0x7ffe12345678LL);

    value.vt = VT_I4;
    value.lVal = 42;
    ASSERT_EQ(control->Invoke(DISPID_PANOREL_SELECTEDNODE, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr,
                              nullptr),
              S_OK);
    lumivel::ComPtr<IPanorel> direct;
    ASSERT_EQ(control.queryInterface(IID_IPanorel, &direct), S_OK);
    LONG_PTR node = 0;
    direct->get_SelectedNode(&node);
    EXPECT_EQ(node, 42);
}

TEST_F(PanorelModule, AnswersTheContainersQuestions) {
    lumivel::ComPtr<IUnknown> control;
    ASSERT_EQ(CoCreateInstance(CLSID_Panorel, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, control.putVoid()), S_OK);
    for (const IID* iid : {&IID_IOleObject, &IID_IOleInPlaceObject, &IID_IOleInPlaceObjectWindowless, &IID_IOleWindow,
                           &IID_IOleInPlaceActiveObject, &IID_IOleControl, &IID_IViewObject, &IID_IViewObject2,
                           &IID_IViewObjectEx, &IID_IPersistStreamInit, &IID_IPersist, &IID_IPersistStorage,
                           &IID_ISpecifyPropertyPages, &IID_IDataObject, &IID_IProvideClassInfo,
                           &IID_IProvideClassInfo2}) {
        lumivel::ComPtr<IUnknown> answer;
        EXPECT_EQ(control->QueryInterface(*iid, answer.putVoid()), S_OK);
    }

    lumivel::ComPtr<IProvideClassInfo2> info;
    ASSERT_EQ(control.queryInterface(IID_IProvideClassInfo2, &info), S_OK);
    lumivel::ComPtr<ITypeInfo> type;
    ASSERT_EQ(info->GetClassInfo(type.put()), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(type->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, CLSID_Panorel));
    type->ReleaseTypeAttr(attributes);

    lumivel::ComPtr<IDataObject> data;
    ASSERT_EQ(control.queryInterface(IID_IDataObject, &data), S_OK);
    FORMATETC format{1, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    EXPECT_EQ(data->GetData(&format, &medium), DV_E_FORMATETC) << "no formats, said so";
    EXPECT_EQ(data->QueryGetData(&format), DV_E_FORMATETC);

    lumivel::ComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(control.queryInterface(IID_IPersistStreamInit, &persist), S_OK);
    lumivel::ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    EXPECT_EQ(persist->InitNew(), S_OK);
    EXPECT_EQ(persist->Save(stream.get(), TRUE), S_OK);
    EXPECT_EQ(persist->Load(stream.get()), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);
    CLSID saved{};
    EXPECT_EQ(persist->GetClassID(&saved), S_OK);
    EXPECT_TRUE(IsEqualGUID(saved, CLSID_Panorel));

    lumivel::ComPtr<ISpecifyPropertyPages> pages;
    ASSERT_EQ(control.queryInterface(IID_ISpecifyPropertyPages, &pages), S_OK);
    CAUUID none{5, reinterpret_cast<GUID*>(1)};
    EXPECT_EQ(pages->GetPages(&none), S_OK);
    EXPECT_EQ(none.cElems, 0u);
    EXPECT_EQ(none.pElems, nullptr);
}

}  // namespace
}  // namespace panoreltest
