// The remote-control link over a loopback socket: framing, queue order, replies and the end of
// the link.
#include <gtest/gtest.h>
#include <netdb.h>

#include <atomic>
#include <cerrno>
#include <regex>
#include <thread>
#include <tuple>

#include "compute/computetestdoc.h"
#include "remotelink.h"

namespace zun {
namespace {

TEST(RemoteServer, RequestsAreCutAtTheFirstColonOfTheirFirstFiveBytes) {
    RemoteLink link;
    link.Request("1:stop");
    ASSERT_TRUE(link.PumpUntilHanded(1));
    link.server.ReplyOk("1");
    link.server.EndRequest();
    EXPECT_EQ(link.ReadReply("1:OK"), "1:OK");

    // An empty tag, a four-byte tag, a colon inside the payload and a NUL byte kept in it.
    link.Request(":stop");
    ASSERT_TRUE(link.PumpUntilHanded(2));
    link.server.ReplyOk("");
    link.server.EndRequest();
    EXPECT_EQ(link.ReadReply(":OK"), ":OK");
    link.Request(std::string("abcd:a:b\0c", 10));
    ASSERT_TRUE(link.PumpUntilHanded(3));
    link.server.ReplyError("abcd", "x");
    EXPECT_EQ(link.ReadReply("abcd:ERROR:x"), "abcd:ERROR:x");
    EXPECT_EQ(link.handed, (std::vector<std::string>{"1:stop", ":stop", std::string("abcd:a:b\0c", 10)}));
    std::string tag, payload;
    ASSERT_TRUE(RemoteControlServer::SplitRequestText(link.handed[2], tag, payload));
    EXPECT_EQ(tag, "abcd");
    EXPECT_EQ(payload, std::string("a:b\0c", 5));
    EXPECT_TRUE(link.Errors().empty());
}

TEST(RemoteServer, ATagOfFiveBytesClosesTheLink) {
    // Also when the request is too long for the link: its refusal would have no tag to go under.
    const std::string overlong(2 * RemoteControlServer::kReceiveSize, 'x');
    for (const std::string& request : std::vector<std::string>{"abcde:stop", "stop", "abc", overlong}) {
        RemoteLink link;
        link.Request(request);
        EXPECT_TRUE(link.PeerClosed()) << request.substr(0, 20);
        EXPECT_TRUE(WaitUntil([&] { return !link.Errors().empty(); }));
        EXPECT_EQ(link.Errors().at(0), "Cannot find token: 5");
        EXPECT_EQ(link.server.GetState(), RemoteControlServer::kStopped);
        link.frame.Pump();
        EXPECT_TRUE(link.handed.empty()) << request.substr(0, 20);
        // Replies after the end go nowhere and do no harm.
        link.server.ReplyOk("x");
        link.server.ReplyWork(5);
    }
}

TEST(RemoteServer, QueuedRequestsGoOutOneAtATimeInTagOrderAndDuplicatesAreDropped) {
    RemoteLink link;
    link.Request("A:first");
    ASSERT_TRUE(link.PumpUntilHanded(1));
    EXPECT_TRUE(link.server.Busy());
    // While "A" runs, each request is one receive; wait for each to be taken before the next.
    std::size_t received = link.server.ReceivedRequests();
    for (const char* r : {"9:nine", "10:ten", "2:two", "2:again", "3:three"}) {
        link.Request(r);
        ++received;
        ASSERT_TRUE(WaitUntil([&] { return link.server.ReceivedRequests() == received; })) << r;
    }
    EXPECT_EQ(link.server.QueuedRequests(), 4u);
    link.frame.Pump();
    EXPECT_EQ(link.handed.size(), 1u);  // nothing more while busy
    // Each request's end frees the link and the next request follows without a further receive.
    for (std::size_t i = 2; i <= 5; ++i) {
        std::string tag, payload;
        RemoteControlServer::SplitRequestText(link.handed.back(), tag, payload);
        link.server.ReplyOk(tag);
        link.server.EndRequest();
        ASSERT_TRUE(link.PumpUntilHanded(i));
    }
    EXPECT_EQ(link.handed, (std::vector<std::string>{"A:first", "10:ten", "2:two", "3:three", "9:nine"}));
}

// A slow export, a close of its document and a rename sent behind them without waiting: each
// runs to its end before the next is handed over, although the export's EXTEND and final reply
// leave while it still runs and the work of both lets the channel's events through (a progress
// window, the close of a document).
TEST(RemoteServer, ARequestRunsToItsEndBeforeTheNextIsHandedOverWhateverItReplied) {
    RemoteLink link;
    std::vector<std::string> ran;
    // Until the server has dealt with a request received: the next is handed over, or kept.
    const auto dealtWith = [&](std::size_t received) {
        return WaitUntil([&] { return link.server.ReceivedRequests() == received && link.server.Busy(); });
    };
    link.onMessage = [&](const FrameMessage& m) {
        std::string tag, payload;
        ASSERT_TRUE(RemoteControlServer::SplitRequestText(m.text, tag, payload));
        ran.push_back("start " + tag);
        if (tag == "A") {
            link.server.ReplyExtend("A", 500);
            link.Request("B:closedocument@phantom");
            ASSERT_TRUE(dealtWith(2));
            EXPECT_EQ(link.server.QueuedRequests(), 1u);
            link.frame.Pump();
            link.server.ReplyOk("A");
            link.Request("C:settitle@renamed");
            ASSERT_TRUE(dealtWith(3));
            EXPECT_EQ(link.server.QueuedRequests(), 2u);
            link.frame.Pump();
        } else if (tag == "B") {
            link.frame.Pump();
            link.server.ReplyOk("B");
        } else {
            link.server.ReplyOk(tag);
        }
        ran.push_back("end " + tag);
        link.server.EndRequest();
    };
    link.Request("A:output-img2d@phantom@-1@out@2@1@0");
    ASSERT_TRUE(link.PumpUntilHanded(3));
    EXPECT_EQ(ran, (std::vector<std::string>{"start A", "end A", "start B", "end B", "start C", "end C"}));
    EXPECT_EQ(link.ReadFinal("C"), "A:EXTEND:500A:OKB:OKC:OK");
    EXPECT_FALSE(link.server.Busy());
}

TEST(RemoteServer, OneReceiveIsOneRequest) {
    // Two requests written at once arrive as one: the second is part of the first's payload.
    {
        RemoteLink link;
        link.Request("A:stopB:stop");
        ASSERT_TRUE(link.PumpUntilHanded(1));
        EXPECT_EQ(link.handed[0], "A:stopB:stop");
    }
    // A request split across two writes: the first part runs alone, the rest has no tag and ends
    // the link rather than running as a garbled command.
    {
        RemoteLink link;
        link.Request("A:sa");
        ASSERT_TRUE(link.PumpUntilHanded(1));
        EXPECT_EQ(link.handed[0], "A:sa");
        link.server.SendReply("A", "sa");
        EXPECT_EQ(link.ReadReply("A:sa"), "A:sa");
        link.Request("ve@x");
        EXPECT_TRUE(link.PeerClosed());
        EXPECT_TRUE(WaitUntil([&] { return link.Errors().size() == 1; }));
        EXPECT_EQ(link.Errors()[0], "Cannot find token: 5");
    }
}

std::string TooLongReply(const std::string& tag) {
    return tag + ":ERROR:Request too long: the link takes requests of at most " +
           std::to_string(RemoteControlServer::kReceiveSize - 1) +
           " bytes, tag and colon included; nothing of it was run.";
}

TEST(RemoteServer, ARequestThatFillsTheBufferIsRefusedWholeAndTheLinkGoesOn) {
    const std::size_t size = RemoteControlServer::kReceiveSize;
    RemoteLink link;
    // A path of the longest a system call takes fits with room to spare; so does a request one
    // byte short of the buffer.
    for (const std::size_t length : {std::size_t{4096}, size - 1}) {
        const std::string request = "A:save@/" + std::string(length - 8, 'p');
        ASSERT_EQ(request.size(), length);
        link.Request(request);
        ASSERT_TRUE(link.PumpUntilHanded(link.handed.size() + 1));
        EXPECT_EQ(link.handed.back(), request);
        link.server.ReplyOk("A");
        link.server.EndRequest();
        EXPECT_EQ(link.ReadReply("A:OK"), "A:OK");
    }
    // Exactly the buffer; a request followed in the same write by what would read as one of its
    // own; one several buffers long: nothing of them is handed over, each tag gets the refusal.
    const std::vector<std::string> overlong = {
        "B:save@/" + std::string(size - 8, 'b'),
        "C:save@/" + std::string(size - 8, 'c') + "D:hello",
        "E:save@/" + std::string(5 * size + 17, 'e') + "F:hello",
    };
    for (const std::string& request : overlong) {
        link.Request(request);
        const std::string refusal = TooLongReply(request.substr(0, 1));
        EXPECT_EQ(link.ReadReply(refusal), refusal);
    }
    link.Request("G:hello");
    ASSERT_TRUE(link.PumpUntilHanded(3));
    EXPECT_EQ(link.handed.back(), "G:hello");
    EXPECT_EQ(link.server.GetState(), RemoteControlServer::kConnected);
    EXPECT_TRUE(link.Errors().empty());
}

TEST(RemoteServer, AnOverlongRequestIsRefusedBesideTheRequestInHand) {
    const std::size_t size = RemoteControlServer::kReceiveSize;
    RemoteLink link;
    link.Request("A:first");
    ASSERT_TRUE(link.PumpUntilHanded(1));
    link.server.ReplyExtend("A", 300);
    EXPECT_EQ(link.ReadReply("A:EXTEND:300"), "A:EXTEND:300");
    // Each request is one receive: each is waited for before the next. Both wait behind "A".
    link.Request("B:second");
    ASSERT_TRUE(WaitUntil([&] { return link.server.QueuedRequests() == 1; }));
    link.Request("Q:queued");
    ASSERT_TRUE(WaitUntil([&] { return link.server.QueuedRequests() == 2; }));
    // Under a tag still queued it is dropped as any duplicate; under another it is refused at once.
    const std::size_t received = link.server.ReceivedRequests();
    link.Request("Q:" + std::string(size, 'q'));
    ASSERT_TRUE(WaitUntil([&] { return link.server.ReceivedRequests() == received + 1; }));
    link.Request("C:" + std::string(size, 'c'));
    EXPECT_EQ(link.ReadReply(TooLongReply("C")), TooLongReply("C"));
    // The request in hand is still in hand and the long one's tag still open.
    EXPECT_TRUE(link.server.Busy());
    link.server.ReplyWork(40);
    EXPECT_TRUE(link.server.ReplyFinal("A", "OK"));
    link.server.EndRequest();
    ASSERT_TRUE(link.PumpUntilHanded(2));
    link.server.ReplyOk("B");
    link.server.EndRequest();
    EXPECT_EQ(link.ReadReply("A:WORK:40A:OKB:OK"), "A:WORK:40A:OKB:OK");
    ASSERT_TRUE(link.PumpUntilHanded(3));
    EXPECT_EQ(link.handed, (std::vector<std::string>{"A:first", "B:second", "Q:queued"}));
    EXPECT_EQ(link.server.QueuedRequests(), 0u);
}

TEST(RemoteServer, AControllerThatVanishesMidRequestLeavesTheProgramRunning) {
    RemoteLink link;
    link.Request("A:save@x");
    ASSERT_TRUE(link.PumpUntilHanded(1));
    link.client.SetAbortiveClose();
    link.client.Close();
    ASSERT_TRUE(WaitUntil([&] { return link.server.GetState() == RemoteControlServer::kStopped; }));
    // The command's reply and later progress reports are dropped; no SIGPIPE ends the test.
    link.server.ReplyOk("A");
    link.server.ReplyExtend("A", 300);
    for (int i = 0; i < 50; ++i) link.server.ReplyWork(i);
    EXPECT_TRUE(link.Errors().empty());
}

TEST(RemoteServer, AStartWhileConnectedIsRefusedAndTheLinkGoesOn) {
    RemoteLink link;
    EXPECT_EQ(link.server.Start(), -1);
    EXPECT_EQ(link.Errors().at(0), "Server is already connected");
    link.Request("A:x");
    ASSERT_TRUE(link.PumpUntilHanded(1));
}

TEST(RemoteServer, ASecondConnectionToTheServersPortIsRefused) {
    QueuedMainFrameChannel frame;
    RemoteControlServer server("127.0.0.1", "0", &frame);
    ASSERT_EQ(server.Listen(), 0);
    const std::string port = std::to_string(server.ListeningPort());
    TcpSocket first, second;
    ASSERT_FALSE(ConnectTcp("127.0.0.1", port, first));
    ASSERT_EQ(server.AcceptController(), 0);
    SocketError e = ConnectTcp("127.0.0.1", port, second);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.call, "connect");
    EXPECT_EQ(e.code, ECONNREFUSED);
}

TEST(RemoteServer, ProgressGoesUnderTheTagOfTheLastExtendAndTheFinalAnswerGoesOnce) {
    RemoteLink link;
    // No request waits for progress before the first EXTEND (it would come before what follows).
    link.server.ReplyWork(10);
    link.server.ReplyExtend("A", 300);
    link.server.ReplyWork(40);
    EXPECT_EQ(link.server.GetPendingTag(), "A");
    EXPECT_FALSE(link.server.ReplyFinal("B", "OK"));
    EXPECT_TRUE(link.server.ReplyFinal("A", "OK"));
    EXPECT_FALSE(link.server.ReplyFinal("A", "OK"));
    // The computation's end arrives through the document's reply interface: already answered.
    test::TestComputeDocument a, c;
    link.server.SetComputationTag(&a, "A");
    link.server.ComputeReplies().ReplyOk(a, "");
    EXPECT_EQ(link.server.GetPendingTag(), "A");  // kept for later progress
    EXPECT_EQ(link.ReadReply("A:EXTEND:300A:WORK:40A:OK"), "A:EXTEND:300A:WORK:40A:OK");
    link.server.ReplyExtend("C", 500);
    link.server.SetComputationTag(&c, "C");
    link.server.ComputeReplies().ReplyOk(c, "Stopped");
    // A reply that follows shows where the one with text ends.
    link.server.ReplyOk("Z");
    EXPECT_EQ(link.ReadReply("C:EXTEND:500C:OK:StoppedZ:OK"), "C:EXTEND:500C:OK:StoppedZ:OK");
}

TEST(RemoteServer, RepliesFromAWorkerThreadNeverInterleave) {
    RemoteLink link;
    // The controller reads all along, as a live one does.
    std::string all;
    std::thread reader([&] {
        char buffer[65536];
        while (link.client.WaitReadable(5000)) {
            const long r = link.client.Recv(buffer, sizeof buffer);
            if (r <= 0) break;
            all.append(buffer, static_cast<std::size_t>(r));
        }
    });
    link.server.ReplyExtend("W", 300);
    std::atomic<bool> go{true};
    std::thread worker([&] {
        for (int i = 0; i < 2000; ++i) link.server.ReplyWork(i % 100);
        go = false;
    });
    int uiReplies = 0;
    // Replies queue without waiting for the controller: the UI thread keeps at it past the worker.
    while (go || uiReplies < 500) {
        link.server.ReplyOk("U", "done");
        ++uiReplies;
    }
    worker.join();
    link.server.Shutdown();
    reader.join();
    EXPECT_TRUE(link.Errors().empty());
    // Every reply is whole: the stream is made of complete replies only.
    const std::string rest = std::regex_replace(all, std::regex("W:EXTEND:300|W:WORK:[0-9]+|U:OK:done"), "");
    EXPECT_EQ(rest, "");
    const std::regex workReply("W:WORK:");
    EXPECT_EQ(std::distance(std::sregex_iterator(all.begin(), all.end(), workReply), std::sregex_iterator()),
              2000);
    EXPECT_GT(uiReplies, 0);
}

TEST(RemoteServer, NothingIsSentUnderATagAfterItsFinalReply) {
    RemoteLink link;
    // A long request's progress, then its final answer; the progress that still comes (a stopped
    // run's last report, the next command's progress bar) goes nowhere.
    link.server.ReplyExtend("B", 300);
    link.server.ReplyWork(10);
    link.server.ReplyOk("B");
    link.server.ReplyWork(100);
    EXPECT_FALSE(link.server.ReplyFinal("B", "OK"));
    // Anything sent under B after its answer would come before this reply.
    link.server.ReplyOk("Z");
    EXPECT_EQ(link.ReadReply("B:EXTEND:300B:WORK:10B:OKZ:OK"), "B:EXTEND:300B:WORK:10B:OKZ:OK");
    // The computation answers under its start's tag, even after another long request replied
    // EXTEND, and falls silent once that tag had its answer.
    test::TestComputeDocument doc;
    link.server.ReplyExtend("C", 300);
    link.server.SetComputationTag(&doc, "C");
    link.server.ReplyExtend("D", 500);
    link.server.ComputeReplies().ReplyWork(doc, 30);
    link.server.ReplyWork(40);
    EXPECT_TRUE(link.server.ReplyFinal("D", "OK"));
    link.server.ReplyWork(50);
    link.server.ComputeReplies().ReplyOk(doc, "");
    link.server.ComputeReplies().ReplyWork(doc, 100);
    link.server.ComputeReplies().ReplyOk(doc, "Stopped");
    link.server.ReplyOk("Z");
    EXPECT_EQ(link.ReadReply("C:EXTEND:300D:EXTEND:500C:WORK:30D:WORK:40D:OKC:OKZ:OK"),
              "C:EXTEND:300D:EXTEND:500C:WORK:30D:WORK:40D:OKC:OKZ:OK");
}

TEST(RemoteServer, EachDocumentsComputationAnswersTheStartThatStartedIt) {
    RemoteLink link;
    test::TestComputeDocument a, b, user;
    // The second start comes while the first computation runs; the first ends first.
    link.server.ReplyExtend("C1", 300);
    link.server.SetComputationTag(&a, "C1");
    link.server.ComputeReplies().ReplyWork(a, 10);
    link.server.ReplyExtend("C2", 300);
    link.server.SetComputationTag(&b, "C2");
    link.server.ComputeReplies().ReplyWork(a, 20);
    link.server.ComputeReplies().ReplyWork(b, 5);
    link.server.ComputeReplies().ReplyOk(a, "");
    link.server.ComputeReplies().ReplyWork(b, 50);
    link.server.ComputeReplies().ReplyWork(a, 100);  // a's last report, after its answer
    // A computation the user started answers nobody, even under an open empty tag.
    link.server.ReplyExtend("", 500);
    link.server.ComputeReplies().ReplyWork(user, 7);
    link.server.ComputeReplies().ReplyOk(user, "");
    EXPECT_TRUE(link.server.ReplyFinal("", "OK"));
    // A stopped computation answers a plain OK, whatever its end says.
    link.server.MarkComputationStopped(&b);
    link.server.ComputeReplies().ReplyOk(b, "Computation Stopped");
    link.server.ComputeReplies().ReplyOk(b, "");
    const std::string expected =
        "C1:EXTEND:300C1:WORK:10C2:EXTEND:300C1:WORK:20C2:WORK:5C1:OKC2:WORK:50:EXTEND:500:OKC2:OK";
    EXPECT_EQ(link.ReadReply(expected), expected);
    std::string tag;
    EXPECT_FALSE(link.server.FindComputationTag(&a, tag));
    EXPECT_FALSE(link.server.FindComputationTag(&b, tag));

    // A start that was refused owes nothing.
    link.server.ReplyExtend("C3", 300);
    link.server.SetComputationTag(&a, "C3");
    EXPECT_TRUE(link.server.FindComputationTag(&a, tag));
    EXPECT_EQ(tag, "C3");
    link.server.ForgetComputation(&a);
    link.server.ComputeReplies().ReplyOk(a, "");
    link.server.ReplyOk("Z");
    EXPECT_EQ(link.ReadReply("C3:EXTEND:300Z:OK"), "C3:EXTEND:300Z:OK");
}

// What the tests read by: a request's replies end with its first one that is neither EXTEND nor
// WORK, however late that comes.
TEST(RemoteLinkReading, ReadsUpToTheFinalReplyOfTheTagHoweverLateItComes) {
    using F = FinalReply;
    const std::vector<std::tuple<std::string, std::string, F>> streams = {
        {"", "A", F::kNotYet},
        {"A:EXTEND:300A:WORK:-1", "A", F::kNotYet},
        {"A:EXTEND:300B:OK", "A", F::kNotYet},
        {"D:EXTEND:500", "D", F::kNotYet},
        {"X:WORK:5", "K", F::kNotYet},
        {"A:EXTEND:300A:OK", "A", F::kCame},
        {"B:OK:xA:ERROR:y", "A", F::kCame},
        {"X:EXTEND:500D:OK", "D", F::kCame},
        {"A:EXTENDED", "A", F::kCame},  // an unknown word's echo
        {"A:", "A", F::kPerhaps},       // an empty word's echo, or the start of a longer reply
        {"A:EXTEND:300A:WOR", "A", F::kPerhaps},
    };
    for (const auto& [replies, tag, final] : streams) EXPECT_EQ(FinalReplyOf(replies, tag), final) << replies;

    RemoteLink link;
    link.server.ReplyExtend("A", 300);
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        link.server.ReplyWork(50);
        link.server.ReplyError("B", "other");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        link.server.ReplyOk("A", "done");
    });
    EXPECT_EQ(link.ReadFinal("A"), "A:EXTEND:300A:WORK:50B:ERROR:otherA:OK:done");
    late.join();
    link.server.ReplyOk("C");
    EXPECT_EQ(link.ReadFinal("C"), "C:OK");
}

