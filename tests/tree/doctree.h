#pragma once
// A document with a tree that follows its change hints, and a scripted command host: what the
// command tests run the tree's commands against.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/zundoc.h"
#include "platform/prompt.h"
#include "tools/samplegrid.h"
#include "tree/displaytree.h"
#include "tree/treedispatch.h"
#include "tree/treehints.h"

namespace zun {

class ScriptedHost : public TreeCommandHost {
public:
    std::optional<std::string> AskNewChannelName(const std::string& caption,
                                                 const std::string& name) override {
        captions.push_back(caption);
        suggested.push_back(name);
        return nextName;
    }
    std::optional<std::string> AskChannelRename(int index) override {
        renamed.push_back(index);
        return nextName;
    }
    bool EditSampleGrid(SetupSampleGrid& grid) override {
        if (!editGrid) return false;
        editGrid(grid);
        return true;
    }
    std::vector<std::string> ChooseFiles(const std::string&, const std::string&, bool, bool) override {
        return files;
    }
    void DisplayChanged() override { ++redraws; }
    void SetBusy(bool busy) override { busyDepth += busy ? 1 : -1; }

    std::optional<std::string> nextName;
    std::function<void(SetupSampleGrid&)> editGrid;
    std::vector<std::string> files;
    std::vector<std::string> captions, suggested;
    std::vector<int> renamed;
    int redraws = 0;
    int busyDepth = 0;
};

// kinds: the channels after "Void" as (kind, name).
struct DocTree : DocView {
    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt}};
    DisplayTree tree;
    ScriptedHost host;
    std::unique_ptr<TreeCommands> commands;

    explicit DocTree(const std::vector<std::pair<int, std::string>>& channels,
                     std::array<std::uint32_t, 3> grid = {4, 3, 5}) {
        doc.OnNewDocument();
        doc.ResizeVolume(grid, {0, 0, 0});
        for (const auto& [kind, name] : channels) doc.InsertChannel(kind, doc.InsertPositionLast(kind), name);
        tree.Build(doc.GetSample(), "doc");
        doc.Views().Add(this);
        commands = std::make_unique<TreeCommands>(tree, doc, host);
    }
    ~DocTree() override { doc.Views().Remove(this); }
    void OnUpdate(DocView*, unsigned hint, const ChangeHint* h) override { ApplyChangeHint(tree, hint, h); }

    TreeNode* Chan(const std::string& name) const { return tree.FindChannel(name); }
    void ClearSelection() {
        for (TreeNode* n = tree.Root(); n; n = DisplayTree::NextInPreOrder(n)) n->selected = false;
    }
    void Select(std::initializer_list<TreeNode*> nodes) {
        ClearSelection();
        for (TreeNode* n : nodes) n->selected = true;
    }
    std::string Names() const {
        std::string out;
        const ZunImage& s = doc.GetSample();
        for (int i = 0; i < s.GetChanCount(); ++i) out += (i ? "," : "") + s.GetChan(i)->name;
        return out;
    }
    std::string LastMessage() const {
        const auto r = prompt.Requests();
        return r.empty() ? std::string() : r.back().text;
    }
};

}  // namespace zun
