#include "plot/compoundtext.h"

#include <algorithm>
#include <cmath>

#include "compute/params.h"
#include "document/zundoc.h"
#include "foundation/clocale.h"
#include "foundation/numformat.h"
#include "model/compound.h"
#include "model/sample.h"
#include "platform/progress.h"
#include "platform/prompt.h"
#include "plot/tabletext.h"

namespace zun {

namespace {

// lambda / (4 pi) and lambda / (2 pi) per keV, with lambda = 1.24e-7 / E cm. The phase tables
// hold phi = 2 pi delta / lambda with delta = 1 - Re(n) positive, so delta keeps phi's sign.
constexpr double kBetaFactor = 9.86760647169751e-9;
constexpr double kDeltaFactor = 1.973521294339502e-8;
// Longer cells than this only make huge lines of blanks.
constexpr int kMaxFormatField = 64;

const char* const kSymbols[4] = {attensym::kMu, attensym::kBeta, attensym::kPhi, attensym::kDelta};

bool ReadNonNegative(const std::string& text, float* value) {
    float v = 0.0f;
    if (ScanString(text, "%f", &v) != 0 || !(v >= 0.0f) || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

// Characters, not bytes: the Greek symbols take two bytes but one column.
std::size_t TextColumns(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string PadLeft(const std::string& s, std::size_t width) {
    const std::size_t n = TextColumns(s);
    return n >= width ? s : std::string(width - n, ' ') + s;
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

void ReplaceAll(std::string& s, const std::string& from, const std::string& to) {
    if (from.empty()) return;
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
}

std::int32_t MaskOf(const CompoundTextSettings& s) {
    return (s.mu ? 1 : 0) | (s.beta ? 2 : 0) | (s.phi ? 4 : 0) | (s.delta ? 8 : 0);
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string FormatValue(const std::string& format, double v) {
    CLocaleScope c;
    char buffer[256];
    const int n = std::snprintf(buffer, sizeof buffer, format.c_str(), v);
    return n < 0 ? std::string() : std::string(buffer, std::min<std::size_t>(n, sizeof buffer - 1));
}
#pragma GCC diagnostic pop

}  // namespace

CompoundTextModel::CompoundTextModel(CZunDoc& doc, std::vector<std::string> channels, Prompt* prompt)
    : doc_(doc), channels_(std::move(channels)), prompt_(prompt) {}

int CompoundTextModel::Method() const {
    return doc_.Settings().attenuationMethod;
}

int CompoundTextModel::Kind() const {
    return doc_.Settings().coefficientKind;
}

bool CompoundTextModel::HasPhaseData() const {
    return Method() != kAttenMucal && Method() != kAttenNist;
}

void CompoundTextModel::Tell(const std::string& text, int icon) const {
    if (prompt_) prompt_->Tell(text, static_cast<PromptIcon>(icon));
}

std::string CompoundTextModel::Symbol(int quantity) {
    return quantity >= 0 && quantity < 4 ? kSymbols[quantity] : "";
}

std::string CompoundTextModel::SeriesName(const std::string& channel, int quantity) const {
    return channel + " " + Symbol(quantity);
}

bool CompoundTextModel::SplitSeriesName(const std::string& name, std::string* channel, int* quantity) {
    for (int q = 0; q < 4; ++q) {
        const std::size_t at = name.find(kSymbols[q]);
        if (at == std::string::npos) continue;
        if (channel) *channel = Trim(name.substr(0, at));
        if (quantity) *quantity = q;
        return true;
    }
    return false;
}

std::vector<std::string> CompoundTextModel::NormalisationCandidates(int attenuationKind) const {
    std::vector<std::string> out;
    const bool linear = attenuationKind == 0;
    for (const std::string& c : channels_) {
        out.push_back(SeriesName(c, kQuantityMu));
        if (linear) out.push_back(SeriesName(c, kQuantityBeta));
        if (HasPhaseData()) out.push_back(SeriesName(c, kQuantityPhi));
        if (linear && HasPhaseData()) out.push_back(SeriesName(c, kQuantityDelta));
    }
    return out;
}

void CompoundTextModel::Open() {
    CompoundTextSettings& s = settings;
    if (s.energies.size() != 3) s.energies = {10.0f, 50.0f, 0.1f};
    if (!ChannelNormalisationAllowed()) {
        if (s.normalisation == 2) s.normalisation = 0;
    } else {
        const std::vector<std::string> offered = NormalisationCandidates(s.attenuationKind);
        if (std::find(offered.begin(), offered.end(), s.normalisationSeries) == offered.end())
            s.normalisationSeries = SeriesName(channels_.front(), kQuantityMu);
    }
    if (!HasPhaseData()) s.phi = s.delta = false;
    // beta and delta exist only as linear quantities.
    if (s.attenuationKind == 1) s.beta = s.delta = false;
    s.quantityMask = MaskOf(s);
}

CompoundTextFields CompoundTextModel::FieldsFromSettings() const {
    const CompoundTextSettings& s = settings;
    CompoundTextFields f;
    auto real = [](float v) { return FormatReal(v, -1, "%g"); };
    if (s.energies.size() == 3) {
        f.minEnergy = real(s.energies[0]);
        f.maxEnergy = real(s.energies[1]);
        f.interval = real(s.energies[2]);
    }
    f.normalisation = s.normalisation;
    f.normalisationEnergy = real(s.normalisationEnergy);
    f.normalisationSeries = s.normalisationSeries;
    f.penetrationDepth = s.penetrationDepth;
    f.transmissionRatio = real(s.transmissionRatio);
    f.markEdges = s.markEdges;
    f.showWavelength = s.showWavelength;
    f.attenuationKind = s.attenuationKind;
    f.mu = s.mu;
    f.beta = s.beta;
    f.phi = s.phi;
    f.delta = s.delta;
    f.tableFormat = s.tableFormat;
    return f;
}

bool CompoundTextModel::ReadFields(const CompoundTextFields& f) {
    CompoundTextSettings s = settings;
    float e[3] = {0, 0, 0};
    bool ok = ReadNonNegative(f.minEnergy, &e[0]) && ReadNonNegative(f.maxEnergy, &e[1]) &&
              ReadNonNegative(f.interval, &e[2]);
    // A maximum below the minimum has no grid at all.
    ok = ok && e[1] >= e[0];
    ok = ok && ReadNonNegative(f.normalisationEnergy, &s.normalisationEnergy);
    ok = ok && ReadNonNegative(f.transmissionRatio, &s.transmissionRatio) && s.transmissionRatio <= 100.0f;
    if (!ok) {
        Tell(attenmsg::kInvalidNumeric, static_cast<int>(PromptIcon::Information));
        return false;
    }
    s.energies.assign(e, e + 3);
    s.normalisation = f.normalisation;
    if (!f.normalisationSeries.empty()) s.normalisationSeries = f.normalisationSeries;
    s.attenuationKind = f.attenuationKind;
    s.penetrationDepth = f.penetrationDepth;
    s.markEdges = f.markEdges;
    s.showWavelength = f.showWavelength;
    s.mu = f.mu;
    s.beta = f.beta;
    s.phi = f.phi;
    s.delta = f.delta;
    s.quantityMask = MaskOf(s);
    s.tableFormat = f.tableFormat;
    settings = s;
    return true;
}

bool CompoundTextModel::WouldHaveSeries(const CompoundTextFields& f) {
    return f.mu || f.beta || f.phi || f.delta;
}

std::vector<std::string> CompoundTextModel::RequestedSeries() const {
    const bool ticked[4] = {settings.mu, settings.beta, settings.phi, settings.delta};
    std::vector<std::string> out;
    for (const std::string& c : channels_)
        for (int q = 0; q < 4; ++q)
            if (ticked[q]) out.push_back(SeriesName(c, q));
    return out;
}

long long CompoundTextModel::EnergyCount(float minimum, float maximum, float interval) {
    if (interval == 0.0f) return 1;
    if (!(maximum >= minimum) || !(interval > 0.0f)) return 0;
    // In 32-bit float, as the grid has always been counted: 10..50 by 0.1 gives 401 rows.
    const float span = (maximum - minimum) / interval;
    const float n = std::ceil(span) + 1.0f;
    if (!std::isfinite(n) || n > 4.0e18f) return -1;
    return static_cast<long long>(n);
}

double CompoundTextModel::Quantity(const Compound& c, int quantity, double energy, int kind) const {
    const int method = Method();
    switch (quantity) {
        case kQuantityMu:
            return c.MassAttenuation(method, kLinearAttenuation, kind, energy);
        case kQuantityBeta:
            return c.MassAttenuation(method, kLinearAttenuation, kind, energy) * kBetaFactor / energy;
        case kQuantityPhi:
            return c.MassAttenuation(method, kLinearPhaseShift, kind, energy);
        case kQuantityDelta:
            return c.MassAttenuation(method, kLinearPhaseShift, kind, energy) * kDeltaFactor / energy;
        default:
            return 0.0;
    }
}

bool CompoundTextModel::Calculate() {
    const CompoundTextSettings& s = settings;
    const ZunImage& sample = doc_.GetSample();
    const int method = Method();
    const int kind = Kind();

    std::vector<std::string> names = RequestedSeries();
    if (s.normalisation == 2)
        names.erase(std::remove(names.begin(), names.end(), s.normalisationSeries), names.end());

    if (!HasPhaseData())
        for (const std::string& n : names) {
            int q = 0;
            if (SplitSeriesName(n, nullptr, &q) && (q == kQuantityPhi || q == kQuantityDelta)) {
                Tell("The phase shift coefficient cannot be computed with the\n" +
                         Compound::GetAttenMethodName(method) +
                         " attenuation method - change graph type or change Attenuation Properties Method.",
                     static_cast<int>(PromptIcon::Information));
                return false;
            }
        }

    if (s.energies.size() != 3) return false;
    const float minimum = s.energies[0], interval = s.energies[2];
    const long long count = EnergyCount(minimum, s.energies[1], interval);
    if (count <= 0) {
        Tell(attenmsg::kInvalidNumeric, static_cast<int>(PromptIcon::Information));
        return false;
    }
    if (count > kMaxEnergies) {
        Tell(attenmsg::kTooManyEnergies, static_cast<int>(PromptIcon::Information));
        return false;
    }
    const std::size_t n = static_cast<std::size_t>(count);
    std::vector<double> energies(n);
    for (std::size_t i = 0; i < n; ++i)
        energies[i] = static_cast<double>(i) * static_cast<double>(interval) + static_cast<double>(minimum);

    // The normalising series of mode 2, found through its symbol.
    const Compound* normCompound = nullptr;
    int normQuantity = kQuantityMu;
    double normDensity = 0.0;
    std::vector<std::uint8_t> normEdges;
    if (s.normalisation == 2) {
        std::string channel;
        const int index = SplitSeriesName(s.normalisationSeries, &channel, &normQuantity)
                              ? sample.FindChanIndex(channel)
                              : -1;
        if (index < 0) {
            Tell(attenmsg::kUnknownLanguage, static_cast<int>(PromptIcon::Warning));
            return false;
        }
        normCompound = &sample.GetChan(index)->compound;
        normDensity = normCompound->density;
        normEdges.assign(n, 0);
        double previous = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double mu = normCompound->MassAttenuation(method, kLinearAttenuation, kind, energies[i]);
            if (i > 0 && mu > previous) normEdges[i] = 1;
            previous = mu;
        }
    }

    std::vector<AttenSeries> series;
    for (const std::string& name : names) {
        AttenSeries a;
        a.name = name;
        SplitSeriesName(name, &a.channel, &a.quantity);
        const int index = sample.FindChanIndex(a.channel);
        if (index < 0) {
            // The window stays open while channels are deleted elsewhere.
            Tell("Channel '" + a.channel + "' no longer exists", static_cast<int>(PromptIcon::Warning));
            return false;
        }
        const Compound& c = sample.GetChan(index)->compound;
        const double rho = c.density;
        a.density = rho;
        a.mass.resize(n);
        a.linear.resize(n);
        a.edges.assign(n, 0);
        if (s.penetrationDepth) a.depth.resize(n);
        const float logRatio = std::log(s.transmissionRatio / 100.0f);
        double previousMu = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double e = energies[i];
            const double mu = c.MassAttenuation(method, kLinearAttenuation, kind, e);
            // Phase values are always of the total kind.
            a.mass[i] =
                a.quantity == kQuantityMu ? mu : Quantity(c, a.quantity, e, a.quantity >= 2 ? 0 : kind);
            // Attenuation rises with energy only across an absorption edge.
            if (i > 0 && mu > previousMu) a.edges[i] = 1;
            previousMu = mu;
            if (s.penetrationDepth) a.depth[i] = -10.0f * logRatio / static_cast<float>(mu * rho);
        }
        if (s.normalisation == 1) {
            const double en = s.normalisationEnergy;
            const double norm = Quantity(c, a.quantity, en, kind);
            for (std::size_t i = 0; i < n; ++i) a.linear[i] = a.mass[i] /= norm;
        } else if (s.normalisation == 2) {
            for (std::size_t i = 0; i < n; ++i) {
                a.mass[i] /= Quantity(*normCompound, normQuantity, energies[i], kind);
                a.linear[i] = a.mass[i] * rho / normDensity;
            }
        } else {
            for (std::size_t i = 0; i < n; ++i) a.linear[i] = a.mass[i] * rho;
        }
        series.push_back(std::move(a));
    }

    energies_ = std::move(energies);
    series_ = std::move(series);
    normalisingEdges_ = std::move(normEdges);
    return true;
}

bool CompoundTextModel::Recalculate(const CompoundTextFields& fields) {
    return ReadFields(fields) && Calculate() && BuildTable();
}

std::string CompoundTextModel::TitleText() const {
    const CompoundTextSettings& s = settings;
    const std::string k = Compound::GetAttenKindSuffix(Kind());
    const std::string mu = attensym::kMu, beta = attensym::kBeta, phi = attensym::kPhi,
                      delta = attensym::kDelta;
    std::string t;
    if (s.attenuationKind == 1) {
        switch (s.quantityMask) {
            case 1:
                t = mu + "_m_" + k;
                break;
            case 4:
                t = phi + "_m";
                break;
            case 5:
                t = mu + "_m_" + k + "," + phi + "_m";
                break;
            default:
                break;
        }
    } else {
        switch (s.quantityMask) {
            case 1:
                t = mu + "_" + k;
                break;
            case 2:
                t = beta + "_" + k;
                break;
            case 4:
                t = phi;
                break;
            case 5:
                t = mu + "_" + k + "," + phi;
                break;
            case 8:
                t = delta;
                break;
            case 10:
                t = "Imaginary Refractive Index";
                break;
            default: {
                std::vector<std::string> items;
                if (s.mu) items.push_back(mu + "_" + k);
                if (s.phi) items.push_back(phi);
                if (s.beta) items.push_back(beta + "_" + k);
                if (s.delta) items.push_back(delta);
                for (std::size_t i = 0; i < items.size(); ++i) t += (i ? "," : "") + items[i];
            }
        }
    }
    if (s.normalisation == 1)
        t += " (norm to " + FormatReal(s.normalisationEnergy, -1, "%g") + "keV)";
    else if (s.normalisation == 2)
        t += " (norm to '" + s.normalisationSeries + "')";
    else if (!s.beta && !s.delta)
        t += s.attenuationKind == 1 ? " (cm^2/g)" : " (1/cm)";
    return t;
}

bool CompoundTextModel::ColumnWidth(const std::string& tableFormat, int* width) {
    int w = -1, p = -1;
    if (ParseNumberFormat("%" + tableFormat, &w, &p) != 0) return false;
    if (w > kMaxFormatField || p > kMaxFormatField) return false;
    if (width) *width = w > p ? w : (p >= 0 ? p + 1 : 0);
    return true;
}

bool CompoundTextModel::BuildTable() {
    const CompoundTextSettings& s = settings;
    int w = 0;
    if (!ColumnWidth(s.tableFormat, &w)) {
        Tell(attenmsg::kInvalidFormat, static_cast<int>(PromptIcon::Warning));
        return false;
    }
    const std::string valueFormat = "%" + s.tableFormat;
    const bool mass = s.attenuationKind == 1;

    auto unitOf = [&](const AttenSeries& a) -> std::string {
        if (s.normalisation == 1) return "(norm:" + FormatReal(s.normalisationEnergy, -1, "%g") + "keV)";
        if (s.normalisation == 2) return "(norm:" + s.normalisationSeries + ")";
        if (a.quantity == kQuantityBeta || a.quantity == kQuantityDelta) return "";
        return mass ? "(cm^2/g)" : "(1/cm)";
    };
    auto cellWidth = [w](const std::string& a, const std::string& b) {
        return std::max({static_cast<std::size_t>(w), TextColumns(a), TextColumns(b)});
    };
    const std::string depthUnit = "@" + FormatReal(s.transmissionRatio, -1, "%g") + "%(mm)";

    std::string line1 = FormatC("%12s", "Energy"), line2 = FormatC("%12s", "(keV)");
    if (s.showWavelength) {
        line1 += FormatC("%15s", "Wavelength");
        line2 += FormatC("%15s", "(um)");
    }
    for (const AttenSeries& a : series_) {
        const std::string unit = unitOf(a);
        const std::size_t n = cellWidth(a.name, unit);
        line1 += "\t" + PadLeft(a.name, n);
        line2 += "\t" + PadLeft(unit, n);
        if (s.penetrationDepth) {
            const std::size_t m = cellWidth("Penetration", depthUnit);
            line1 += "\t" + PadLeft("Penetration", m);
            line2 += "\t" + PadLeft(depthUnit, m);
        }
        if (s.markEdges) line1 += FormatC("\t%5s", "Edge");
    }
    std::string text = line1 + "\n" + line2 + "\n";

    std::unique_ptr<ProgressSink> progress;
    const std::size_t rows = energies_.size();
    if (rows > static_cast<std::size_t>(kProgressThreshold) && openProgress)
        progress = openProgress(title + " Calculate X-ray Attenuation Graph data");
    for (std::size_t i = 0; i < rows; ++i) {
        if (progress && progress->SetProgress(static_cast<int>(100.0 * static_cast<double>(i) / rows))) {
            progress.reset();
            Tell(attenmsg::kCancelled, static_cast<int>(PromptIcon::Information));
            break;
        }
        const double e = energies_[i];
        text += FormatC("%12g", e);
        if (s.showWavelength) text += FormatC("%15.3e", 0.00124 / e);
        for (const AttenSeries& a : series_) {
            text += "\t" + FormatValue(valueFormat, mass ? a.mass[i] : a.linear[i]);
            if (s.penetrationDepth) text += "\t" + FormatValue(valueFormat, a.depth[i]);
            if (s.markEdges) text += FormatC("\t%5s", a.edges[i] ? "y" : " ");
        }
        text += "\n";
    }
    table_ = std::move(text);
    return true;
}

std::string CompoundTextModel::SaveDialogTitle() const {
    const std::string what = channels_.size() == 1
                                 ? "Channel '" + channels_.front() + "' Save Attenuation Graph Text"
                                 : std::string("Multiple Channels Save Attenuation Graph Text");
    return doc_.GetNameText() + " " + what;
}

bool CompoundTextModel::SaveTable(const std::string& path) {
    // A file holding the comments only would pass for a saved table.
    if (table_.empty() && !BuildTable()) return false;
    std::string text = "# " + TitleText() + " vs beam energy (keV)\n# Composition densities, (g/cm^3):";
    const ZunImage& sample = doc_.GetSample();
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        const int index = sample.FindChanIndex(channels_[i]);
        const double rho = index >= 0 ? sample.GetChan(index)->compound.density : 0.0;
        text += (i ? ", " : " ") + channels_[i] + "=" + FormatReal(static_cast<float>(rho), -1, "%g");
    }
    text += "\n" + table_;
    std::string error;
    if (!SaveTextFile(path, text, &error)) {
        Tell("Could not open " + path, static_cast<int>(PromptIcon::Warning));
        return false;
    }
    return true;
}

const std::vector<double>& CompoundTextModel::PlotValues(std::size_t i) const {
    const AttenSeries& a = series_.at(i);
    return settings.attenuationKind == 1 ? a.mass : a.linear;
}

std::string CompoundTextModel::GraphSeriesName(std::size_t i) const {
    const AttenSeries& a = series_.at(i);
    return a.name + ", d=" + FormatReal(static_cast<float>(a.density), -1, "%g");
}

bool CompoundTextModel::RenameChannel(const std::string& oldName, const std::string& newName) {
    ReplaceAll(title, "'" + oldName + "'", "'" + newName + "'");
    bool shown = false;
    for (std::string& c : channels_)
        if (c == oldName) {
            c = newName;
            shown = true;
        }
    std::string channel;
    int q = 0;
    if (SplitSeriesName(settings.normalisationSeries, &channel, &q) && channel == oldName)
        settings.normalisationSeries = SeriesName(newName, q);
    for (AttenSeries& a : series_)
        if (a.channel == oldName) {
            a.channel = newName;
            a.name = SeriesName(newName, a.quantity);
        }
    return shown;
}

bool CompoundTextModel::ShowsChannel(int sampleIndex) const {
    const ZunImage& sample = doc_.GetSample();
    if (!sample.IsChanIndex(sampleIndex)) return false;
    const std::string& name = sample.GetChan(sampleIndex)->name;
    return std::find(channels_.begin(), channels_.end(), name) != channels_.end();
}

void CompoundTextModel::ApplyToDocument() {
    if (doc_.Settings().compoundText == settings) return;
    doc_.Settings().compoundText = settings;
    doc_.SetModifiedFlag(true);
}

std::vector<AttenEnergyRow> CompoundTextModel::MatrixRows() const {
    if (!matrixRows_.empty()) return matrixRows_;
    std::vector<AttenEnergyRow> rows;
    for (double e : settings.matrixEnergies) rows.push_back({static_cast<float>(e), ""});
    if (!rows.empty()) return rows;
    const ZunImage& sample = doc_.GetSample();
    const Params& p = doc_.GetModel().GetParams();
    const int first = sample.FirstChanOfKind(ZunChan::kXrayCt);
    for (int i = 0; first >= 0 && i < sample.GetChanCount(); ++i) {
        const ZunChan& c = *sample.GetChan(i);
        if (c.kind != ZunChan::kXrayCt || c.polychromatic) continue;
        const std::size_t number = static_cast<std::size_t>(i - first + 1);
        if (number < p.ctChannelUsed.size() && !p.ctChannelUsed[number]) continue;
        if (number < p.ctBeamEnergy.size()) rows.push_back({p.ctBeamEnergy[number], ""});
    }
    return rows;
}

void CompoundTextModel::KeepMatrixRows(const std::vector<AttenEnergyRow>& rows) {
    matrixRows_ = rows;
    settings.matrixEnergies.clear();
    for (const AttenEnergyRow& r : rows) settings.matrixEnergies.push_back(r.energy);
}

}  // namespace zun
