#include "cli/manual/config_documents.h"

#include <string_view>

#include "cli/manual/manual_pages.h"
#include "cli/manual/roff.h"
#include "lumivel/machine_config.h"

namespace lumivel_cli {

namespace {

std::string commented(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        out += "# " + std::string(text.substr(0, end)) + "\n";
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return out;
}

constexpr char kFormat[] =
    "One \"Key = value\" a line, blanks around either allowed; keys are compared without regard\n"
    "to case. A line whose first character other than a blank is \"#\" or \";\" is a comment; there\n"
    "are no comments after a value, so that a value may hold \"#\". A key that is left out or has an\n"
    "empty value keeps its default; one set twice counts with its last line. A line that cannot\n"
    "be used (no \"=\", an unknown key, a value the key does not take, a control character, more\n"
    "than 4096 characters) is ignored: the rest of the file still counts, and 'lumivel config'\n"
    "says which lines were ignored and why, and which setting came from where.\n"
    "Per-user settings come first where they are set: a user's FileLocation policy names the\n"
    "backup folder for that user whatever BackupFolder says.\n";

}  // namespace

std::string ShippedConfigFile() {
    std::string out =
        "# /etc/lumivel/lumivel.conf: Tarvo Lumivel's settings for this machine (lumivel.conf(5)).\n"
        "#\n" +
        commented(kFormat) +
        "# The programs read this file when they start.\n"
        "#\n"
        "# Below, every key at its default, commented out.\n";
    for (const lumivel::MachineSettingRow& row : lumivel::MachineSettingRows())
        out += "\n" + commented(row.help) + "#" + row.key + " =" + (*row.defaultValue ? " " : "") + row.defaultValue + "\n";
    return out;
}

std::string ConfigManualPage() {
    std::string out = ".TH LUMIVEL.CONF 5 \"\" \"Tarvo Lumivel " + ProductVersion() + "\" \"File Formats\"\n";
    out += ".SH NAME\nlumivel.conf \\- machine\\-wide settings of Tarvo Lumivel\n";
    out += ".SH SYNOPSIS\n.I /etc/lumivel/lumivel.conf\n";
    out += ".SH DESCRIPTION\nThe settings of \\fBlumivel\\fR(1), its console and its scheduled backups on this machine.\n"
           ".PP\n" + RoffParagraphs(kFormat);
    out += ".SH KEYS\n";
    for (const lumivel::MachineSettingRow& row : lumivel::MachineSettingRows()) {
        out += ".TP\n.B " + RoffText(row.key) + "\n" + RoffParagraphs(row.help);
        out += std::string(*row.defaultValue ? "Default: " + RoffText(row.defaultValue) + ".\n" : "Default: none.\n");
    }
    out += ".SH ENVIRONMENT\n"
           ".TP\n.B LUMIVEL_CONFIG_DIR\nAn absolute path: the folder read instead of \\fI/etc/lumivel\\fR.\n"
           ".TP\n.B LUMIVEL_LDAP_CONNECT_TIMEOUT\\fR, \\fBLUMIVEL_LDAP_OPERATION_TIMEOUT\nSeconds; they come before "
           "LdapConnectTimeout and LdapOperationTimeout.\n";
    out += ".SH FILES\n"
           ".TP\n.I /etc/lumivel/lumivel.conf\nThis file.\n"
           ".TP\n.I /etc/lumivel/Revivo_Config.inf\nThe attributes that backups leave alone (section\n"
           "\"Restricted.Attributes\", one attribute a line). When it is missing, the copy shipped\n"
           "in \\fI/usr/lib/lumivel\\fR is read.\n";
    out += ".SH SEE ALSO\n\\fBlumivel\\fR(1), \\fBlumivel\\-scheduler\\fR(8)\n";
    return out;
}

}  // namespace lumivel_cli
