#pragma once
// The filter windows' tables as text: the two-column table text of a filter's energy -> value
// table (written in the display unit, eV or keV), its tolerant reader, and the list rows the
// windows edit. Tables are kept in keV; the display unit only changes what is shown and exchanged.

#include <istream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace zun {

using FilterTable = std::map<float, float>;  // energy -> value, ascending
using TableRow = std::pair<std::string, std::string>;

namespace filtermsg {
inline constexpr const char* kGainTitle = "Gain                 ";  // "Gain" and 17 blanks widen the column
inline constexpr const char* kNonNegative = "Entries must be non-negative numbers";
inline constexpr const char* kInvalidValues = "Invalid filter transfer function value(s)";
inline constexpr const char* kOverwrite = "Overwrite existing data?";
inline constexpr const char* kClear = "Clear filter data?";
inline constexpr const char* kInvalidSkip = "Invalid number of lines to skip";
inline constexpr const char* kTextFiles = "Text files (*.txt);;Any files (*)";
}  // namespace filtermsg

// "Beam Energy(keV)" for unit 1, "Beam Energy(eV)" otherwise.
std::string EnergyColumnTitle(int unit);
// Energies typed or read are kept to 5 decimals; 0 stays 0.
float RoundEnergy(float energy);
// The table with its energies in the display unit (x 1000 for eV), and back.
FilterTable ToDisplayUnit(const FilterTable& keV, int unit);
FilterTable FromDisplayUnit(const FilterTable& shown, int unit);

// The two-column table text of a table already in the display unit.
std::string FilterTableText(const std::string& caption, const FilterTable& shown, int unit);

struct FilterTableRead {
    FilterTable table;  // as read (display unit), energies rounded
    int badLines = 0;   // lines that began with a number and went on with something else
};
// Lines whose first token is not a number are skipped; "E" alone is (E, 0); "E word" is a bad
// line; tokens after the second are ignored. skipLines > 0 first passes that many line ends.
FilterTableRead ReadFilterTableText(std::istream& in, int skipLines);
// The warning after a read with bad lines ("" when there were none).
std::string BadLinesWarning(int count);
// The "lines to skip" of the import dialog: an integer >= 0.
bool ReadSkipLines(const std::string& text, int* lines);

// List rows ("%g" cells) of a table in the display unit; the editors append one empty row.
std::vector<TableRow> TableRows(const FilterTable& shown);
bool IsBlankRow(const TableRow& row);
// Trailing blank rows go; exactly one blank row ends the list.
void KeepOneBlankRow(std::vector<TableRow>& rows);
// The rows read back with "%g": blank rows skipped, a blank cell is 0. With strict, a cell that
// does not read fails the whole read (false); otherwise it counts as 0. With round, non-zero
// energies are rounded to 5 decimals. A later row with the same energy wins.
bool ReadTableRows(const std::vector<TableRow>& rows, bool strict, bool round, FilterTable& out);
// An edited cell: blank, or a number >= 0.
bool IsValidCellText(const std::string& text);

}  // namespace zun
