#include "plot/materialfilterprops.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <exception>
#include <fstream>
#include <iomanip>
#include <locale>
#include <sstream>

#include "document/zundoc.h"
#include "foundation/numformat.h"
#include "foundation/pathutil.h"
#include "model/compound.h"
#include "model/sample.h"
#include "model/zunchan.h"
#include "platform/prompt.h"
#include "plot/plotsettings.h"
#include "plot/tabletext.h"
#include "plot/tomographyprops.h"

namespace zun {

namespace {

std::string G(double v) {
    return FormatReal(-1, v, "%g");
}

// Plain decimals: the formula parser takes no exponent ("1e-05" would leave the mixture empty).
std::string FractionText(double f) {
    std::string s = FormatReal(6, f, "%f");
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

bool ReadNonNegative(const std::string& text, float& v) {
    float x = 0.0f;
    if (ScanString(text, "%f", &x) != 0 || !std::isfinite(x) || x < 0.0f) return false;
    v = x;
    return true;
}

}  // namespace

MaterialFilterModel::MaterialFilterModel(TomographyPropsModel& owner, std::string filterName, Prompt* prompt)
    : owner_(owner), name_(std::move(filterName)), prompt_(prompt) {}

void MaterialFilterModel::Open() {
    owner_.GetMaterialFilter(name_, working_);
    if (IsBeamHardening()) RebuildFromDocument();
    baseline_.Assign(working_);
    enabled = working_.enabled;
    FillMaterials();
    FillTexts();
    ComputeTransferFunction();
    applyEnabled = false;
}

void MaterialFilterModel::RebuildFromDocument() {
    const std::vector<FilterComposition> old = working_.compositions;
    working_.compositions.clear();
    rowChannels_.clear();
    const ZunImage& sample = owner_.Document().GetSample();
    int n = 0;
    for (int i = 0; i < sample.GetChanCount(); ++i) n += sample.GetChan(i)->kind == ZunChan::kComposition;
    for (int i = 0; i < n && i < sample.GetChanCount(); ++i) {
        const Compound& c = sample.GetChan(i)->compound;
        const std::string formula = c.GetFormula();
        if (formula.empty()) continue;
        FilterComposition rec{formula, c.density, 0.0};
        for (const FilterComposition& o : old)
            if (o.formula == formula) {
                rec.density = o.density;
                rec.fraction = o.fraction;
                break;
            }
        working_.compositions.push_back(rec);
        rowChannels_.push_back(i);
    }
}

void MaterialFilterModel::FillMaterials() {
    materials.clear();
    for (const FilterComposition& c : working_.compositions)
        materials.push_back({c.formula, G(c.density), G(c.fraction)});
    if (!IsBeamHardening()) materials.push_back({});
}

void MaterialFilterModel::FillTexts() {
    const double k = Unit() == 1 ? 1.0 : 1000.0;
    thicknessText = G(working_.thickness * 10.0);
    minText = G(working_.energyMin * k);
    maxText = G(working_.energyMax * k);
    intervalText = G(working_.energyStep * k);
}

bool MaterialFilterModel::EditMaterialCell(std::size_t row, int column, const std::string& text) {
    if (row >= materials.size() || column < 0 || column > 2 || !IsMaterialCellEditable(column)) return false;
    const int method = owner_.Document().Settings().attenuationMethod;
    if (!IsBlankString(text)) {
        if (column > 0 && !IsValidCellText(text)) {
            if (prompt_) prompt_->Tell(filtermsg::kNonNegative, PromptIcon::Information);
            return false;
        }
        if (column == 0) {
            Compound c;
            if (c.SetFormula(text, true) != 0) {
                if (prompt_) prompt_->Tell(materialmsg::kInvalidFormula, PromptIcon::Information);
                return false;
            }
            std::string list;
            if (const int n = c.CountUnavailableElements(method, list); n > 0) {
                if (prompt_)
                    prompt_->Tell(TomographyPropsModel::UnavailableElementsText("This formula contains the ",
                                                                                n, list, method),
                                  PromptIcon::Information);
                return false;
            }
        }
    }
    materials[row][static_cast<std::size_t>(column)] = text;
    if (!IsBeamHardening()) {
        auto blank = [](const MaterialRow& r) {
            return IsBlankString(r[0]) && IsBlankString(r[1]) && IsBlankString(r[2]);
        };
        while (materials.size() > 1 && blank(materials.back()) && blank(materials[materials.size() - 2]))
            materials.pop_back();
        if (materials.empty() || !blank(materials.back())) materials.push_back({});
    }
    std::vector<FilterComposition> list;
    for (const MaterialRow& r : materials) {
        if (IsBlankString(r[0]) && IsBlankString(r[1]) && IsBlankString(r[2])) continue;
        FilterComposition c{r[0], 0.0, 0.0};
        if (ScanString(r[1], "%lg", &c.density) != 0) c.density = 0.0;
        if (ScanString(r[2], "%lg", &c.fraction) != 0) c.fraction = 0.0;
        list.push_back(c);
    }
    working_.compositions = std::move(list);
    applyEnabled = true;
    if (unavailable != 0) {
        std::string names;
        const int n = working_.CheckCompositions(method, names);
        if (n <= 0) {
            unavailable = 0;
        } else if (prompt_) {
            prompt_->Tell(TomographyPropsModel::UnavailableElementsText(
                              "This filter's composition material still contains the ", n, names, method),
                          PromptIcon::Information);
        }
    }
    return true;
}

void MaterialFilterModel::OnEnabledChanged(bool on) {
    enabled = on;
    applyEnabled = true;
}

std::string MaterialFilterModel::MixtureFormula(const std::vector<FilterComposition>& list, double* density,
                                                bool* normalised) {
    std::string m;
    double s = 0.0, f = 0.0;
    for (const FilterComposition& c : list) {
        const std::string formula = Trim(c.formula);
        if (formula.empty() || !(c.fraction > 0.0)) continue;
        m += "(" + formula + ")" + FractionText(c.fraction);
        s += c.fraction * c.density;
        f += c.fraction;
    }
    if (normalised) *normalised = f > 1.0;
    if (density) *density = f > 1.0 ? s / f : s;
    return m;
}

int MaterialFilterModel::AdjustGrid(float& minimum, float& maximum, float& interval, int& points) {
    if (!std::isfinite(minimum) || !std::isfinite(maximum) || !std::isfinite(interval)) return kGridInvalid;
    const float min0 = minimum, max0 = maximum, step0 = interval;
    if (maximum < minimum) std::swap(minimum, maximum);
    if (maximum == minimum) {
        points = 1;
        interval = 0.0f;
    } else if (interval > 0.0f) {
        auto small = [](float v) { return v > 0.0f && v < 10.0f; };
        int k = 0;
        // A tiny interval would otherwise scale the range past the float limits.
        while ((small(maximum) || small(minimum) || small(interval)) && k < 30) {
            maximum *= 10.0f;
            minimum *= 10.0f;
            interval *= 10.0f;
            ++k;
        }
        maximum = RoundToDecimals(maximum, 1);
        minimum = RoundToDecimals(minimum, 1);
        interval = RoundToDecimals(interval, 1);
        if (!std::isfinite(maximum) || !std::isfinite(minimum) || !(interval > 0.0f)) return kGridInvalid;
        const float q = (maximum - minimum) / interval;
        // The whole part of q plus one exceeds the limit exactly when q reaches it.
        const bool limited = !(q < static_cast<float>(kMaxPoints));
        if (limited) {
            points = kMaxPoints;
            interval = (maximum - minimum) / static_cast<float>(kMaxPoints - 1);
        } else {
            points = static_cast<int>(q) + 1;
            interval = points > 1 ? (maximum - minimum) / static_cast<float>(points - 1) : 0.0f;
        }
        if (k > 0) {
            const float scale = std::pow(10.0f, static_cast<float>(k));
            maximum /= scale;
            minimum /= scale;
            interval /= scale;
        }
        if (limited) return kGridLimited;
    } else {
        points = 2;
        interval = maximum - minimum;
    }
    return minimum == min0 && maximum == max0 && interval == step0 ? kGridUnchanged : kGridAdjusted;
}

void MaterialFilterModel::ComputeTransferFunction() {
    if (unavailable != 0) return;
    try {
        double density = 0.0;
        bool normalised = false;
        const std::string mixture = MixtureFormula(working_.compositions, &density, &normalised);
        if (normalised && prompt_) prompt_->Tell(materialmsg::kNormalised, PromptIcon::Information);
        float lo = working_.energyMin, hi = working_.energyMax, step = working_.energyStep;
        int points = 0;
        Compound compound;
        if (!mixture.empty()) {
            const int r = AdjustGrid(lo, hi, step, points);
            if (r == kGridLimited && prompt_) {
                const float shown = Unit() == 1 ? step : step * 1000.0f;
                prompt_->Tell("Number of graph points will be limited to " + std::to_string(kMaxPoints) +
                              "\nby adjusting Interval to " + FormatReal(shown, -1, "%g") + " " +
                              (Unit() == 1 ? "keV" : "eV"));
            } else if (r == kGridAdjusted && prompt_) {
                prompt_->Tell(materialmsg::kAdjusted);
            } else if (r == kGridInvalid) {
                if (prompt_) prompt_->Tell(materialmsg::kInvalidRange);
                points = 0;
            }
            // A mixture the parser refuses would otherwise leave the layer transparent unnoticed.
            if (points > 0 && compound.SetFormula(mixture, true) != 0) {
                if (prompt_) prompt_->Tell(materialmsg::kInvalidFormula, PromptIcon::Information);
                points = 0;
            }
        }
        compound.density = density;
        const int method = owner_.Document().Settings().attenuationMethod;
        working_.table.clear();
        for (int i = 0; i < points; ++i) {
            const float e = RoundEnergy(static_cast<float>(static_cast<float>(i) * step + lo));
            double t = 0.0;
            if (e == 0.0f)
                t = density == 0.0 ? 1.0 : 0.0;
            else
                t = std::exp(-(compound.LinearAttenuation(method, 0, 0, e) * working_.thickness));
            working_.table[e] = static_cast<float>(t);
        }
    } catch (const std::exception& e) {
        if (prompt_) prompt_->Tell(std::string("Data error: ") + e.what(), PromptIcon::Information);
        return;
    }
    const FilterTable shown = ToDisplayUnit(working_.table, Unit());
    tableRows = TableRows(shown);
    graphX.clear();
    graphY.clear();
    for (const auto& [e, v] : shown) {
        graphX.push_back(e);
        graphY.push_back(v);
    }
}

bool MaterialFilterModel::SetUnit(int unit) {
    unit = unit == 1 ? 1 : 0;
    if (unit == Unit()) return true;
    float lo = 0.0f, hi = 0.0f, step = 0.0f;
    if (!ReadNonNegative(minText, lo) || !ReadNonNegative(maxText, hi) ||
        !ReadNonNegative(intervalText, step)) {
        if (prompt_) prompt_->Tell(materialmsg::kInvalidRange);
        return false;
    }
    const float toKeV = Unit() == 1 ? 1.0f : 0.001f;
    working_.energyMin = lo * toKeV;
    working_.energyMax = hi * toKeV;
    working_.energyStep = step * toKeV;
    working_.energyUnit = unit;
    const double k = unit == 1 ? 1.0 : 1000.0;
    minText = G(working_.energyMin * k);
    maxText = G(working_.energyMax * k);
    intervalText = G(working_.energyStep * k);
    ComputeTransferFunction();
    applyEnabled = true;
    return true;
}

void MaterialFilterModel::Clear() {
    if (prompt_ &&
        prompt_->Ask({filtermsg::kClear, {}, {}, PromptButtons::OkCancel, PromptIcon::Question}) != kPromptOk)
        return;
    if (IsBeamHardening())
        for (FilterComposition& c : working_.compositions) c.fraction = 0.0;
    else
        working_.compositions.clear();
    FillMaterials();
    ComputeTransferFunction();
    applyEnabled = true;
}

void MaterialFilterModel::GetCurrent() {
    if (working_.compositions.empty()) {
        if (prompt_) prompt_->Tell(materialmsg::kNoCompositions, PromptIcon::Information);
        return;
    }
    if (prompt_ &&
        prompt_->Ask({materialmsg::kGetCurrent, {}, {}, PromptButtons::OkCancel, PromptIcon::Question}) !=
            kPromptOk)
        return;
    std::vector<float> means;
    owner_.Document().GetSample().GetMeanVolumeFractions(means);
    // Each row takes the mean of the channel it was built from (channels without a formula have
    // no row, so row and channel numbers differ).
    for (std::size_t r = 0; r < working_.compositions.size() && r < rowChannels_.size(); ++r) {
        const auto ch = static_cast<std::size_t>(rowChannels_[r]);
        if (ch < means.size()) working_.compositions[r].fraction = means[ch];
    }
    FillMaterials();
    ComputeTransferFunction();
    applyEnabled = true;
}

bool MaterialFilterModel::ImportMaterials(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        if (prompt_) prompt_->Tell("Could not open " + path, PromptIcon::Warning);
        return false;
    }
    in.imbue(std::locale::classic());
    working_.compositions.clear();
    double number = 0.0;
    std::string word;
    auto fail = [this](const char* text) {
        if (prompt_) prompt_->Tell(text, PromptIcon::Warning);
    };
    auto ends = [](int t) { return t == kTokenEndOfLine || t == kTokenEndOfStream || t == kTokenComment; };
    for (;;) {
        int t = ReadTextToken(in, &number, &word);
        if (t == kTokenEndOfStream) break;
        if (t == kTokenEndOfLine || t == kTokenComment) continue;
        Compound check;
        if (t != kTokenWord || check.SetFormula(word, true) != 0) {
            fail(materialmsg::kFileFormula);
            break;
        }
        FilterComposition rec{word, 0.0, 0.0};
        t = ReadTextToken(in, &number, &word);
        if (t == kTokenNumber) {
            rec.density = number;
            t = ReadTextToken(in, &number, &word);
            if (t == kTokenNumber) {
                rec.fraction = number;
                t = kTokenOther;  // the rest of the line is not looked at
            } else if (!ends(t)) {
                fail(materialmsg::kFileFraction);
                break;
            }
        } else if (!ends(t)) {
            fail(materialmsg::kFileDensity);
            break;
        }
        working_.compositions.push_back(rec);
        if (t == kTokenEndOfStream) break;
        while (t != kTokenEndOfLine && t != kTokenEndOfStream) t = ReadTextToken(in, &number, &word);
        if (t == kTokenEndOfStream) break;
    }
    FillMaterials();
    ComputeTransferFunction();
    applyEnabled = true;
    return true;
}

std::string MaterialFilterModel::MaterialsText(const std::string& caption,
                                               const std::vector<FilterComposition>& list) {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s << "# " << caption << '\n';
    for (const FilterComposition& c : list)
        s << std::setw(kTableFieldWidth) << c.formula << std::setw(kTableFieldWidth) << c.density << '\n';
    return s.str();
}

bool MaterialFilterModel::ExportMaterials(const std::string& path) const {
    std::string error;
    if (SaveTextFile(path, MaterialsText(caption, working_.compositions), &error)) return true;
    if (prompt_) prompt_->Tell(error, PromptIcon::Warning);
    return false;
}

bool MaterialFilterModel::ExportTable(const std::string& path) const {
    std::string error;
    if (SaveTextFile(path, FilterTableText(caption, ToDisplayUnit(working_.table, Unit()), Unit()), &error))
        return true;
    if (prompt_) prompt_->Tell(error, PromptIcon::Warning);
    return false;
}

bool MaterialFilterModel::ReadMaterials(std::vector<FilterComposition>& out) const {
    out.clear();
    for (const MaterialRow& r : materials) {
        if (IsBlankString(r[0]) && IsBlankString(r[1]) && IsBlankString(r[2])) continue;
        FilterComposition c{r[0], 0.0, 0.0};
        if ((!IsBlankString(r[1]) && ScanString(r[1], "%lg", &c.density) != 0) ||
            (!IsBlankString(r[2]) && ScanString(r[2], "%lg", &c.fraction) != 0))
            return false;
        out.push_back(c);
    }
    return true;
}

bool MaterialFilterModel::HandOver() {
    std::vector<FilterComposition> list;
    if (!ReadMaterials(list)) {
        if (prompt_) prompt_->Tell(materialmsg::kInvalidMaterials);
        return false;
    }
    float mm = 0.0f, lo = 0.0f, hi = 0.0f, step = 0.0f;
    if (!ReadNonNegative(thicknessText, mm)) {
        if (prompt_) prompt_->Tell(materialmsg::kInvalidThickness);
        return false;
    }
    if (!ReadNonNegative(minText, lo) || !ReadNonNegative(maxText, hi) ||
        !ReadNonNegative(intervalText, step)) {
        if (prompt_) prompt_->Tell(materialmsg::kInvalidRange);
        return false;
    }
    const float toKeV = Unit() == 1 ? 1.0f : 0.001f;
    working_.compositions = std::move(list);
    working_.thickness = static_cast<double>(mm) / 10.0;
    working_.energyMin = lo * toKeV;
    working_.energyMax = hi * toKeV;
    working_.energyStep = step * toKeV;
    working_.enabled = enabled;
    ComputeTransferFunction();
    owner_.PutMaterialFilter(name_, working_);
    if (!(working_ == baseline_)) {
        owner_.RefreshAllFiltersWindow();
        owner_.EnableApply();
    }
    return true;
}

bool MaterialFilterModel::Apply() {
    if (!HandOver()) return false;
    baseline_.Assign(working_);
    applyEnabled = false;
    return true;
}

void MaterialFilterModel::Cancel() {
    owner_.PutMaterialFilter(name_, baseline_);
}

void MaterialFilterModel::RenameChannel(const std::string& oldName, const std::string& newName) {
    ReplaceQuotedName(caption, oldName, newName);
}

}  // namespace zun
