#pragma once
// A host of plain documents and a loopback link to a test controller, for the remote commands.

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "platform/progress.h"
#include "platform/prompt.h"
#include "remotelink.h"
#include "script/remotecommands.h"
#include "script/remotehost.h"
#include "tree/displaytree.h"

namespace zun {

// What runs while a long command works, as the events the real windows' progress lets through
// would (tests set it to hand in a request meanwhile).
struct DuringWork {
    std::function<void()> hook;
    void operator()() {
        if (!hook) return;
        // A request it hands in that works long itself does not call it again.
        std::function<void()> h = std::move(hook);
        hook = nullptr;
        h();
        hook = std::move(h);
    }
};

class HookedPrompt : public HeadlessPrompt {
public:
    explicit HookedPrompt(DuringWork& during) : during_(during) {}
    int Ask(const PromptRequest& request) override {
        during_();
        return HeadlessPrompt::Ask(request);
    }

private:
    DuringWork& during_;
};

class HookedProgress : public ProgressSink {
public:
    explicit HookedProgress(DuringWork& during) : during_(during) {}
    void SetText(const std::string&) override {}
    void SetPos(int) override {}
    bool SetProgress(int) override {
        during_();
        return false;
    }

private:
    DuringWork& during_;
};

// A document window of a plain tree: what the commands asked of the view is recorded.
class FakeWindow : public RemoteDocWindow {
public:
    explicit FakeWindow(DisplayTree& tree, DuringWork* during = nullptr) : tree_(tree), during_(during) {}
    DisplayTree* Tree() override { return &tree_; }
    void UpdateView(unsigned bits) override { viewBits.push_back(bits); }
    void UpdateTreeStats(const std::set<TreeItemId>& items) override { statsUpdates.push_back(items.size()); }
    bool SaveHistogramPicture(int channel, const std::string& path, bool& saved) override {
        if (during_) (*during_)();
        histograms.push_back({channel, path});
        saved = path.find("/no/such/") == std::string::npos;
        return true;
    }
    int CheckWeb3DExport(Web3DOptions& options, std::string& message) override {
        web = options;
        if (options.fileName.empty()) {
            message = "No volume image is created.";
            return 1;
        }
        return 0;
    }
    int WriteWeb3DPage(Web3DOptions& options, std::string& message) override {
        if (during_) (*during_)();
        web = options;
        message = "could not write";
        return options.folder == "bad" ? 3 : 0;
    }
    std::string RecordAnimation(const RecordOptions& options, const std::string& path) override {
        if (during_) (*during_)();
        return RemoteDocWindow::RecordAnimation(options, path);
    }
    void RefreshPropertyDialogs(int channel) override { refreshed.push_back(channel); }

    std::vector<unsigned> viewBits;
    std::vector<std::size_t> statsUpdates;
    std::vector<std::pair<int, std::string>> histograms;
    std::vector<int> refreshed;
    Web3DOptions web;

private:
    DisplayTree& tree_;
    DuringWork* during_;
};

// Records what a FakeWindow was asked, across the short-lived windows the commands take.
struct FakeWindowLog {
    std::vector<unsigned> viewBits;
    std::vector<std::size_t> statsUpdates;
    std::vector<std::pair<int, std::string>> histograms;
    std::vector<int> refreshed;
    Web3DOptions web;
};

class FakeHost : public RemoteHost {
public:
    explicit FakeHost(QueuedMainFrameChannel& frame) : frame_(frame) {}

