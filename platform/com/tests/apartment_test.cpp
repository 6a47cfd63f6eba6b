#include <gtest/gtest.h>

#include <thread>

#include "win/com.h"

namespace {

// Each case runs on a fresh thread so that apartments never leak between cases.
template <typename F>
void OnNewThread(F body) {
    std::thread worker(body);
    worker.join();
}

TEST(Apartment, InitializationCountsAndModes) {
    OnNewThread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE) << "repeat in the same mode";
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        CoUninitialize();
        // Still initialised once: the failed call was not counted.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        CoUninitialize();
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "free to choose again";
        CoUninitialize();
        CoUninitialize();  // unbalanced: ignored
        int reserved = 0;
        EXPECT_EQ(CoInitializeEx(&reserved, COINIT_APARTMENTTHREADED), E_INVALIDARG);
    });
}

TEST(Apartment, CreationNeedsAnApartment) {
    OnNewThread([] {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(CoGetClassObject(GUID_NULL, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, &object),
                  CO_E_NOTINITIALIZED);
    });
}

TEST(Apartment, ThreadsJoinTheMultithreadedApartmentImplicitly) {
    OnNewThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        // Another thread that never initialised is in the process's multithreaded apartment.
        OnNewThread([] {
            void* object = nullptr;
            EXPECT_NE(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
                      CO_E_NOTINITIALIZED);
            // ...but choosing a single-threaded apartment is still its own decision.
            EXPECT_EQ(CoInitialize(nullptr), S_OK);
            CoUninitialize();
        });
        CoUninitialize();
        OnNewThread([] {
            void* object = nullptr;
            EXPECT_EQ(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
                      CO_E_NOTINITIALIZED);
        });
    });
}

}  // namespace
