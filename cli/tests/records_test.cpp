// The command line's face of the provider is records only: no UI hook and no dialog id in its
// code; the provider's questions answered from the arguments (or not at all) and the command run
// again with the answer; the schedule form's answers built from the arguments and judged by the
// form's own checks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>

#include "cli/cli_schedule.h"
#include "cli/restore_attempts.h"
#include "shared/provider_interfaces.h"
#include "shared/schedule_check.h"
#include "tests/support/private_hives.h"
#include "win/com.h"
#include "win/dserror.h"
#include "win/errors.h"

using namespace lumivel_cli;

namespace {

// The DN parser the command line reads names with is a class of the platform's COM runtime.
class ComApartment : public ::testing::Environment {
public:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override { CoUninitialize(); }
};
::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);
::testing::Environment* const g_apartment = ::testing::AddGlobalTestEnvironment(new ComApartment);

TEST(RecordsFaceTest, TheCommandLineNamesNoHookAndNoDialog) {
    const char* source = std::getenv("LUMIVEL_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    // Spelled apart, so that this file does not find itself.
    const std::vector<std::string> forbidden = {std::string("ui_test") + "_hook.h", std::string("SetTest") + "Hook",
                                                std::string("provider_dialog") + "_ids.h",
                                                std::string("provider/common/") + "resource_ids.h"};
    const std::regex resourceId(std::string("\\bID") + "[DC]_[A-Z]");
    size_t scanned = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(std::filesystem::path(source) / "cli")) {
        if (!entry.is_regular_file() || entry.path().filename() == "records_test.cpp") continue;
        std::string extension = entry.path().extension().string();
        if (extension != ".cpp" && extension != ".h") continue;
        std::ifstream file(entry.path());
        std::stringstream text;
        text << file.rdbuf();
        const std::string code = text.str();
        ++scanned;
        for (const std::string& name : forbidden)
            EXPECT_EQ(code.find(name), std::string::npos) << entry.path() << " names " << name;
        EXPECT_FALSE(std::regex_search(code, resourceId)) << entry.path() << " names a dialog or control id";
    }
    EXPECT_GT(scanned, 20u);
}

// What the provider said, one scripted run after another; the answers each run was given.
struct ScriptedRestore {
    std::vector<CommandOutcome> runs;
    std::vector<RestoreAnswers> given;
    std::vector<std::vector<PropertySet*>> restored;

    RestoreRunner runner() {
        return [this](const RestoreAnswers& answers, std::vector<PropertySet*>* out, CommandOutcome* outcome) {
            size_t at = given.size();
            given.push_back(answers);
            *outcome = at < runs.size() ? runs[at] : CommandOutcome{};
            if (at < restored.size()) *out = restored[at];
            return outcome->result == S_OK ? S_OK : S_FALSE;
        };
    }
};

CommandOutcome asking(const char16_t* question, HRESULT result = E_FAIL) {
    CommandOutcome outcome;
    outcome.result = result;
    outcome.question = question;
    return outcome;
}

// std::cerr for the test's length.
class CapturedErrors {
public:
    CapturedErrors() : m_old(std::cerr.rdbuf(m_text.rdbuf())) {}
    ~CapturedErrors() { std::cerr.rdbuf(m_old); }
    std::string text() const { return m_text.str(); }

private:
    std::stringstream m_text;
    std::streambuf* m_old;
};

Arguments restoreArguments(std::vector<std::string> words) {
    words.insert(words.begin(), {"restore", "lumivel.test", "11111111-2222-3333-4444-555555555555"});
    ParseResult parsed = ParseArguments(words);
    EXPECT_TRUE(parsed.arguments) << parsed.error;
    return parsed.arguments.value_or(Arguments{});
}

