#include "instruments/mail/mail_settings.h"

#include "instruments/mail/mail_message.h"

namespace korvo {

bool isMailServerName(std::string_view server) {
    if (server.size() >= 2 && server.front() == '[' && server.back() == ']') server = server.substr(1, server.size() - 2);
    if (server.empty() || server.size() > 253) return false;
    auto isHex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); };
    // A colon makes it an IPv6 address; "host:25" is a port in the wrong key, not a host.
    const bool ipv6 = server.find(':') != std::string_view::npos;
    for (const char c : server) {
        const bool ok = ipv6 ? isHex(c) || c == ':' || c == '.'
                             : (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                   c == '.' || c == '-' || c == '_';
        if (!ok) return false;
    }
    return true;
}

MailSettings readMailSettings(const IniFile& ini, std::vector<std::string>* problems) {
    MailSettings s;
    auto report = [&](const std::string& key, const std::string& value, const std::string& def) {
        if (problems)
            problems->push_back("[" + std::string(kMailSection) + "] " + key + "=" + value + " cannot be used; " +
                                (def.empty() ? "none" : def) + " is taken instead");
    };
    const std::string server = ini.readString(kMailSection, "server", s.server);
    if (isMailServerName(server))
        s.server = server;
    else
        report("server", server, s.server);

    bool bad = false;
    const std::int32_t port = ini.readInteger(kMailSection, "port", s.port, &bad);
    if (!bad && port >= 1 && port <= 65535)
        s.port = port;
    else
        report("port", ini.readString(kMailSection, "port", ""), std::to_string(s.port));

    const std::string sender = ini.readString(kMailSection, "sender", s.sender);
    if (sender.empty() || isPlainMailAddress(sender))
        s.sender = sender;
    else
        report("sender", sender, s.sender);
    return s;
}

} // namespace korvo
