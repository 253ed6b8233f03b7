#pragma once
// Samples and trees shared by the tree tests (header-only).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/sample.h"
#include "tree/displaytree.h"

namespace zun {

// Records every edit the tree announces, one line each.
class EditLog : public TreeListener {
public:
    void BeginInsert(const TreeNode* p, int row, int count) override {
        lines.push_back("insert " + p->label + " " + std::to_string(row) + "+" + std::to_string(count));
    }
    void EndInsert() override {}
    void BeginRemove(const TreeNode* p, int row, int count) override {
        lines.push_back("remove " + p->label + " " + std::to_string(row) + "+" + std::to_string(count));
    }
    void EndRemove() override {}
    void BeginReset() override { lines.push_back("reset"); }
    void EndReset() override {}
    void ItemChanged(const TreeNode*) override { ++changed; }
    std::vector<std::string> lines;
    int changed = 0;
};

struct SampleSpec {
    int nx = 4, ny = 3, nz = 5;
    // kind and name of each channel after the first composition "Void"
    std::vector<std::pair<std::int32_t, std::string>> channels{{0, "Iron"}, {1, "ct_1"}, {3, "bound_1"}};
};

inline std::unique_ptr<ZunImage> MakeSample(const SampleSpec& s = {}) {
    auto sample = std::make_unique<ZunImage>(true);
    sample->Resize(Dims{s.nx, s.ny, s.nz});
    sample->InsertChan(ZunChan::kComposition, 0, "Void", 0x0000FF);
    int pos = 1;
    for (const auto& [kind, name] : s.channels) {
        sample->InsertChan(kind, pos, name, 0x00FF00 + pos);
        ++pos;
    }
    return sample;
}

// The labels of a channel item's children joined by ",".
inline std::string SliceLabels(const TreeNode* channel) {
    std::string out;
    for (const auto& c : channel->children) out += (out.empty() ? "" : ",") + c->label;
    return out;
}

inline std::string ChannelLabels(const DisplayTree& t) {
    std::string out;
    for (const auto& c : t.Root()->children) out += (out.empty() ? "" : ",") + c->label;
    return out;
}

}  // namespace zun
