#include "energyopt/sheetmodel.h"

#include <algorithm>
#include <cmath>

#include "energyopt/noisemodel.h"
#include "energyopt/optimise.h"
#include "foundation/numformat.h"

namespace EnergyOpt {

namespace {

using Mat = zun::Matrix<float>;

// Rebuilds the matrix from kept rows and columns plus inserted zero ones; keep[i] < 0 marks an
// inserted row (or column).
Mat Reshape(const Mat& m, const std::vector<int>& rows, const std::vector<int>& cols) {
    Mat out;
    out.Resize(static_cast<int>(rows.size()), static_cast<int>(cols.size()));
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < cols.size(); ++c)
            out(static_cast<int>(r), static_cast<int>(c)) =
                rows[r] < 0 || cols[c] < 0 ? 0.0f : m(rows[r], cols[c]);
    return out;
}

std::vector<int> Identity(int n) {
    std::vector<int> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = i;
    return v;
}

}  // namespace

void DropZeroRows(Mat& m) {
    std::vector<int> rows;
    for (int r = 0; r < m.Rows(); ++r) {
        bool zero = true;
        for (int c = 0; c < m.Cols() && zero; ++c) zero = m(r, c) == 0.0f;
        if (!zero) rows.push_back(r);
    }
    if (static_cast<int>(rows.size()) != m.Rows()) m = Reshape(m, rows, Identity(m.Cols()));
}

void ReconcileCompositions(DialogVars& vars, const std::vector<std::string>& names) {
    const std::vector<std::string>& old = vars.compositionNames;
    // Every kept column follows its name, so a reordered channel list keeps each fraction with
    // its composition.
    std::vector<int> cols;
    std::vector<bool> added;
    for (const std::string& name : names) {
        const auto it = std::find(old.begin(), old.end(), name);
        cols.push_back(it == old.end() ? -1 : static_cast<int>(it - old.begin()));
        added.push_back(it == old.end());
    }
    for (PageSetting& page : vars.pages) {
        Mat& m = page.targetMixtures;
        std::vector<int> pageCols = cols;
        // A damaged record may hold fewer columns than names: those columns read as zero.
        for (int& c : pageCols)
            if (c >= m.Cols()) c = -1;
        m = Reshape(m, Identity(m.Rows()), pageCols);
        DropZeroRows(m);
        for (int j = 0; j < static_cast<int>(names.size()); ++j) {
            if (!added[static_cast<std::size_t>(j)]) continue;
            const int at = std::min(j, m.Rows());
            std::vector<int> rows = Identity(m.Rows());
            rows.insert(rows.begin() + at, -1);
            m = Reshape(m, rows, Identity(m.Cols()));
            m(at, j) = 1.0f;
        }
    }
    vars.compositionNames = names;
}

std::string TypeName(int32_t type) {
    switch (type) {
        case kAttenuation:
            return kMuSymbol;
        case kPhaseShift:
            return kPhiSymbol;
        case kAttenuationAndPhase:
            return std::string(kMuSymbol) + " and " + kPhiSymbol;
        default:
            return {};
    }
}

std::string FailureText(int32_t status) {
    const bool known = status >= 0 && status < kStatusTextCount;
    return std::string("Failure: ") + (known ? StatusTexts[status] : "unknown error");
}

