#pragma once
// A document for the value-tool tests: compositions Void, A, B, a CT channel "ct" with the
// physical range 0..2 and a boundary "edge", over a small grid; a prompt and a hint log.

#include <string>
#include <vector>

#include "document/dochelpers.h"

namespace zun {

struct ValueToolsFixture : DocFixture {
    explicit ValueToolsFixture(std::array<std::uint32_t, 3> dims = {4, 3, 2}) {
        doc.ResizeVolume(dims, {0, 0, 0});
        doc.InsertChannel(0, 1, "A");
        doc.InsertChannel(0, 2, "B");
        doc.InsertChannel(1, 3, "ct");
        doc.InsertChannel(3, 4, "edge");
        Chan("ct").range = {0.0f, 2.0f};
        hints.Take();
        prompt.Clear();
        doc.SetModifiedFlag(false);
    }
    ZunChan& Chan(const std::string& name) { return *doc.GetSample().FindChan(name); }
    imtype* Words(const std::string& name) { return Chan(name).Data(); }
    int Index(const std::string& name) { return doc.GetSample().FindChanIndex(name); }
    std::int64_t Count() { return static_cast<std::int64_t>(doc.GetSample().GetNumVoxels()); }
};

}  // namespace zun
