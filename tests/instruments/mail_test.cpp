#include "instruments/local_servers.h"
#include "instruments/mail/mail_message.h"
#include "instruments/mail/send_mail.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>

namespace korvo {
namespace {

using namespace std::chrono_literals;
using testing::ClosedPort;
using testing::LocalSmtpServer;

std::string decodeBase64(std::string_view text) {
    std::string out;
    unsigned acc = 0;
    int bits = 0;
    for (const char c : text) {
        const auto at = std::string_view("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/").find(c);
        if (at == std::string_view::npos) continue; // line breaks and padding
        acc = acc << 6 | unsigned(at);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>(acc >> bits & 0xFF);
        }
    }
    return out;
}

std::string decodeQuotedPrintable(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
        } else if (text.substr(i + 1, 2) == "\r\n") {
            i += 2; // soft line break
        } else if (i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        }
    }
    return out;
}

// The content of the MIME part whose header block holds `header`, up to the next boundary line.
std::string partContent(const std::string& data, const std::string& header) {
    const std::size_t at = data.find(header);
    if (at == std::string::npos) return "(no such part)";
    const std::size_t begin = data.find("\r\n\r\n", at) + 4;
    return data.substr(begin, data.find("\r\n--", begin) - begin);
}

struct Sender {
    MailSettings settings;
    ScriptedPump pump;
    MailLimits limits;
    std::string why;
    explicit Sender(int port) {
        settings.server = "127.0.0.1";
        settings.port = port;
        settings.sender = "korvo@station.example";
        limits.connect = 300ms;
        limits.total = 3s;
    }
    int send(const std::string& subject, const std::string& body, const std::string& attachment,
             const std::string& to) {
        return SendMail({settings, pump, limits, &why}, subject, body, attachment, to, kMailRecipientName, "",
                        kMailOriginatorName);
    }
};

TEST(SendMail, TheRelayReceivesSubjectBodyRecipientAndSender) {
    LocalSmtpServer relay;
    Sender s(relay.port());
    // A body of several lines, one of them the end-of-data line that SMTP must not take as such.
    const std::string body = std::string(kMailDefaultBody) + "\r\n.\r\nNach dem Punkt";
    ASSERT_EQ(s.send("250.3 mA", body, "", "beamline@example.org"), 0) << s.why;
    const auto mails = relay.mails();
    ASSERT_EQ(mails.size(), 1u);
    const auto& m = mails[0];
    EXPECT_EQ(m.from, "korvo@station.example") << "an empty originator address is the settings' sender";
    EXPECT_EQ(m.to, std::vector<std::string>{"beamline@example.org"});
    EXPECT_TRUE(m.header("Subject: 250.3 mA")) << m.data;
    EXPECT_TRUE(m.header("To: \"Test\" <beamline@example.org>")) << m.data;
    EXPECT_TRUE(m.header("From: \"Korvo2003\" <korvo@station.example>")) << m.data;
    EXPECT_EQ(decodeQuotedPrintable(partContent(m.data, "Content-Type: text/plain; charset=UTF-8")), body);
    // Relays that only pass 7-bit text get the umlauts intact too.
    EXPECT_TRUE(std::all_of(m.data.begin(), m.data.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
    EXPECT_GE(s.pump.calls(), 1);
}

TEST(SendMail, TextFromBoxesCannotAddRecipientsOrHeaders) {
    LocalSmtpServer relay;
    Sender s(relay.port());
    ASSERT_EQ(s.send("250.3 mA\r\nBcc: intruder@example.org", "x", "", "beamline@example.org"), 0) << s.why;
    const auto mails = relay.mails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].to.size(), 1u);
    EXPECT_FALSE(mails[0].header("Bcc: intruder@example.org")) << mails[0].data;
    EXPECT_TRUE(mails[0].header("Subject: 250.3 mA  Bcc: intruder@example.org"));

    // An address with a line break would be a second SMTP command: refused before connecting.
    EXPECT_EQ(s.send("s", "b", "", "a@example.org>\r\nRCPT TO:<intruder@example.org"), kMailBadAddress);
    s.settings.sender = "korvo@station.example\r\nRSET";
    EXPECT_EQ(s.send("s", "b", "", "beamline@example.org"), kMailBadAddress);
    EXPECT_EQ(relay.mails().size(), 1u);
}

TEST(SendMail, AFileIsAttachedAsAMimePart) {
    testing::TempDir dir;
    std::string bytes("\0\x01\xff\r\n.\r\nlog line\n", 16);
    for (int i = 0; i < 5000; ++i) bytes += static_cast<char>(i * 7);
    std::ofstream(dir.file("run.log"), std::ios::binary) << bytes;

    LocalSmtpServer relay;
    Sender s(relay.port());
    ASSERT_EQ(s.send("250.3 mA", "see attachment", dir.file("run.log"), "beamline@example.org"), 0) << s.why;
    const auto mails = relay.mails();
    ASSERT_EQ(mails.size(), 1u);
    const std::string& data = mails[0].data;
    EXPECT_NE(data.find("Content-Type: multipart/mixed"), std::string::npos);
    EXPECT_NE(data.find("filename=\"run.log\""), std::string::npos) << data;
    EXPECT_EQ(decodeBase64(partContent(data, "Content-Transfer-Encoding: base64")), bytes);
    EXPECT_EQ(decodeQuotedPrintable(partContent(data, "Content-Type: text/plain; charset=UTF-8")), "see attachment");
}

