// `lumivel list --incremental`: the list it brings up to date from its saved state is the one a
// whole listing gives, after restores, deletions and purges; a state it cannot trust, or one
// the server refuses, means a whole read.
#include "cli/tests/cli_directory_fixture.h"
#include "cli/listing_state.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <regex>

#include "tests/support/directory_fixture.h"
#include "tests/support/temporary_directory.h"

namespace lumivel_cli::tests {
namespace {

class IncrementalListTest : public RestoreCommandLineTest {
protected:
    void SetUp() override {
        RestoreCommandLineTest::SetUp();
        m_environment = {{"XDG_STATE_HOME", m_state.path()}};
    }

    Outcome incremental() {
        return lumivelWith(m_environment, {"list", m_domain, "--incremental", "--format", "tsv", "-v"});
    }

    // The listing's rows, in order of their text: the server's order is no part of a listing.
    static std::vector<std::string> rows(const Outcome& listing) {
        std::vector<std::string> all = lines(listing.out);
        std::sort(all.begin(), all.end());
        return all;
    }

    std::vector<std::string> wholeListing() {
        Outcome whole = lumivel({"list", m_domain, "--format", "tsv"});
        EXPECT_EQ(whole.exitCode, 0) << whole.err;
        return rows(whole);
    }

    std::string stateKey() {
        std::string name = m_domain;
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        return name;
    }
    std::string statePath() { return m_state.path() + "/lumivel/listings/" + stateKey(); }

    // The saved state, changed and written back as the command line writes it.
    void changeState(const std::function<void(ListingState*)>& change) {
        ListingState state;
        std::string why;
        ASSERT_TRUE(ReadListingState(statePath(), stateKey(), &state, &why)) << why;
        change(&state);
        const std::vector<TombstoneFields> tombstones = state.tombstones;
        ASSERT_TRUE(WriteListingState(statePath(), stateKey(), state, tombstones));
    }

