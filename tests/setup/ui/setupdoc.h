#pragma once
// A document for the set-up tests: "Void" and two more compositions, two CT channels and,
// when asked for, property and boundary channels.

#include <memory>
#include <string>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "platform/prompt.h"

namespace zun::test {

struct SetupDoc {
    HeadlessPrompt prompt;
    std::unique_ptr<CZunDoc> doc;

    explicit SetupDoc(bool properties = false, bool boundaries = false) {
        RegisterDocumentClasses();
        doc = std::make_unique<CZunDoc>(DocServices{&prompt, nullptr, nullptr});
        doc->OnNewDocument();
        doc->ResizeVolume({6, 5, 4}, {0, 0, 0});
        Add(kChanComposition, "Water");
        Add(kChanComposition, "Al");
        Add(kChanCt, "CT40");
        Add(kChanCt, "CT80");
        if (properties) {
            Add(kChanProperty, "Density");
            Add(kChanProperty, "Porosity");
        }
        if (boundaries) {
            Add(kChanBoundary, "Inner");
            Add(kChanBoundary, "Outer");
        }
    }
    void Add(int kind, const std::string& name) {
        doc->InsertChannel(kind, doc->InsertPositionLast(kind), name);
    }
    Params& P() { return doc->GetModel().GetParams(); }
};

}  // namespace zun::test