TEST(RemoteServer, AControllerThatStopsReadingIsCutOffWithoutHoldingUpTheProgram) {
    // Beyond the buffer's bound: cut at once.
    {
        RemoteLink link;
        link.server.SetSendLimits(1u << 20, 60000);
        std::atomic<bool> done{false};
        std::thread ui([&] {
            const std::string text(1000, 'x');
            for (int i = 0; i < 20000; ++i) link.server.ReplyOk("A", text);
            done = true;
        });
        const bool returned = WaitUntil([&] { return done.load(); }, 20000);
        EXPECT_TRUE(returned) << "a reply waited for the controller";
        if (!returned) link.Drain(2000);  // frees a blocked send so the test can end
        ui.join();
        EXPECT_EQ(link.server.GetState(), RemoteControlServer::kStopped);
        EXPECT_TRUE(WaitUntil([&] { return !link.Errors().empty(); }));
        EXPECT_EQ(link.Errors().at(0), "The controller left its replies unread; its link was closed.");
    }
    // Within the bound but never read: cut after the stall time.
    {
        RemoteLink link;
        link.server.SetSendLimits(256u << 20, 300);
        const std::string text(1u << 20, 'y');
        for (int i = 0; i < 64 && link.server.GetState() == RemoteControlServer::kConnected; ++i)
            link.server.ReplyOk("A", text);
        EXPECT_TRUE(
            WaitUntil([&] { return link.server.GetState() == RemoteControlServer::kStopped; }, 10000));
        EXPECT_TRUE(WaitUntil([&] { return !link.Errors().empty(); }));
        EXPECT_EQ(link.Errors().at(0),
                  "The controller read none of its replies for 1 s; its link was closed.");
        link.server.ReplyOk("A");  // dropped, harmlessly
    }
}

