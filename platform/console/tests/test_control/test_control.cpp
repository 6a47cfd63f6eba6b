// A windowed in-place control for the console's hosting tests, and an object that is no
// control, with a control block the tests read.
#include <cstring>

#include "in_place_test_control.h"
#include "lumivel/com_object.h"
#include "test_control_block.h"

namespace {

using namespace lumivel::com;

TestControlBlock g_block;

void Append(const char* step) {
    size_t used = std::strlen(g_block.log);
    if (used) std::strncat(g_block.log, ",", sizeof(g_block.log) - used - 1);
    std::strncat(g_block.log, step, sizeof(g_block.log) - std::strlen(g_block.log) - 1);
}

class TestControl final : public ComObject<TestControl, lumivel::testing::InPlaceTestControl> {
public:
    static constexpr InterfaceEntry kInterfaces[] = {
        InterfaceOf<TestControl, IOleObject>(IID_IOleObject),
        InterfaceOf<TestControl, IOleInPlaceObject>(IID_IOleInPlaceObject),
        InterfaceOf<TestControl, IOleInPlaceObject>(IID_IOleWindow),
    };
    TestControl() { ++g_block.live; }
    ~TestControl() override {
        // A control let go while still active would leave its window behind.
        if (window()) Append("ReleasedWhileActive");
        --g_block.live;
    }

protected:
    void log(const char* step) override { Append(step); }
    HRESULT activationFailure() override { return HRESULT(g_block.activationFailure.load()); }
};

class NoControl final : public ComObject<NoControl, IPersist> {
public:
    static constexpr InterfaceEntry kInterfaces[] = {InterfaceOf<NoControl, IPersist>(IID_IPersist)};
    NoControl() { ++g_block.live; }
    ~NoControl() override { --g_block.live; }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        return CLSIDFromString(kNoControlClsid, clsid);
    }
};

DEFINE_GUID(CLSID_TestControl, 0x3F0C9A41, 0x6D2B, 0x4C7E, 0xA9, 0x15, 0x5B, 0x8E, 0x2D, 0x7C, 0x4F, 0x10);
DEFINE_GUID(CLSID_NoControl, 0x3F0C9A42, 0x6D2B, 0x4C7E, 0xA9, 0x15, 0x5B, 0x8E, 0x2D, 0x7C, 0x4F, 0x10);

constexpr ClassEntry kClasses[] = {
    {&CLSID_TestControl, CreateComObject<TestControl>},
    {&CLSID_NoControl, CreateComObject<NoControl>},
};

}  // namespace

extern "C" LUMIVEL_EXPORT TestControlBlock* TestControlBlockOf() { return &g_block; }

STDAPI LUMIVEL_EXPORT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    return GetClassObjectFromTable(kClasses, clsid, iid, object);
}

STDAPI LUMIVEL_EXPORT DllCanUnloadNow() { return S_FALSE; }
