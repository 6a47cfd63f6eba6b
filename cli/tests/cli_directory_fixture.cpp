#include "cli/tests/cli_directory_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "lumivel/registry_key.h"
#include "provider/backup/backup_folder.h"
#include "shared/text_helpers.h"
#include "tests/support/directory_fixture.h"
#include "tests/support/private_hives.h"

namespace lumivel_cli::tests {

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

}  // namespace

std::string binaryFolder() {
    const char* folder = std::getenv("LUMIVEL_BIN_DIR");
    return folder ? folder : ".";
}

std::string lumivelProgram() { return binaryFolder() + "/lumivel"; }

Outcome run(const std::string& command, const Environment& environment) {
    lumivel::testing::ShellOptions options;
    options.errors = lumivel::testing::ErrorStream::Apart;
    options.environment = environment;
    lumivel::testing::ChildResult result = lumivel::testing::RunShell(command, options);
    return Outcome{static_cast<int>(result.exitCode), std::move(result.output), std::move(result.errors)};
}

Outcome lumivelWith(const Environment& environment, const std::vector<std::string>& words) {
    std::string command = ShellQuote(lumivelProgram());
    for (const std::string& word : words) command += " " + ShellQuote(word);
    return run(command, environment);
}

Outcome lumivel(const std::vector<std::string>& words) { return lumivelWith({}, words); }

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) out.push_back(line);
    return out;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        out.push_back(line.substr(start, tab - start));
    out.push_back(line.substr(start));
    return out;
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string tombstoneGuid(const std::string& name) {
    auto tombstones = lumivel::testing::TombstoneTimes(name);
    if (tombstones.size() != 1) return {};
    size_t del = tombstones[0].first.find("DEL:");
    return del == std::string::npos ? std::string() : tombstones[0].first.substr(del + 4, 36);
}

std::vector<std::string> liveValues(const std::string& dn, const std::string& attribute) {
    Outcome read = run("ldapsearch -Q -Y GSSAPI -N -O minssf=56 -H ldap://" + lumivel::testing::TestDirectory().server +
                       " -LLL -o ldif-wrap=no -b " + ShellQuote(dn) + " -s base '(objectClass=*)' " + ShellQuote(attribute));
    std::vector<std::string> values;
    for (const std::string& line : lines(read.out))
        if (line.rfind(attribute + ": ", 0) == 0) values.push_back(line.substr(attribute.size() + 2));
    std::sort(values.begin(), values.end());
    return values;
}

void CommandLineTest::SetUpTestSuite() {
    Outcome registered =
        run(ShellQuote(binaryFolder() + "/regsvr") + " /s " + ShellQuote(binaryFolder() + "/RevivoProvider.so"));
    ASSERT_EQ(registered.exitCode, 0) << registered.out << registered.err;
}

void CommandLineTest::SetUp() {
    if (lumivel::testing::TestDirectory().server.empty()) GTEST_SKIP() << "not inside testdc exec";
    m_domain = lumivel::testing::TestDirectory().domain;
}

void RestoreCommandLineTest::SetUp() {
    CommandLineTest::SetUp();
    if (IsSkipped()) return;
    m_suffix = lumivel::testing::UniqueSuffix();
    m_root = "OU=RevivoCliRestore " + m_suffix + "," + lumivel::testing::TestDirectory().baseDn;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(m_root));
}

void RestoreCommandLineTest::TearDown() {
    if (!m_root.empty()) lumivel::testing::LdapDeleteTree(m_root);
}

std::string RestoreCommandLineTest::deletedUser(const std::string& name, const std::string& parent) {
    std::string dn = "CN=" + lumivel::testing::EscapeRdnValue(name) + "," + (parent.empty() ? m_root : parent);
    if (!lumivel::testing::AddUser(dn, name) || !lumivel::testing::LdapDelete(dn)) return {};
    return tombstoneGuid(name);
}

void BackupCommandLineTest::SetUp() {
    CommandLineTest::SetUp();
    if (IsSkipped()) return;
    m_suffix = lumivel::testing::UniqueSuffix();
    m_root = "OU=RevivoCliBackup " + m_suffix + "," + lumivel::testing::TestDirectory().baseDn;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(m_root));
    m_folder = "/tmp/revivo-cli-backups-" + m_suffix;
    std::filesystem::create_directories(m_folder);
    lumivel::RegistryKey policy;
    ASSERT_EQ(policy.create(HKEY_CURRENT_USER, revivo::kBackupPolicyKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
    ASSERT_EQ(policy.writeString(revivo::kFileLocationValue, lumivel::shared::WidenText(m_folder)), ERROR_SUCCESS);
}

void BackupCommandLineTest::TearDown() {
    if (!m_root.empty()) lumivel::testing::LdapDeleteTree(m_root);
    std::error_code ignored;
    if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ignored);
}

}  // namespace lumivel_cli::tests
