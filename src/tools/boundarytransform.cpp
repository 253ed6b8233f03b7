#include "tools/boundarytransform.h"

#include <utility>

#include "document/changehints.h"
#include "document/zundoc.h"
#include "foundation/numformat.h"
#include "model/zunchan.h"
#include "platform/progress.h"
#include "platform/prompt.h"
#include "tools/boundarywizard.h"
#include "tools/toolsupport.h"

namespace zun {

namespace boundmsg {
const char kTransforming[] = "Transforming Boundary Data";
}  // namespace boundmsg

TransformFields FieldsFromParams(const TransBoundParams& params) {
    TransformFields f;
    f.rotate = params.rotate;
    f.translate = params.translate;
    for (std::size_t k = 0; k < 3; ++k) {
        f.angles[k] = FormatReal(k < params.rotation.size() ? params.rotation[k] : 0.0f, -1, "%g");
        f.offsets[k] = FormatInt(k < params.translation.size() ? params.translation[k] : 0, "%d");
    }
    return f;
}

BoundaryTransform::BoundaryTransform(CZunDoc& doc, std::vector<std::string> targets)
    : doc_(doc), targets_(std::move(targets)), current_(doc.transBoundParams) {
    current_.rotation.resize(3, 0.0f);
    current_.translation.resize(3, 0);
    applied_ = current_;
}

int BoundaryTransform::Apply(const TransformFields& fields, ProgressSink* progress) {
    // An angle or offset that is no finite number is refused before anything moves.
    if (std::string refused =
            ReadRotationTranslation(fields.angles, fields.offsets, current_.rotation, current_.translation);
        !refused.empty()) {
        if (Prompt* p = doc_.GetPrompt()) p->Tell(refused, PromptIcon::Warning);
        return -1;
    }
    current_.rotate = fields.rotate;
    current_.translate = fields.translate;
    doc_.transBoundParams = current_;

    std::vector<ZunChan*> channels;
    for (const std::string& n : targets_) {
        ZunChan* c = doc_.GetSample().FindChan(n);
        if (c && c->kind == ZunChan::kBoundary && c->Data()) channels.push_back(c);
    }
    if (progress) {
        progress->SetText(boundmsg::kTransforming);
        progress->SetPos(0);
    }
    // The transform keeps every mask as it was when it does not complete.
    const int result =
        channels.empty() ? -1 : ZunChan::TransformBoundary(channels, current_, progress, ToolThreads());
    if (result != 0) {
        if (Prompt* p = doc_.GetPrompt()) p->Tell(boundmsg::kNotCompleted, PromptIcon::Information);
        doc_.transBoundParams = applied_;
        doc_.UpdateAllViews(nullptr, kHintData, nullptr);
        return result;
    }
    applied_ = current_;
    doc_.SetModifiedFlag(true);
    doc_.BoundariesChanged(targets_);
    return 0;
}

}  // namespace zun
