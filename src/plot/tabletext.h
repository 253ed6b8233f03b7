#pragma once
// The program's two-column table text: a comment line with the window's caption, a comment line
// with the two column titles, then one row per entry. Columns are right-aligned in fields of 15
// characters (a longer title is written whole); numbers in the stream's default form (general
// notation, six significant digits), whatever the user's locale.

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace zun {

constexpr int kTableFieldWidth = 15;

std::string FormatTableNumber(double v);
void WriteTableHeader(std::ostream& out, const std::string& caption, const std::string& title1,
                      const std::string& title2);
void WriteTableRow(std::ostream& out, double a, double b);
void WriteTableText(std::ostream& out, const std::string& caption, const std::string& title1,
                    const std::string& title2, const std::vector<std::pair<double, double>>& rows);

// Writes the text under a temporary name and renames it over `path`, so that a failure leaves
// any old file whole. On failure returns false with "Could not create " + path in `error`.
bool SaveTextFile(const std::string& path, const std::string& text, std::string* error);

}  // namespace zun