// A reply goes out in one write: one larger than the bound on unread replies, to a controller that
// reads, says nothing of the controller and arrives whole, and the link goes on.
TEST(RemoteServer, AReplyLargerThanTheBoundArrivesWholeAndTheLinkGoesOn) {
    RemoteLink link;
    link.server.SetSendLimits(64u << 10, 60000);
    link.server.ReplyExtend("A", 500);
    EXPECT_EQ(link.ReadReply("A:EXTEND:500"), "A:EXTEND:500");
    const std::string text(1u << 20, 'z');
    link.server.ReplyError("A", text);
    const std::string whole = "A:ERROR:" + text;
    EXPECT_TRUE(link.ReadReply(whole) == whole) << "the large reply did not arrive whole";
    EXPECT_EQ(link.server.GetState(), RemoteControlServer::kConnected);
    link.server.ReplyOk("B");
    EXPECT_EQ(link.ReadFinal("B"), "B:OK");
    EXPECT_TRUE(link.Errors().empty());
}

TEST(RemoteServer, AFloodOfRequestsClosesTheLinkInsteadOfGrowingTheQueue) {
    RemoteLink link;
    link.Request("A:first");
    ASSERT_TRUE(link.PumpUntilHanded(1));
    // While "A" runs, distinct tags pile up, each in its own receive.
    for (std::size_t i = 0; i < RemoteControlServer::kMaxQueuedRequests + 8; ++i) {
        if (link.server.GetState() != RemoteControlServer::kConnected) break;
        const std::size_t before = link.server.ReceivedRequests();
        const std::string tag = std::to_string(1000 + i);
        if (!link.client.SendAll(tag + ":hello")) break;
        WaitUntil([&] {
            return link.server.ReceivedRequests() > before ||
                   link.server.GetState() != RemoteControlServer::kConnected;
        });
    }
    EXPECT_LE(link.server.QueuedRequests(), RemoteControlServer::kMaxQueuedRequests);
    EXPECT_EQ(link.server.GetState(), RemoteControlServer::kStopped);
    EXPECT_TRUE(link.PeerClosed());
    ASSERT_TRUE(WaitUntil([&] { return !link.Errors().empty(); }));
    EXPECT_EQ(link.Errors()[0], "Too many requests queued; the controller's link was closed at 64");
    // The request in hand still gets to finish; its reply goes nowhere.
    link.server.ReplyOk("A");
}

