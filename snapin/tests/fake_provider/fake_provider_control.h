// What the snap-in's tests set and read in the fake provider and schema cache module.
#pragma once

#include <atomic>

struct FakeProviderControl {
    // Domain records GetNodes hands out: "name:1" with the node flag, "name:0" without,
    // separated by ';'.
    char nodes[256] = "alpha:1;beta:0";
    // Deleted objects each EnumDeletedObjects returns.
    std::atomic<int> objectCount{2};
    // While set, EnumDeletedObjects waits (at most 20 s).
    std::atomic<bool> block{false};
    std::atomic<bool> inEnumeration{false};
    std::atomic<int> enumerations{0};
    std::atomic<int> providersCreated{0};
    // EnumDeletedObjects fails with this HRESULT when it is not 0.
    std::atomic<long> enumerationFailure{0};
    // The "NodeHandle" of the record the last Remove was asked for: its type and value.
    std::atomic<int> nodeHandleType{0};
    std::atomic<long long> nodeHandle{0};
    // The schema cache knows no "domainDNSBusy" icon.
    std::atomic<bool> noBusyIcon{false};
};

extern "C" typedef FakeProviderControl* (*FakeProviderControlFunction)();
