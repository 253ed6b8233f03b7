#include "setup/methodsheet.h"

#include <cmath>

#include "foundation/numformat.h"
#include "setup/setupmessages.h"

namespace zun {

MethodSheet::MethodSheet(Params& params, int shellCount)
    : params_(params),
      compositions_(CompositionsOf(params)),
      ct_(params.ctChannelCount),
      layout_(params.ChannelLayout()) {
    for (int i = 0; i < compositions_; ++i)
        compositionNames_.push_back(i < static_cast<int>(params.compositionNames.size())
                                        ? params.compositionNames[i]
                                        : std::string());
    for (int j = 1; j <= ct_; ++j)
        ctNames_.push_back(j < static_cast<int>(params.ctChannelNames.size()) ? params.ctChannelNames[j]
                                                                              : std::string());
    shells_.assign(static_cast<std::size_t>(shellCount), ShellGrid(compositions_));
}

std::string MethodSheet::Caption(const std::string& documentTitle) const {
    switch (Kind()) {
        case SheetKind::Linear:
            return documentTitle + setupmsg::kLinearSuffix;
        case SheetKind::Nonlinear:
            return documentTitle + setupmsg::kNonlinearSuffix;
        default:
            return documentTitle + setupmsg::kSegmentationSuffix;
    }
}

std::string MethodSheet::ShellTitle(int i) const {
    const int first = ShellCount() == kShellCount ? 0 : 1;
    return setupmsg::kShellTitles[i + first];
}

std::vector<std::string> MethodSheet::RangeEntries() const {
    std::vector<std::string> e;
    if (ShellCount() < kShellCount) e.push_back(setupmsg::kNoNeighbours);
    for (int i = 0; i < ShellCount(); ++i) e.push_back(ShellTitle(i));
    return e;
}

void MethodSheet::InitShells() {
    for (int i = 0; i < ShellCount(); ++i) shells_[static_cast<std::size_t>(i)].Load(EditedShell(i));
}

void MethodSheet::InitRange(int stored) {
    const int last = static_cast<int>(RangeEntries().size()) - 1;
    range_ = stored < 0 ? 0 : (stored >= last ? last : stored);
    pages_ = PagesForRange(range_);
}

void MethodSheet::SetRangeSelection(int sel) {
    const int last = static_cast<int>(RangeEntries().size()) - 1;
    range_ = sel < 0 ? 0 : (sel > last ? last : sel);
    const int want = PagesForRange(range_);
    // Pages leaving the sheet keep their edits in the block until it closes.
    for (int i = want; i < pages_; ++i) shells_[static_cast<std::size_t>(i)].Save(EditedShell(i));
    pages_ = want;
}

bool MethodSheet::ChannelsChanged() const {
    return params_.ChannelLayout() != layout_ || CompositionsOf(params_) != compositions_ ||
           params_.ctChannelCount != ct_;
}

int MethodSheet::ApplyOrRevert() {
    // The blocks were sized for the channels the sheet opened with; stored now, they would leave
    // planes of the old size in the parameter set, which a run and the saved file read by the new
    // counts, or put one channel's values on another.
    if (ChannelsChanged()) {
        message_ = setupmsg::kChannelsChanged;
        return 0;
    }
    for (int i = 0; i < pages_; ++i) shells_[static_cast<std::size_t>(i)].Save(EditedShell(i));
    message_ = ValidateAndApply();
    if (!message_.empty()) {
        ++revertFlag_;
        RestoreSaved();
        revertFlag_ = 0;
        return 0;
    }
    CommitSaved();
    return 1;
}

namespace {

// The unsigned chunk-count rule: a whole number up to the cap.
bool ReadCount(const std::string& text, std::uint32_t* value) {
    std::uint64_t v = 0;
    if (ReadTextUInt64(text, &v) != 0 || v > kSheetCountCap) return false;
    *value = static_cast<std::uint32_t>(v);
    return true;
}

std::string CapText() {
    return FormatUInt64(kSheetCountCap);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Linear optimisation

LinearSheet::LinearSheet(Params& params)
    : MethodSheet(params, kShellCount), edited_(compositions_, ct_), saved_(compositions_, ct_) {
    edited_.LoadFromParams(params);
    saved_ = edited_;
    iterations = FormatInt(edited_.iterations, "%d");
    uninterruptible = FormatUInt64(edited_.maxUninterruptible);
    seed = FormatInt(edited_.randomSeed, "%d");
    minimiseCtError = HasCt() && edited_.minimiseCtError;
    minimiseSelfEnergy = edited_.minimiseSelfEnergy;
    interactWithPrevious = edited_.interactWithPrevious;
    weights.Load(edited_.ctWeights);
    selfEnergies.Load(edited_.selfEnergies);
    InitShells();
    InitRange(edited_.neighbourRange);
}

std::string LinearSheet::ValidateAndApply() {
    int it = 0;
    if (ReadTextInt(iterations, &it) != 0 || it <= 0) return setupmsg::kLinearIterations;
    std::uint32_t chunk = 0;
    if (!ReadCount(uninterruptible, &chunk)) return std::string(setupmsg::kLinearUninterruptible) + CapText();
    int s = 0;
    if (ReadTextInt(seed, &s) != 0) return setupmsg::kSeedInteger;
    edited_.iterations = it;
    edited_.maxUninterruptible = chunk;
    edited_.randomSeed = s;
    // Without CT channels the box is disabled and the stored switch keeps its value.
    if (HasCt()) edited_.minimiseCtError = minimiseCtError;
    edited_.minimiseSelfEnergy = minimiseSelfEnergy;
    edited_.interactWithPrevious = interactWithPrevious;
    edited_.neighbourRange = RangeSelection();
    weights.Save(edited_.ctWeights);
    selfEnergies.Save(edited_.selfEnergies);
    return CheckLinearSettings(edited_);
}

void LinearSheet::CommitSaved() {
    saved_ = edited_;
    saved_.StoreToParams(params_);
}

// ---------------------------------------------------------------------------------------------
// Nonlinear optimisation

void ApplySearchMethodClick(bool checked[3], int clicked) {
    if (clicked == 1 && checked[1]) checked[2] = false;
    if (clicked == 2 && checked[2]) checked[1] = false;
    if (!checked[0] && !checked[1] && !checked[2]) {
        if (clicked == 0)
            checked[1] = true;
        else
            checked[0] = true;
    }
}

NonlinearSheet::NonlinearSheet(Params& params)
    : MethodSheet(params, kShellCount), edited_(compositions_), saved_(compositions_) {
    edited_.LoadFromParams(params);
    saved_ = edited_;
    q = FormatReal(-1, edited_.q, "%g");
    maxExpValue = FormatReal(-1, edited_.maxExpValue, "%g");
    gridSize = FormatReal(0, static_cast<double>(edited_.gridSize), "%f");
    iterations = FormatReal(-1, static_cast<double>(edited_.iterations), "%g");
    interactionExponent =
        FormatReal(-1, static_cast<double>(static_cast<float>(edited_.interactionExponent)), "%g");
    ctErrorExponent = FormatReal(-1, static_cast<double>(static_cast<float>(edited_.ctErrorExponent)), "%g");
    uninterruptible = FormatUInt64(edited_.uninterruptiblePerCore);
    for (int b = 0; b < 3; ++b) search[b] = (edited_.searchMethods >> b) & 1;
    if (edited_.searchMethods == 0) search[0] = true;
    selfEnergies.Load(edited_.selfEnergies);
    InitShells();
    InitRange(edited_.neighbourRange);
}

void NonlinearSheet::ClickSearchMethod(int which, bool checked) {
    search[which] = checked;
    ApplySearchMethodClick(search, which);
}

std::string NonlinearSheet::ValidateAndApply() {
    double qv = 0, it = 0, maxExp = 0, grid = 0, inter = 0, ctExp = 0;
    if (ReadTextDouble(q, &qv) != 0 || !(qv > 0)) return setupmsg::kQPositive;
    if (ReadTextDouble(iterations, &it) != 0 || !(it > 0)) return setupmsg::kNonlinearIterations;
    if (ReadTextDouble(maxExpValue, &maxExp) != 0) return setupmsg::kMaxExpReal;
    if (ReadTextDouble(gridSize, &grid) != 0 || !(grid >= 0) || grid > static_cast<double>(kSheetCountCap) ||
        std::trunc(grid) != grid)
        return setupmsg::kGridSizeInteger;
    if (ReadTextDouble(interactionExponent, &inter) != 0) return setupmsg::kInteractionExponent;
    if (ReadTextDouble(ctErrorExponent, &ctExp) != 0) return setupmsg::kCtErrorExponent;
    std::uint32_t chunk = 0;
    if (!ReadCount(uninterruptible, &chunk))
        return std::string(setupmsg::kNonlinearUninterruptible) + CapText();
    edited_.neighbourRange = RangeSelection();
    edited_.q = qv;
    edited_.iterations = static_cast<float>(it);
    edited_.maxExpValue = maxExp;
    edited_.gridSize = static_cast<std::uint32_t>(grid);
    edited_.interactionExponent = inter;
    edited_.ctErrorExponent = ctExp;
    edited_.uninterruptiblePerCore = chunk;
    edited_.searchMethods = (search[0] ? 1 : 0) + (search[1] ? 2 : 0) + (search[2] ? 4 : 0);
    selfEnergies.Save(edited_.selfEnergies);
    return CheckNonlinearSettings(edited_);
}

void NonlinearSheet::CommitSaved() {
    saved_ = edited_;
    saved_.StoreToParams(params_);
}

// ---------------------------------------------------------------------------------------------
// Segmentation

SegmentationSheet::SegmentationSheet(Params& params)
    : MethodSheet(params, kShellCount - 1), edited_(compositions_, ct_), saved_(compositions_, ct_) {
    edited_.LoadFromParams(params);
    saved_ = edited_;
    for (int i = 0; i < compositions_; ++i)
        for (int c = 0; c < 2 * ct_; ++c) coefficients_.push_back(GridNumber(edited_.ctCoefficients(i, c)));
    selfEnergies.Load(edited_.selfEnergies);
    InitShells();
    InitRange(edited_.neighbourRange);
}

void SegmentationSheet::ToggleCt(int j) {
    if (j < 0 || j >= ct_) return;
    edited_.ctSelected[static_cast<std::size_t>(j)] = !edited_.ctSelected[static_cast<std::size_t>(j)];
}

const std::string& SegmentationSheet::Coefficient(int row, int col) const {
    return coefficients_[static_cast<std::size_t>(row) * (2 * ct_) + col];
}

bool SegmentationSheet::EditCoefficient(int row, int col, const std::string& text) {
    if (row < 0 || row >= compositions_ || col < 0 || col >= 2 * ct_ || CoefficientReadOnly(row, col) ||
        !ScansAsReal(text))
        return false;
    coefficients_[static_cast<std::size_t>(row) * (2 * ct_) + col] = text;
    return true;
}

std::string SegmentationSheet::ValidateAndApply() {
    edited_.neighbourRange = RangeSelection();
    for (int i = 0; i < compositions_; ++i)
        for (int c = 0; c < 2 * ct_; ++c) ScansAsReal(Coefficient(i, c), &edited_.ctCoefficients(i, c));
    selfEnergies.Save(edited_.selfEnergies);
    return CheckSegmentationSettings(edited_);
}

void SegmentationSheet::CommitSaved() {
    saved_ = edited_;
    saved_.StoreToParams(params_);
}

std::unique_ptr<MethodSheet> MakeMethodSheet(SheetKind kind, Params& params) {
    switch (kind) {
        case SheetKind::Linear:
            return std::make_unique<LinearSheet>(params);
        case SheetKind::Nonlinear:
            return std::make_unique<NonlinearSheet>(params);
        default:
            return std::make_unique<SegmentationSheet>(params);
    }
}

}  // namespace zun
