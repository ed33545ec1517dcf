#include "instruments/mail/send_mail.h"

#include "instruments/mail/mail_message.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <memory>

namespace korvo {

namespace {

bool curlReady() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

struct EasyFree {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct MultiFree {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct ListFree {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct MimeFree {
    void operator()(curl_mime* m) const { curl_mime_free(m); }
};
struct FdClose {
    void operator()(int* fd) const {
        ::close(*fd);
        delete fd;
    }
};
using Fd = std::unique_ptr<int, FdClose>;

// The attachment is opened and checked once, here, and then read from that descriptor: a path that
// is swapped for a FIFO or device after the check cannot make the send wait on it.
Fd openAttachment(const std::string& path, std::uintmax_t maxBytes, curl_off_t& size, std::string& why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = "the attachment " + path + " cannot be opened";
        return nullptr;
    }
    Fd owned(new int(fd));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = "the attachment " + path + " is no regular file";
        return nullptr;
    }
    if (std::uintmax_t(st.st_size) > maxBytes) {
        why = "the attachment " + path + " is larger than " + std::to_string(maxBytes) + " bytes";
        return nullptr;
    }
    size = st.st_size;
    return owned;
}

std::size_t readAttachment(char* buffer, std::size_t size, std::size_t count, void* arg) {
    const ssize_t n = ::read(*static_cast<int*>(arg), buffer, size * count);
    return n < 0 ? CURL_READFUNC_ABORT : std::size_t(n);
}

int seekAttachment(void* arg, curl_off_t offset, int origin) {
    return ::lseek(*static_cast<int*>(arg), offset, origin) < 0 ? CURL_SEEKFUNC_FAIL : CURL_SEEKFUNC_OK;
}

std::string serverUrl(const MailSettings& s) {
    const bool bareIpv6 = s.server.find(':') != std::string::npos && s.server.front() != '[';
    return "smtp://" + (bareIpv6 ? "[" + s.server + "]" : s.server) + ":" + std::to_string(s.port);
}

long asMs(std::chrono::milliseconds d) {
    return static_cast<long>(std::max<std::chrono::milliseconds::rep>(d.count(), 1));
}

// Runs the transfer to its end, pumping the window's events while it waits.
CURLcode runPumped(CURLM* multi, EventPump& pump, const MailLimits& limits) {
    using std::chrono::steady_clock;
    const auto start = steady_clock::now();
    auto lastPump = start - limits.pumpEvery;
    for (;;) {
        int active = 0;
        if (curl_multi_perform(multi, &active) != CURLM_OK) return CURLE_SEND_ERROR;
        if (active == 0) break;
        // curl keeps the limits itself; this only guards against a transfer that outlives them.
        if (steady_clock::now() - start > limits.total + std::chrono::seconds(1)) return CURLE_OPERATION_TIMEDOUT;
        if (steady_clock::now() - lastPump >= limits.pumpEvery) {
            pump.pump();
            lastPump = steady_clock::now();
        }
        const auto due = limits.pumpEvery - (steady_clock::now() - lastPump);
        const auto waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(due).count();
        curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::clamp<long long>(waitMs, 1, 1000)), nullptr);
    }
    CURLcode result = CURLE_SEND_ERROR;
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &queued))
        if (msg->msg == CURLMSG_DONE) result = msg->data.result;
    return result;
}

} // namespace

