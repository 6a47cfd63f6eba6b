// Registering the snap-in and the fake provider and schema cache in the test's private hives,
// and reaching the fake's control block.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "fake_provider/fake_provider_control.h"
#include "lumivel/registry_key.h"
#include "lumivel/text.h"
#include "tests/support/child_process.h"

namespace snapin_test {

inline std::string BinDir() {
    const char* bin = std::getenv("LUMIVEL_BIN_DIR");
    return bin ? bin : ".";
}

inline constexpr const char16_t* kSnapinClsid = u"{B979019D-5037-44E0-835B-3CD84BDDA491}";
inline constexpr const char16_t* kDefaultProviderClsid = u"{499BFD0C-BB2D-4ACC-9FD2-C52C1D8C2236}";
inline constexpr const char16_t* kSecondProviderClsid = u"{6B1D4F0E-7C35-4E54-9C2B-3A1F0E6D9B21}";
inline constexpr const char16_t* kSchemaCacheClsid = u"{459B8D62-B2BF-47C9-A02A-23DAAB17D0ED}";
inline constexpr const char16_t* kPanorelClsid = u"{EB82BE35-4FB6-424B-AEDB-6D2A61A0E632}";
inline constexpr const char16_t* kProductInterfaces = u"Software\\Tarvo Software\\Tarvo Lumivel\\Interfaces";

// Runs regsvr on a module; its exit code.
inline DWORD Regsvr(const std::string& arguments) {
    std::string line = "\"" + BinDir() + "/regsvr\" " + arguments;
    return lumivel::testing::RunChild(lumivel::FromUtf8(line)).exitCode;
}

// The number at the start of the status text "N deleted objects in ...", or -1.
inline long CountIn(const std::u16string& status) {
    std::string text = lumivel::ToUtf8(status);
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])) ||
        text.find(" deleted object") == std::string::npos)
        return -1;
    return std::strtol(text.c_str(), nullptr, 10);
}

inline void RegisterClassAt(const char16_t* clsid, const std::string& module) {
    lumivel::RegistryKey key;
    std::u16string path = std::u16string(u"CLSID\\") + clsid + u"\\InprocServer32";
    ASSERT_EQ(key.create(HKEY_CLASSES_ROOT, path.c_str(), KEY_WRITE), ERROR_SUCCESS);
    ASSERT_EQ(key.writeString(nullptr, lumivel::FromUtf8(module)), ERROR_SUCCESS);
    key.writeString(u"ThreadingModel", u"Apartment");
}

// The fake module stands in for the default provider, a second provider, the schema cache
// and the result-pane control.
inline FakeProviderControl* RegisterFakes() {
    std::string fake = BinDir() + "/snapin_fake_provider.so";
    RegisterClassAt(kDefaultProviderClsid, fake);
    RegisterClassAt(kSecondProviderClsid, fake);
    RegisterClassAt(kSchemaCacheClsid, fake);
    RegisterClassAt(kPanorelClsid, fake);
    // Loaded here first, so that the COM runtime finds this same copy.
    void* handle = dlopen(fake.c_str(), RTLD_NOW);
    if (!handle) return nullptr;
    auto control = reinterpret_cast<FakeProviderControlFunction>(dlsym(handle, "FakeProviderControlBlock"));
    return control ? control() : nullptr;
}

}  // namespace snapin_test
