#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>

#include "lumivel/com_object.h"
#include "lumivel/dispatch_table.h"
#include "lumivel/thread_queue.h"
#include "tests/support/variant_builders.h"
#include "win/objidl.h"

namespace {

using namespace lumivel::com;

constexpr IID IID_ICalc = {0x0B7E6C10, 0x52AF, 0x4E3B, {0x8A, 0x11, 0x6F, 0x3C, 0x90, 0x2D, 0x41, 0x7E}};

struct ICalc : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Add(LONG a, LONG b, LONG* sum) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Name(BSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE Fail() = 0;
    virtual HRESULT STDMETHODCALLTYPE Greet(BSTR who, VARIANT punctuation, BSTR* text) = 0;
};

constexpr DispatchParam kAddParams[] = {{u"a", VT_I4}, {u"b", VT_I4}};
constexpr DispatchParam kNameParams[] = {{u"value", VT_BSTR}};
constexpr DispatchParam kGreetParams[] = {{u"who", VT_BSTR}, {u"punctuation", VT_VARIANT, true}};

constexpr DispatchMember kCalcMembers[] = {
    {u"Add", 1, DISPATCH_METHOD, kAddParams, 2, VT_I4,
     [](void* self, VARIANT* args, VARIANT* result) {
         result->vt = VT_I4;
         return static_cast<ICalc*>(self)->Add(args[0].lVal, args[1].lVal, &result->lVal);
     },
     u"method Add"},
    {u"Name", 2, DISPATCH_PROPERTYGET, nullptr, 0, VT_BSTR,
     [](void* self, VARIANT*, VARIANT* result) {
         result->vt = VT_BSTR;
         return static_cast<ICalc*>(self)->get_Name(&result->bstrVal);
     },
     u"property Name"},
    {u"Name", 2, DISPATCH_PROPERTYPUT, kNameParams, 1, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) { return static_cast<ICalc*>(self)->put_Name(args[0].bstrVal); },
     u"property Name"},
    {u"Fail", 3, DISPATCH_METHOD, nullptr, 0, VT_EMPTY,
     [](void* self, VARIANT*, VARIANT*) { return static_cast<ICalc*>(self)->Fail(); }, u"method Fail"},
    {u"Greet", 4, DISPATCH_METHOD, kGreetParams, 2, VT_BSTR,
     [](void* self, VARIANT* args, VARIANT* result) {
         result->vt = VT_BSTR;
         return static_cast<ICalc*>(self)->Greet(args[0].bstrVal, args[1], &result->bstrVal);
     },
     u"method Greet"},
};

constexpr DispatchInterface kCalcTable = {&IID_ICalc, u"ICalc", u"ICalc Interface", kCalcMembers,
                                          std::size(kCalcMembers)};

class Calc : public ComObject<Calc, DispatchFromTable<ICalc, kCalcTable>> {
public:
    static constexpr InterfaceEntry kInterfaces[] = {InterfaceOf<Calc, ICalc>(IID_ICalc),
                                                     InterfaceOf<Calc, ICalc>(IID_IDispatch)};
    HRESULT STDMETHODCALLTYPE Add(LONG a, LONG b, LONG* sum) override {
        *sum = a + b;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override {
        *name = SysAllocString(m_name.c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Name(BSTR name) override {
        m_name = name ? name : u"";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Fail() override { return E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE Greet(BSTR who, VARIANT punctuation, BSTR* text) override {
        std::u16string out = u"Hello " + std::u16string(who ? who : u"");
        out += punctuation.vt == VT_BSTR ? punctuation.bstrVal : u".";
        *text = SysAllocString(out.c_str());
        return S_OK;
    }

private:
    std::u16string m_name = u"calc";
};

class DispatchTable : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CreateComObject<Calc>(nullptr, IID_IDispatch, reinterpret_cast<void**>(&m_dispatch)), S_OK);
    }
    void TearDown() override { m_dispatch->Release(); }

    DISPID IdOf(const char16_t* name) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = 0;
        EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK) << "name lookup";
        return id;
    }