namespace {

// A status no material function of ours returns: the run was cancelled.
constexpr int32_t kCancelledStatus = 1000;

std::string Real(double v) {
    return zun::FormatReal(6, v, "%g");
}

bool ParseReal(const std::string& text, double& v) {
    return zun::ScanString(text, "%lf", &v) == 0 && std::isfinite(v);
}

bool NonNegative(const std::string& text, bool whole) {
    double v = 0;
    if (!ParseReal(text, v) || v < 0) return false;
    return !whole || v == std::floor(v);
}

bool Blank(const zun::GridList& grid, int row) {
    bool blank = true;
    zun::GridIsRowBlank(grid, row, blank);
    return blank;
}

std::string CellText(const zun::GridList& grid, int row, int column) {
    std::string t;
    zun::GridGetCellText(grid, row, column, t);
    return t;
}

// Sizes every data column for "+XXXXXX.XXX" and its header.
void SizeColumns(zun::GridList& grid, int columns) {
    for (int c = 0; c < columns; ++c) zun::GridAutoSizeColumn(grid, c);
}

void FillMatrix(zun::GridList& grid, const zun::Matrix<float>& m, const std::vector<std::string>& names) {
    zun::GridSetColumnCount(grid, 0);
    zun::GridDeleteRows(grid, zun::GridGetRowCount(grid), 0);
    zun::GridSetColumnCount(grid, static_cast<int>(names.size()));
    for (std::size_t c = 0; c < names.size(); ++c)
        zun::GridSetColumnHeader(grid, static_cast<int>(c), names[c], false);
    for (int r = 0; r < m.Rows(); ++r) {
        zun::GridInsertRow(grid, r);
        for (int c = 0; c < m.Cols() && c < static_cast<int>(names.size()); ++c)
            zun::GridSetCellText(grid, r, c, Real(m(r, c)), false);
    }
}

std::shared_ptr<const NoiseModel> MakeNoiseModel(int index, std::size_t compositions) {
    if (index == 0) return std::make_shared<CommonRelError>();
    if (index == 1 && compositions > 0)
        return std::make_shared<CommonRelErrorApproxComposition>(
            std::vector<double>(compositions, 1.0 / static_cast<double>(compositions)));
    return nullptr;
}

}  // namespace

struct EnergyOptJob::Wrapped {
    MaterialFunctions inner;
    EnergyOptJob* job;
};

EnergyOptJob::EnergyOptJob(const DialogVars& vars, int page, std::vector<MaterialFunctions> compositions)
    : page_(page) {
    for (const MaterialFunctions& f : compositions) {
        wrapped_.push_back(std::make_unique<Wrapped>(Wrapped{f, this}));
        MaterialFunctions w = f;
        w.context = wrapped_.back().get();
        w.attenuation = f.attenuation ? &Attenuation : nullptr;
        w.phaseShift = f.phaseShift ? &PhaseShift : nullptr;
        compositions_.push_back(w);
    }
    const PageSetting& p = vars.pages[static_cast<std::size_t>(page)];
    noiseModel_ = MakeNoiseModel(p.noiseModel, compositions_.size());
    const zun::Matrix<float>& m = p.targetMixtures;
    for (int r = 0; r < m.Rows(); ++r) targets_.emplace_back(m[r], m[r] + m.Cols());
    for (int t = 0; t < static_cast<int>(vars.beamDomains.size()); ++t) {
        const BeamDomainSetting& d = vars.beamDomains[static_cast<std::size_t>(t)];
        if (d.energyCount != 0) domains_[t] = BeamDomain{d.energyCount, d.maxEnergy, d.minEnergy};
    }
    maxIterations_ = vars.maxIterations;
    evaluationEnergies_ = vars.evaluationEnergies;
}

EnergyOptJob::~EnergyOptJob() = default;

int32_t EnergyOptJob::Attenuation(void* context, double energy, double* result) {
    auto* w = static_cast<Wrapped*>(context);
    ++w->job->evaluations_;
    if (w->job->cancel_) return kCancelledStatus;
    return w->inner.attenuation(w->inner.context, energy, result);
}

int32_t EnergyOptJob::PhaseShift(void* context, double energy, double* result) {
    auto* w = static_cast<Wrapped*>(context);
    ++w->job->evaluations_;
    if (w->job->cancel_) return kCancelledStatus;
    return w->inner.phaseShift(w->inner.context, energy, result);
}

int32_t EnergyOptJob::Run() {
    if (page_ == 0) {
        energies_.clear();
        OptimisationProblem problem{compositions_, noiseModel_,    targets_,
                                    domains_,      maxIterations_, energies_};
        return optimiseEnergies(problem);
    }
    metrics_.clear();
    EvaluationProblem problem{compositions_, noiseModel_, targets_, evaluationEnergies_, metrics_};
    return evaluateMetrics(problem);
}

