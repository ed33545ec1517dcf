#include "instruments/local_servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace korvo::testing {

namespace {

// Binds to 127.0.0.1 on a port the system picks.
int boundLoopbackSocket(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        throw std::runtime_error("bind");
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// Waits up to 20 ms for the socket to become readable or writable.
bool ready(int fd, short events) {
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, 20) > 0;
}

} // namespace

LocalListener::LocalListener(Serve serve) : serve_(std::move(serve)) {
    listenFd_ = boundLoopbackSocket(port_);
    if (::listen(listenFd_, 8) != 0) throw std::runtime_error("listen");
    thread_ = std::thread([this] { run(); });
}

LocalListener::~LocalListener() {
    stop_ = true;
    thread_.join();
    ::close(listenFd_);
}

void LocalListener::run() {
    while (!stop_) {
        if (!ready(listenFd_, POLLIN)) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++connections_;
        serve_(fd, *this);
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }
}

bool LocalListener::sendAll(int fd, std::string_view bytes) const {
    while (!bytes.empty()) {
        if (stop_) return false;
        if (!ready(fd, POLLOUT)) continue;
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(std::size_t(n));
    }
    return true;
}

bool LocalListener::readLine(int fd, std::string& buffer, std::string& line) const {
    for (;;) {
        const std::size_t eol = buffer.find("\r\n");
        if (eol != std::string::npos) {
            line = buffer.substr(0, eol);
            buffer.erase(0, eol + 2);
            return true;
        }
        if (stop_) return false;
        if (!ready(fd, POLLIN)) continue;
        char chunk[4096];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buffer.append(chunk, std::size_t(n));
    }
}

void LocalListener::holdUntilStopped() const {
    while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

ClosedPort::ClosedPort() {
    fd_ = boundLoopbackSocket(port_);
}

ClosedPort::~ClosedPort() {
    ::close(fd_);
}

LocalHttpServer::LocalHttpServer(Respond respond)
    : listener_([this, respond = std::move(respond)](int fd, LocalListener& self) {
          std::string buffer, line, request;
          while (self.readLine(fd, buffer, line) && !line.empty()) request += line + "\n";
          {
              std::lock_guard lock(mutex_);
              lastRequest_ = request;
          }
          respond(fd, self);
      }) {}

std::string LocalHttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(listener_.port()) + path;
}

std::string LocalHttpServer::lastRequest() const {
    std::lock_guard lock(mutex_);
    return lastRequest_;
}

LocalHttpServer::Respond LocalHttpServer::page(std::string body, int status) {
    return [body = std::move(body), status](int fd, LocalListener& self) {
        const std::string head = "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Type: text/html\r\n" +
                                 "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
        if (self.sendAll(fd, head)) self.sendAll(fd, body);
    };
}

LocalHttpServer::Respond LocalHttpServer::endless(std::atomic<std::size_t>* sent) {
    return [sent](int fd, LocalListener& self) {
        if (!self.sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n")) return;
        const std::string chunk(65536, 'x');
        while (self.sendAll(fd, chunk)) *sent += chunk.size();
    };
}

LocalHttpServer::Respond LocalHttpServer::silent() {
    return [](int, LocalListener& self) { self.holdUntilStopped(); };
}

LocalHttpServer::Respond LocalHttpServer::dribble(std::string answer, std::chrono::milliseconds every) {
    return [answer = std::move(answer), every](int fd, LocalListener& self) {
        for (const char c : answer) {
            if (!self.sendAll(fd, std::string_view(&c, 1))) return;
            for (auto slept = std::chrono::milliseconds(0); slept < every && !self.stopping(); slept += every / 10)
                std::this_thread::sleep_for(every / 10);
        }
    };
}

LocalHttpServer::Respond LocalHttpServer::hugeHeader(std::size_t bytes, bool oneLine) {
    // Made before the server starts, so that the answer begins as soon as the request is read.
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n";
    head.reserve(head.size() + bytes + 200);
    if (oneLine) {
        head += "X-Filler: " + std::string(bytes, 'a') + "\r\n";
    } else {
        const std::string line = "X-Filler: " + std::string(88, 'a') + "\r\n";
        for (std::size_t n = 0; n < bytes; n += line.size()) head += line;
    }
    head += "\r\nBeam Current: 250.3 mA";
    return [head = std::move(head)](int fd, LocalListener& self) { self.sendAll(fd, head); };
}

LocalSmtpServer::LocalSmtpServer(std::set<std::string> refused, bool greet)
    : refused_(std::move(refused)), greet_(greet),
      listener_([this](int fd, LocalListener& self) { serve(fd, self); }) {}

std::vector<LocalSmtpServer::Mail> LocalSmtpServer::mails() const {
    std::lock_guard lock(mutex_);
    return mails_;
}

std::vector<std::string> LocalSmtpServer::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

void LocalSmtpServer::serve(int fd, LocalListener& self) {
    if (!greet_) return self.holdUntilStopped();
    auto reply = [&](const char* text) { return self.sendAll(fd, std::string(text) + "\r\n"); };
    auto arg = [](const std::string& line) {
        const std::size_t open = line.find('<'), close = line.rfind('>');
        return open != std::string::npos && close > open ? line.substr(open + 1, close - open - 1) : std::string();
    };
    if (!reply("220 127.0.0.1 test relay")) return;
    std::string buffer, line;
    Mail mail;
    while (self.readLine(fd, buffer, line)) {
        {
            std::lock_guard lock(mutex_);
            commands_.push_back(line);
        }
        const std::string verb = line.substr(0, 4);
        if (verb == "EHLO" || verb == "HELO") {
            reply("250 127.0.0.1");
        } else if (verb == "MAIL") {
            mail = {};
            mail.from = arg(line);
            reply("250 OK");
        } else if (verb == "RCPT") {
            if (refused_.count(arg(line))) {
                reply("550 no such user");
            } else {
                mail.to.push_back(arg(line));
                reply("250 OK");
            }
        } else if (verb == "DATA") {
            if (mail.to.empty()) {
                reply("503 no recipients");
                continue;
            }
            reply("354 end with <CRLF>.<CRLF>");
            bool complete = false;
            while (!complete && self.readLine(fd, buffer, line)) {
                complete = line == ".";
                if (!complete) mail.data += (line.rfind("..", 0) == 0 ? line.substr(1) : line) + "\r\n";
            }
            if (!complete) return; // a message that broke off is not taken
            {
                std::lock_guard lock(mutex_);
                mails_.push_back(mail);
            }
            reply("250 queued");
        } else if (verb == "QUIT") {
            reply("221 bye");
            return;
        } else if (verb == "RSET" || verb == "NOOP") {
            reply("250 OK");
        } else {
            reply("502 not implemented");
        }
    }
}

} // namespace korvo::testing
