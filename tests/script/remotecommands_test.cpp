// The remote command interpreter and the link, document and window commands, answered over a
// loopback link to a test controller.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <thread>

#include "document/docclasses.h"
#include "document/docmessages.h"
#include "document/testfiles.h"
#include "document/zundoc.h"
#include "platform/prompt.h"
#include "remotefixture.h"
#include "remotelink.h"
#include "script/remotecommands.h"
#include "script/remotehost.h"

namespace zun {
namespace {

TEST(RemoteCommandWords, SplittingAndConvertersFollowTheFormattedInput) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitCommandLine(""), V{""});
    EXPECT_EQ(SplitCommandLine("save@"), (V{"save", ""}));
    EXPECT_EQ(SplitCommandLine("@a@@b@"), (V{"", "a", "", "b", ""}));
    EXPECT_EQ(SplitArgumentList("a;1#b;2", '#'), (V{"a;1", "b;2"}));
    EXPECT_TRUE(ParseBoolArg("1"));
    for (const char* w : {"0", "2", "-1", "x", ""}) EXPECT_FALSE(ParseBoolArg(w)) << w;
    EXPECT_EQ(ParseIntArg("-12abc"), -12);
    EXPECT_EQ(ParseIntArg("abc"), 0);
    EXPECT_EQ(ParseUIntArg("-1"), 4294967295u);
    EXPECT_EQ(ParseUIntArg(" 7"), 7u);
    EXPECT_FLOAT_EQ(ParseFloatArg("2.5keV"), 2.5f);
    EXPECT_EQ(ParseFloatArg("keV"), 0.0f);
    EXPECT_DOUBLE_EQ(ParseDoubleArg("1e-3"), 1e-3);
}

TEST(RemoteInterpreter, CommandWordsAreExactAndCountsAreChecked) {
    Remote r;
    EXPECT_EQ(r.interpreter.Commands().size(), 53u);
    EXPECT_EQ(r.Ask("A:hello"), "A:hello");
    EXPECT_EQ(r.Ask("B:Stop"), "B:Stop");
    EXPECT_EQ(r.Ask("C:"), "C:");
    EXPECT_EQ(r.Ask("D:save"), "D:ERROR:Command 'save' - invalid argument count (1)");
    EXPECT_EQ(r.Ask("E:windowpos@1@2@3"), "E:ERROR:Command 'windowpos' - invalid argument count (4)");
    // "save@" has two words and passes the count; then there is no active document.
    EXPECT_EQ(r.Ask("F:save@"), "F:ERROR:Command 'save' - no document () found");
    // Words of later commands are known, checked and refused clearly.
    EXPECT_EQ(r.Ask("G:setupgrid@d@0@0@5"), "G:ERROR:Command 'setupgrid' - not implemented");
    EXPECT_EQ(r.Ask("H:setupgrid@d"), "H:ERROR:Command 'setupgrid' - invalid argument count (2)");
    // Every word of the table with its own count gets exactly one reply ("disconnect", which
    // closes the link, aside).
    for (const RemoteCommandEntry& e : r.interpreter.Commands()) {
        if (std::string(e.word) == "disconnect") continue;
        std::string words = e.word;
        for (int i = 1; i < e.wordCount; ++i) words += "@";
        const std::string reply = r.Ask("T:" + words);
        EXPECT_TRUE(std::regex_match(
            reply, std::regex("T:(OK|OK:[^:]*|ERROR:Command '" + std::string(e.word) + "' - [^:]*)")))
            << reply;
    }
}

TEST(RemoteInterpreter, AFailingCommandAnswersWithItsFailure) {
    Remote r;
    r.interpreter.SetHandler("setupgrids",
                             [](RemoteInterpreter&, const RemoteCall&) { throw std::bad_alloc(); });
    r.interpreter.SetHandler(
        "setupgrid", [](RemoteInterpreter&, const RemoteCall&) { throw std::runtime_error("broken"); });
    EXPECT_EQ(r.Ask("A:setupgrids@@@@@@@@@@"), "A:ERROR:Command 'setupgrids' - bad allocation");
    EXPECT_EQ(r.Ask("B:setupgrid@@@@"), "B:ERROR:Command 'setupgrid' - broken");
    EXPECT_FALSE(r.interpreter.SetHandler("nosuchword", {}));
}

