#include "ldap_trace.h"

#include "lumivel/terminal_text.h"
#include "lumivel/trace.h"

namespace lumivel::directory {

namespace {

// Names and filters come from callers and the directory: harmless before they are shown.
std::string shown(std::string_view text) { return TerminalText(text); }

std::string answer(int rc) {
    const char* text = ldap_err2string(rc);
    return std::to_string(rc) + " (" + (text ? text : "unknown") + ")";
}

void traceLine(std::string_view server, const std::string& what, int rc) {
    // A connection reads the rootDSE before it knows the server's own name.
    Trace("ldap", (server.empty() ? std::string("(connecting)") : shown(server)) + ": " + what + ": " + answer(rc));
}

const char* scopeName(int scope) {
    switch (scope) {
        case LDAP_SCOPE_BASE: return "base";
        case LDAP_SCOPE_ONELEVEL: return "one level";
        default: return "subtree";
    }
}

}  // namespace

void TraceSearch(std::string_view server, std::string_view base, int scope, std::string_view filter, int rc) {
    if (!TraceEnabled()) return;
    traceLine(server, "search " + (base.empty() ? std::string("the rootDSE") : shown(base)) + " (" + scopeName(scope) + ") " +
                          shown(filter), rc);
}

void TraceChange(std::string_view server, std::string_view operation, std::string_view dn, LDAPMod** mods, int rc) {
    if (!TraceEnabled()) return;
    std::string changes;
    for (LDAPMod** mod = mods; mod && *mod; ++mod) {
        const int op = (*mod)->mod_op & ~LDAP_MOD_BVALUES;
        const char* how = op == LDAP_MOD_ADD ? "add " : op == LDAP_MOD_DELETE ? "delete " : "replace ";
        changes += (changes.empty() ? "" : ", ") + std::string(operation == "add" ? "" : how) +
                   shown((*mod)->mod_type ? (*mod)->mod_type : "");
    }
    traceLine(server, std::string(operation) + " " + shown(dn) + (changes.empty() ? "" : ": " + changes), rc);
}

void TraceDelete(std::string_view server, std::string_view dn, int rc) {
    if (!TraceEnabled()) return;
    traceLine(server, "delete " + shown(dn), rc);
}

}  // namespace lumivel::directory
