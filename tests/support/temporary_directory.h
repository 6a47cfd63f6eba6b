// Private scratch folders for tests and the small file helpers that go with them.
#pragma once

#include <string>

#include "lumivel/text.h"

namespace lumivel::testing {

// A fresh folder of the test's own (mode 0700) under /tmp, removed with everything in it at the
// end of the scope.
class TemporaryDirectory {
public:
    explicit TemporaryDirectory(const char* prefix = "lumivel-test");
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::string& path() const { return m_path; }
    std::u16string wide(const std::string& name = {}) const { return FromUtf8(name.empty() ? m_path : m_path + "/" + name); }

private:
    std::string m_path;
};

// Removes a folder and everything below it, read-only folders that a test left behind
// included; links are removed, never followed.
void RemoveTree(const std::string& path);

void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);

}  // namespace lumivel::testing
