#include "tools/boundarywizard.h"

#include <cmath>
#include <utility>

#include "document/changehints.h"
#include "document/zundoc.h"
#include "foundation/numformat.h"
#include "model/zunchan.h"
#include "platform/progress.h"
#include "platform/prompt.h"
#include "tools/toolsupport.h"

namespace zun {

namespace boundmsg {
const char kSkipped[] = "Computation skipped due to parameters unchanged.";
const char kGenerating[] = "Generating Boundary Data";
const char kNotCompleted[] = "Operation not completed";
const char kNoMemory[] = "Operation not completed: insufficient memory";
const char kMultipleBoundaries[] = "Multiple Boundaries";
}  // namespace boundmsg

const std::array<const char*, 5> kBoundKindTitles = {"Channel cluster based", "Channel value based", "Cuboid",
                                                     "Spherical", "Cylindrical"};
const std::array<const char*, 5> kBoundModeTitles = {"Assign", "OR Existing", "AND Existing", "XOR Existing",
                                                     "Clear Existing"};

namespace {
constexpr imtype kMarkBit = 0x4000;
constexpr imtype kValueBits = 0x3FFF;
constexpr imtype kFlagBits = 0xC000;
}  // namespace

imtype CombineBoundaryMark(int mode, bool mark, imtype word) {
    const imtype flags = word & kFlagBits;
    const imtype value = word & kValueBits;
    switch (mode) {
        case BoundDef::kAssign:
            return flags | (mark ? kValueBits : 0);
        case BoundDef::kOr:
            return mark ? imtype(flags | kValueBits) : word;
        case BoundDef::kAnd:
            return (!mark && value) ? flags : word;
        case BoundDef::kXor:
            return mark ? imtype(flags | (value ? 0 : kValueBits)) : word;
        default:  // Clear Existing
            return (mark && value) ? flags : word;
    }
}

void CombineBoundaryRegion(int mode, imtype* first, const std::vector<imtype*>& targets, std::int64_t count,
                           int threads) {
    for (imtype* t : targets) {
        // The first target holds the marks it is combined with: read each mark before the word
        // changes (combining keeps bit 14, so the order within a voxel does not matter).
#pragma omp parallel for num_threads(threads) schedule(static)
        for (std::int64_t i = 0; i < count; ++i)
            t[i] = CombineBoundaryMark(mode, (first[i] & kMarkBit) != 0, t[i]);
    }
#pragma omp parallel for num_threads(threads) schedule(static)
    for (std::int64_t i = 0; i < count; ++i) first[i] = static_cast<imtype>(first[i] & ~kMarkBit);
}

std::string BoundaryToolCaption(const std::string& document, const std::vector<std::string>& targets,
                                const std::string& action) {
    const std::string which =
        targets.size() == 1 ? targets.front() : std::string(boundmsg::kMultipleBoundaries);
    return document + ": " + which + ": " + action;
}

BoundPanelFields PanelFromDefinition(const BoundDef& def) {
    BoundPanelFields p;
    p.kind = def.kind;
    p.mode = def.mode;
    p.rotate = def.rotate;
    p.translate = def.translate;
    for (std::size_t k = 0; k < 3; ++k) {
        p.angles[k] = FormatReal(k < def.rotation.size() ? def.rotation[k] : 0.0f, -1, "%g");
        p.offsets[k] = FormatInt(k < def.translation.size() ? def.translation[k] : 0, "%d");
    }
    return p;
}

std::string ReadRotationTranslation(const std::array<std::string, 3>& angles,
                                    const std::array<std::string, 3>& offsets, std::vector<float>& rotation,
                                    std::vector<std::int32_t>& translation) {
    std::array<float, 3> r{}, t{};
    for (std::size_t k = 0; k < 3; ++k) {
        if (ReadFiniteFloat(angles[k], &r[k]) == -2) return kValueMustBeReal;
        if (ReadFiniteFloat(offsets[k], &t[k]) == -2 || !(t[k] >= -2147483648.0f && t[k] < 2147483648.0f))
            return kValueMustBeInteger;
    }
    rotation.assign(r.begin(), r.end());
    translation.resize(3);
    for (std::size_t k = 0; k < 3; ++k) translation[k] = static_cast<std::int32_t>(t[k]);
    return {};
}

std::string CheckBoundaryNumbers(const BoundDef& def) {
    auto invalid = [](const char* what, double v) {
        return FormatReal(
            -1, v, (std::string("invalid ") + what + " (%g), which should be a finite number").c_str());
    };
    for (float a : def.rotation)
        if (!std::isfinite(a)) return invalid("rotation angle", a);
    if (!std::isfinite(def.normThreshold)) return invalid("threshold", def.normThreshold);
    if (!std::isfinite(def.strength)) return invalid("smoothing strength", def.strength);
    return {};
}

BoundaryWizard::BoundaryWizard(CZunDoc& doc, std::vector<std::string> targets)
    : doc_(doc), targets_(std::move(targets)), current_(doc.boundDef) {
    // A definition written by a remote command may carry short vectors; the panel reads three.
    current_.rotation.resize(3, 0.0f);
    current_.translation.resize(3, 0);
    applied_ = current_;
}

std::vector<ZunChan*> BoundaryWizard::ResolveTargets() const {
    std::vector<ZunChan*> out;
    for (const std::string& n : targets_) {
        ZunChan* c = doc_.GetSample().FindChan(n);
        if (!c || c->kind != ZunChan::kBoundary || !c->Data()) return {};
        if (!out.empty() && c->GetDims() != out.front()->GetDims()) return {};
        out.push_back(c);
    }
    return out;
}

int BoundaryWizard::ApplyBoundary(const BoundPanelFields* panel, ProgressSink* progress) {
    Prompt* prompt = doc_.GetPrompt();
    if (panel) {
        if (std::string refused = ReadRotationTranslation(panel->angles, panel->offsets, current_.rotation,
                                                          current_.translation);
            !refused.empty()) {
            if (prompt) prompt->Tell(refused, PromptIcon::Warning);
            pageErrors_ = 0;
            outcome_ = kFailed;
            return 0;
        }
        current_.kind = panel->kind;
        current_.mode = panel->mode >= 0 && panel->mode <= 3 ? panel->mode : BoundDef::kClear;
        current_.rotate = panel->rotate;
        current_.translate = panel->translate;
    }
    // A definition from a document file or left by the remote road is held to the same rule.
    if (std::string refused = CheckBoundaryNumbers(current_); !refused.empty() && pageErrors_ == 0) {
        if (prompt) prompt->Tell(refused, PromptIcon::Warning);
        outcome_ = kFailed;
        return 0;
    }
    if (pageErrors_ != 0) {
        current_ = applied_;
        pageErrors_ = 0;
        outcome_ = kReverted;
        return 0;
    }
    if (current_ == applied_ && !force_) {
        if (prompt) prompt->Tell(boundmsg::kSkipped, PromptIcon::Warning);
        outcome_ = kSkipped;
        return 1;
    }
    doc_.boundDef = current_;
    // The build's progress lets events through, whichever road started it: meanwhile the
    // document is neither saved half built, nor closed or changed.
    CZunDoc::LongWork work(doc_, "boundary build", true);
    if (GenerateBoundary(progress) != 0) {
        doc_.boundDef = applied_;
        doc_.UpdateAllViews(nullptr, kHintData, nullptr);
        outcome_ = kFailed;
        return 0;
    }
    doc_.boundDef = current_;
    applied_ = current_;
    force_ = false;
    doc_.SetModifiedFlag(true);
    doc_.BoundariesChanged(targets_);
    outcome_ = kBuilt;
    return 1;
}

int BoundaryWizard::GenerateBoundary(ProgressSink* progress) {
    const std::vector<ZunChan*> targets = ResolveTargets();
    if (targets.empty()) return -1;
    if (progress) {
        progress->SetText(boundmsg::kGenerating);
        progress->SetPos(0);
    }
    ZunChan& first = *targets.front();
    Prompt* prompt = doc_.GetPrompt();
    const int threads = ToolThreads();
    int result = 0;
    switch (current_.kind) {
        case BoundDef::kClusters: {
            const ZunChan* reference = doc_.GetSample().FindChan(current_.referenceChannel);
            if (!reference || reference == &first) {
                // The page lists no such channel, but the remote road may name anything.
                if (prompt)
                    prompt->Tell("Channel \"" + current_.referenceChannel +
                                     "\" does not exist.\nCannot generate channel-cluster-based boundary.",
                                 PromptIcon::Warning);
                return -1;
            }
            result = ZunChan::BuildClusterBoundary(first, current_, *reference, progress, prompt, threads);
            break;
        }
        case BoundDef::kSample:
            result = ZunChan::BuildSampleBoundary(progress, first, current_, prompt, threads);
            break;
        case BoundDef::kCuboid:
        case BoundDef::kSphere:
        case BoundDef::kCylinder:
            result = ZunChan::BuildBoundaryFromDef(first, current_, progress, threads);
            break;
        default:
            break;
    }
    if (result != 0) return result;
    std::vector<imtype*> words;
    for (ZunChan* t : targets) words.push_back(t->Data());
    CombineBoundaryRegion(current_.mode, first.Data(), words, static_cast<std::int64_t>(first.GetNumVoxels()),
                          threads);
    return 0;
}

int BuildBoundaryFromDocument(CZunDoc& doc, const std::vector<std::string>& targets, ProgressSink* progress) {
    if (targets.empty()) return -1;
    // The progress lets events through: the document stays open until the build ends.
    CZunDoc::LongWork work(doc, "boundary build", true);
    for (const std::string& n : targets) {
        const ZunChan* c = doc.GetSample().FindChan(n);
        if (!c || c->kind != ZunChan::kBoundary || !c->Data()) return -1;
    }
    BoundaryWizard wizard(doc, targets);
    wizard.ApplyBoundary(nullptr, progress);
    return wizard.LastOutcome() == BoundaryWizard::kBuilt ? 0 : 1;
}

}  // namespace zun
