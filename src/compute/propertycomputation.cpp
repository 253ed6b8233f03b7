#include "compute/propertycomputation.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "compute/exitrequested.h"
#include "compute/propertyclusters.h"
#include "compute/propertydocument.h"
#include "compute/propertymap.h"

namespace zun {

namespace {

enum ChannelKind { kComposition = 0, kProperty = 2, kBoundary = 3 };

constexpr int kDataError = 1;     // the record cannot run on this document, or memory ran out
constexpr int kDataWarning = -1;  // no cluster found; or the geometric mean fell back

std::string StatusText(int status) {
    if (status == 0) return "success";
    char buf[64];
    std::snprintf(buf, sizeof buf, status > 0 ? "data error %d" : "data warning %d",
                  status > 0 ? status : -status);
    return buf;
}

// Errors win over warnings; among errors the larger number, among warnings the larger magnitude.
int Merge(int a, int b) {
    if (a > 0 || b > 0) return std::max(a, b);
    return std::min(a, b);
}

class MethodRun {
public:
    MethodRun(PropertyDocument& doc, const PropertyMethodSettings& rec)
        : doc_(doc), rec_(rec), dims_(doc.GridSize()), threads_(std::max(1, doc.ThreadCount())) {
        n_ = static_cast<std::uint64_t>(dims_[0]) * dims_[1] * dims_[2];
        const int active = doc.ActiveBoundary();
        boundary_ = active >= 0 ? doc.ChannelWords(active) : nullptr;
        for (int ch = 0; ch < doc.ChannelCount(); ++ch) {
            if (doc.ChannelKind(ch) != kComposition) continue;
            comps_.push_back(doc.ChannelWords(ch));
            compNames_.push_back(doc.ChannelName(ch));
        }
    }

    int Run(int output) {
        switch (rec_.kind) {
            case kScalarAnalyticMap:
                return Scalar(output, AnalyticCoefficients(), AnalyticFormula());
            case kScalarExtrapolation:
                return Extrapolation(output);
            case kLinkedClusterAnalysis:
                return Clusters(output);
            default:
                return kDataError;
        }
    }

private:
    std::vector<double> AnalyticCoefficients() const {
        std::vector<double> p;
        for (const std::string& name : compNames_) {
            double value = 1.0;
            for (const NamedValue& e : rec_.compositions)
                if (e.name == name) value = e.value;
            p.push_back(value);
        }
        return p;
    }

    ScalarFormula AnalyticFormula() const {
        if (rec_.voxelStructure == 0) return ScalarFormula::Geometric;
        return rec_.orientation ? ScalarFormula::Arithmetic : ScalarFormula::Harmonic;
    }

    int Extrapolation(int output) {
        if (rec_.columns.size() != comps_.size() + 1) {
            doc_.Log("Scalar extrapolation: the weights do not match the compositions of the document\n");
            return kDataError;
        }
        std::vector<double> w;
        for (std::size_t i = 0; i < comps_.size(); ++i) w.push_back(rec_.columns[i].weight);
        return Scalar(output, w, ScalarFormula::Arithmetic);
    }

    int Scalar(int output, const std::vector<double>& coefficients, ScalarFormula formula) {
        std::vector<float> values;
        try {
            values.resize(n_);
        } catch (const std::bad_alloc&) {
            doc_.Log("Property computation: not enough memory for the property values\n");
            return kDataError;
        }
        const std::uint64_t slice = static_cast<std::uint64_t>(dims_[0]) * dims_[1];
        const std::uint32_t chunks = std::max<std::uint32_t>(1, std::min<std::uint32_t>(100, dims_[2]));
        bool fellBack = false;
        for (std::uint32_t k = 0; k < chunks; ++k) {
            const std::uint64_t begin = slice * (static_cast<std::uint64_t>(dims_[2]) * k / chunks);
            const std::uint64_t end = slice * (static_cast<std::uint64_t>(dims_[2]) * (k + 1) / chunks);
            fellBack |=
                ComputeScalarProperty(comps_.data(), static_cast<int>(comps_.size()), coefficients.data(),
                                      formula, begin, end, values.data(), threads_);
            doc_.SetProgress(100.0f * (k + 1) / chunks);
        }
        PropertyRange old;
        doc_.GetRange(output, old.min, old.max);
        const PropertyRange range =
            WritePropertyChannel(doc_.ChannelWords(output), n_, values.data(), boundary_, old, threads_);
        doc_.SetRange(output, range.min, range.max);
        if (fellBack)
            doc_.Log(
                "Scalar analytic map: a property value <= 0 of a present composition; the arithmetic mean "
                "was "
                "used for those voxels\n");
        return fellBack ? kDataWarning : 0;
    }

