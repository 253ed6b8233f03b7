#pragma once
// What the attenuation-matrix window shows and does, without the window: the square matrix of
// the composition computation (row 0 the sum-to-one constraint, one row per beam energy and
// attenuation type with the compositions' linear coefficients), its condition number, and the
// checks of the user's edits.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/svd.h"

namespace zun {

class Compound;
class Prompt;

struct AttenEnergyRow {
    float energy = 0.0f;  // keV
    std::string type;     // "u" total, "p" photoelectric
    bool operator==(const AttenEnergyRow&) const = default;
};

class AttenMatrixModel {
public:
    // The compound of a composition channel, null when the sample has no channel of that name.
    using CompoundLookup = std::function<const Compound*(const std::string& channelName)>;

    static constexpr std::uint32_t kGrey = 0xC0C0C0;
    static constexpr std::uint32_t kLightGreen = 0xC0FFC0;

    AttenMatrixModel(std::vector<std::string> compositionNames, CompoundLookup lookup, int attenMethod,
                     Prompt* prompt);

    std::string caption = "Attenuation Matrix";  // the owner sets its own

    // The rows the owner keeps between openings; taken back from Rows() when the window closes.
    void SetRows(std::vector<AttenEnergyRow> rows) { rows_ = std::move(rows); }
    const std::vector<AttenEnergyRow>& Rows() const { return rows_; }

    // Brings the rows to one per composition after the first (defaults 5 keV apart, type "u"),
    // then fills the matrix.
    void Initialize();
    // Recomputes every coefficient and the condition number (after each accepted edit too).
    void Fill();

    std::vector<std::string> ColumnHeaders() const;
    int RowCount() const { return static_cast<int>(cells_.size()); }
    const std::string& CellText(int row, int column) const { return cells_.at(row).at(column); }
    // Only the energy and type of the rows after the first are edited.
    static bool IsCellEditable(int row, int column) { return row > 0 && (column == 0 || column == 1); }
    static std::vector<std::string> TypeChoices() { return {"u", "p"}; }
    // Background of a cell (0: the default).
    static std::uint32_t CellBackground(int row, int column);

    // The matrix as filled (row-major, n x n) and its condition: > 0, 0 singular, -1 failed.
    const std::vector<double>& Matrix() const { return matrix_; }
    double Condition() const { return condition_; }
    // "Singular matrix", "Matrix SVD failed", or the number.
    const std::string& ConditionText() const { return conditionText_; }

    // An edited energy cell: an empty text (cancelled edit) changes nothing; a text without a
    // number, or a negative energy, is refused with a message. Returns true when accepted.
    bool EditEnergy(int row, const std::string& text);
    // An edited type cell ("u" or "p").
    void EditType(int row, const std::string& type);

private:
    std::vector<std::string> names_;
    CompoundLookup lookup_;
    int method_;
    Prompt* prompt_;
    std::vector<AttenEnergyRow> rows_;
    std::vector<std::vector<std::string>> cells_;
    std::vector<double> matrix_;
    double condition_ = 0.0;
    std::string conditionText_;
};

}  // namespace zun
