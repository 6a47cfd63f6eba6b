#include <gtest/gtest.h>

#include "lumivel/builtin_classes.h"
#include "lumivel/com_object.h"
#include "tests/support/private_hives.h"

namespace {

const ::testing::Environment* const kHives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

DEFINE_GUID(CLSID_BuiltinProbe, 0x6a1e2f30, 0x51c4, 0x4d0e, 0x9b, 0x11, 0x2c, 0x7d, 0x80, 0x41, 0x5e, 0x01);
DEFINE_GUID(CLSID_Unserved, 0x6a1e2f30, 0x51c4, 0x4d0e, 0x9b, 0x11, 0x2c, 0x7d, 0x80, 0x41, 0x5e, 0x02);

int g_requests = 0;

// Serves one class whose "class object" is a fake that only answers IUnknown; enough to see
// that CoGetClassObject asked the provider and handed its answer through unchanged.
struct ProbeFactory : IUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
        *ppv = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
} g_factory;

HRESULT ProbeProvider(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!IsEqualCLSID(rclsid, CLSID_BuiltinProbe)) return CLASS_E_CLASSNOTAVAILABLE;
    ++g_requests;
    return g_factory.QueryInterface(riid, ppv);
}

LUMIVEL_BUILTIN_CLASSES(ProbeProvider);

TEST(BuiltinClasses, AreFoundWithoutTheRegistryAndOthersStillNeedIt) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    IUnknown* object = nullptr;
    EXPECT_EQ(CoGetClassObject(CLSID_BuiltinProbe, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    EXPECT_EQ(object, &g_factory);
    EXPECT_EQ(g_requests, 1);

    // The provider's own refusal comes back as it is, with no object.
    object = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(CoGetClassObject(CLSID_BuiltinProbe, CLSCTX_INPROC_SERVER, nullptr, IID_IDispatch,
                               reinterpret_cast<void**>(&object)),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    EXPECT_EQ(CoGetClassObject(CLSID_Unserved, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    CoUninitialize();
}

}  // namespace
