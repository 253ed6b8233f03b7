#include "platform/socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

#include <memory>

namespace zun {

namespace {

struct AddrInfoFree {
    void operator()(addrinfo* p) const { freeaddrinfo(p); }
};
using AddrInfoPtr = std::unique_ptr<addrinfo, AddrInfoFree>;

SocketError Resolve(const std::string& host, const std::string& port, bool passive, AddrInfoPtr& out) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    const bool anyAddress = passive && (host.empty() || host == "*" || host == "0.0.0.0");
    if (anyAddress) hints.ai_flags = AI_PASSIVE;
    addrinfo* list = nullptr;
    const int rc = getaddrinfo(anyAddress ? nullptr : host.c_str(), port.c_str(), &hints, &list);
    // The lookup's number alone does not tell the user which of the two texts it could not use.
    if (rc != 0)
        return {"getaddrinfo", rc, "host \"" + host + "\", port \"" + port + "\": " + gai_strerror(rc)};
    out.reset(list);
    return {};
}

SocketError Errno(const char* call) {
    return {call, errno};
}

}  // namespace

std::string PortNumberRefusal(const std::string& port) {
    // The lookup takes a text as a number exactly when strtoul reads all of it.
    char* end = nullptr;
    errno = 0;
    const unsigned long number = std::strtoul(port.c_str(), &end, 10);
    if (port.empty() || *end != '\0') return {};
    const bool negative = port.find('-') != std::string::npos;
    if (!negative && errno == 0 && number >= 1 && number <= 65535) return {};
    return "Invalid port \"" + port + "\": a port number is from 1 to 65535.";
}

// ---------------------------------------------------------------------------------------------
// TcpSocket

TcpSocket::~TcpSocket() {
    Close();
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void TcpSocket::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

long TcpSocket::Recv(char* buffer, std::size_t n) {
    for (;;) {
        const ssize_t r = ::recv(fd_, buffer, n, 0);
        if (r < 0 && errno == EINTR) continue;
        return static_cast<long>(r);
    }
}

bool TcpSocket::WaitReadable(int timeoutMs) const {
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        return r > 0;
    }
}

bool TcpSocket::SendAll(const char* data, std::size_t n) {
    while (n > 0) {
        // MSG_NOSIGNAL: a controller that has gone must not end the program with SIGPIPE.
        const ssize_t r = ::send(fd_, data, n, MSG_NOSIGNAL);
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

bool TcpSocket::SendAllWithin(const char* data, std::size_t n, int stallMs) {
    while (n > 0) {
        const ssize_t r = ::send(fd_, data, n, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (r >= 0) {
            data += r;
            n -= static_cast<std::size_t>(r);
            continue;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
        // The stall clock restarts with every byte the peer takes.
        pollfd p{fd_, POLLOUT, 0};
        int ready;
        do {
            ready = ::poll(&p, 1, stallMs);
        } while (ready < 0 && errno == EINTR);
        if (ready < 0) return false;
        if (ready == 0) {
            errno = ETIMEDOUT;
            return false;
        }
    }
    return true;
}

bool TcpSocket::Shutdown() {
    return fd_ >= 0 && ::shutdown(fd_, SHUT_RDWR) == 0;
}

void TcpSocket::SetNoDelay() {
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void TcpSocket::SetAbortiveClose() {
    linger l{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

// ---------------------------------------------------------------------------------------------
// TcpListener

TcpListener::~TcpListener() {
    Close();
}

void TcpListener::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

SocketError TcpListener::Listen(const std::string& host, const std::string& port) {
    Close();
    AddrInfoPtr list;
    if (SocketError e = Resolve(host, port, true, list)) return e;
    const addrinfo* a = list.get();
    fd_ = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd_ < 0) return Errno("socket");
    // A controller restarting the program at once must not find the port held by the last run's
    // closed connection.
    int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd_, a->ai_addr, a->ai_addrlen) != 0) {
        SocketError e = Errno("bind");
        Close();
        return e;
    }
    if (::listen(fd_, SOMAXCONN) != 0) {
        SocketError e = Errno("listen");
        Close();
        return e;
    }
    return {};
}

SocketError TcpListener::Accept(TcpSocket& peer) {
    for (;;) {
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            peer = TcpSocket(fd);
            return {};
        }
        if (errno != EINTR && errno != ECONNABORTED) return Errno("accept");
    }
}

std::uint16_t TcpListener::Port() const {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
    return ntohs(addr.sin_port);
}

std::string TcpListener::Address() const {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return {};
    char text[INET_ADDRSTRLEN] = {};
    return ::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text) ? text : std::string();
}

SocketError ConnectTcp(const std::string& host, const std::string& port, TcpSocket& out) {
    AddrInfoPtr list;
    if (SocketError e = Resolve(host, port, false, list)) return e;
    const addrinfo* a = list.get();
    TcpSocket s(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol));
    if (!s.Valid()) return Errno("socket");
    for (;;) {
        if (::connect(s.Fd(), a->ai_addr, a->ai_addrlen) == 0) break;
        if (errno != EINTR) return Errno("connect");
    }
    out = std::move(s);
    return {};
}

}  // namespace zun
