#include "tests/support/job_account.h"

#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include "tests/support/child_process.h"

// After the platform headers: it defines LOCK_WRITE, a name objidl.h uses.
#include <fcntl.h>

namespace lumivel::testing {

JobAccountForTest::JobAccountForTest(std::string name) : m_name(std::move(name)) {
    if (::geteuid() != 0) {
        m_problem = "only root hands runs to the account " + m_name;
        return;
    }
    m_lock = ::open(kJobAccountLock, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_lock < 0 || ::flock(m_lock, LOCK_EX) != 0) {
        m_problem = std::string("the lock ") + kJobAccountLock + " cannot be taken";
        return;
    }
    if (!::getpwnam(m_name.c_str())) {
        ChildResult made = RunShell("useradd --system --user-group --home-dir /var/lib/lumivel --no-create-home "
                                    "--shell /usr/sbin/nologin " + ShellQuote(m_name));
        m_made = made.exitCode == 0;
        if (!m_made) m_problem = "the account " + m_name + " could not be made: " + made.output;
    }
    if (const passwd* account = ::getpwnam(m_name.c_str())) {
        m_uid = account->pw_uid;
        m_gid = account->pw_gid;
    } else if (m_problem.empty()) {
        m_problem = "the account " + m_name + " is not there";
    }
}

JobAccountForTest::~JobAccountForTest() {
    if (m_made)
        RunShell("userdel " + ShellQuote(m_name) + " >/dev/null 2>&1; groupdel " + ShellQuote(m_name) + " >/dev/null 2>&1");
    if (m_lock >= 0) ::close(m_lock);
}

}  // namespace lumivel::testing
