#pragma once
// A remote-control server on a loopback port with one connected controller socket; the test
// thread plays the UI thread (requests wait in the main-frame queue until it pumps).

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/mainframe.h"
#include "platform/socket.h"
#include "script/remoteserver.h"

namespace zun {

inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct RemoteLink {
    QueuedMainFrameChannel frame;
    std::vector<std::string> handed;  // request texts the UI thread received, in order
    // Before the server: its threads may still report an error (the controller's socket closes
    // first) until the server's end has joined them.
    mutable std::mutex errorMutex;
    std::vector<std::string> errors;
    RemoteControlServer server{"127.0.0.1", "0", &frame};
    TcpSocket client;

    explicit RemoteLink(bool connect = true) {
        frame.SetHandler([this](const FrameMessage& m) {
            if (m.kind == FrameMsg::RemoteRequest) handed.push_back(m.text);
            if (onMessage) onMessage(m);
        });
        server.SetErrorSink([this](const std::string& text) {
            std::lock_guard lock(errorMutex);
            errors.push_back(text);
        });
        if (!connect) return;
        EXPECT_EQ(server.Listen(), 0);
        EXPECT_FALSE(ConnectTcp("127.0.0.1", std::to_string(server.ListeningPort()), client));
        client.SetNoDelay();
        EXPECT_EQ(server.AcceptController(), 0);
        EXPECT_EQ(server.GetState(), RemoteControlServer::kConnected);
    }

    std::function<void(const FrameMessage&)> onMessage;

    std::vector<std::string> Errors() const {
        std::lock_guard lock(errorMutex);
        return errors;
    }
    void Request(const std::string& bytes) { ASSERT_TRUE(client.SendAll(bytes)); }
    // Pumps until `count` requests have been handed to the UI thread.
    bool PumpUntilHanded(std::size_t count, int timeoutMs = 5000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (handed.size() < count) {
            if (std::chrono::steady_clock::now() > end) return false;
            frame.WaitAndPump(10);
        }
        return true;
    }
    // Reads exactly n bytes (less when the link ends or nothing comes for the time-out).
    std::string Read(std::size_t n, int timeoutMs = 5000) {
        std::string got;
        char buffer[4096];
        while (got.size() < n && client.WaitReadable(timeoutMs)) {
            const long r = client.Recv(buffer, std::min(sizeof buffer, n - got.size()));
            if (r <= 0) break;
            got.append(buffer, static_cast<std::size_t>(r));
        }
        return got;
    }
    std::string ReadReply(const std::string& expected) { return Read(expected.size()); }
    // Everything that arrives until the line has been quiet for quietMs.
    std::string Drain(int quietMs = 200) {
        std::string got;
        char buffer[4096];
        while (client.WaitReadable(quietMs)) {
            const long r = client.Recv(buffer, sizeof buffer);
            if (r <= 0) break;
            got.append(buffer, static_cast<std::size_t>(r));
        }
        return got;
    }
    // True once the server has closed the link (the controller reads the end of the stream).
    bool PeerClosed(int timeoutMs = 5000) {
        char c;
        return client.WaitReadable(timeoutMs) && client.Recv(&c, 1) == 0;
    }
};

}  // namespace zun
