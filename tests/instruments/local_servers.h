#pragma once
// Servers on 127.0.0.1 for the network links' tests, each in a thread of the test process, on a port
// the system picks. They stand in for the ring's status page and the mail relay; nothing else is
// ever contacted.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace korvo::testing {

// Accepts connections one after the other and hands each to `serve`; stops in the destructor.
class LocalListener {
public:
    using Serve = std::function<void(int fd, LocalListener& self)>;
    explicit LocalListener(Serve serve);
    ~LocalListener();
    LocalListener(const LocalListener&) = delete;
    LocalListener& operator=(const LocalListener&) = delete;

    int port() const { return port_; }
    bool stopping() const { return stop_; }
    int connections() const { return connections_; }

    // Sends everything unless the peer goes away or the listener stops; false then.
    bool sendAll(int fd, std::string_view bytes) const;
    // One line without its CR LF, read with a buffer kept per connection by the caller; false when the
    // peer closed or the listener stops.
    bool readLine(int fd, std::string& buffer, std::string& line) const;
    // Waits until the listener stops (a server that accepts and never answers).
    void holdUntilStopped() const;

private:
    void run();
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    Serve serve_;
    std::thread thread_;
};

// A port on 127.0.0.1 that is taken but not listening: connections are refused at once.
class ClosedPort {
public:
    ClosedPort();
    ~ClosedPort();
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

// The status page: each request gets `respond` (after the request's header has been read).
class LocalHttpServer {
public:
    using Respond = std::function<void(int fd, LocalListener& self)>;
    explicit LocalHttpServer(Respond respond);
    std::string url(const std::string& path = "/") const;
    int connections() const { return listener_.connections(); }
    std::string lastRequest() const;

    // A complete answer with this body, its length announced.
    static Respond page(std::string body, int status = 200);
    // An answer whose body never ends; *sent counts the body bytes that left.
    static Respond endless(std::atomic<std::size_t>* sent);
    // Accepts and reads the request, then says nothing.
    static Respond silent();
    // Sends `answer` (status line, header and body) one byte every `every`.
    static Respond dribble(std::string answer, std::chrono::milliseconds every);
    // A header of `bytes` bytes, in one line or in many lines of 100 bytes, then a page with a value.
    static Respond hugeHeader(std::size_t bytes, bool oneLine);

private:
    mutable std::mutex mutex_;
    std::string lastRequest_;
    LocalListener listener_;
};

// A mail relay: greets, takes EHLO/HELO, MAIL, RCPT, DATA, RSET, NOOP, QUIT; refuses the recipients
// named in `refused` with 550. With `greet` false it accepts and never says a word.
class LocalSmtpServer {
public:
    struct Mail {
        std::string from;
        std::vector<std::string> to;
        std::string data; // the message as sent, dot-stuffing undone
        // Whether the message's header holds exactly this line.
        bool header(const std::string& line) const {
            const std::string head = data.substr(0, data.find("\r\n\r\n") + 2);
            return head.rfind(line + "\r\n", 0) == 0 || head.find("\r\n" + line + "\r\n") != std::string::npos;
        }
    };
    explicit LocalSmtpServer(std::set<std::string> refused = {}, bool greet = true);
    int port() const { return listener_.port(); }
    std::vector<Mail> mails() const;
    std::vector<std::string> commands() const;

private:
    void serve(int fd, LocalListener& self);
    std::set<std::string> refused_;
    bool greet_;
    mutable std::mutex mutex_;
    std::vector<Mail> mails_;
    std::vector<std::string> commands_;
    LocalListener listener_;
};

} // namespace korvo::testing
