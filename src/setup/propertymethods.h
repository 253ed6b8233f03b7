#pragma once
// The three property-method dialogs without their windows: each edits a copy of one
// PropertyMethodSettings record and hands it back only when the user confirms. The lists they
// offer come from the channel tables inside the record.

#include <array>
#include <string>
#include <vector>

#include "compute/propertysettings.h"

namespace zun {

// ---- "Parameters for Scalar Analytic Map"
class ScalarAnalyticModel {
public:
    explicit ScalarAnalyticModel(PropertyMethodSettings rec) : rec_(std::move(rec)) {}
    const PropertyMethodSettings& Record() const { return rec_; }
    int Rows() const { return static_cast<int>(rec_.compositions.size()); }
    // A finished edit of row's "Property" cell: the message when refused (nothing changes),
    // else empty, with `shown` the text the cell keeps.
    std::string EditProperty(int row, const std::string& text, std::string* shown);
    int OutputIndex() const;
    // OK: the radio states and the output combo's text.
    void Accept(bool isotropic, bool parallel, const std::string& output);

private:
    PropertyMethodSettings rec_;
};

// ---- "Parameters for Scalar Extrapolation": the training table, one column per composition
// and a last "Property" column.
class ScalarExtrapModel {
public:
    explicit ScalarExtrapModel(PropertyMethodSettings rec);
    const PropertyMethodSettings& Record() const { return rec_; }
    int ColumnCount() const { return static_cast<int>(columns_.size()); }
    // The column headings: the compositions' names, then "Property".
    const std::vector<std::string>& Names() const { return names_; }
    int DataRows() const { return columns_.empty() ? 0 : static_cast<int>(columns_[0].values.size()); }
    const std::vector<ExtrapolationColumn>& Columns() const { return columns_; }
    std::string CellText(int row, int col) const;
    // Export and Clear are offered only while there are data.
    bool HasData() const { return DataRows() > 0; }
    std::string WeightText(int col) const;

    // A finished cell edit (row DataRows() is the trailing empty row, where a value appends a
    // data row): the message when refused, else empty, with `shown` the text the cell keeps.
    std::string EditCell(int row, int col, const std::string& text, std::string* shown);
    // The weight check before Export, "Calc Weight" and OK: reads the weight edits and checks
    // the table; the output channel name is taken in every case. The message, or empty.
    std::string CheckWeights(const std::vector<std::string>& weightTexts, const std::string& output,
                             bool computingWeights = false);
    // "Calc Weight" after a passed check: the fit's message, or empty with the new weights.
    std::string CalcWeights();
    void Clear();
    // Writes the table (temporary file, then rename); the message, or empty.
    std::string Export(const std::string& path) const;
    // Reads a table; on any failure the table stays as it was and the messages say why.
    std::vector<std::string> Import(const std::string& path);
    // OK after a passed check.
    void Accept() { rec_.columns = columns_; }

private:
    PropertyMethodSettings rec_;
    std::vector<ExtrapolationColumn> columns_;
    std::vector<std::string> names_;
};

// ---- "Parameters for Linked Clusters Analysis"
struct LinkedClusterFields {
    std::string input, bound, output;
    std::string threshold;
    bool greaterEqual = true;
    bool componentDetails = false;
    std::string firstCluster, lastCluster;
    int sortOrder = 0;
    int filter = 0;
    std::string low, high;
    std::array<bool, 3> axis{};
    std::array<std::string, 3> plane1, plane2;
    std::array<int, 3> op{};
};

class LinkedClusterModel {
public:
    explicit LinkedClusterModel(PropertyMethodSettings rec) : rec_(std::move(rec)) {}
    const PropertyMethodSettings& Record() const { return rec_; }
    // What the controls show on opening.
    LinkedClusterFields Fields() const;
    // "<None exist>" alone when the document has no boundary channel.
    std::vector<std::string> BoundEntries() const;
    static bool LowEnabled(int filter) { return filter == kBetween || filter == kGreatEq; }
    static bool HighEnabled(int filter) { return filter == kBetween || filter == kLessEq; }
    // OK: validates in the dialog's order and stores; the first failure's message, or empty.
    std::string Accept(const LinkedClusterFields& f);

private:
    PropertyMethodSettings rec_;
};

}  // namespace zun
