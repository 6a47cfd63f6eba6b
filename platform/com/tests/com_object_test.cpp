#include <gtest/gtest.h>

#include "lumivel/com_object.h"
#include "win/oleauto.h"

namespace {

using namespace lumivel::com;

// {5E1D2B40-0C7A-4A77-9D61-7B1E8F3C2A01}
constexpr IID IID_ICounter = {0x5E1D2B40, 0x0C7A, 0x4A77, {0x9D, 0x61, 0x7B, 0x1E, 0x8F, 0x3C, 0x2A, 0x01}};
constexpr CLSID CLSID_Counter = {0x5E1D2B41, 0x0C7A, 0x4A77, {0x9D, 0x61, 0x7B, 0x1E, 0x8F, 0x3C, 0x2A, 0x01}};

struct ICounter : IUnknown {
    virtual LONG STDMETHODCALLTYPE Next() = 0;
};

int g_destroyed = 0;

class Counter : public ComObject<Counter, ICounter> {
public:
    static constexpr InterfaceEntry kInterfaces[] = {InterfaceOf<Counter, ICounter>(IID_ICounter)};
    ~Counter() override { ++g_destroyed; }
    LONG STDMETHODCALLTYPE Next() override { return ++m_value; }

private:
    LONG m_value = 0;
};

// An outer object that aggregates a Counter and hands out its ICounter as its own.
class Outer : public ComObject<Outer, IDispatch> {
public:
    static constexpr InterfaceEntry kInterfaces[] = {InterfaceOf<Outer, IDispatch>(IID_IDispatch)};
    IUnknown* inner = nullptr;
    HRESULT FinalConstruct() override {
        return CreateComObject<Counter>(ControllingUnknown(), IID_IUnknown, reinterpret_cast<void**>(&inner));
    }
    ~Outer() override {
        if (inner) inner->Release();
    }
    void* FindInterface(REFIID riid) override {
        if (void* own = FindInTable(kInterfaces, this, riid)) return own;
        if (riid == IID_ICounter) {
            // Delegation: the inner object's interface, whose IUnknown leads back here.
            void* counter = nullptr;
            if (SUCCEEDED(inner->QueryInterface(riid, &counter))) {
                // FindInterface's caller adds the reference; give back the one QI took.
                static_cast<IUnknown*>(counter)->Release();
                return counter;
            }
        }
        return nullptr;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
};

TEST(ComObject, ReferenceCountingAndIdentity) {
    g_destroyed = 0;
    ICounter* counter = nullptr;
    ASSERT_EQ(CreateComObject<Counter>(nullptr, IID_ICounter, reinterpret_cast<void**>(&counter)), S_OK);
    EXPECT_EQ(ThisModule().objects.load(), 1);
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    counter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
    counter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
    EXPECT_EQ(a, b) << "one identity";
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(counter->QueryInterface(IID_IDispatch, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(counter->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    a->Release();
    b->Release();
    EXPECT_EQ(g_destroyed, 0);
    EXPECT_EQ(counter->Release(), 0u);
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(ThisModule().objects.load(), 0);
}

TEST(ComObject, AggregationDelegatesToTheOuterObject) {
    g_destroyed = 0;
    IDispatch* outer = nullptr;
    ASSERT_EQ(CreateComObject<Outer>(nullptr, IID_IDispatch, reinterpret_cast<void**>(&outer)), S_OK);
    ICounter* counter = nullptr;
    ASSERT_EQ(outer->QueryInterface(IID_ICounter, reinterpret_cast<void**>(&counter)), S_OK);
    EXPECT_EQ(counter->Next(), 1);

    // The inner interface answers for the outer object: same identity, outer interfaces.
    IUnknown* fromInner = nullptr;
    IUnknown* fromOuter = nullptr;
    counter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromInner));
    outer->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromOuter));
    EXPECT_EQ(fromInner, fromOuter);
    IDispatch* back = nullptr;
    EXPECT_EQ(counter->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&back)), S_OK);
    EXPECT_EQ(back, outer);
    back->Release();
    fromInner->Release();
    fromOuter->Release();

    // References taken through the inner interface keep the outer object alive.
    outer->Release();
    EXPECT_EQ(g_destroyed, 0);
    EXPECT_EQ(counter->Next(), 2);
    counter->Release();
    EXPECT_EQ(g_destroyed, 1) << "the inner object goes with the outer one";
    EXPECT_EQ(ThisModule().objects.load(), 0);
}

TEST(ComObject, AggregationRules) {
    ICounter* counter = nullptr;
    ASSERT_EQ(CreateComObject<Counter>(nullptr, IID_ICounter, reinterpret_cast<void**>(&counter)), S_OK);
    void* out = nullptr;
    // Aggregated objects hand out only their inner IUnknown.
    EXPECT_EQ(CreateComObject<Counter>(counter, IID_ICounter, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ((CreateComObject<Counter, Aggregation::Refused>(counter, IID_IUnknown, &out)), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    counter->Release();
}

constexpr ClassEntry kClasses[] = {{&CLSID_Counter, CreateComObject<Counter>}};

TEST(ComObject, ClassFactoryTableAndModuleCounts) {
    IClassFactory* factory = nullptr;
    void* out = nullptr;
    EXPECT_EQ(GetClassObjectFromTable(kClasses, IID_ICounter, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(GetClassObjectFromTable(kClasses, CLSID_Counter, IID_IDispatch, &out), E_NOINTERFACE);
    ASSERT_EQ(GetClassObjectFromTable(kClasses, CLSID_Counter, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(CanUnloadThisModule(), S_FALSE) << "a live class object counts";
    ICounter* counter = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ICounter, reinterpret_cast<void**>(&counter)), S_OK);
    factory->LockServer(TRUE);
    factory->Release();
    counter->Release();
    EXPECT_EQ(CanUnloadThisModule(), S_FALSE) << "a lock counts";
    ThisModule().locks--;
    EXPECT_EQ(CanUnloadThisModule(), S_OK);
}

}  // namespace
