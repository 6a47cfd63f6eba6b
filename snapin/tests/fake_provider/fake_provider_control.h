// What the snap-in's tests set and read in the fake provider and schema cache module.
#pragma once

#include <atomic>

#include "win/com.h"

struct FakeProviderControl {
    // Domain records GetNodes hands out: "name:1" with the node flag, "name:0" without,
    // separated by ';'.
    char nodes[256] = "alpha:1;beta:0";
    // Deleted objects each EnumDeletedObjects returns.
    std::atomic<int> objectCount{2};
    // While set, EnumDeletedObjects waits (at most 20 s).
    std::atomic<bool> block{false};
    // While set, GetNodes waits (at most 20 s).
    std::atomic<bool> blockNodes{false};
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
    // The snap-in registered the icon of a domain whose listing failed ("domainDNSError", 9).
    std::atomic<bool> failedIconAdded{false};
    // Which provider object ran the last command (numbered from 1 in the order they were
    // made) and the command id it got.
    std::atomic<int> lastCommandProvider{0};
    std::atomic<int> lastCommand{0};

    // The fake result-pane control: its calls, comma-separated ("SetObjects(1,2)"; "null"
    // for no list), and the names its top pane shows, in the order given, ';'-separated.
    char panorelLog[4096] = "";
    char shownNames[1024] = "";
    std::atomic<int> panorelsLive{0};
    // In-place activation fails with this HRESULT when it is not 0.
    std::atomic<long> panorelActivationFailure{0};
    // The elements of the last SetMenuInterfaces, and the VARIANT type of the first.
    std::atomic<int> menuProviderCount{0};
    std::atomic<int> menuProviderType{0};
    // The window of the control that is active now.
    std::atomic<void*> panorelWindow{nullptr};
};

extern "C" typedef FakeProviderControl* (*FakeProviderControlFunction)();

// Inside the fake module: its control block and the fake control's class.
FakeProviderControl& FakeControl();
HRESULT CreateFakePanorel(IUnknown* outer, REFIID iid, void** object);