    lumivel::testing::TemporaryDirectory m_state;
    Environment m_environment;
};

bool holdsGuid(const std::vector<std::string>& listing, const std::string& guid) {
    return std::any_of(listing.begin(), listing.end(),
                       [&](const std::string& row) { return row.find("\t" + guid + "\t") != std::string::npos; });
}

TEST_F(IncrementalListTest, FollowsRestoresDeletionsAndPurgesAsAWholeListingWould) {
    const std::string restored = deletedUser("Inc Restored " + m_suffix);
    const std::string purged = deletedUser("Inc Purged " + m_suffix);
    ASSERT_FALSE(restored.empty());
    ASSERT_FALSE(purged.empty());
    Outcome first = incremental();
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_NE(first.err.find("read every tombstone: no saved listing"), std::string::npos) << first.err;
    EXPECT_EQ(rows(first), wholeListing());
    struct stat info {};
    ASSERT_EQ(::stat(statePath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // Nothing changed: nothing is read but the changes, and the list stays as it was.
    Outcome unchanged = incremental();
    EXPECT_EQ(unchanged.exitCode, 0) << unchanged.err;
    EXPECT_NE(unchanged.err.find("read 0 changes"), std::string::npos) << unchanged.err;
    EXPECT_EQ(rows(unchanged), rows(first));

    Outcome restore = lumivel({"restore", m_domain, restored, "--yes"});
    ASSERT_EQ(restore.exitCode, 0) << restore.out << restore.err;
    const std::string second = deletedUser("Inc Second " + m_suffix);
    const std::string third = deletedUser("Inc Third " + m_suffix);
    ASSERT_FALSE(second.empty());
    ASSERT_FALSE(third.empty());
    std::vector<std::string> purgedDns = lumivel::testing::TombstoneDns(
        lumivel::testing::TestDirectory().baseDn, "(cn=Inc Purged " + m_suffix + "*)");
    ASSERT_EQ(purgedDns.size(), 1u);
    ASSERT_TRUE(lumivel::testing::PurgeTombstone(purgedDns[0]));

    Outcome refreshed = incremental();
    ASSERT_EQ(refreshed.exitCode, 0) << refreshed.err;
    EXPECT_NE(refreshed.err.find("changes since the last listing"), std::string::npos) << refreshed.err;
    std::vector<std::string> now = rows(refreshed), whole = wholeListing();
    EXPECT_FALSE(holdsGuid(now, restored));
    EXPECT_TRUE(holdsGuid(now, second));
    EXPECT_TRUE(holdsGuid(now, third));
    // A tombstone removed before its time is reported by no change: it stays until the next
    // whole read, and is the only difference.
    std::vector<std::string> extra;
    std::set_difference(now.begin(), now.end(), whole.begin(), whole.end(), std::back_inserter(extra));
    ASSERT_EQ(extra.size(), 1u);
    EXPECT_NE(extra[0].find(purged), std::string::npos);
    std::vector<std::string> missing;
    std::set_difference(whole.begin(), whole.end(), now.begin(), now.end(), std::back_inserter(missing));
    EXPECT_TRUE(missing.empty()) << missing.front();

    // A state whose last whole read is older than 12 hours is read whole.
    changeState([](ListingState* state) { state->wholeReadAt = std::time(nullptr) - 13 * 60 * 60; });
    Outcome aged = incremental();
    EXPECT_NE(aged.err.find("older than 12 hours"), std::string::npos) << aged.err;
    EXPECT_EQ(rows(aged), whole);
}

TEST_F(IncrementalListTest, AStateItCannotTrustOrThatTheServerRefusesMeansAWholeRead) {
    Outcome first = incremental();
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const std::string added = deletedUser("Inc Fallback " + m_suffix);
    ASSERT_FALSE(added.empty());
    const std::vector<std::string> after = wholeListing();

    // More writes since the sync point than are worth finding by number (every test domain
    // has some thousand): the synchronisation from the saved cookie serves.
    changeState([](ListingState* state) { state->usn = u"0"; });
    Outcome synchronised = incremental();
    EXPECT_EQ(synchronised.exitCode, 0) << synchronised.err;
    EXPECT_NE(synchronised.err.find("changes since the last listing"), std::string::npos) << synchronised.err;
    EXPECT_EQ(rows(synchronised), after);

    // A cookie the server cannot take, when the synchronisation must serve.
    changeState([](ListingState* state) {
        state->cookie = u"00FF00FF";
        state->usn = u"0";
    });
    Outcome refused = incremental();
    EXPECT_EQ(refused.exitCode, 0) << refused.err;
    EXPECT_NE(refused.err.find("refused the saved synchronisation state"), std::string::npos) << refused.err;
    EXPECT_EQ(rows(refused), after);

    // A state of another domain controller's database.
    changeState([](ListingState* state) { state->invocationId = u"{00000000-0000-0000-0000-000000000000}"; });
    Outcome other = incremental();
    EXPECT_NE(other.err.find("database is another one"), std::string::npos) << other.err;
    EXPECT_EQ(rows(other), after);

    // A damaged state, and one that others may write, are not believed.
    {
        std::string text = readFile(statePath());
        text.back() = static_cast<char>(text.back() ^ 0x20);
        std::ofstream(statePath(), std::ios::trunc) << text;
    }
    Outcome damaged = incremental();
    EXPECT_NE(damaged.err.find("damaged"), std::string::npos) << damaged.err;
    EXPECT_EQ(rows(damaged), after);
    ASSERT_EQ(::chmod(statePath().c_str(), 0666), 0);
    Outcome open = incremental();
    EXPECT_NE(open.err.find("not a private file"), std::string::npos) << open.err;
    EXPECT_EQ(rows(open), after);

    // A folder others may write holds no state of ours, and gets none.
    ASSERT_EQ(::chmod((m_state.path() + "/lumivel/listings").c_str(), 0777), 0);
    Outcome shared = incremental();
    EXPECT_NE(shared.err.find("no private folder"), std::string::npos) << shared.err;
    EXPECT_EQ(rows(shared), after);
    EXPECT_NE(shared.err.find("could not be saved"), std::string::npos) << shared.err;
}

}  // namespace
}  // namespace lumivel_cli::tests