int SendMail(const MailLink& link, const std::string& subject, const std::string& body,
             const std::string& attachmentPath, const std::string& recipientAddress,
             const std::string& recipientName, const std::string& originatorAddress,
             const std::string& originatorName) {
    auto fail = [&](int code, const std::string& why) {
        if (link.error) *link.error = why;
        return code;
    };
    // An address is checked before it becomes a command: a line break in it would be a second one.
    const std::string from = originatorAddress.empty() ? link.settings.sender : originatorAddress;
    if (!from.empty() && !isPlainMailAddress(from)) return fail(kMailBadAddress, "the sender address is not usable");
    if (recipientAddress.empty()) return fail(kMailNoRecipient, "the mail has no recipient");
    if (!isPlainMailAddress(recipientAddress)) return fail(kMailBadAddress, "the recipient address is not usable");
    if (!isMailServerName(link.settings.server) || link.settings.port < 1 || link.settings.port > 65535)
        return fail(CURLE_URL_MALFORMAT, "the mail server setting is not usable");

    Fd attachment;
    curl_off_t attachmentSize = 0;
    if (!attachmentPath.empty()) {
        std::string why;
        attachment = openAttachment(attachmentPath, link.limits.maxAttachmentBytes, attachmentSize, why);
        if (!attachment) return fail(kMailAttachmentUnreadable, why);
    }

    // What the transfer points to is declared before the handles, so that it outlives them.
    char errorText[CURL_ERROR_SIZE] = {};
    std::unique_ptr<curl_slist, ListFree> headers, recipients;
    std::unique_ptr<curl_mime, MimeFree> mime;
    std::unique_ptr<CURLM, MultiFree> multi(curlReady() ? curl_multi_init() : nullptr);
    std::unique_ptr<CURL, EasyFree> easy(multi ? curl_easy_init() : nullptr);
    if (!easy) return fail(-1, "the mail transport could not be set up");
    CURL* e = easy.get();
    mime.reset(curl_mime_init(e));
    if (!mime) return fail(-1, "the mail transport could not be set up");

    MailHeaderFields fields;
    fields.subject = subject;
    fields.toName = recipientName, fields.toAddress = recipientAddress;
    fields.fromName = originatorName, fields.fromAddress = from;
    fields.date = std::time(nullptr);
    for (const std::string& line : mailHeaderLines(fields)) {
        // The list's head stays the same once it exists; a failed append leaves the list as it was.
        curl_slist* head = curl_slist_append(headers.get(), line.c_str());
        if (!head) return fail(-1, "the mail transport could not be set up");
        if (!headers) headers.reset(head);
    }
    recipients.reset(curl_slist_append(nullptr, ("<" + recipientAddress + ">").c_str()));
    if (!recipients) return fail(-1, "the mail transport could not be set up");

    // Quoted-printable keeps the body's umlauts intact through relays that only pass 7-bit text.
    if (!body.empty() || !attachment) {
        curl_mimepart* text = curl_mime_addpart(mime.get());
        curl_mime_data(text, body.data(), body.size());
        curl_mime_type(text, "text/plain; charset=UTF-8");
        curl_mime_encoder(text, "quoted-printable");
    }
    if (attachment) {
        curl_mimepart* file = curl_mime_addpart(mime.get());
        curl_mime_data_cb(file, attachmentSize, readAttachment, seekAttachment, nullptr, attachment.get());
        // The disposition is written here rather than by curl, which would copy a line break in the
        // file name into the part's header.
        curl_slist* disposition = curl_slist_append(
            nullptr, mailAttachmentDisposition(std::filesystem::path(attachmentPath).filename().string()).c_str());
        if (!disposition || curl_mime_headers(file, disposition, 1) != CURLE_OK) {
            curl_slist_free_all(disposition);
            return fail(-1, "the mail transport could not be set up");
        }
        curl_mime_type(file, "application/octet-stream");
        curl_mime_encoder(file, "base64");
    }

    const std::string url = serverUrl(link.settings);
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "smtp");
    curl_easy_setopt(e, CURLOPT_PROXY, ""); // the relay is reached directly
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, asMs(link.limits.connect));
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, asMs(link.limits.total));
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText);
    if (!from.empty()) curl_easy_setopt(e, CURLOPT_MAIL_FROM, ("<" + from + ">").c_str());
    curl_easy_setopt(e, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(e, CURLOPT_MIMEPOST, mime.get());
    if (curl_multi_add_handle(multi.get(), e) != CURLM_OK) return fail(-1, "the mail transport could not be set up");

    const CURLcode result = runPumped(multi.get(), link.pump, link.limits);
    curl_multi_remove_handle(multi.get(), e);
    if (result != CURLE_OK) return fail(result, errorText[0] ? errorText : curl_easy_strerror(result));
    return 0;
}

std::string mailErrorText(int result) {
    return "Error sending mail (" + std::to_string(result) + ").";
}

} // namespace korvo
