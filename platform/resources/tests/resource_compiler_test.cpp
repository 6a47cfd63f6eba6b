// The resource compiler's refusal of faulty source: each fault is reported with its file and
// line and no output is left behind, so a build never links half-compiled resources.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct CompileResult {
    int status;
    std::string messages;
    bool outputExists;
};

class ResourceCompiler : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("rc_test_" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    CompileResult Compile(const std::string& source) {
        fs::path input = m_dir / "input.rc";
        fs::path output = m_dir / "output.cpp";
        fs::path log = m_dir / "log.txt";
        fs::remove(output);
        std::ofstream(input) << source;
        std::string command = std::string("'") + LUMIVEL_TEST_PYTHON + "' '" + LUMIVEL_TEST_RESOURCE_COMPILER + "' '" +
                              input.string() + "' -o '" + output.string() + "' --headers '" +
                              LUMIVEL_TEST_WINDOW_HEADERS + "' > '" + log.string() + "' 2>&1";
        int status = std::system(command.c_str());
        std::stringstream messages;
        messages << std::ifstream(log).rdbuf();
        return {status, messages.str(), fs::exists(output)};
    }

    fs::path m_dir;
};

TEST_F(ResourceCompiler, FaultsAreReportedWithTheirLine) {
    struct Case {
        const char* source;
        const char* message;  // expected after "input.rc:<line>: error: "
        int line;
    };
    const Case cases[] = {
        {"STRINGTABLE\nBEGIN\n 1 \"a\"\n 1 \"b\"\nEND\n", "string 1 is defined twice", 4},
        {"STRINGTABLE\nBEGIN\n 70000 \"a\"\nEND\n", "string id 70000 is out of range", 3},
        {"STRINGTABLE\nBEGIN\n 1 \"open\nEND\n", "unterminated string", 3},
        {"STRINGTABLE\nBEGIN\n 1 \"bad \\q escape\"\nEND\n", "unknown escape", 3},
        {"1 MENU\nBEGIN\n MENUITEM \"x\" 5\nEND\n", "',' expected", 3},
        {"1 MENU\nBEGIN\n POPUP \"x\"\n BEGIN\n END\nEND\n", "a popup needs at least one item", 3},
        {"1 MENU\nBEGIN\nEND\n1 MENU\nBEGIN\n MENUITEM \"a\", 1\nEND\n", "a menu needs at least one item", -1},
        {"1 DIALOG 0, 0, 10, 10\nBEGIN\n EDITTEXT 5, 1, 1, 1, 1, WS_CHILDD\nEND\n", "unknown name 'WS_CHILDD'", 3},
        {"1 DIALOG 0, 0, 10, 10\nBEGIN\n LISTVIEW 5, 1, 1, 1, 1\nEND\n", "unknown control statement LISTVIEW", 3},
        {"1 DIALOG 0, 0, 10, 40000\nBEGIN\nEND\n", "coordinate 40000 is out of range", -1},
        {"1 ICON\nBEGIN\n PALETTE BEGIN \".\" TRANSPARENT END\n IMAGE 2 BEGIN \"..\" \".\" END\nEND\n",
         "row 2 has 1 pixels, the first has 2", 4},
        {"1 ICON\nBEGIN\n PALETTE BEGIN \".\" TRANSPARENT END\n IMAGE 2 BEGIN \"..\" \".x\" END\nEND\n",
         "row 2: 'x' is not in the palette", 4},
        {"1 ICON\nBEGIN\n PALETTE BEGIN \".\" TRANSPARENT END\n IMAGE 2 BEGIN \"..\" END\nEND\n",
         "IMAGE 2 holds 2x1 pixels", 4},
        {"1 ICON\nBEGIN\n PALETTE BEGIN \".\" TRANSPARENT END\n IMAGE 32 FROM 16\nEND\n",
         "IMAGE 32 FROM 16 needs an earlier image", 4},
        {"1 ICON\nBEGIN\n PALETTE BEGIN \"k\" \"#00000\" END\nEND\n", "must be written \"#RRGGBB\"", 3},
        {"1 BITMAP\nBEGIN\n PALETTE BEGIN \".\" TRANSPARENT END\n PIXELS BEGIN \".\" END\nEND\n",
         "a bitmap has no transparent pixels", 4},
        {"1 BITMAP\nBEGIN\n PALETTE BEGIN \"a\" \"#000000\" \"b\" \"#010101\" \"c\" \"#020202\" END\n BITS 1\n PIXELS BEGIN "
         "\"abc\" END\nEND\n",
         "3 colours do not fit in 1 bits", 5},
        {"1 REGISTRY \"missing.rgs\"\n", "cannot find 'missing.rgs'", 1},
        {"1 MENU\nBEGIN\n MENUITEM \"a\", 1\nEND\n1 MENU\nBEGIN\n MENUITEM \"b\", 2\nEND\n",
         "resource 1 of this type is defined twice", 5},
        {"0 MENU\nBEGIN\n MENUITEM \"a\", 1\nEND\n", "resource number 0 is out of range", 1},
        {"/* never closed\n", "unterminated comment", 1},
        {"1 MENU\nBEGIN\n MENUITEM \"a\", 1\n", "END expected at end of file", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        CompileResult result = Compile(c.source);
        EXPECT_NE(result.status, 0);
        EXPECT_FALSE(result.outputExists);
        EXPECT_NE(result.messages.find(c.message), std::string::npos) << result.messages;
        if (c.line > 0) {
            std::string where = "input.rc:" + std::to_string(c.line) + ": error: ";
            EXPECT_NE(result.messages.find(where), std::string::npos) << result.messages;
        }
    }
}

TEST_F(ResourceCompiler, SoundSourceCompiles) {
    CompileResult result = Compile(
        "#define IDM_X 7\n"
        "STRINGTABLE { 1, \"a\" }\n"
        "IDM_X MENU { MENUITEM \"a\", 1, GRAYED DEFAULT }\n"
        "NAMED DIALOGEX 0, 0, 10, 10 CAPTION \"c\" { CONTROL \"\", 1, \"Custom\", WS_TABSTOP, 0, 0, 5, 5 }\n");
    EXPECT_EQ(result.status, 0) << result.messages;
    EXPECT_TRUE(result.outputExists);
}

}  // namespace