TEST(SendMail, AnAttachmentsNameCannotAddHeaders) {
    // File names may hold any byte but "/": a line break in one must not start a header line of
    // the part, and a name in another script must arrive as it is.
    testing::TempDir dir;
    const std::string injected = "run.log\r\nBcc: intruder@example.org\r\nX-Injected: yes";
    const std::string umlauts = "Strahlstrom M\xc3\xa4rz \"final\".log";
    for (const std::string& name : {injected, umlauts}) std::ofstream(dir.file(name), std::ios::binary) << "counts";

    LocalSmtpServer relay;
    Sender s(relay.port());
    ASSERT_EQ(s.send("250.3 mA", "b", dir.file(injected), "beamline@example.org"), 0) << s.why;
    ASSERT_EQ(s.send("250.3 mA", "b", dir.file(umlauts), "beamline@example.org"), 0) << s.why;
    const auto mails = relay.mails();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].data.find("\r\nX-Injected"), std::string::npos) << mails[0].data;
    EXPECT_EQ(mails[0].data.find("\r\nBcc"), std::string::npos) << mails[0].data;
    EXPECT_NE(mails[0].data.find("Content-Disposition: attachment; filename=\"run.log  Bcc: intruder@example.org  "
                                 "X-Injected: yes\"\r\n"),
              std::string::npos)
        << mails[0].data;
    EXPECT_EQ(decodeBase64(partContent(mails[0].data, "Content-Transfer-Encoding: base64")), "counts");
    EXPECT_NE(mails[1].data.find("Content-Disposition: attachment; filename=\"Strahlstrom M_rz \\\"final\\\".log\";"
                                 "\r\n filename*=UTF-8''Strahlstrom%20M%C3%A4rz%20%22final%22.log\r\n"),
              std::string::npos)
        << mails[1].data;
}

TEST(SendMail, FailuresGiveTheTransportsCode) {
    testing::TempDir dir;
    ::mkfifo(dir.file("fifo").c_str(), 0600);
    {
        LocalSmtpServer relay({"nobody@example.org"});
        Sender s(relay.port());
        EXPECT_EQ(s.send("s", "b", "", "nobody@example.org"), 55) << s.why; // CURLE_SEND_ERROR
        EXPECT_TRUE(relay.mails().empty());
        // What cannot be sent is refused before the relay hears of it.
        EXPECT_EQ(s.send("s", "b", "", ""), kMailNoRecipient);
        EXPECT_EQ(s.send("s", "b", dir.file("missing.log"), "a@example.org"), kMailAttachmentUnreadable);
        EXPECT_EQ(s.send("s", "b", dir.path.string(), "a@example.org"), kMailAttachmentUnreadable);
        EXPECT_EQ(s.send("s", "b", dir.file("fifo"), "a@example.org"), kMailAttachmentUnreadable);
        const auto commands = relay.commands();
        EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                                [](const std::string& c) { return c.rfind("MAIL", 0) == 0; }),
                  1);
    }
    {
        ClosedPort closed;
        Sender s(closed.port());
        EXPECT_EQ(s.send("s", "b", "", "a@example.org"), 7); // CURLE_COULDNT_CONNECT
    }
    {
        LocalSmtpServer mute({}, false); // accepts and never greets
        Sender s(mute.port());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(s.send("s", "b", "", "a@example.org"), 28); // CURLE_OPERATION_TIMEDOUT
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, 3s);
        EXPECT_GE(s.pump.calls(), std::chrono::duration_cast<std::chrono::milliseconds>(took).count() / 50);
    }
    EXPECT_EQ(mailErrorText(-1), "Error sending mail (-1).");
}

