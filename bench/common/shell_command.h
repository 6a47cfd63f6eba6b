// Shell command lines for the benchmarks that drive the product and the LDAP tools through bash.
#pragma once

#include <string>

namespace bench {

// The text as one single-quoted bash word.
std::string ShellQuote(const std::string& text);

// What the command line prints on standard output; empty when it cannot be started.
std::string CommandOutput(const std::string& command);

// The options of an LDAP tool binding to the server with the caller's Kerberos ticket.
std::string LdapToolOptions(const std::string& server);

}  // namespace bench