TEST(RestoreAttemptsTest, ATakenNameIsAnsweredByNewNameOnceAndNeverGuessed) {
    CommandOutcome taken = asking(kNewNameKey, E_ADS_OBJECT_EXISTS);
    taken.takenName = u"CN=Smith\\, John,OU=Staff,DC=lumivel,DC=test";
    {
        // Nobody to ask, no --new-name: one run, and the way to answer it said.
        CapturedErrors errors;
        ScriptedRestore script{{taken}, {}, {}};
        Arguments unattended = restoreArguments({"--yes"});
        RestoreAttempts attempts = RunWithAnswers(script.runner(), unattended, Interaction::Unattended);
        EXPECT_EQ(script.given.size(), 1u);
        EXPECT_TRUE(attempts.nameUnanswered);
        EXPECT_NE(errors.text().find("Name: Smith, John is taken; give another with --new-name NAME"),
                  std::string::npos)
            << errors.text();
        EXPECT_EQ(FailureReason(attempts, unattended, Interaction::Unattended, u"Smith, John\nDEL:x"),
                  "the name Smith, John is taken; give another with --new-name NAME");
    }
    {
        // --new-name goes with the first run; taken too, it is not asked for again.
        CapturedErrors errors;
        CommandOutcome again = taken;
        again.takenName = u"CN=Other,OU=Staff,DC=lumivel,DC=test";
        ScriptedRestore script{{again}, {}, {}};
        Arguments named = restoreArguments({"--yes", "--new-name", "Other"});
        RestoreAttempts attempts = RunWithAnswers(script.runner(), named, Interaction::Unattended);
        ASSERT_EQ(script.given.size(), 1u);
        EXPECT_EQ(script.given[0].newName, u"Other");
        EXPECT_NE(errors.text().find("Name: Other is taken too"), std::string::npos) << errors.text();
        EXPECT_EQ(FailureReason(attempts, named, Interaction::Unattended, u"Smith, John\nDEL:x"),
                  "the name Smith, John is taken, and so is Other");
    }
}

TEST(RestoreAttemptsTest, TheArchiveAskedForIsChosenByFromBackupAndTheRunAgainSaysOnlyItsOwn) {
    CommandOutcome asked = asking(kRestoreFromFileKey);
    asked.archives = {{u"//dc1/sysvol/Tarvo Lumivel/{b}.zip", u"2026-12-08", u"OU=Dept", u""},
                      {u"//dc1/sysvol/Tarvo Lumivel/{a}.zip", u"2026-12-01", u"OU=Dept", u""}};
    asked.messages = {u"Error: Could not create the container for this object.", u"Restore Object: No Such Object"};
    asked.errorCaption = u"Restore Object";
    asked.errorText = u"No Such Object";
    CommandOutcome done;
    done.messages = {u"Success: The object was successfully restored."};
    PropertySet* parent = PropertySet::create();
    PropertySet* child = PropertySet::create();
    for (const char* choice : {"latest", "{A}.ZIP"}) {
        SCOPED_TRACE(choice);
        CapturedErrors errors;
        ScriptedRestore script{{asked, done}, {}, {{}, {parent, child}}};
        RestoreAttempts attempts =
            RunWithAnswers(script.runner(), restoreArguments({"--yes", "--from-backup", choice}), Interaction::Unattended);
        ASSERT_EQ(script.given.size(), 2u);
        EXPECT_FALSE(script.given[0].restoreFromFile) << "nothing chosen before it is asked";
        EXPECT_EQ(*script.given[1].restoreFromFile, asked.archives[std::string(choice) == "latest" ? 0 : 1].path);
        EXPECT_EQ(attempts.result, S_OK);
        EXPECT_EQ(attempts.restored, (std::vector<PropertySet*>{parent, child}));
        EXPECT_EQ(attempts.restoredAs.size(), 2u);
        // The failure the chosen archive avoided is not told; the success is.
        EXPECT_EQ(errors.text(), "Success: The object was successfully restored.\n");
    }
    {
        // An archive the folder does not hold answers nothing: the failure stands, said as it was.
        CapturedErrors errors;
        ScriptedRestore script{{asked}, {}, {}};
        Arguments wrong = restoreArguments({"--yes", "--from-backup", "nosuch.zip"});
        RestoreAttempts attempts = RunWithAnswers(script.runner(), wrong, Interaction::Unattended);
        EXPECT_EQ(script.given.size(), 1u);
        EXPECT_TRUE(attempts.archiveUnanswered);
        EXPECT_NE(errors.text().find("no archive nosuch.zip"), std::string::npos);
        EXPECT_NE(errors.text().find("Error: Could not create the container for this object."), std::string::npos);
        EXPECT_EQ(FailureReason(attempts, wrong, Interaction::Unattended, u"Kid"),
                  "its deleted parent is no longer listed, and no backup archive was chosen to recreate it from "
                  "(--from-backup ARCHIVE|latest)");
    }
    parent->release();
    child->release();
}

