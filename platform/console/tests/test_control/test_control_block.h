// What the console's hosting tests set and read in the test control module.
#pragma once

#include <atomic>

struct TestControlBlock {
    // The steps of every test control, comma-separated, in order.
    char log[2048] = "";
    // Test controls alive now.
    std::atomic<int> live{0};
    // DoVerb fails with this HRESULT when it is not 0.
    std::atomic<long> activationFailure{0};
};

extern "C" typedef TestControlBlock* (*TestControlBlockFunction)();

// {3F0C9A41-6D2B-4C7E-A915-5B8E2D7C4F10}: a windowed in-place control.
inline constexpr const char16_t* kTestControlClsid = u"{3F0C9A41-6D2B-4C7E-A915-5B8E2D7C4F10}";
// {3F0C9A42-6D2B-4C7E-A915-5B8E2D7C4F10}: an object that is no control (no IOleObject).
inline constexpr const char16_t* kNoControlClsid = u"{3F0C9A42-6D2B-4C7E-A915-5B8E2D7C4F10}";
