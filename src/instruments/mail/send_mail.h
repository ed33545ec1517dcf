#pragma once
// The e-mail alert's send operation over SMTP. Result codes keep the meaning they always had for the
// windows: 0 success, the transport's error code otherwise (libcurl's CURLcode: 7 no connection,
// 28 time-out, 55 the server refused the sender, a recipient or the message, ...), -1 when the
// transport cannot be set up. The wait keeps the window alive through the event pump and is bounded.
#include "common/event_pump.h"
#include "instruments/mail/mail_settings.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace korvo {

inline constexpr const char* kMailOriginatorName = "Korvo2003";
inline constexpr const char* kMailRecipientName = "Test";
inline constexpr const char* kMailDefaultBody = "Info vom Meßprogram";

// Refused before anything is sent: an attachment that is missing, no regular file, or too large.
inline constexpr int kMailAttachmentUnreadable = 26; // CURLE_READ_ERROR
// Refused before anything is sent: a recipient or originator address that SMTP cannot carry as given.
inline constexpr int kMailBadAddress = 43; // CURLE_BAD_FUNCTION_ARGUMENT
// A missing recipient: the mail goes nowhere, which the server would have said the same way.
inline constexpr int kMailNoRecipient = 55; // CURLE_SEND_ERROR

struct MailLimits {
    std::chrono::milliseconds connect{5000}; // connection and the server's greeting
    std::chrono::milliseconds total{30000};  // the whole exchange
    std::chrono::milliseconds pumpEvery{10};
    std::uintmax_t maxAttachmentBytes = std::uintmax_t(20) << 20;
};

// What SendMail needs beyond the message: the server, the pump to keep the window alive, the limits;
// `error` (if given) receives the transport's own words on failure.
struct MailLink {
    const MailSettings& settings;
    EventPump& pump;
    MailLimits limits = {};
    std::string* error = nullptr;
};

// Sends one mail. Every text may be empty: an empty subject or body is left out; an empty recipient
// address gives no recipient (kMailNoRecipient, nothing is sent); an empty recipient or originator
// name shows the address; an empty originator address is the settings' sender; an empty attachment
// path attaches nothing, any other path attaches that file as a MIME part.
int SendMail(const MailLink& link, const std::string& subject, const std::string& body,
             const std::string& attachmentPath, const std::string& recipientAddress,
             const std::string& recipientName, const std::string& originatorAddress,
             const std::string& originatorName);

// The error box's text for a non-zero result: "Error sending mail (55)."
std::string mailErrorText(int result);

} // namespace korvo