TEST(RemoteLinkCommands, DocumentsAreFoundByTitleIgnoringCase) {
    Remote r;
    EXPECT_EQ(r.Ask("A:newdocument@Alpha"), "A:OK");
    EXPECT_EQ(r.Ask("B:newdocument@"), "B:OK");
    ASSERT_EQ(r.host.docs.size(), 2u);
    EXPECT_EQ(r.host.docs[0]->GetTitle(), "Alpha");
    EXPECT_EQ(r.host.docs[1]->GetTitle(), "Zun2");  // an empty title keeps the default
    EXPECT_EQ(r.host.active, r.host.docs[1].get());

    EXPECT_EQ(r.Ask("C:renamechannel@ALPHA@Void@Air"), "C:OK");
    EXPECT_EQ(r.host.docs[0]->GetSample().GetChan(0)->name, "Air");
    EXPECT_EQ(r.host.docs[1]->GetSample().GetChan(0)->name, "Void");
    // A rename that renames nothing says why (a channel name is exact, unlike a document's).
    EXPECT_EQ(r.Ask("D:renamechannel@alpha@Nothing@X"),
              "D:ERROR:Command 'renamechannel' - Channel \"Nothing\" does not exist.");
    EXPECT_EQ(r.Ask("E:renamechannel@gamma@Air@X"),
              "E:ERROR:Command 'renamechannel' - no document (gamma) found");

    EXPECT_EQ(r.Ask("F:settitle@Second"), "F:OK");
    EXPECT_EQ(r.host.docs[1]->GetTitle(), "Second");
    EXPECT_EQ(r.host.titles.back(), "Second");

    EXPECT_EQ(r.Ask("G:closedocument@aLpHa"), "G:OK");
    ASSERT_EQ(r.host.docs.size(), 1u);
    EXPECT_EQ(r.host.docs[0]->GetTitle(), "Second");
    EXPECT_EQ(r.Ask("H:closedocument@alpha"), "H:ERROR:Command 'closedocument' - no document (alpha) found");
    // An empty name is the active document.
    EXPECT_EQ(r.Ask("I:closedocument@"), "I:OK");
    EXPECT_TRUE(r.host.docs.empty());
    EXPECT_EQ(r.Ask("J:settitle@x"), "J:ERROR:Command 'settitle' - no document () found");
}

// Documents requested without end would take the memory: past the bound the request is refused
// before anything is made, and a close makes room again. A document that could not be made is
// no OK for the one that was active.
TEST(RemoteLinkCommands, NewDocumentsPastTheBoundAreRefusedBeforeAnyIsMade) {
    Remote r;
    const auto ask = [&r](const std::string& request, const std::string& expected) {
        const std::size_t before = r.handed.size();
        r.Request(request);
        EXPECT_TRUE(r.PumpUntilHanded(before + 1)) << request;
        return r.ReadReply(expected);
    };
    for (std::size_t i = 0; i < docmsg::kMaxOpenDocuments; ++i)
        ASSERT_EQ(ask("A:newdocument@D" + std::to_string(i), "A:OK"), "A:OK") << i;
    CZunDoc* last = r.host.active;
    const std::string refused = "B:ERROR:Command 'newdocument' - Too many open documents (" +
                                std::to_string(docmsg::kMaxOpenDocuments) + "); close one first.";
    EXPECT_EQ(ask("B:newdocument@Over", refused), refused);
    EXPECT_EQ(r.host.docs.size(), docmsg::kMaxOpenDocuments);
    EXPECT_EQ(r.host.made, static_cast<int>(docmsg::kMaxOpenDocuments));
    EXPECT_EQ(r.host.active, last);
    EXPECT_NE(last->GetTitle(), "Over");

    EXPECT_EQ(ask("C:closedocument@D0", "C:OK"), "C:OK");
    EXPECT_EQ(ask("D:newdocument@Again", "D:OK"), "D:OK");
    EXPECT_EQ(r.host.active->GetTitle(), "Again");

    EXPECT_EQ(ask("E:closedocument@D1", "E:OK"), "E:OK");
    r.host.newFails = true;
    const std::string failed = "F:ERROR:Command 'newdocument' - could not create a new document";
    EXPECT_EQ(ask("F:newdocument@Failed", failed), failed);
    EXPECT_EQ(r.host.active->GetTitle(), "Again");
}