EnergyOptSheetModel::EnergyOptSheetModel(const DialogVars& documentRecord, std::vector<std::string> names,
                                         std::function<void(const DialogVars&)> commit)
    : commit_(std::move(commit)), working_(documentRecord), committed_(documentRecord) {
    ReconcileCompositions(working_, names);
}

void EnergyOptSheetModel::MarkModified(int page) {
    modified_ = true;
    computeEnabled_[page] = false;
}

void EnergyOptSheetModel::SetNoiseModel(int page, int index) {
    if (working_.pages[static_cast<std::size_t>(page)].noiseModel == index) return;
    working_.pages[static_cast<std::size_t>(page)].noiseModel = index;
    MarkModified(page);
}

void EnergyOptSheetModel::FillMixtureGrid(int page, zun::GridList& grid) const {
    const auto& names = working_.compositionNames;
    FillMatrix(grid, working_.pages[static_cast<std::size_t>(page)].targetMixtures, names);
    zun::GridInsertRow(grid, zun::GridGetRowCount(grid));
    SizeColumns(grid, static_cast<int>(names.size()));
}

std::optional<std::string> EnergyOptSheetModel::EditMixtureCell(int page, zun::GridList& grid, int row,
                                                                int column, const std::string& text) {
    if (text.empty()) return std::nullopt;  // a cancelled edit
    if (!NonNegative(text, false)) return std::string(kMixtureError);
    zun::GridSetCellText(grid, row, column, text, false);
    const int rows = zun::GridGetRowCount(grid);
    if (row == rows - 1) {
        const int columns = static_cast<int>(working_.compositionNames.size());
        for (int c = 0; c < columns; ++c)
            if (c != column && CellText(grid, row, c).empty()) zun::GridSetCellText(grid, row, c, "0", false);
        if (!Blank(grid, row)) zun::GridInsertRow(grid, rows);
    }
    MarkModified(page);
    return std::nullopt;
}

std::string EnergyOptSheetModel::MaxIterationsText() const {
    return zun::FormatInt(working_.maxIterations, "%d");
}

std::optional<std::string> EnergyOptSheetModel::CheckMaxIterations(const std::string& text) const {
    double v = 0;
    if (!ParseReal(text, v) || v <= 0 || v != std::floor(v) || v > 2147483647.0)
        return std::string(kIterationsError);
    return std::nullopt;
}

void EnergyOptSheetModel::FillBeamDomainGrid(zun::GridList& grid) const {
    zun::GridDeleteRows(grid, zun::GridGetRowCount(grid), 0);
    zun::GridSetColumnCount(grid, 3);
    zun::GridSetColumnHeader(grid, 0, "Num Energies", false);
    zun::GridSetColumnHeader(grid, 1, "Min Energy (keV)", false);
    zun::GridSetColumnHeader(grid, 2, "Max Energy (keV)", false);
    for (int t = 0; t < DialogVars::kBeamDomainCount; ++t) {
        const BeamDomainSetting& d = working_.beamDomains[static_cast<std::size_t>(t)];
        zun::GridInsertRow(grid, t);
        zun::GridSetRowLabel(grid, t, TypeName(t), true);
        zun::GridSetCellText(grid, t, 0, zun::FormatInt(d.energyCount, "%d"), false);
        zun::GridSetCellText(grid, t, 1, Real(d.minEnergy), false);
        zun::GridSetCellText(grid, t, 2, Real(d.maxEnergy), false);
    }
    SizeColumns(grid, 3);
}

std::optional<std::string> EnergyOptSheetModel::EditBeamDomainCell(zun::GridList& grid, int row, int column,
                                                                   const std::string& text) {
    if (text.empty()) return std::nullopt;
    double v = 0;
    // A count beyond the search's bound is no whole number it can use.
    if (!NonNegative(text, column == 0) ||
        (column == 0 && (!ParseReal(text, v) || v > static_cast<double>(kMaxDomainEnergies))))
        return std::string(column == 0 ? kCountError : kLimitError);
    zun::GridSetCellText(grid, row, column, text, false);
    MarkModified(0);
    return std::nullopt;
}