    int Clusters(int output) {
        const int input = FindDocumentChannel(doc_, rec_.inputChannel);
        const int bound = FindDocumentChannel(doc_, rec_.inputBound, kBoundary);
        if (input < 0 || input == output) return kDataError;
        ClusterAnalysis result;
        try {
            std::vector<const std::uint16_t*> comps(comps_.begin(), comps_.end());
            const std::array<std::int64_t, 3> dims{dims_[0], dims_[1], dims_[2]};
            AnalyseLinkedClusters(doc_.ChannelWords(input), bound >= 0 ? doc_.ChannelWords(bound) : nullptr,
                                  dims, rec_.cluster, comps, result, threads_);
        } catch (const std::bad_alloc&) {
            doc_.Log("Run out of memory. Unable to calculate linked clusters.\n");
            return kDataError;
        }
        doc_.SetProgress(90.0f);
        const float top = WriteClusterLabels(doc_.ChannelWords(output), result, boundary_, threads_);
        doc_.SetRange(output, 0.0f, top);
        const auto maxLines = static_cast<std::uint64_t>(std::max(0, doc_.MaxReports())) * 10;
        doc_.Log(ClusterReport(result, compNames_, maxLines));
        doc_.SetProgress(100.0f);
        return result.found == 0 ? kDataWarning : 0;
    }

    PropertyDocument& doc_;
    const PropertyMethodSettings& rec_;
    std::array<std::uint32_t, 3> dims_;
    int threads_;
    std::uint64_t n_ = 0;
    const std::uint16_t* boundary_ = nullptr;
    std::vector<const std::uint16_t*> comps_;
    std::vector<std::string> compNames_;
};

}  // namespace

int CPropertyComputation::CheckSettings(std::string& errors, std::string& warnings) {
    checked_ = methods_;
    haveChecked_ = true;
    if (!doc_) return 0;
    int count = 0;
    for (PropertyMethodSettings& rec : checked_) count += CheckSettings(rec, *doc_, &errors, &warnings);
    return count;
}

void CPropertyComputation::AcceptCheckedSettings() {
    if (haveChecked_) methods_ = checked_;
    haveChecked_ = false;
}

int CPropertyComputation::Apply(PropertyDocument& doc) {
    const bool anyEnabled = std::any_of(methods_.begin(), methods_.end(),
                                        [](const PropertyMethodSettings& r) { return r.enabled != 0; });
    bool anyProperty = false;
    for (int ch = 0; ch < doc.ChannelCount(); ++ch) anyProperty |= doc.ChannelKind(ch) == kProperty;
    if (!anyEnabled || !anyProperty) return -1;

    int merged = 0;
    bool written = false;
    try {
        for (const PropertyMethodSettings& rec : methods_) {
            if (!rec.enabled) continue;
            const std::string description = PropertyMethodDescription(rec.kind);
            doc.SetStateText("Property computation: " + description + "...");
            doc.SetProgress(0.0f);
            const int output = FindDocumentChannel(doc, rec.outputChannel, kProperty);
            int status = kDataError;
            if (output >= 0) {
                status = MethodRun(doc, rec).Run(output);
                // Errors return before anything is written.
                if (status <= 0) {
                    doc.MarkChannelModified(output);
                    written = true;
                }
            }
            merged = Merge(merged, status);
            char line[128];
            std::snprintf(line, sizeof line, "Property method %s on '", description.c_str());
            doc.Log(line + rec.outputChannel + "' completed (" + StatusText(status) + ")\n");
        }
    } catch (const ExitRequested&) {
        if (written) doc.SetModified();
        return kUserInterrupt;
    }
    if (written) doc.SetModified();
    if (merged > 0) return merged + 100;
    if (merged < 0) return merged - 100;
    return 0;
}

void CPropertyComputation::Serialize(Archive& ar) {
    SerializePropertyMethods(ar, methods_);
}

}  // namespace zun
