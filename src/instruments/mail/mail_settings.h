#pragma once
// Where the e-mail alert goes out: an SMTP server (the workstation's own relay by default) and the
// sender address, kept in the INI file's [mail] section:
//
//   [mail]
//   server=localhost        host name or address of the SMTP server
//   port=25                 its port, 1 to 65535
//   sender=korvo@localhost  envelope and From address of every mail; empty: none
#include "common/ini_file.h"

#include <string>
#include <string_view>
#include <vector>

namespace korvo {

inline constexpr const char* kMailSection = "mail";

struct MailSettings {
    std::string server = "localhost";
    int port = 25;
    std::string sender = "korvo@localhost";
};

// The [mail] keys; a missing key gives its default. A value that cannot be used (a server name with
// blanks or URL characters, a port outside 1..65535, a sender that is no plain address) gives the
// default too, and one line per such key is added to *problems.
MailSettings readMailSettings(const IniFile& ini, std::vector<std::string>* problems = nullptr);

// A host name, an IPv4 address or an IPv6 address (bare or in brackets): nothing that would change
// the meaning of the server's URL.
bool isMailServerName(std::string_view server);

} // namespace korvo
