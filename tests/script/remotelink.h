#pragma once
// A remote-control server on a loopback port with one connected controller socket; the test
// thread plays the UI thread (requests wait in the main-frame queue until it pumps).

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/mainframe.h"
#include "platform/socket.h"
#include "script/remoteserver.h"

namespace zun {

// How long a test waits for a reply: a busy machine (a sanitized build among other work) may take
// seconds where an idle one takes a millisecond. Tests wait for what they check, never for quiet.
constexpr int kReplyWaitMs = 60000;

enum class FinalReply { kNotYet, kPerhaps, kCame };

// Whether the final reply (OK, ERROR or an echoed word: anything but EXTEND and WORK) of `tag` is
// in `replies`, a stream of replies without separators. kPerhaps when the stream ends in "tag:"
// and what could be the start of EXTEND or WORK: an empty or unknown word's echo looks the same.
// No other tag of the stream may end in `tag`.
inline FinalReply FinalReplyOf(std::string_view replies, const std::string& tag) {
    const std::string head = tag + ":";
    FinalReply found = FinalReply::kNotYet;
    for (std::size_t at = replies.find(head); at != std::string_view::npos; at = replies.find(head, at + 1)) {
        // "D:" and "K:" stand in every "EXTEND:" and "WORK:".
        const std::string_view upToColon = replies.substr(0, at + tag.size());
        if (upToColon.ends_with("EXTEND") || upToColon.ends_with("WORK")) continue;
        const std::string_view rest = replies.substr(at + head.size());
        bool interim = false, unsure = false;
        for (const std::string_view word : {std::string_view("EXTEND:"), std::string_view("WORK:")}) {
            if (rest.size() <= word.size()) {
                unsure = unsure || word.substr(0, rest.size()) == rest;
            } else if (rest.substr(0, word.size()) == word) {
                const char c = rest[word.size()];
                interim = interim || (c >= '0' && c <= '9') || c == '-';
            }
        }
        if (unsure)
            found = FinalReply::kPerhaps;
        else if (!interim)
            return FinalReply::kCame;
    }
    return found;
}

inline std::string TagOf(const std::string& request) {
    return request.substr(0, request.find(':'));
}

inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = kReplyWaitMs) {
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
    bool PumpUntilHanded(std::size_t count, int timeoutMs = kReplyWaitMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (handed.size() < count) {
            if (std::chrono::steady_clock::now() > end) return false;
            frame.WaitAndPump(10);
        }
        return true;
    }
    // Reads exactly n bytes (less when the link ends or nothing comes for the time-out).
    std::string Read(std::size_t n, int timeoutMs = kReplyWaitMs) {
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
    // Everything that arrives until the line has been quiet for quietMs (only to free a link a
    // test gives up on: nothing is decided by a quiet line).
    std::string Drain(int quietMs = 2000) {
        std::string got;
        while (Receive(got, quietMs) > 0) {
        }
        return got;
    }
    // Everything up to the final reply of `tag` (and any replies before it), once that has come:
    // up to timeoutMs. `pump` runs between reads, for replies that need the UI thread to get on.
    std::string ReadFinal(const std::string& tag, int timeoutMs = kReplyWaitMs,
                          const std::function<void()>& pump = {}) {
        constexpr int kPumpStepMs = 10;
        // An empty echo ("A:") is whole at once; an EXTEND cut short would go on within this.
        constexpr int kRestOfReplyMs = 1000;
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const FinalReply final = FinalReplyOf(got, tag);
            if (final == FinalReply::kCame) break;
            if (final == FinalReply::kPerhaps) {
                if (Receive(got, kRestOfReplyMs) <= 0) break;
                continue;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            if (pump) pump();
            const int wait = pump ? std::min<int>(kPumpStepMs, static_cast<int>(left.count()))
                                  : static_cast<int>(left.count());
            if (Receive(got, wait) == 0) break;
        }
        // A reply leaves the server in one write and arrives whole: once its start is here, the
        // rest of it is too.
        while (Receive(got, 0) > 0) {
        }
        return got;
    }
    // True once the server has closed the link (the controller reads the end of the stream).
    bool PeerClosed(int timeoutMs = kReplyWaitMs) {
        char c;
        return client.WaitReadable(timeoutMs) && client.Recv(&c, 1) == 0;
    }

private:
    // Appends what arrives within waitMs: the byte count, 0 when the link has ended, -1 when
    // nothing came.
    long Receive(std::string& got, int waitMs) {
        if (!client.WaitReadable(waitMs)) return -1;
        char buffer[65536];
        const long r = client.Recv(buffer, sizeof buffer);
        if (r > 0) got.append(buffer, static_cast<std::size_t>(r));
        return r < 0 ? 0 : r;
    }
};

}  // namespace zun
