#pragma once
// The parameter sheets of the three composition methods without their windows. A sheet is made
// for one document's parameter set: it loads the method's settings into an edited block, keeps a
// saved copy, holds what its General page and shell pages show, and on OK or Apply validates the
// General page and stores the block (ApplyOrRevert). The windows draw a sheet and forward edits;
// the remote commands make one, optionally set its fields, and call ApplyOrRevert directly.

#include <memory>
#include <string>
#include <vector>

#include "compute/params.h"
#include "setup/methodsettings.h"
#include "setup/shellgrid.h"

namespace zun {

enum class SheetKind { Segmentation = 0, Linear = 1, Nonlinear = 2 };

class MethodSheet {
public:
    MethodSheet(Params& params, int shellCount);
    virtual ~MethodSheet() = default;
    MethodSheet(const MethodSheet&) = delete;
    MethodSheet& operator=(const MethodSheet&) = delete;

    virtual SheetKind Kind() const = 0;
    // The document title followed by the sheet's suffix.
    std::string Caption(const std::string& documentTitle) const;

    int Compositions() const { return compositions_; }
    const std::vector<std::string>& CompositionNames() const { return compositionNames_; }
    int ShellCount() const { return static_cast<int>(shells_.size()); }
    // Title of shell page i (the segmentation's pages start at the nearest neighbours).
    std::string ShellTitle(int i) const;
    ShellGrid& Shell(int i) { return shells_[static_cast<std::size_t>(i)]; }
    const ShellGrid& Shell(int i) const { return shells_[static_cast<std::size_t>(i)]; }

    // The neighbour-range combo: its entries and selection. Choosing an entry adds or removes
    // shell pages; a removed page's grid is saved first, so its values come back with it.
    std::vector<std::string> RangeEntries() const;
    int RangeSelection() const { return range_; }
    void SetRangeSelection(int sel);
    // Shell pages now in the sheet (always at least the first).
    int PagesPresent() const { return pages_; }
    virtual bool TabsVisible() const { return true; }

    // Validates the General page and stores the edited block into the parameter set (1), or puts
    // the block back to the last stored state and leaves the parameter set alone (0, with
    // Message() saying why). A sheet whose channels changed stores nothing (0) and keeps its edits.
    int ApplyOrRevert();
    // Whether compositions or CT channels were inserted or deleted since the sheet opened: its
    // blocks no longer fit the parameter set's tables.
    bool ChannelsChanged() const;
    const std::string& Message() const { return message_; }
    int RevertCount() const { return revertFlag_; }

protected:
    // The General page's fields into the edited block; the failure message, or empty.
    virtual std::string ValidateAndApply() = 0;
    virtual Matrix<float>& EditedShell(int i) = 0;
    virtual void RestoreSaved() = 0;
    virtual void CommitSaved() = 0;
    // Pages wanted for a range selection.
    virtual int PagesForRange(int sel) const { return sel + 1; }
    void InitShells();
    void InitRange(int stored);

    Params& params_;
    int compositions_;
    int ct_;
    std::uint64_t layout_;
    std::vector<std::string> compositionNames_;
    std::vector<std::string> ctNames_;

private:
    std::vector<ShellGrid> shells_;
    int range_ = 0;
    int pages_ = 1;
    int revertFlag_ = 0;
    std::string message_;
};

// The search-method rule of the nonlinear sheet's three check boxes (matrix, line, Lagrange)
// after a click on box `clicked`: line and Lagrange exclude each other, and one stays checked.
void ApplySearchMethodClick(bool checked[3], int clicked);

class LinearSheet : public MethodSheet {
public:
    explicit LinearSheet(Params& params);
    SheetKind Kind() const override { return SheetKind::Linear; }

    // The General page's fields as their controls show them.
    std::string iterations, uninterruptible, seed;
    bool minimiseCtError = false, minimiseSelfEnergy = false, interactWithPrevious = false;
    RowGrid weights, selfEnergies;

    bool HasCt() const { return ct_ > 0; }
    const std::vector<std::string>& CtNames() const { return ctNames_; }
    bool WeightsShown() const { return minimiseCtError && HasCt(); }
    bool SelfEnergiesShown() const { return minimiseSelfEnergy; }
    bool InteractionShown() const { return interactWithPrevious; }
    bool IterationsShown() const { return interactWithPrevious && RangeSelection() > 0; }
    bool TabsVisible() const override { return interactWithPrevious; }
    const LinearOptSettings& Edited() const { return edited_; }

protected:
    std::string ValidateAndApply() override;
    Matrix<float>& EditedShell(int i) override { return edited_.interactionEnergies[i]; }
    void RestoreSaved() override { edited_ = saved_; }
    void CommitSaved() override;

private:
    LinearOptSettings edited_, saved_;
};

class NonlinearSheet : public MethodSheet {
public:
    explicit NonlinearSheet(Params& params);
    SheetKind Kind() const override { return SheetKind::Nonlinear; }

    std::string q, maxExpValue, gridSize, iterations, interactionExponent, ctErrorExponent, uninterruptible;
    bool search[3] = {false, false, false};  // matrix, line, Lagrange multiplier
    RowGrid selfEnergies;

    void ClickSearchMethod(int which, bool checked);
    bool IterationsShown() const { return RangeSelection() > 0; }
    const NonlinearOptSettings& Edited() const { return edited_; }

protected:
    std::string ValidateAndApply() override;
    Matrix<float>& EditedShell(int i) override { return edited_.interactionEnergies[i]; }
    void RestoreSaved() override { edited_ = saved_; }
    void CommitSaved() override;

private:
    NonlinearOptSettings edited_, saved_;
};

class SegmentationSheet : public MethodSheet {
public:
    explicit SegmentationSheet(Params& params);
    SheetKind Kind() const override { return SheetKind::Segmentation; }

    int CtChannels() const { return ct_; }
    const std::vector<std::string>& CtNames() const { return ctNames_; }
    bool CtSelected(int j) const { return edited_.ctSelected[static_cast<std::size_t>(j)]; }
    // The header check box of CT channel j: its two columns become read-only while it is off.
    void ToggleCt(int j);
    // Coefficient grid: column 2j "Zero Offset", 2j + 1 "Multiplier" of CT channel j.
    const std::string& Coefficient(int row, int col) const;
    bool CoefficientReadOnly(int /*row*/, int col) const { return !CtSelected(col / 2); }
    bool EditCoefficient(int row, int col, const std::string& text);
    RowGrid selfEnergies;

    bool TabsVisible() const override { return RangeSelection() > 0; }
    const SegmentationSettings& Edited() const { return edited_; }

protected:
    std::string ValidateAndApply() override;
    Matrix<float>& EditedShell(int i) override { return edited_.interactionEnergies[i]; }
    void RestoreSaved() override { edited_ = saved_; }
    void CommitSaved() override;
    int PagesForRange(int sel) const override { return sel < 1 ? 1 : sel; }

private:
    SegmentationSettings edited_, saved_;
    std::vector<std::string> coefficients_;
};

std::unique_ptr<MethodSheet> MakeMethodSheet(SheetKind kind, Params& params);

}  // namespace zun