    // Calls with positional arguments given first to last.
    HRESULT Call(DISPID id, WORD flags, std::initializer_list<VARIANT> args, VARIANT* result, UINT* argErr = nullptr,
                 EXCEPINFO* info = nullptr) {
        std::vector<VARIANT> reversed(args.begin(), args.end());
        std::reverse(reversed.begin(), reversed.end());
        DISPPARAMS params = {reversed.data(), nullptr, UINT(reversed.size()), 0};
        return m_dispatch->Invoke(id, IID_NULL, 0, flags, &params, result, info, argErr);
    }

    IDispatch* m_dispatch = nullptr;
};

using lumivel::testing::I4;
using lumivel::testing::Text;

TEST_F(DispatchTable, NamesIgnoreCase) {
    EXPECT_EQ(IdOf(u"add"), 1);
    EXPECT_EQ(IdOf(u"NAME"), 2);
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"Greet"), const_cast<LPOLESTR>(u"PUNCTUATION"),
                        const_cast<LPOLESTR>(u"nope")};
    DISPID ids[3];
    EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, names, 3, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 4);
    EXPECT_EQ(ids[1], 1);
    EXPECT_EQ(ids[2], DISPID_UNKNOWN);
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"Subtract")};
    EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, unknown, 1, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_IDispatch, unknown, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(DispatchTable, InvokeCoercesArguments) {
    VARIANT result;
    VariantInit(&result);
    // Scripts pass text and doubles; the method sees longs.
    VARIANT two = Text(u"2");
    VARIANT half;
    half.vt = VT_R8;
    half.dblVal = 3.5;
    ASSERT_EQ(Call(IdOf(u"Add"), DISPATCH_METHOD | DISPATCH_PROPERTYGET, {two, half}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 6);  // 3.5 rounds to 4
    VariantClear(&two);

    UINT argErr = 99;
    VARIANT bad = Text(u"two");
    EXPECT_EQ(Call(1, DISPATCH_METHOD, {I4(1), bad}, &result, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u) << "rgvarg index of the second argument";
    VariantClear(&bad);
    VARIANT big;
    big.vt = VT_R8;
    big.dblVal = 1e12;
    EXPECT_EQ(Call(1, DISPATCH_METHOD, {big, I4(1)}, &result, &argErr), DISP_E_OVERFLOW);
    EXPECT_EQ(argErr, 1u);

    EXPECT_EQ(Call(1, DISPATCH_METHOD, {I4(1)}, &result), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(1, DISPATCH_METHOD, {I4(1), I4(2), I4(3)}, &result), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(77, DISPATCH_METHOD, {}, &result), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(1, DISPATCH_PROPERTYGET, {I4(1), I4(2)}, &result), DISP_E_MEMBERNOTFOUND)
        << "Add is a method, not a property";
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(m_dispatch->Invoke(1, IID_IDispatch, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
}

TEST_F(DispatchTable, PropertiesAndNamedArguments) {
    VARIANT value = Text(u"renamed");
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&value, &put, 1, 1};
    ASSERT_EQ(m_dispatch->Invoke(2, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr), S_OK);
    // A put without the DISPID_PROPERTYPUT name is refused.
    DISPPARAMS unnamed = {&value, nullptr, 1, 0};
    EXPECT_EQ(m_dispatch->Invoke(2, IID_NULL, 0, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr, nullptr),
              DISP_E_PARAMNOTFOUND);
    VariantClear(&value);

    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(Call(2, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_EQ(std::u16string(result.bstrVal), u"renamed");
    VariantClear(&result);

    // Named arguments by parameter DISPID, and a missing optional one.
    VARIANT args[2] = {Text(u"?"), Text(u"you")};
    DISPID names[] = {1, 0};
    DISPPARAMS named = {args, names, 2, 2};
    ASSERT_EQ(m_dispatch->Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &named, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::u16string(result.bstrVal), u"Hello you?");
    VariantClear(&result);
    ASSERT_EQ(Call(4, DISPATCH_METHOD, {args[1]}, &result), S_OK);
    EXPECT_EQ(std::u16string(result.bstrVal), u"Hello you.");
    VariantClear(&result);
    DISPID wrong[] = {5, 0};
    named.rgdispidNamedArgs = wrong;
    UINT argErr = 99;
    EXPECT_EQ(m_dispatch->Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &named, &result, nullptr, &argErr),
              DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(argErr, 0u);
    VariantClear(&args[0]);
    VariantClear(&args[1]);
}

TEST_F(DispatchTable, FailuresBecomeExceptions) {
    EXCEPINFO info;
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(Call(3, DISPATCH_METHOD, {}, &result, nullptr, &info), DISP_E_EXCEPTION);
    EXPECT_EQ(info.scode, E_ACCESSDENIED);
    EXPECT_EQ(std::u16string(info.bstrSource), u"ICalc");
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    EXPECT_EQ(Call(3, DISPATCH_METHOD, {}, &result), E_ACCESSDENIED) << "without EXCEPINFO the code itself";
}

// The type information describes the table: what a type library would say of the interface.
TEST_F(DispatchTable, TypeInformationDescribesTheTable) {
    UINT count = 7;
    EXPECT_EQ(m_dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(m_dispatch->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
    ASSERT_EQ(m_dispatch->GetTypeInfo(0, 0, &info), S_OK);

    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID_ICalc));
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    EXPECT_EQ(attr->cFuncs, std::size(kCalcMembers));
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    info->ReleaseTypeAttr(attr);

    struct Expected {
        MEMBERID id;
        INVOKEKIND kind;
        SHORT params, optional;
        VARTYPE result;
    } expected[] = {{1, INVOKE_FUNC, 2, 0, VT_I4},         {2, INVOKE_PROPERTYGET, 0, 0, VT_BSTR},
                    {2, INVOKE_PROPERTYPUT, 1, 0, VT_VOID}, {3, INVOKE_FUNC, 0, 0, VT_VOID},
                    {4, INVOKE_FUNC, 2, 1, VT_BSTR}};
    for (UINT i = 0; i < std::size(expected); ++i) {
        FUNCDESC* desc = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &desc), S_OK);
        EXPECT_EQ(desc->memid, expected[i].id) << i;
        EXPECT_EQ(desc->invkind, expected[i].kind) << i;
        EXPECT_EQ(desc->funckind, FUNC_DISPATCH);
        EXPECT_EQ(desc->cParams, expected[i].params) << i;
        EXPECT_EQ(desc->cParamsOpt, expected[i].optional) << i;
        EXPECT_EQ(desc->elemdescFunc.tdesc.vt, expected[i].result) << i;
        info->ReleaseFuncDesc(desc);
    }
    FUNCDESC* greet = nullptr;
    ASSERT_EQ(info->GetFuncDesc(4, &greet), S_OK);
    EXPECT_EQ(greet->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
    EXPECT_EQ(greet->lprgelemdescParam[1].tdesc.vt, VT_VARIANT);
    EXPECT_TRUE(greet->lprgelemdescParam[1].paramdesc.wParamFlags & PARAMFLAG_FOPT);
    info->ReleaseFuncDesc(greet);
    FUNCDESC* none = nullptr;
    EXPECT_EQ(info->GetFuncDesc(5, &none), TYPE_E_ELEMENTNOTFOUND);

    BSTR names[3] = {};
    UINT got = 0;
    ASSERT_EQ(info->GetNames(4, names, 3, &got), S_OK);
    ASSERT_EQ(got, 3u);
    EXPECT_EQ(std::u16string(names[0]), u"Greet");
    EXPECT_EQ(std::u16string(names[2]), u"punctuation");
    for (BSTR name : names) SysFreeString(name);
    ASSERT_EQ(info->GetNames(1, names, 1, &got), S_OK) << "the names stop at the caller's room";
    EXPECT_EQ(got, 1u);
    SysFreeString(names[0]);
    EXPECT_EQ(info->GetNames(99, names, 3, &got), TYPE_E_ELEMENTNOTFOUND);

    BSTR name = nullptr, help = nullptr;
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::u16string(name), u"ICalc");
    EXPECT_EQ(std::u16string(help), u"ICalc Interface");
    SysFreeString(name);
    SysFreeString(help);
    ASSERT_EQ(info->GetDocumentation(1, nullptr, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::u16string(help), u"method Add");
    SysFreeString(help);

    // Names and calls go through the same table as IDispatch's.
    LPOLESTR lookup[] = {const_cast<LPOLESTR>(u"ADD")};
    MEMBERID id = 0;
    EXPECT_EQ(info->GetIDsOfNames(lookup, 1, &id), S_OK);
    EXPECT_EQ(id, 1);
    ICalc* calc = nullptr;
    ASSERT_EQ(m_dispatch->QueryInterface(IID_ICalc, reinterpret_cast<void**>(&calc)), S_OK);
    VARIANT args[2] = {I4(5), Text(u"37")};
    DISPPARAMS params = {args, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(info->Invoke(calc, 1, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(result.lVal, 42);
    VariantClear(&args[1]);
    calc->Release();
    info->Release();
}

TEST(DispatchTableProxy, TypeInformationReachesAnotherApartment) {
    std::promise<IStream*> marshalled;
    std::atomic<bool> stop{false};
    lumivel::ThreadQueuePtr ownerQueue;
    std::thread owner([&] {
        CoInitialize(nullptr);
        ownerQueue = lumivel::CurrentThreadQueue();
        IDispatch* object = nullptr;
        CreateComObject<Calc>(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
        IStream* stream = nullptr;
        CoMarshalInterThreadInterfaceInStream(IID_IDispatch, object, &stream);
        marshalled.set_value(stream);
        lumivel::PumpThreadWorkUntil([&] { return stop.load(); }, 10000);
        object->Release();
        CoUninitialize();
    });
    IStream* stream = marshalled.get_future().get();
    std::thread worker([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IDispatch* proxy = nullptr;
        ASSERT_EQ(CoGetInterfaceAndReleaseStream(stream, IID_IDispatch, reinterpret_cast<void**>(&proxy)), S_OK);
        ITypeInfo* info = nullptr;
        EXPECT_EQ(proxy->GetTypeInfo(0, 0, &info), S_OK);
        if (info) {
            BSTR name = nullptr;
            EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
            EXPECT_EQ(std::u16string(name ? name : u""), u"ICalc");
            SysFreeString(name);
            info->Release();
        }
        proxy->Release();
        CoUninitialize();
    });
    worker.join();
    lumivel::PostThreadWork(*ownerQueue, [&] { stop = true; });
    owner.join();
}

TEST(CoclassTypeInfo, ListsItsInterfacesWithTheFirstAsDefault) {
    static const CLSID kClsid = {0x2D6E1C3B, 0x7A40, 0x4F0E, {0x91, 0x5C, 0x0B, 0x34, 0xE2, 0x7F, 0x66, 0x18}};
    static const DispatchInterface* const kInterfaces[] = {&kCalcTable};
    static const CoclassDescription kCoclass = {&kClsid, u"Calc", u"Calc Class", kInterfaces, 1};
    ITypeInfo* info = nullptr;
    ASSERT_EQ(CreateCoclassTypeInfo(kCoclass, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_EQ(attr->cImplTypes, 1);
    EXPECT_TRUE(IsEqualGUID(attr->guid, kClsid));
    info->ReleaseTypeAttr(attr);
    INT flags = 0;
    EXPECT_EQ(info->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    EXPECT_EQ(info->GetImplTypeFlags(1, &flags), TYPE_E_ELEMENTNOTFOUND);
    HREFTYPE ref = 99;
    ASSERT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
    ITypeInfo* defaultInterface = nullptr;
    ASSERT_EQ(info->GetRefTypeInfo(ref, &defaultInterface), S_OK);
    ASSERT_EQ(defaultInterface->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID_ICalc));
    defaultInterface->ReleaseTypeAttr(attr);
    defaultInterface->Release();
    BSTR help = nullptr;
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, nullptr, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::u16string(help), u"Calc Class");
    SysFreeString(help);
    info->Release();
}

}  // namespace