TEST(RemoteLinkCommands, ARenameThatRenamesNothingSaysWhy) {
    Remote r;
    ASSERT_EQ(r.Ask("A:newdocument@Alpha"), "A:OK");
    CZunDoc& doc = *r.host.active;
    ASSERT_EQ(doc.InsertChannel(0, 1, "Water"), 0);
    doc.SetModifiedFlag(false);
    const std::string e = "ERROR:Command 'renamechannel' - ";
    EXPECT_EQ(r.Ask("B:renamechannel@@NoSuch@X"), "B:" + e + "Channel \"NoSuch\" does not exist.");
    EXPECT_EQ(r.Ask("C:renamechannel@@water@X"), "C:" + e + "Channel \"water\" does not exist.");
    EXPECT_EQ(r.Ask("D:renamechannel@@NoSuch@NoSuch"), "D:" + e + "Channel \"NoSuch\" does not exist.");
    EXPECT_EQ(r.Ask("E:renamechannel@@Void@Water"), "E:" + e + "Channel name 'Water' already exists");
    EXPECT_EQ(doc.GetSample().GetChanNames(), (std::vector<std::string>{"Void", "Water"}));
    EXPECT_FALSE(doc.IsModified());
    // A rename to itself does what was asked; a change of case is a rename.
    EXPECT_EQ(r.Ask("F:renamechannel@@Void@Void"), "F:OK");
    EXPECT_EQ(r.Ask("G:renamechannel@@Water@WATER"), "G:OK");
    EXPECT_EQ(doc.GetSample().GetChanNames(), (std::vector<std::string>{"Void", "WATER"}));
}

TEST(RemoteLinkCommands, SaveRefusesPathsThatNameNoFileBeforeAnythingIsWritten) {
    Remote r;
    TempDir dir;
    ASSERT_EQ(r.Ask("A:newdocument@sample"), "A:OK");
    CZunDoc& doc = *r.host.active;
    doc.SetModifiedFlag(true);
    const std::string pipe = dir.File("pipe.zun");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // The pipe would have held the program in its open() for ever.
    EXPECT_EQ(r.Ask("B:save@" + pipe), "B:ERROR:Command 'save' - " + pipe + " is not a regular file.");
    EXPECT_EQ(r.Ask("C:save@" + dir.Path()),
              "C:ERROR:Command 'save' - " + dir.Path() + " is not a regular file.");
    // Cut at the NUL, the path would have written "a".
    EXPECT_EQ(r.Ask("D:save@" + dir.File("a") + std::string(1, '\0') + "b.zun"),
              "D:ERROR:Command 'save' - The file or folder name holds a control character.");
    EXPECT_EQ(r.Ask("E:save@" + dir.File("a\tb.zun")),
              "E:ERROR:Command 'save' - The file or folder name holds a control character.");
    int entries = 0;
    for ([[maybe_unused]] const auto& f : std::filesystem::directory_iterator(dir.Path())) ++entries;
    EXPECT_EQ(entries, 1);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), "");
    EXPECT_EQ(doc.GetTitle(), "sample");
}