std::optional<std::string> EnergyOptSheetModel::CheckCompute(int page) const {
    if (page != 0) return std::nullopt;
    // The record may come from a file written before the bounds, or by another program.
    for (const BeamDomainSetting& d : working_.beamDomains)
        if (d.energyCount < 0 || d.energyCount > kMaxDomainEnergies) return std::string(kCountError);
    if (working_.maxIterations <= 0) return std::string(kIterationsError);
    return std::nullopt;
}

void EnergyOptSheetModel::FillOptimisedGrid(zun::GridList& grid) const {
    zun::GridDeleteRows(grid, zun::GridGetRowCount(grid), 0);
    zun::GridSetColumnCount(grid, 2);
    zun::GridSetColumnHeader(grid, 0, "Energy (keV)", false);
    zun::GridSetColumnHeader(grid, 1, "Type", false);
    const auto& list = working_.optimisedEnergies;
    for (int r = 0; r < static_cast<int>(list.size()); ++r) {
        zun::GridInsertRow(grid, r);
        zun::GridSetCellText(grid, r, 0, Real(list[static_cast<std::size_t>(r)].energy), false);
        zun::GridSetCellText(grid, r, 1, TypeName(list[static_cast<std::size_t>(r)].type), false);
        zun::GridSetCellFlag(grid, r, 0, true);
        zun::GridSetCellFlag(grid, r, 1, true);
    }
    SizeColumns(grid, 2);
}

void EnergyOptSheetModel::FillEvaluationGrid(zun::GridList& grid) const {
    zun::GridDeleteRows(grid, zun::GridGetRowCount(grid), 0);
    zun::GridSetColumnCount(grid, 2);
    zun::GridSetColumnHeader(grid, 0, "Energy (keV)", false);
    zun::GridSetColumnHeader(grid, 1, "Type", false);
    const auto& list = working_.evaluationEnergies;
    for (int r = 0; r < static_cast<int>(list.size()); ++r) {
        zun::GridInsertRow(grid, r);
        zun::GridSetCellText(grid, r, 0, Real(list[static_cast<std::size_t>(r)].energy), false);
        zun::GridSetCellText(grid, r, 1, TypeName(list[static_cast<std::size_t>(r)].type), false);
    }
    zun::GridInsertRow(grid, static_cast<int>(list.size()));
    SizeColumns(grid, 2);
}

std::optional<std::string> EnergyOptSheetModel::EditEvaluationCell(zun::GridList& grid, int row, int column,
                                                                   const std::string& text) {
    if (column == 0) {
        if (text.empty()) {
            zun::GridSetCellText(grid, row, 0, "", false);
            zun::GridSetCellText(grid, row, 1, "", false);
        } else {
            if (!NonNegative(text, false)) return std::string(kEnergyError);
            zun::GridSetCellText(grid, row, 0, text, false);
            if (CellText(grid, row, 1).empty()) zun::GridSetCellText(grid, row, 1, kMuSymbol, false);
        }
    } else {
        if (CellText(grid, row, 0).empty()) return std::nullopt;  // a type needs an energy
        zun::GridSetCellText(grid, row, 1, text, false);
    }
    while (zun::GridGetRowCount(grid) >= 2 && Blank(grid, zun::GridGetRowCount(grid) - 1) &&
           Blank(grid, zun::GridGetRowCount(grid) - 2))
        zun::GridDeleteRow(grid, zun::GridGetRowCount(grid) - 1);
    const int rows = zun::GridGetRowCount(grid);
    if (rows == 0 || !CellText(grid, rows - 1, 0).empty()) zun::GridInsertRow(grid, rows);
    MarkModified(1);
    return std::nullopt;
}

