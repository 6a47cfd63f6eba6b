#include <gtest/gtest.h>

#include <string>

#include "cli/command_table.h"
#include "cli/manual/config_documents.h"
#include "cli/manual/manual_pages.h"
#include "cli/manual/roff.h"
#include "lumivel/machine_config.h"

namespace lumivel_cli {
namespace {

// The page's text from one ".SS" heading to the next.
std::string sectionOf(const std::string& page, const std::string& word) {
    const size_t start = page.find("\n.SS " + word + "\n");
    if (start == std::string::npos) return {};
    const size_t end = page.find("\n.S", start + 1);
    return page.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

TEST(ManualPage, EveryCommandHasASectionWithEachOfItsOptions) {
    const std::string page = LumivelManualPage();
    for (const CommandRow& command : CommandRows()) {
        const std::string section = sectionOf(page, command.word);
        ASSERT_FALSE(section.empty()) << command.word;
        for (const OptionRow& option : OptionRows()) {
            const bool listed = section.find(".B " + RoffText(option.name)) != std::string::npos ||
                                (option.shortName &&
                                 section.find(".B " + RoffText(std::string(option.shortName) + ", " + option.name)) !=
                                     std::string::npos);
            EXPECT_EQ(listed, option.commands.has(command.command)) << command.word << " " << option.name;
        }
    }
}

TEST(ManualPage, NoLineOfTheTablesBecomesARequest) {
    // A roff request is a line that begins with "." or "'"; those the page means are few.
    for (const std::string& page : {LumivelManualPage(), SchedulerManualPage()}) {
        size_t start = 0;
        while (start < page.size()) {
            const size_t end = page.find('\n', start);
            const std::string line = page.substr(start, end - start);
            if (!line.empty() && (line[0] == '.' || line[0] == '\'')) {
                const std::string request = line.substr(0, line.find(' '));
                EXPECT_TRUE(request == ".TH" || request == ".SH" || request == ".SS" || request == ".TP" ||
                            request == ".B" || request == ".I" || request == ".PP" || request == ".RS" ||
                            request == ".RE" || request == ".nf" || request == ".fi")
                    << line;
            }
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
}

TEST(Roff, EscapesWhatRoffWouldReadAsItsOwn) {
    EXPECT_EQ(RoffText("\\\\DC\\sysvol"), "\\e\\eDC\\esysvol");
    EXPECT_EQ(RoffText("--format"), "\\-\\-format");
    EXPECT_EQ(RoffText(".hidden\n'quoted"), "\\&.hidden\n\\&'quoted");
    EXPECT_EQ(RoffParagraphs("Prose\n  --daily N  every N days\nMore\n"),
              "Prose\n.nf\n  \\-\\-daily N  every N days\n.fi\nMore\n");
}

TEST(ManualPage, SchedulerPageCarriesItsHelp) {
    const std::string page = SchedulerManualPage();
    EXPECT_NE(page.find(".TH LUMIVEL-SCHEDULER 8"), std::string::npos);
    EXPECT_NE(page.find("/var/lib/lumivel/tasks"), std::string::npos);
    EXPECT_NE(page.find("\\-\\-foreground"), std::string::npos);
}

TEST(ConfigDocuments, TheShippedFileSetsNothingAndEachOfItsKeysWorksUncommented) {
    const std::string shipped = ShippedConfigFile();
    EXPECT_TRUE(lumivel::ParseMachineConfig(shipped).values.empty());
    EXPECT_TRUE(lumivel::ParseMachineConfig(shipped).problems.empty());
    const std::string page = ConfigManualPage();
    for (const lumivel::MachineSettingRow& row : lumivel::MachineSettingRows()) {
        const std::string line = std::string("\n#") + row.key + " =";
        const size_t at = shipped.find(line);
        ASSERT_NE(at, std::string::npos) << row.key;
        const std::string uncommented = shipped.substr(at + 2, shipped.find('\n', at + 1) - at - 2);
        const lumivel::ConfigFile file = lumivel::ParseMachineConfig(uncommented);
        EXPECT_TRUE(file.problems.empty()) << uncommented;
        EXPECT_EQ(file.values.size(), 1u) << uncommented;
        EXPECT_NE(page.find(".B " + RoffText(row.key) + "\n"), std::string::npos) << row.key;
    }
}

}  // namespace
}  // namespace lumivel_cli