TEST(RemoteLinkCommands, SaveWritesTheFileAndAnswersItsTitleAFailedSaveSaysSo) {
    Remote r;
    TempDir dir;
    ASSERT_EQ(r.Ask("A:newdocument@sample"), "A:OK");
    CZunDoc& doc = *r.host.active;
    doc.SetModifiedFlag(true);
    const std::string path = dir.File("first.zun");
    EXPECT_EQ(r.Ask("B:save@" + path), "B:OK:first.zun");
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), path);
    CZunDoc reopened(DocServices{&r.host.prompt});
    EXPECT_TRUE(reopened.OnOpenDocument(path));
    EXPECT_EQ(reopened.GetSample().GetChan(0)->name, "Void");

    // A path that cannot be written: an error, the document keeps its name and its changes.
    doc.SetModifiedFlag(true);
    const std::string bad = dir.File("missing/folder/x.zun");
    EXPECT_EQ(r.Ask("C:save@" + bad), "C:ERROR:Command 'save' - could not save (" + bad + ")");
    EXPECT_FALSE(std::filesystem::exists(bad));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), path);
    EXPECT_EQ(doc.GetTitle(), "first.zun");
}

TEST(RemoteLinkCommands, WindowPosAndInitial) {
    Remote r;
    EXPECT_EQ(r.Ask("A:windowpos@10@20@640@-1"), "A:OK");
    EXPECT_EQ(r.host.windowPos, (std::vector<unsigned>{10, 20, 640, 4294967295u}));
    EXPECT_EQ(r.Ask("B:initial"), "B:ERROR:Command 'initial' - no document () found");
    ASSERT_EQ(r.Ask("C:newdocument@"), "C:OK");
    Model& m = r.host.active->GetModel();
    m.Jobs() = JobFlags{true, true, true};
    m.GetParams().stepFlags = {0, 3, 3, 3, 3, 3};
    r.host.active->SetPlugins(true, {"/plugins"});
    EXPECT_EQ(r.Ask("D:initial"), "D:OK");
    EXPECT_FALSE(m.Jobs().composition || m.Jobs().property || m.Jobs().plugins);
    EXPECT_EQ(m.GetParams().stepFlags, (std::array<std::int32_t, kStepCount>{0, 3, 2, 3, 2, 2}));
    EXPECT_FALSE(r.host.active->PluginsEnabled());
    EXPECT_EQ(r.host.pluginResets, 1);
    EXPECT_EQ(r.host.volumeScalar, 0.0f);  // no tree view: nothing to set, no error
    r.host.treeView = true;
    EXPECT_EQ(r.Ask("E:initial"), "E:OK");
    EXPECT_EQ(r.host.volumeScalar, 8e-6f);
}

TEST(RemoteLinkCommands, StopWithoutAComputationAnswersOnceAndDisconnectClosesTheLink) {
    Remote r;
    struct Window : RemoteCommandWindow {
        explicit Window(int& c) : closed(c) {}
        ~Window() override { ++closed; }
        int Kind() const override { return 1; }
        int& closed;
    };
    int closed = 0;
    r.server.PushCommandWindow(std::make_unique<Window>(closed));
    r.server.PushCommandWindow(std::make_unique<Window>(closed));
    r.server.SetSubWindow(std::make_unique<Window>(closed));
    ASSERT_EQ(r.Ask("A:newdocument@"), "A:OK");
    EXPECT_EQ(r.Ask("B:stop"), "B:OK");
    EXPECT_EQ(closed, 3);
    EXPECT_TRUE(r.server.HasNoCommandWindows());
    EXPECT_EQ(r.host.waits, std::vector<int>{500});
    // An earlier EXTEND's request has had its answer: stop sends nothing under its tag.
    r.server.ReplyExtend("X", 300);
    r.server.ReplyFinal("X", "OK");
    EXPECT_EQ(r.ReadReply("X:EXTEND:300X:OK"), "X:EXTEND:300X:OK");
    EXPECT_EQ(r.Ask("C:stop@any@words"), "C:OK");

    r.Request("D:disconnect@x@y");
    ASSERT_TRUE(r.PumpUntilHanded(r.handed.size() + 1));
    EXPECT_EQ(r.ReadReply("D:OK"), "D:OK");
    EXPECT_TRUE(r.PeerClosed());
    EXPECT_EQ(r.server.GetState(), RemoteControlServer::kStopped);
    EXPECT_EQ(r.host.docs.size(), 1u);  // the program goes on with its documents
}