TEST(MailMessage, HeaderTextsStayOnTheirLine) {
    EXPECT_EQ(mailHeaderText("250.3 mA"), "250.3 mA");
    EXPECT_EQ(mailHeaderText("a\r\nBcc: b\tc"), "a  Bcc: b c");
    EXPECT_EQ(mailHeaderText("Meß"), "=?UTF-8?B?TWXDnw==?=");
    // Long texts are encoded in words of at most 75 characters, never splitting a character.
    std::string umlauts;
    for (int i = 0; i < 100; ++i) umlauts += "ü";
    const std::string folded = mailHeaderText(umlauts);
    std::string decoded;
    std::size_t words = 0;
    for (std::size_t at = 0; at != std::string::npos; ++words) {
        const std::size_t next = folded.find("\r\n ", at);
        const std::string word = folded.substr(at, next == std::string::npos ? next : next - at);
        EXPECT_LE(word.size(), 75u);
        ASSERT_EQ(word.rfind("=?UTF-8?B?", 0), 0u);
        const std::string part = decodeBase64(word.substr(10, word.size() - 12));
        EXPECT_EQ(part.size() % 2, 0u) << "a word ends inside a character";
        decoded += part;
        at = next == std::string::npos ? next : next + 3;
    }
    EXPECT_GT(words, 1u);
    EXPECT_EQ(decoded, umlauts);

    // Attachment names: a name that is no UTF-8 is taken as Windows-1252; a long one is sent in
    // numbered pieces on lines of their own, which put together give the name again.
    EXPECT_EQ(mailAttachmentDisposition("M\xe4rz.dat"),
              "Content-Disposition: attachment; filename=\"M_rz.dat\";\r\n filename*=UTF-8''M%C3%A4rz.dat");
    const std::string longName = umlauts.substr(0, 100) + ".dat";
    const std::string disposition = mailAttachmentDisposition(longName);
    std::string pieces;
    for (std::size_t at = 0, n = 0; at != std::string::npos; ++n) {
        const std::size_t next = disposition.find("\r\n", at);
        const std::string line = disposition.substr(at, next == std::string::npos ? next : next - at);
        if (n > 0) {
            EXPECT_LE(line.size(), 78u) << line;
            const std::string key = " filename*" + std::to_string(n - 1) + "*=" + (n == 1 ? "UTF-8''" : "");
            ASSERT_EQ(line.rfind(key, 0), 0u) << line;
            pieces += line.substr(key.size(), line.back() == ';' ? line.size() - key.size() - 1 : std::string::npos);
        }
        at = next == std::string::npos ? next : next + 2;
    }
    std::string name;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (pieces[i] != '%') {
            name += pieces[i];
            continue;
        }
        name += static_cast<char>(std::stoi(pieces.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    EXPECT_EQ(name, longName);

    EXPECT_EQ(mailbox("", "a@b.org"), "a@b.org");
    EXPECT_EQ(mailbox("Dr. \"X\" \\", "a@b.org"), "\"Dr. \\\"X\\\" \\\\\" <a@b.org>");
    EXPECT_EQ(mailbox("Jürgen", "a@b.org"), "=?UTF-8?B?SsO8cmdlbg==?= <a@b.org>");
    EXPECT_EQ(mailDate(0), "Thu, 01 Jan 1970 00:00:00 +0000");
    EXPECT_EQ(mailDate(1709647629), "Tue, 05 Mar 2024 14:07:09 +0000");
}

TEST(MailMessage, OnlyPlainAddressesAreSent) {
    for (const char* ok : {"a@b.org", "root", "first.last+tag@sub.example.org"})
        EXPECT_TRUE(isPlainMailAddress(ok)) << ok;
    for (const char* bad : {"", "a b@c.org", "<a@b.org>", "a@b.org\r\n", "\"a\"@b.org", "a@b.org,c@d.org", "ä@b.org"})
        EXPECT_FALSE(isPlainMailAddress(bad)) << bad;
    EXPECT_FALSE(isPlainMailAddress(std::string(255, 'a')));
}

TEST(MailSettings, TheMailSectionWithDefaultsForWhatCannotBeUsed) {
    IniFile ini;
    MailSettings s = readMailSettings(ini);
    EXPECT_EQ(s.server, "localhost");
    EXPECT_EQ(s.port, 25);
    EXPECT_EQ(s.sender, "korvo@localhost");

    ini.parse("[Mail]\r\nServer=relay.example.org\r\nport=587\r\nsender=beamline@example.org\r\n");
    std::vector<std::string> problems;
    s = readMailSettings(ini, &problems);
    EXPECT_EQ(s.server, "relay.example.org");
    EXPECT_EQ(s.port, 587);
    EXPECT_EQ(s.sender, "beamline@example.org");
    EXPECT_TRUE(problems.empty());

    for (const char* server : {"relay.example.org/x", "relay:25", "a b", "user@relay"}) {
        ini.writeString("mail", "server", server);
        problems.clear();
        EXPECT_EQ(readMailSettings(ini, &problems).server, "localhost") << server;
        EXPECT_EQ(problems.size(), 1u) << server;
    }
    for (const char* server : {"::1", "[::1]", "127.0.0.1"}) {
        ini.writeString("mail", "server", server);
        EXPECT_EQ(readMailSettings(ini).server, server);
    }
    for (const char* port : {"0", "65536", "25a", ""}) {
        ini.writeString("mail", "port", port);
        problems.clear();
        EXPECT_EQ(readMailSettings(ini, &problems).port, 25) << port;
        EXPECT_EQ(problems.size(), 1u) << port;
    }
    ini.writeString("mail", "sender", "");
    EXPECT_EQ(readMailSettings(ini).sender, "") << "an empty sender is a null sender, on purpose";
    ini.writeString("mail", "sender", "a b@c");
    EXPECT_EQ(readMailSettings(ini).sender, "korvo@localhost");
}

} // namespace
} // namespace korvo
