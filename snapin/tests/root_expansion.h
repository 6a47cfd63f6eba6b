// The root reads its domain nodes on a worker: a test that expands it waits for them.
#pragma once

#include <string>

#include "lumivel/console_driver.h"
#include "lumivel/registry_key.h"
#include "shared/provider_interfaces.h"

namespace snapin_test {

// The domains stored for this user, which the root lists once it is expanded.
inline size_t StoredDomainCount() {
    lumivel::RegistryKey key;
    if (key.open(HKEY_CURRENT_USER, kLumivelKey, KEY_READ) != ERROR_SUCCESS) return 0;
    return key.valueNames().size();
}

// Expands the root and waits (at most a minute) until it shows at least `count` nodes.
inline bool ExpandRoot(lumivel::console::ConsoleDriver& console, size_t count) {
    console.expand(console.root());
    return console.runUntil([&] { return console.children(console.root()).size() >= count; }, 60000);
}

}  // namespace snapin_test
