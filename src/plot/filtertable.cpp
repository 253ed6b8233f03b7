#include "plot/filtertable.h"

#include <cmath>
#include <iomanip>
#include <locale>
#include <sstream>

#include "foundation/numformat.h"
#include "foundation/pathutil.h"
#include "plot/tabletext.h"

namespace zun {

std::string EnergyColumnTitle(int unit) {
    return unit == 1 ? "Beam Energy(keV)" : "Beam Energy(eV)";
}

float RoundEnergy(float energy) {
    return energy != 0.0f ? RoundToDecimals(energy, 5) : 0.0f;
}

FilterTable ToDisplayUnit(const FilterTable& keV, int unit) {
    if (unit == 1) return keV;
    FilterTable out;
    for (const auto& [e, v] : keV) out[e * 1000.0f] = v;
    return out;
}

FilterTable FromDisplayUnit(const FilterTable& shown, int unit) {
    if (unit == 1) return shown;
    FilterTable out;
    for (const auto& [e, v] : shown) out[e / 1000.0f] = v;
    return out;
}

std::string FilterTableText(const std::string& caption, const FilterTable& shown, int unit) {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    WriteTableHeader(s, caption, EnergyColumnTitle(unit), "Gain");
    // Both columns are 32-bit floats in the stream's default form.
    for (const auto& [e, v] : shown)
        s << std::setw(kTableFieldWidth) << e << std::setw(kTableFieldWidth) << v << '\n';
    return s.str();
}

FilterTableRead ReadFilterTableText(std::istream& in, int skipLines) {
    FilterTableRead r;
    double number = 0.0;
    std::string word;
    for (int passed = 0; passed < skipLines;) {
        const int t = ReadTextToken(in, &number, &word);
        if (t == kTokenEndOfStream) return r;
        if (t == kTokenEndOfLine) ++passed;
    }
    auto skipLine = [&] {
        for (;;) {
            const int t = ReadTextToken(in, &number, &word);
            if (t == kTokenEndOfLine || t == kTokenEndOfStream) return t;
        }
    };
    for (;;) {
        int t = ReadTextToken(in, &number, &word);
        if (t == kTokenEndOfStream) break;
        if (t == kTokenEndOfLine) continue;
        if (t != kTokenNumber) {
            if (skipLine() == kTokenEndOfStream) break;
            continue;
        }
        const float energy = RoundEnergy(static_cast<float>(number));
        t = ReadTextToken(in, &number, &word);
        if (t == kTokenNumber) {
            r.table[energy] = static_cast<float>(number);
        } else if (t == kTokenEndOfLine || t == kTokenEndOfStream) {
            r.table[energy] = 0.0f;
            if (t == kTokenEndOfStream) break;
            continue;
        } else if (t == kTokenComment) {
            r.table[energy] = 0.0f;  // a remark ends the line as its end would
        } else {
            ++r.badLines;
            // A comment already ran to the line end; anything else leaves the rest of the line.
        }
        if (skipLine() == kTokenEndOfStream) break;
    }
    return r;
}

std::string BadLinesWarning(int count) {
    if (count <= 0) return {};
    return "Warning: " + std::to_string(count) + " line" + (count > 1 ? "s" : "") +
           " which appeared to start with data contained non-numeric value(s).\n" +
           (count > 1 ? "These lines were" : "This line was") + " ignored.";
}

bool ReadSkipLines(const std::string& text, int* lines) {
    int v = 0;
    if (ScanString(text, "%d", &v) != 0 || v < 0) return false;
    *lines = v;
    return true;
}

std::vector<TableRow> TableRows(const FilterTable& shown) {
    std::vector<TableRow> rows;
    for (const auto& [e, v] : shown) rows.emplace_back(FormatReal(e, -1, "%g"), FormatReal(v, -1, "%g"));
    return rows;
}

bool IsBlankRow(const TableRow& row) {
    return IsBlankString(row.first) && IsBlankString(row.second);
}

void KeepOneBlankRow(std::vector<TableRow>& rows) {
    while (rows.size() > 1 && IsBlankRow(rows.back()) && IsBlankRow(rows[rows.size() - 2])) rows.pop_back();
    if (rows.empty() || !IsBlankRow(rows.back())) rows.emplace_back();
}

bool ReadTableRows(const std::vector<TableRow>& rows, bool strict, bool round, FilterTable& out) {
    FilterTable table;
    auto cell = [strict](const std::string& text, float& v) {
        if (IsBlankString(text)) {
            v = 0.0f;
            return true;
        }
        if (ScanString(text, "%g", &v) == 0 && std::isfinite(v)) return true;
        v = 0.0f;
        return !strict;
    };
    for (const TableRow& row : rows) {
        if (IsBlankRow(row)) continue;
        float e = 0.0f, v = 0.0f;
        if (!cell(row.first, e) || !cell(row.second, v)) return false;
        table[round ? RoundEnergy(e) : e] = v;
    }
    out = std::move(table);
    return true;
}

bool IsValidCellText(const std::string& text) {
    if (IsBlankString(text)) return true;
    float v = 0.0f;
    return ScanString(text, "%f", &v) == 0 && std::isfinite(v) && v >= 0.0f;
}

}  // namespace zun
