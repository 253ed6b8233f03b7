#include "model/attenmatrix.h"

#include <cmath>

#include "foundation/numformat.h"
#include "model/compound.h"
#include "platform/prompt.h"

namespace zun {

namespace {

constexpr float kEnergyGap = 5.0f;
constexpr float kFirstEnergy = 10.0f;

}  // namespace

AttenMatrixModel::AttenMatrixModel(std::vector<std::string> compositionNames, CompoundLookup lookup,
                                   int attenMethod, Prompt* prompt)
    : names_(std::move(compositionNames)),
      lookup_(std::move(lookup)),
      method_(attenMethod),
      prompt_(prompt) {}

void AttenMatrixModel::Initialize() {
    const std::size_t wanted = names_.empty() ? 0 : names_.size() - 1;
    if (rows_.size() > wanted) rows_.resize(wanted);
    float next = rows_.empty() || !std::isfinite(rows_.back().energy) ? kFirstEnergy
                                                                      : rows_.back().energy + kEnergyGap;
    for (AttenEnergyRow& r : rows_) {
        if (!(r.energy > 0.0f) || !std::isfinite(r.energy)) {
            r.energy = next;
            next += kEnergyGap;
        }
        if (r.type != "u" && r.type != "p") r.type = "u";
    }
    while (rows_.size() < wanted) {
        rows_.push_back({next, "u"});
        next += kEnergyGap;
    }
    Fill();
}

std::vector<std::string> AttenMatrixModel::ColumnHeaders() const {
    std::vector<std::string> h = {"Energy (keV)", "Type"};
    h.insert(h.end(), names_.begin(), names_.end());
    return h;
}

std::uint32_t AttenMatrixModel::CellBackground(int row, int column) {
    if (column >= 2) return kLightGreen;
    if (row == 0) return kGrey;
    return 0;
}

void AttenMatrixModel::Fill() {
    const int n = static_cast<int>(names_.size());
    cells_.assign(n, std::vector<std::string>(n + 2));
    matrix_.assign(static_cast<std::size_t>(n) * n, 0.0);
    condition_ = 0.0;
    conditionText_.clear();
    if (n == 0) return;  // nothing to decompose

    Svd svd;
    svd.Resize(n);
    for (int j = 0; j < n; ++j) {
        svd[0][j] = 1.0;  // the volume fractions of a voxel sum to 1
        cells_[0][j + 2] = "1";
    }
    // The window is modeless: a channel may have been renamed or deleted since it opened.
    bool missing = false;
    for (int i = 1; i < n && i - 1 < static_cast<int>(rows_.size()); ++i) {
        const AttenEnergyRow& r = rows_[i - 1];
        cells_[i][0] = FormatReal(r.energy, -1, "%g");
        cells_[i][1] = r.type;
        const int kind = r.type == "p" ? kAttenPhoto : kAttenTotal;
        for (int j = 0; j < n; ++j) {
            const Compound* c = lookup_ ? lookup_(names_[j]) : nullptr;
            if (!c) {
                cells_[i][j + 2] = "?";
                svd[i][j] = 0.0;
                missing = true;
                continue;
            }
            const float value = static_cast<float>(
                c->MassAttenuation(method_, kLinearAttenuation, kind, r.energy) * c->density);
            cells_[i][j + 2] = FormatReal(value, -1, "%g");
            svd[i][j] = value;
        }
    }
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) matrix_[static_cast<std::size_t>(i) * n + j] = svd[i][j];

    condition_ = missing ? 0.0 : svd.ConditionNumber();
    if (condition_ > 0.0) {
        conditionText_ = FormatReal(-1, condition_, "%g");
    } else if (condition_ == 0.0) {
        conditionText_ = "Singular matrix";
    } else {
        if (prompt_)
            prompt_->Tell("Could not invert matrix: Singular Value Decomposition failure or allocation error",
                          PromptIcon::Warning);
        conditionText_ = "Matrix SVD failed";
    }
}

bool AttenMatrixModel::EditEnergy(int row, const std::string& text) {
    if (text.empty() || row < 1 || row > static_cast<int>(rows_.size())) return false;
    float e = 0.0f;
    if (ScanString(text, "%f", &e) != 0 || !std::isfinite(e)) {
        if (prompt_) prompt_->Tell("Invalid entry", PromptIcon::Information);
        return false;
    }
    if (e < 0.0f) {
        if (prompt_) prompt_->Tell("Beam energy must be >= zero", PromptIcon::Information);
        return false;
    }
    rows_[row - 1].energy = e;
    Fill();
    return true;
}

void AttenMatrixModel::EditType(int row, const std::string& type) {
    if (row < 1 || row > static_cast<int>(rows_.size()) || (type != "u" && type != "p")) return;
    rows_[row - 1].type = type;
    Fill();
}

}  // namespace zun
