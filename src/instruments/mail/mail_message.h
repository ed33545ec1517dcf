#pragma once
// The parts of a mail that are plain text rules: which addresses can be sent as given, and how
// subject, names and date are written into header lines so that no text typed in a box (a subject
// with a line break, a name with quotes or umlauts) can add a header or break one.
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

// An address as SMTP carries it between "<" and ">": printable ASCII without blanks, brackets,
// quotes, commas or semicolons, at most 254 characters. A local name without "@" is allowed: the
// workstation's relay delivers to local users.
bool isPlainMailAddress(std::string_view address);

// Header text: printable ASCII stays as it is (line breaks and other control characters become
// blanks); anything else is written as UTF-8 encoded words, folded onto continuation lines.
std::string mailHeaderText(std::string_view text);

// "Name" <address>, or the bare address when the name is empty or the address itself.
std::string mailbox(std::string_view name, std::string_view address);

// RFC 5322 date in UTC, the same under every locale: "Tue, 05 Mar 2024 14:07:09 +0000".
std::string mailDate(std::time_t t);

// The attachment's "Content-Disposition" header line for a file name, which may hold any byte but
// "/": line breaks and other control characters become blanks, as in every header text. A name of
// printable ASCII is sent quoted; any other name (taken as UTF-8, or as Windows-1252 when it is not
// valid UTF-8) is also sent as RFC 2231 "filename*" in UTF-8, split into numbered pieces when long,
// beside an ASCII "filename" with "_" for each other character for readers that know only that.
std::string mailAttachmentDisposition(std::string_view fileName);

struct MailHeaderFields {
    std::string subject; // empty: no Subject line
    std::string toName, toAddress;     // empty address: no To line
    std::string fromName, fromAddress; // empty address: no From line
    std::time_t date = 0;
};
std::vector<std::string> mailHeaderLines(const MailHeaderFields& fields);

} // namespace korvo