TEST(RemoteServer, TheListeningLineSaysWhetherOtherMachinesCanReachTheProgram) {
    QueuedMainFrameChannel frame;
    RemoteControlServer loopback("127.0.0.1", "0", &frame);
    ASSERT_EQ(loopback.Listen(), 0);
    EXPECT_EQ(loopback.ListeningText(),
              "remote control listening on 127.0.0.1:" + std::to_string(loopback.ListeningPort()) +
                  " (this machine only)");
    RemoteControlServer local("localhost", "0", &frame);
    ASSERT_EQ(local.Listen(), 0);
    EXPECT_NE(local.ListeningText().find("(this machine only)"), std::string::npos) << local.ListeningText();
    RemoteControlServer everyone("0.0.0.0", "0", &frame);
    ASSERT_EQ(everyone.Listen(), 0);
    EXPECT_EQ(everyone.ListeningText(),
              "remote control listening on every network interface, port " +
                  std::to_string(everyone.ListeningPort()) +
                  " WITHOUT AUTHENTICATION: anyone who can reach this port controls the program");
}

TEST(RemoteServer, ShutdownEndsTheLinkOnceAndTheProgramGoesOnWithoutIt) {
    RemoteLink link;
    EXPECT_EQ(link.server.Shutdown(), 0);
    EXPECT_EQ(link.server.Shutdown(), 0);
    EXPECT_TRUE(link.PeerClosed());
    EXPECT_EQ(link.server.GetState(), RemoteControlServer::kStopped);
    link.server.ReplyOk("A");
    EXPECT_TRUE(link.Errors().empty());
}

