// The `lumivel` program against the test directory, judged by its exit codes and output: how
// the tests of each sub-command run it, and the fixtures they share. The provider is
// registered with regsvr into private hives that the program inherits.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/child_process.h"

namespace lumivel_cli::tests {

struct Outcome {
    int exitCode;
    std::string out;
    std::string err;
};

// Variables set for the program, or removed when without a value.
using Environment = std::vector<std::pair<std::string, std::optional<std::string>>>;

std::string binaryFolder();
std::string lumivelProgram();
using lumivel::testing::ShellQuote;

// Runs a shell command, stdin from /dev/null, its standard error apart.
Outcome run(const std::string& command, const Environment& environment = {});
Outcome lumivelWith(const Environment& environment, const std::vector<std::string>& words);
Outcome lumivel(const std::vector<std::string>& words);

std::vector<std::string> lines(const std::string& text);
std::vector<std::string> fields(const std::string& line);
size_t occurrences(const std::string& text, const std::string& part);
std::string readFile(const std::string& path);
// The GUID of the one tombstone whose cn begins with the name.
std::string tombstoneGuid(const std::string& name);
// The values of one attribute of a live object as ldapsearch reads them, sorted.
std::vector<std::string> liveValues(const std::string& dn, const std::string& attribute);

class CommandLineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    std::string m_domain;
};

// Each test works below an organizational unit of its own.
class RestoreCommandLineTest : public CommandLineTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // A user below the root (or the parent given) made and deleted; its tombstone's GUID.
    std::string deletedUser(const std::string& name, const std::string& parent = {});
    std::string m_suffix, m_root;
};

// Backups go into the FileLocation folder the hives name; the program inherits the hives.
class BackupCommandLineTest : public CommandLineTest {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string m_suffix, m_root, m_folder;
};

}  // namespace lumivel_cli::tests