TEST(RestoreAttemptsTest, AFailureWithoutAQuestionIsSaidInTheProvidersWords) {
    CommandOutcome refused;
    refused.result = HRESULT_FROM_WIN32(ERROR_DS_INSUFF_ACCESS_RIGHTS);
    refused.errorCaption = u"Restore Object";
    refused.errorText = u"Insufficient Rights";
    ScriptedRestore script{{refused}, {}, {}};
    CapturedErrors errors;
    Arguments arguments = restoreArguments({"--yes"});
    RestoreAttempts attempts = RunWithAnswers(script.runner(), arguments, Interaction::Unattended);
    EXPECT_EQ(script.given.size(), 1u);
    EXPECT_EQ(FailureReason(attempts, arguments, Interaction::Unattended, u"Ann"), "Restore Object: Insufficient Rights");
    attempts.last.errorCaption.clear();
    EXPECT_EQ(FailureReason(attempts, arguments, Interaction::Unattended, u"Ann"), "the provider did not restore it");
}

TEST(ScheduleAnswersTest, TheArgumentsBecomeTheFormsAnswersAndItsChecksJudgeThem) {
    auto answersOf = [](std::vector<std::string> when) {
        std::vector<std::string> words{"schedule", "lumivel.test", "OU=Staff,DC=lumivel,DC=test"};
        words.insert(words.end(), when.begin(), when.end());
        for (const char* word : {"--at", "02:30", "--account", "backup@LUMIVEL.TEST"}) words.push_back(word);
        ParseResult parsed = ParseArguments(words);
        EXPECT_TRUE(parsed.arguments) << parsed.error;
        return parsed.arguments.value_or(Arguments{}).schedule;
    };
    const std::u16string password = u"Secret1", account = u"backup@LUMIVEL.TEST";
    auto refusal = [&](const ScheduleRequest& request) {
        auto refused = lumivel::shared::CheckScheduleEntries(ScheduleEntriesFor(request, account, password));
        return refused ? std::u16string(refused->text) : std::u16string();
    };
    EXPECT_EQ(refusal(answersOf({"--daily", "0"})), u"The maximum allowed value is 365 days.");
    EXPECT_EQ(refusal(answersOf({"--daily", "366"})), u"The maximum allowed value is 365 days.");
    EXPECT_EQ(refusal(answersOf({"--weekly", "53", "--days", "mon"})), u"The maximum allowed value is 52 weeks.");
    EXPECT_EQ(refusal(answersOf({"--monthly-day", "32", "--months", "all"})), u"The maximum allowed value is 31 days.");
    EXPECT_EQ(refusal(answersOf({"--daily", "1"})), u"");

    PropertySet* record = PropertySet::create();
    ASSERT_TRUE(PutScheduleAnswers(answersOf({"--monthly-week", "last", "--weekday", "sun", "--months", "mar"}), password,
                                   record));
    EXPECT_EQ(record->getRaw(kScheduleKey), 2);
    EXPECT_EQ(record->getRaw(kTimeSliceKey), 4) << "the last week";
    EXPECT_EQ(record->getRaw(kCycleOfWeekKey), 6) << "Sunday";
    EXPECT_EQ(record->getRaw(kDaysOrMonthsKey), 1 << 2) << "March";
    VARIANT start;
    ASSERT_TRUE(record->getValue(kStartTimeKey, &start));
    EXPECT_EQ(start.vt, VT_DATE);
    EXPECT_EQ(record->getText(kAccountKey), account);
    // The record's answers are the ones the provider checks, and pass as the arguments did.
    auto entries = lumivel::shared::ScheduleEntriesOf(*record);
    ASSERT_TRUE(entries);
    EXPECT_FALSE(lumivel::shared::CheckScheduleEntries(*entries));
    lumivel::shared::ForgetPassword(*record);
    record->release();
}

}  // namespace
