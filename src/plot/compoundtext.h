#pragma once
// What the "X-ray Attenuation Properties" window computes and shows, without its widgets: the
// field checks, the energy grid, up to four optical quantities per composition channel (mass or
// linear, normalised to an energy or to another series), penetration depths and absorption-edge
// flags, the caption and the table text, its file, the series the graph draws and the energy
// rows the attenuation matrix starts from.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document/docsettings.h"
#include "model/attenmatrix.h"

namespace zun {

class Compound;
class CZunDoc;
class Prompt;
class ProgressSink;

namespace attensym {
inline constexpr const char* kMu = "\u03bc";
inline constexpr const char* kBeta = "\u03b2";
inline constexpr const char* kPhi = "\u03c6";
inline constexpr const char* kDelta = "\u03b4";
}  // namespace attensym

namespace attenmsg {
inline constexpr const char* kInvalidNumeric = "Invalid numeric entry";
inline constexpr const char* kInvalidFormat = "Invalid data format string";
inline constexpr const char* kCancelled = "Data calculation cancelled";
inline constexpr const char* kTooManyEnergies =
    "Too many beam energies (at most 1000000) - increase the interval or narrow the range.";
inline constexpr const char* kUnknownLanguage =
    "Unknown language detected. Please inform note down the current region, language and locale settings "
    "and get in touch with the ZUN software developer. Please set the default locale the same as the "
    "region. \n";
}  // namespace attenmsg

enum AttenQuantity : int { kQuantityMu = 0, kQuantityBeta = 1, kQuantityPhi = 2, kQuantityDelta = 3 };

// One tabulated column: a quantity of one channel's material over the energy grid.
struct AttenSeries {
    std::string name;     // channel name + " " + symbol
    std::string channel;  // channel name
    int quantity = kQuantityMu;
    double density = 0.0;             // g/cm^3
    std::vector<double> mass;         // values in mass form (normalised when asked)
    std::vector<double> linear;       // the same per cm (or normalised)
    std::vector<double> depth;        // penetration depth, mm (empty without that column)
    std::vector<std::uint8_t> edges;  // 1 where the attenuation rises over the previous energy
};

// The window's fields as typed; ReadFields turns them into settings.
struct CompoundTextFields {
    std::string minEnergy, maxEnergy, interval;
    std::int32_t normalisation = 0;
    std::string normalisationEnergy;
    std::string normalisationSeries;
    bool penetrationDepth = false;
    std::string transmissionRatio;
    bool markEdges = false;
    bool showWavelength = false;
    std::int32_t attenuationKind = 0;
    bool mu = true, beta = false, phi = false, delta = false;
    std::string tableFormat;
};

class CompoundTextModel {
public:
    // The grid refuses more rows than this: a tiny interval would otherwise fill the memory
    // before anything could be cancelled.
    static constexpr int kMaxEnergies = 1000000;
    // From this many energies on the table is built under a progress dialog.
    static constexpr int kProgressThreshold = 1000;

    CompoundTextModel(CZunDoc& doc, std::vector<std::string> channels, Prompt* prompt);

    std::string title = "X-ray Attenuation Properties";
    CompoundTextSettings settings;

    const std::vector<std::string>& Channels() const { return channels_; }
    CZunDoc& Document() const { return doc_; }
    int Method() const;
    // The document's coefficient kind (0 total, 1 photoelectric).
    int Kind() const;
    // mucal and NIST carry no phase data.
    bool HasPhaseData() const;

    // The settings as the window opens them: three energies, no channel normalisation for one
    // channel, no phase quantities without phase data, a normalisation series the combo offers.
    void Open();
    bool ChannelNormalisationAllowed() const { return channels_.size() > 1; }
    // The series the "Normalised to Channel:" combo offers for an attenuation kind.
    std::vector<std::string> NormalisationCandidates(int attenuationKind) const;
    CompoundTextFields FieldsFromSettings() const;

    // Checks the fields into the settings; false with "Invalid numeric entry" shown.
    bool ReadFields(const CompoundTextFields& fields);
    // At least one series would result from these quantity switches.
    static bool WouldHaveSeries(const CompoundTextFields& fields);

    static std::string Symbol(int quantity);
    std::string SeriesName(const std::string& channel, int quantity) const;
    // The first of the four symbols found anywhere in the name is the quantity; the text left of
    // it, blanks trimmed, the channel. False when the name holds no symbol.
    static bool SplitSeriesName(const std::string& name, std::string* channel, int* quantity);
    // The series the settings ask for, before the normalising one is taken out.
    std::vector<std::string> RequestedSeries() const;

    // Rows of the grid, 0 when max < min or the count is not a number of rows at all.
    static long long EnergyCount(float minimum, float maximum, float interval);

    // Computes the series from the settings. On failure (message shown) the previous results stay.
    bool Calculate();
    // "Recalculate": read, calculate, build the table.
    bool Recalculate(const CompoundTextFields& fields);

    std::string TitleText() const;
    std::string Caption() const { return TitleText() + " vs Beam Energy (keV)"; }
    // Width of a value column from the table data format; false when the format is refused.
    static bool ColumnWidth(const std::string& tableFormat, int* width);
    // The table text from the last calculation; false (message shown) for a bad format. A
    // cancelled progress ends the table where it stood.
    bool BuildTable();
    const std::string& Table() const { return table_; }

    std::string SaveDialogTitle() const;
    // The two comment lines and the table shown (built from the last calculation when none is).
    bool SaveTable(const std::string& path);

    const std::vector<double>& Energies() const { return energies_; }
    const std::vector<AttenSeries>& Series() const { return series_; }
    const std::vector<std::uint8_t>& NormalisingEdges() const { return normalisingEdges_; }
    // What the graph plots for series i: mass values for the mass kind, else linear values.
    const std::vector<double>& PlotValues(std::size_t i) const;
    std::string GraphSeriesName(std::size_t i) const;

    // A channel was renamed: the title, the channel list and the normalisation series follow
    // (the caller recalculates). True when the channel is one of this window's.
    bool RenameChannel(const std::string& oldName, const std::string& newName);
    // True when the sample channel at that index is shown here.
    bool ShowsChannel(int sampleIndex) const;

    // OK: the settings into the document when they differ (which marks it modified).
    void ApplyToDocument();

    // Rows the matrix window starts from: the rows kept from its last closing, else the stored
    // matrix energies, else the beam energy of every monochromatic CT channel in use.
    std::vector<AttenEnergyRow> MatrixRows() const;
    void KeepMatrixRows(const std::vector<AttenEnergyRow>& rows);

    // Opens a progress display for long tables (null: none).
    std::function<std::unique_ptr<ProgressSink>(const std::string& title)> openProgress;

private:
    void Tell(const std::string& text, int icon) const;
    double Quantity(const Compound& c, int quantity, double energy, int kind) const;

    CZunDoc& doc_;
    std::vector<std::string> channels_;
    Prompt* prompt_;
    std::vector<double> energies_;
    std::vector<AttenSeries> series_;
    std::vector<std::uint8_t> normalisingEdges_;
    std::string table_;
    std::vector<AttenEnergyRow> matrixRows_;
};

}  // namespace zun
