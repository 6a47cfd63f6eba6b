#include "cli/manual/manual_pages.h"

#include "cli/cli_arguments.h"
#include "cli/command_table.h"
#include "cli/manual/roff.h"
#include "platform/scheduler/scheduler_usage.h"

namespace lumivel_cli {

namespace {

std::string heading(const char* name, int section, const char* title) {
    return ".TH " + std::string(name) + " " + std::to_string(section) + " \"\" \"Tarvo Lumivel " + ProductVersion() +
           "\" \"" + title + "\"\n";
}

std::string optionEntry(const OptionRow& row) {
    std::string entry = ".TP\n.B " + RoffText(row.shortName ? std::string(row.shortName) + ", " + row.name : row.name);
    if (row.value) entry += " \\fI" + RoffText(row.value) + "\\fR";
    return entry + "\n" + RoffText(row.help) + "\n";
}

std::string synopsisLines(const CommandRow& row) {
    std::string out = ".nf\n";
    std::string_view synopsis = row.synopsis;
    while (!synopsis.empty()) {
        const size_t end = synopsis.find('\n');
        std::string_view line = synopsis.substr(0, end);
        // Continuation lines carry their own indent; a new form starts with the program.
        const bool continued = !line.empty() && line.front() == ' ';
        out += (continued ? "" : "\\fBlumivel\\fR ") + RoffText(line) + "\n";
        synopsis = end == std::string_view::npos ? std::string_view() : synopsis.substr(end + 1);
    }
    return out + ".fi\n";
}

std::string commandSection(const CommandRow& row) {
    std::string out = ".SS " + RoffText(row.word) + "\n" + synopsisLines(row) + ".PP\n" + RoffParagraphs(row.description);
    out += ".PP\nOptions:\n.RS\n";
    for (const OptionRow& option : OptionRows())
        if (option.commands.has(row.command)) out += optionEntry(option);
    out += ".RE\n.PP\nExample:\n.PP\n.nf\n.RS\n" + RoffText(row.example) + "\n.RE\n.fi\n";
    return out;
}

}  // namespace

std::string ProductVersion() {
    std::string text = VersionText();
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    const size_t space = text.rfind(' ');
    return space == std::string::npos ? text : text.substr(space + 1);
}

std::string LumivelManualPage() {
    std::string out = heading("LUMIVEL", 1, "User Commands");
    out += ".SH NAME\nlumivel \\- find, restore and back up deleted directory objects\n";
    out += ".SH SYNOPSIS\n.nf\n\\fBlumivel\\fR\n\\fBlumivel\\fR [\\fB\\-v\\fR] \\fICOMMAND\\fR [\\fIarguments\\fR]\n"
           "\\fBlumivel\\fR \\fICOMMAND\\fR \\fB\\-\\-help\\fR\n\\fBlumivel \\-\\-version\\fR\n.fi\n";
    out += ".SH DESCRIPTION\n"
           "Finds the objects deleted from an Active Directory domain (tombstones), restores them with their\n"
           "deleted parents first, backs up live objects into archives in the backup folder and schedules\n"
           "such backups. The directory is reached with the Kerberos ticket of the user (\\fBkinit\\fR).\n"
           ".PP\nWithout a command the console opens; it needs a display. Every command below also answers\n"
           "\\fB\\-\\-help\\fR.\n";
    out += ".SH COMMANDS\n";
    for (const CommandRow& row : CommandRows()) out += commandSection(row);
    out += ".SH COMMON OPTIONS\n"
           ".TP\n.B \\-v, \\-\\-verbose\nBefore or after the command: trace on standard error the LDAP operations and\n"
           "which domain controller is used and why.\n"
           ".TP\n.B \\-h, \\-\\-help\nPrint the help of the program, or of the command it follows, and exit.\n"
           ".TP\n.B \\-V, \\-\\-version\nPrint the version and exit.\n";
    out += ".SH EXIT STATUS\n0 success, 1 failure, 2 a mistake in the command line.\n";
    out += ".SH ENVIRONMENT\n"
           ".TP\n.B LUMIVEL_CONFIG_DIR\nThe folder of the machine's configuration instead of \\fI/etc/lumivel\\fR.\n"
           ".TP\n.B LUMIVEL_AUDIT_LOG\nThe audit log instead of the default below.\n"
           ".TP\n.B LUMIVEL_USER_HIVE\nThe file of the user's registry (stored domains, the FileLocation policy)\n"
           "instead of \\fI$XDG_CONFIG_HOME/lumivel/user.hive\\fR.\n";
    out += ".SH FILES\n"
           ".TP\n.I /etc/lumivel/lumivel.conf\nThe machine's settings; see \\fBlumivel.conf\\fR(5).\n"
           ".TP\n.I /etc/lumivel/Revivo_Config.inf\nThe attributes that backups leave alone.\n"
           ".TP\n.I /var/log/lumivel/audit.log\nThe audit log of root; other users' is "
           "\\fI$XDG_STATE_HOME/lumivel/audit.log\\fR.\n"
           ".TP\n.I $XDG_CACHE_HOME/lumivel/tombstones/\nThe last listing of each domain, for shell completion.\n";
    out += ".SH SEE ALSO\n\\fBlumivel.conf\\fR(5), \\fBlumivel\\-scheduler\\fR(8), \\fBkinit\\fR(1)\n";
    return out;
}

std::string SchedulerManualPage() {
    std::string out = heading("LUMIVEL-SCHEDULER", 8, "System Administration");
    out += ".SH NAME\nlumivel\\-scheduler \\- run the scheduled backups of Tarvo Lumivel\n";
    out += ".SH SYNOPSIS\n.nf\n\\fBlumivel\\-scheduler\\fR [\\fB\\-\\-foreground\\fR]\n"
           "\\fBlumivel\\-scheduler \\-\\-help\\fR | \\fB\\-\\-version\\fR\n.fi\n";
    // The usage text after its first line is the description --help gives.
    std::string_view usage = lumivel::scheduler::kSchedulerUsage;
    const size_t firstLine = usage.find('\n');
    out += ".SH DESCRIPTION\n" + RoffParagraphs(usage.substr(firstLine == std::string_view::npos ? usage.size() : firstLine + 1));
    out += ".PP\nThe package runs it as the systemd unit \\fIlumivel\\-scheduler.service\\fR. Jobs are made with\n"
           "\\fBlumivel schedule\\fR and listed, run or deleted with \\fBlumivel jobs\\fR.\n";
    out += ".SH OPTIONS\n"
           ".TP\n.B \\-\\-foreground\nAlso write the log on standard error.\n"
           ".TP\n.B \\-h, \\-\\-help\nPrint the usage and exit.\n"
           ".TP\n.B \\-\\-version\nPrint the version and exit.\n";
    out += ".SH SIGNALS\n.TP\n.B SIGHUP\nRead the task folder again.\n"
           ".TP\n.B SIGTERM, SIGINT\nStop.\n";
    out += ".SH ENVIRONMENT\n.TP\n.B LUMIVEL_TASK_FOLDER\nThe task folder instead of \\fI/var/lib/lumivel/tasks\\fR.\n";
    out += ".SH FILES\n"
           ".TP\n.I /var/lib/lumivel/tasks/\nThe jobs, one \\fI.job\\fR file each, and the accounts' keys.\n"
           ".TP\n.I /var/lib/lumivel/Scheduled Backups/\nThe scripts the jobs run, when root scheduled them.\n";
    out += ".SH SEE ALSO\n\\fBlumivel\\fR(1), \\fBlumivel.conf\\fR(5)\n";
    return out;
}

}  // namespace lumivel_cli
