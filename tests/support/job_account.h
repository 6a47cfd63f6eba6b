// The account a scheduler running as root hands its runs to, for directory tests that run the
// service: used as it is when the machine has it, otherwise made for the test (a system account
// without a login, as the package makes it) and removed at its end. A machine-wide lock that
// the package check takes too keeps them from finding each other's account.
#pragma once

#include <sys/types.h>

#include <string>

namespace lumivel::testing {

inline constexpr char kJobAccountLock[] = "/run/lock/lumivel-job-account.lock";

class JobAccountForTest {
public:
    explicit JobAccountForTest(std::string name = "lumivel");
    ~JobAccountForTest();
    JobAccountForTest(const JobAccountForTest&) = delete;
    JobAccountForTest& operator=(const JobAccountForTest&) = delete;

    // Empty once the account is there, else why it is not.
    const std::string& problem() const { return m_problem; }
    const std::string& name() const { return m_name; }
    uid_t uid() const { return m_uid; }
    gid_t gid() const { return m_gid; }

private:
    std::string m_name;
    std::string m_problem;
    int m_lock = -1;
    bool m_made = false;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
};

}  // namespace lumivel::testing