TEST(RemoteServer, StartFailuresAreReportedWithTheFailingCall) {
    QueuedMainFrameChannel frame;
    std::vector<std::string> errors;
    {
        RemoteControlServer server("127.0.0.1", "no-such-service-zun", &frame);
        server.SetErrorSink([&](const std::string& t) { errors.push_back(t); });
        EXPECT_EQ(server.Start(), -1);
        EXPECT_EQ(server.GetState(), RemoteControlServer::kStopped);
    }
    ASSERT_EQ(errors.size(), 1u);
    // The lookup's number, then which texts it could not use and why, in words.
    EXPECT_EQ(errors[0],
              "getaddrinfo failed with error: " + std::to_string(EAI_SERVICE) +
                  " (host \"127.0.0.1\", port \"no-such-service-zun\": " + gai_strerror(EAI_SERVICE) + ")");
    // A port that is taken.
    TcpListener taken;
    ASSERT_FALSE(taken.Listen("127.0.0.1", "0"));
    RemoteControlServer server("127.0.0.1", std::to_string(taken.Port()), &frame);
    server.SetErrorSink([&](const std::string& t) { errors.push_back(t); });
    EXPECT_EQ(server.Start(), -1);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1], "bind failed with error: " + std::to_string(EADDRINUSE));
}

}  // namespace
}  // namespace zun