    std::vector<CZunDoc*> Documents() override {
        std::vector<CZunDoc*> list;
        for (auto& d : docs) list.push_back(d.get());
        return list;
    }
    CZunDoc* ActiveDocument() override { return active; }
    CZunDoc* NewDocument() override {
        if (newFails) return nullptr;
        docs.push_back(std::make_unique<CZunDoc>(DocServices{&prompt, &progress, &frame_}));
        docs.back()->OnNewDocument();
        docs.back()->SetTitle("Zun" + std::to_string(++made));
        active = docs.back().get();
        return active;
    }
    bool CloseDocument(CZunDoc* doc) override {
        if (active == doc) active = nullptr;
        return std::erase_if(docs, [&](const auto& d) { return d.get() == doc; }) != 0;
    }
    void SetMainWindowPos(unsigned x, unsigned y, unsigned w, unsigned h) override {
        windowPos = {x, y, w, h};
    }
    bool HasActiveTreeView() override { return treeView; }
    void SetVolumeScalarProperty(float value) override { volumeScalar = value; }
    void ResetPluginPreferences() override { ++pluginResets; }
    void GetPluginPreferences(bool& enabled, std::vector<std::string>& folders) override {
        enabled = pluginsOn;
        folders = pluginFolders;
    }
    void SetPluginPreferences(bool enabled, const std::vector<std::string>& folders) override {
        pluginsOn = enabled;
        pluginFolders = folders;
    }
    bool pluginsOn = false;
    std::vector<std::string> pluginFolders{"first"};
    void StopComputation(CZunDoc* doc) override {
        doc->HandleFrameMessage(FrameMessage{FrameMsg::StartStopComputation, doc, 1});
        WaitUntil([&] {
            frame_.WaitAndPump(5);
            return !doc->GetModel().IsBusy();
        });
    }
    void TitleChanged(CZunDoc* doc) override { titles.push_back(doc->GetTitle()); }
    void Wait(int ms) override {
        waits.push_back(ms);
        duringWork();
    }
    // A tree per document once BuildTree was called for it.
    std::unique_ptr<RemoteDocWindow> DocumentWindow(CZunDoc& doc) override {
        for (auto& [d, tree] : trees)
            if (d == &doc) return std::make_unique<LoggedWindow>(*tree, log, duringWork);
        return nullptr;
    }
    DisplayTree& BuildTree(CZunDoc& doc) {
        trees.emplace_back(&doc, std::make_unique<DisplayTree>());
        trees.back().second->Build(doc.GetSample(), doc.GetTitle());
        return *trees.back().second;
    }
    class LoggedWindow : public FakeWindow {
    public:
        LoggedWindow(DisplayTree& tree, FakeWindowLog& log, DuringWork& during)
            : FakeWindow(tree, &during), log_(log) {}
        ~LoggedWindow() override {
            log_.viewBits.insert(log_.viewBits.end(), viewBits.begin(), viewBits.end());
            log_.statsUpdates.insert(log_.statsUpdates.end(), statsUpdates.begin(), statsUpdates.end());
            log_.histograms.insert(log_.histograms.end(), histograms.begin(), histograms.end());
            log_.refreshed.insert(log_.refreshed.end(), refreshed.begin(), refreshed.end());
            if (!web.title.empty() || !web.fileName.empty()) log_.web = web;
        }

    private:
        FakeWindowLog& log_;
    };
    std::vector<std::pair<CZunDoc*, std::unique_ptr<DisplayTree>>> trees;
    FakeWindowLog log;

    DuringWork duringWork;
    HookedPrompt prompt{duringWork};
    HookedProgress progress{duringWork};
    std::vector<std::unique_ptr<CZunDoc>> docs;
    CZunDoc* active = nullptr;
    int made = 0;
    bool newFails = false;  // as when the application could not make the document
    std::vector<unsigned> windowPos;
    bool treeView = false;
    float volumeScalar = 0;
    int pluginResets = 0;
    std::vector<std::string> titles;
    std::vector<int> waits;

private:
    QueuedMainFrameChannel& frame_;
};

struct Remote : RemoteLink {
    FakeHost host{frame};
    RemoteInterpreter interpreter{host, server};
    explicit Remote(bool all = false) {
        RegisterDocumentClasses();
        if (all)
            InstallRemoteCommands(interpreter);
        else
            InstallLinkCommands(interpreter);
        onMessage = [this](const FrameMessage& m) {
            if (interpreter.HandleFrameMessage(m)) return;
            for (auto& d : host.docs) d->HandleFrameMessage(m);
        };
    }
    // Sends one request and returns its replies up to its final one.
    std::string Ask(const std::string& request) {
        Request(request);
        const std::size_t before = handed.size();
        EXPECT_TRUE(PumpUntilHanded(before + 1)) << request;
        return ReadFinal(TagOf(request));
    }
};

}  // namespace zun
