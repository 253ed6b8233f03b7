#pragma once
// A small TCP layer over POSIX sockets: one listening socket, one connected socket. Errors come
// back as the failing call's name and its error number, so that callers can word their own
// messages. No call ever raises SIGPIPE.

#include <cstddef>
#include <cstdint>
#include <string>

namespace zun {

struct SocketError {
    std::string call;    // "getaddrinfo", "socket", "bind", "listen", "accept", "connect", ...
    int code = 0;        // errno, or the getaddrinfo code for "getaddrinfo"
    std::string detail;  // "getaddrinfo": the host and port looked up and the reason in words
    explicit operator bool() const { return !call.empty(); }
};

// The refusal of a port text that the address lookup would read as a number but that names no
// port a controller can be told: 0 (the system would pick one) or a number outside 1-65535 (the
// lookup takes it modulo 65536). Empty for a number in range and for a service name, which is the
// lookup's to judge.
std::string PortNumberRefusal(const std::string& port);

class TcpSocket {
public:
    TcpSocket() = default;
    explicit TcpSocket(int fd) : fd_(fd) {}
    ~TcpSocket();
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    bool Valid() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    void Close();

    // Bytes received (at most n), 0 when the peer closed, -1 on error (errno kept).
    long Recv(char* buffer, std::size_t n);
    // Waits up to timeoutMs for readable data; true when there is some (or the peer closed).
    bool WaitReadable(int timeoutMs) const;
    // Sends every byte; false with errno kept on the first failure.
    bool SendAll(const char* data, std::size_t n);
    bool SendAll(const std::string& text) { return SendAll(text.data(), text.size()); }
    // Sends every byte without ever blocking longer than stallMs on a peer that takes none of
    // them; false with errno kept on failure (ETIMEDOUT when the peer stalled).
    bool SendAllWithin(const char* data, std::size_t n, int stallMs);
    // Ends both directions so that a thread blocked in Recv on this socket returns 0.
    bool Shutdown();
    void SetNoDelay();
    // Makes the next Close reset the connection instead of closing it in order (tests use it to
    // play a controller that vanishes).
    void SetAbortiveClose();

private:
    int fd_ = -1;
};

class TcpListener {
public:
    TcpListener() = default;
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // Listens on the IPv4 address of `host` (a name or dotted address; "0.0.0.0" or "*" for all
    // local addresses) and `port` (a number or service name; "0" picks a free port).
    SocketError Listen(const std::string& host, const std::string& port);
    // Blocks until a peer connects.
    SocketError Accept(TcpSocket& peer);
    std::uint16_t Port() const;
    // The address listened on, dotted ("0.0.0.0" for every local address); empty when closed.
    std::string Address() const;
    bool Listening() const { return fd_ >= 0; }
    void Close();

private:
    int fd_ = -1;
};

// Connects to host:port over IPv4 (used by controllers and tests).
SocketError ConnectTcp(const std::string& host, const std::string& port, TcpSocket& out);

}  // namespace zun