void EnergyOptSheetModel::FillMetricGrid(zun::GridList& grid) const {
    const auto& names = working_.metricCompositionNames;
    const int n = static_cast<int>(names.size());
    FillMatrix(grid, working_.metricMixtures, names);
    zun::GridInsertColumns(grid, 2, n);
    zun::GridSetColumnHeader(grid, n, "Sensitivity", false);
    zun::GridSetColumnHeader(grid, n + 1, "Bias", false);
    for (int r = 0; r < zun::GridGetRowCount(grid); ++r) {
        if (r < static_cast<int>(working_.metrics.size())) {
            zun::GridSetCellText(grid, r, n, Real(working_.metrics[static_cast<std::size_t>(r)].sensitivity),
                                 false);
            zun::GridSetCellText(grid, r, n + 1, Real(working_.metrics[static_cast<std::size_t>(r)].bias),
                                 false);
        }
        for (int c = 0; c < n + 2; ++c) zun::GridSetCellFlag(grid, r, c, true);
    }
    SizeColumns(grid, n + 2);
}

void EnergyOptSheetModel::SavePage(int page, const PageControls& controls) {
    PageSetting& p = working_.pages[static_cast<std::size_t>(page)];
    if (controls.mixtures) {
        zun::GridList& g = *controls.mixtures;
        const int columns = static_cast<int>(working_.compositionNames.size());
        for (int r = zun::GridGetRowCount(g) - 2; r >= 0; --r) {
            bool zero = true;
            for (int c = 0; c < columns && zero; ++c) {
                double v = 0;
                zero = !ParseReal(CellText(g, r, c), v) || v == 0;
            }
            if (zero) zun::GridDeleteRow(g, r);
        }
        const int rows = std::max(0, zun::GridGetRowCount(g) - 1);
        p.targetMixtures.Resize(rows, columns);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c) {
                double v = 0;
                p.targetMixtures(r, c) = ParseReal(CellText(g, r, c), v) ? static_cast<float>(v) : 0.0f;
            }
    }
    if (page == 0) {
        double v = 0;
        if (!CheckMaxIterations(controls.maxIterations) && ParseReal(controls.maxIterations, v))
            working_.maxIterations = static_cast<int32_t>(v);
        if (controls.beamDomains) {
            for (int t = 0; t < DialogVars::kBeamDomainCount; ++t) {
                BeamDomainSetting& d = working_.beamDomains[static_cast<std::size_t>(t)];
                double count = 0;
                if (ParseReal(CellText(*controls.beamDomains, t, 0), count))
                    d.energyCount = static_cast<int32_t>(count);
                ParseReal(CellText(*controls.beamDomains, t, 1), d.minEnergy);
                ParseReal(CellText(*controls.beamDomains, t, 2), d.maxEnergy);
            }
        }
    } else if (controls.evaluation) {
        zun::GridList& g = *controls.evaluation;
        working_.evaluationEnergies.clear();
        for (int r = 0; r + 1 < zun::GridGetRowCount(g); ++r) {
            if (Blank(g, r)) continue;
            TypedEnergy e;
            ParseReal(CellText(g, r, 0), e.energy);
            const std::string type = CellText(g, r, 1);
            e.type = type == kMuSymbol ? 0 : type == kPhiSymbol ? 1 : 2;
            working_.evaluationEnergies.push_back(e);
        }
    }
}

void EnergyOptSheetModel::Apply(const PageControls& page0, const PageControls& page1) {
    SavePage(0, page0);
    SavePage(1, page1);
    committed_ = working_;
    if (commit_) commit_(committed_);
    modified_ = false;
    computeEnabled_[0] = computeEnabled_[1] = true;
}

std::string EnergyOptSheetModel::Finish(const EnergyOptJob& job, int32_t status) {
    if (job.cancelled()) return {};
    if (status != kSuccess) return FailureText(status);
    if (job.page() == 0) {
        working_.optimisedEnergies = job.energies();
    } else {
        working_.metricCompositionNames = working_.compositionNames;
        working_.metricMixtures = working_.pages[1].targetMixtures;
        working_.metrics = job.metrics();
    }
    MarkModified(job.page());
    return {};
}

}  // namespace EnergyOpt