TEST(RemoteLinkCommands, StopAnswersTheRunningComputationFirstAndOnlyOnce) {
    Remote r;
    TempDir dir;
    const std::string text = dir.File("phantom.txt");
    ASSERT_EQ(std::system((std::string(ZUN_PYTHON) + " " + ZUN_SOURCE_DIR +
                           "/examples/make_phantom.py --size 8 --out '" + text + "' --truth '" +
                           dir.File("truth.txt") + "'")
                              .c_str()),
              0);
    ASSERT_EQ(r.Ask("A:newdocument@phantom"), "A:OK");
    CZunDoc& doc = *r.host.active;
    ASSERT_TRUE(doc.ImportTextDocument(text));
    doc.SetRemote(&r.server.ComputeReplies());
    // A step that runs until it is asked to stop.
    doc.GetModel().SetStepRunner([&](int, const ComputeLibParams&) {
        while (!doc.GetModel().StopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return 0;
    });
    // What "startcomp" does: EXTEND, the tag the computation answers under, then the start.
    r.server.ReplyExtend("S", 300);
    r.server.SetComputationTag(&doc, "S");
    ASSERT_EQ(doc.OnStartComputation(), 0);
    ASSERT_EQ(doc.GetModel().GetState(), kRunning);

    std::string replies = r.Ask("B:stop");
    // Let the end of the run arrive: it must not answer "S" again. Whatever it sent comes before
    // the reply to a request handed in after it.
    EXPECT_TRUE(WaitUntil([&] {
        r.frame.WaitAndPump(10);
        return !doc.GetModel().IsBusy();
    }));
    replies += r.Ask("C:hello");
    EXPECT_NE(doc.GetModel().GetState(), kRunning);
    const std::string answers = std::regex_replace(replies, std::regex("S:WORK:[0-9]+"), "");
    EXPECT_EQ(answers, "S:EXTEND:300S:OKB:OKC:hello");
    // The stopping run's last progress must not follow the answer it already had.
    const std::size_t answered = replies.find("S:OK");
    EXPECT_EQ(replies.find("S:WORK", answered), std::string::npos) << replies;
    EXPECT_EQ(r.host.waits, (std::vector<int>{500, 500}));
    doc.SetRemote(nullptr);
}

TEST(RemoteLinkCommands, TwoDocumentsComputingEachAnswerTheirOwnStart) {
    Remote r(true);
    TempDir dir;
    const std::string text = dir.File("phantom.txt");
    ASSERT_EQ(std::system((std::string(ZUN_PYTHON) + " " + ZUN_SOURCE_DIR +
                           "/examples/make_phantom.py --size 8 --out '" + text + "'")
                              .c_str()),
              0);
    // Each computation reports its own progress figure until it is released or stopped.
    struct Run {
        CZunDoc* doc = nullptr;
        std::atomic<bool> release{false};
        std::atomic<int> reports{0};
    };
    Run runs[2];
    const int figure[2] = {11, 22};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(r.Ask("N:newdocument@ph" + std::string(1, char('A' + i))), "N:OK");
        Run& run = runs[i];
        run.doc = r.host.active;
        ASSERT_TRUE(run.doc->ImportTextDocument(text));
        run.doc->SetTitle(i == 0 ? "phA" : "phB");
        run.doc->SetRemote(&r.server.ComputeReplies());
        run.doc->GetModel().SetStepRunner([&run, f = figure[i]](int, const ComputeLibParams&) {
            while (!run.release) {
                run.doc->GetModel().SetProgress(static_cast<float>(f), true);
                ++run.reports;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return 0;
        });
    }
    CZunDoc& a = *runs[0].doc;
    CZunDoc& b = *runs[1].doc;
    const auto pumpUntil = [&](const std::function<bool()>& done) {
        return WaitUntil([&] {
            r.frame.WaitAndPump(10);
            return done();
        });
    };
    // The second start is sent while the first computation runs, as a controller may.
    r.Request("C1:startcomp@phA");
    ASSERT_TRUE(pumpUntil([&] { return runs[0].reports > 0 && !r.server.Busy(); }));
    r.Request("C2:startcomp@phB");
    ASSERT_TRUE(pumpUntil([&] { return runs[1].reports > 0 && !r.server.Busy(); }));

    // phA ends: C1 has its answer, C2 none while phB computes.
    runs[0].release = true;
    ASSERT_TRUE(pumpUntil([&] { return !a.GetModel().IsBusy(); }));
    std::string replies = r.ReadFinal("C1");
    EXPECT_EQ(b.GetModel().GetState(), kRunning);
    replies += r.Ask("P:hello");
    EXPECT_EQ(replies.find("C2:OK"), std::string::npos) << replies;

    // "stop" stops the active document's computation (phB's) and answers C2 once it has ended.
    ASSERT_EQ(r.host.active, &b);
    replies += r.Ask("S:stop");
    EXPECT_FALSE(b.GetModel().IsBusy());
    EXPECT_NE(b.GetModel().GetState(), kRunning);
    replies += r.Ask("Q:hello");

    // Each tag's progress is its own document's; then one final reply each, in the order they ended.
    for (const auto& [tag, other] : {std::pair{"C1", 22}, std::pair{"C2", 11}})
        EXPECT_EQ(replies.find(std::string(tag) + ":WORK:" + std::to_string(other)), std::string::npos) << replies;
    EXPECT_NE(replies.find("C1:WORK:11"), std::string::npos) << replies;
    EXPECT_NE(replies.find("C2:WORK:22"), std::string::npos) << replies;
    const std::string finals = std::regex_replace(replies, std::regex("C[12]:(WORK:[0-9]+|EXTEND:300)"), "");
    EXPECT_EQ(finals, "C1:OKP:helloC2:OKS:OKQ:hello");
    a.SetRemote(nullptr);
    b.SetRemote(nullptr);
}

TEST(RemoteLinkCommands, AComputingDocumentCannotBeClosed) {
    Remote r;
    TempDir dir;
    const std::string text = dir.File("phantom.txt");
    ASSERT_EQ(std::system((std::string(ZUN_PYTHON) + " " + ZUN_SOURCE_DIR +
                           "/examples/make_phantom.py --size 8 --out '" + text + "' --truth '" +
                           dir.File("truth.txt") + "'")
                              .c_str()),
              0);
    ASSERT_EQ(r.Ask("A:newdocument@busy"), "A:OK");
    CZunDoc& doc = *r.host.active;
    ASSERT_TRUE(doc.ImportTextDocument(text));
    std::atomic<bool> release{false};
    doc.GetModel().SetStepRunner([&](int, const ComputeLibParams&) {
        while (!release && !doc.GetModel().StopRequested())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return 0;
    });
    ASSERT_EQ(doc.OnStartComputation(), 0);
    EXPECT_EQ(r.Ask("B:closedocument@"), "B:ERROR:Command 'closedocument' - computation running");
    EXPECT_EQ(r.Ask("C:initial"), "C:ERROR:Command 'initial' - computation running");
    EXPECT_EQ(r.Ask("K:renamechannel@@Void@Air"), "K:ERROR:Command 'renamechannel' - computation running");
    EXPECT_EQ(r.Ask("L:save@" + dir.File("busy.zun")),
              "L:ERROR:Command 'save' - The document cannot be saved while a computation is running.");
    EXPECT_FALSE(std::filesystem::exists(dir.File("busy.zun")));
    EXPECT_EQ(r.host.docs.size(), 1u);
    // A computation the controller did not start gets no answer from "stop".
    EXPECT_EQ(r.Ask("D:stop"), "D:OK");
    release = true;
    EXPECT_TRUE(WaitUntil([&] {
        r.frame.WaitAndPump(10);
        return !doc.GetModel().IsBusy();
    }));
    EXPECT_EQ(r.Ask("E:closedocument@"), "E:OK");
}

}  // namespace
}  // namespace zun
