#pragma once
// The boundary wizard without its windows: the definition being edited and the one last
// generated, the Apply rules (skip an unchanged definition, revert after a page error, restore
// the document's definition after a failed builder) and the combination of the new region into
// every target boundary. The remote control's boundary command uses BuildBoundaryFromDocument.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/voxeltypes.h"
#include "model/bounddef.h"

namespace zun {

class CZunDoc;
class ProgressSink;
class ZunChan;

namespace boundmsg {
extern const char kSkipped[];             // "Computation skipped due to parameters unchanged."
extern const char kGenerating[];          // "Generating Boundary Data"
extern const char kNotCompleted[];        // "Operation not completed"
extern const char kNoMemory[];            // "Operation not completed: insufficient memory"
extern const char kMultipleBoundaries[];  // "Multiple Boundaries"
}  // namespace boundmsg

// The page titles, in kind order.
extern const std::array<const char*, 5> kBoundKindTitles;
// The combination buttons, in mode order.
extern const std::array<const char*, 5> kBoundModeTitles;

// A boundary word after the region mark of the same voxel was combined into it by the mode.
// Bits 14 and 15 of the word are kept whatever the mode.
imtype CombineBoundaryMark(int mode, bool mark, imtype word);

// Combines bit 14 of `first` (the builders' region mark) into every target (`first` may be one
// of them), then clears bit 14 of `first`.
void CombineBoundaryRegion(int mode, imtype* first, const std::vector<imtype*>& targets, std::int64_t count,
                           int threads);

// "<document>: <boundary or Multiple Boundaries>: <action>".
std::string BoundaryToolCaption(const std::string& document, const std::vector<std::string>& targets,
                                const std::string& action);

// The fixed panel above the pages as read at Apply (texts as typed).
struct BoundPanelFields {
    int kind = 0;  // the "Type:" choice; -1 when nothing is chosen
    int mode = 0;
    bool rotate = false;
    std::array<std::string, 3> angles{"0", "0", "0"};
    bool translate = false;
    std::array<std::string, 3> offsets{"0", "0", "0"};
};
BoundPanelFields PanelFromDefinition(const BoundDef& def);

// The rotation angles and translation offsets of the wizard's panel or the transform's dialog,
// texts as typed: a text that is no number reads 0, an offset is truncated. Empty when read;
// else the edits' own message ("Value must be a real number" for an angle that is not finite,
// "Value must be an integer" for an offset that is not finite or beyond 32 bits), and nothing is
// written.
std::string ReadRotationTranslation(const std::array<std::string, 3>& angles,
                                    const std::array<std::string, 3>& offsets, std::vector<float>& rotation,
                                    std::vector<std::int32_t>& translation);

// Empty when the definition holds no number the builders cannot take, else what is wrong: a
// rotation angle, threshold or smoothing strength that is NaN or infinite would reach their
// integer conversions. The wizard and the remote command both ask it before building.
std::string CheckBoundaryNumbers(const BoundDef& def);

class BoundaryWizard {
public:
    enum Outcome { kNone, kBuilt, kSkipped, kReverted, kFailed };

    // The sheet's opening: the current and applied definitions start from the document's.
    BoundaryWizard(CZunDoc& doc, std::vector<std::string> targets);

    CZunDoc& Document() { return doc_; }
    const std::vector<std::string>& Targets() const { return targets_; }
    BoundDef& Current() { return current_; }
    const BoundDef& Applied() const { return applied_; }
    bool Forced() const { return force_; }
    // A page whose fields failed their checks while being stored.
    void AddPageError() { ++pageErrors_; }
    int PageErrors() const { return pageErrors_; }
    Outcome LastOutcome() const { return outcome_; }

    // The sheet's Apply after the pages stored: reads the panel (when given) into the current
    // definition, then reverts, skips or generates. A panel or definition holding a number that
    // is not finite is refused with its message before anything changes (outcome kFailed).
    // 1 when the pages may be marked unmodified, 0 otherwise. Messages go to the document's
    // prompt.
    int ApplyBoundary(const BoundPanelFields* panel, ProgressSink* progress);
    // Builds the current definition's region and combines it into the targets: 0 success,
    // non-zero failure (nothing combined then).
    int GenerateBoundary(ProgressSink* progress);

private:
    std::vector<ZunChan*> ResolveTargets() const;

    CZunDoc& doc_;
    std::vector<std::string> targets_;
    BoundDef current_;
    BoundDef applied_;
    bool force_ = true;
    int pageErrors_ = 0;
    Outcome outcome_ = kNone;
};

// The remote control's "buildboundary": builds the document's boundary definition (which the
// caller has just written) into the named boundary channels as the first Apply of a fresh wizard
// does, with no page storing anything: the region is built in the first target and combined into
// each target by the definition's mode, the views are told and the document is marked modified.
// The builders' messages go to the document's prompt; `progress` may be null.
// Returns 0 when built; 1 when the builder failed or was cancelled (no target changed, the
// document keeps the definition); -1 when no target was given or one is not a boundary channel
// of the sample (nothing done).
int BuildBoundaryFromDocument(CZunDoc& doc, const std::vector<std::string>& targets, ProgressSink* progress);

}  // namespace zun
