// Bringing property-method records up to date with the document, and checking them.
#include <algorithm>
#include <cstdio>
#include <map>

#include "compute/propertycomputation.h"
#include "compute/propertydocument.h"
#include "compute/propertylib.h"

namespace zun {

namespace {

enum ChannelKind { kComposition = 0, kCt = 1, kProperty = 2, kBoundary = 3 };

std::string Format(const char* fmt, const std::string& s) {
    std::vector<char> buf(s.size() + 256);
    std::snprintf(buf.data(), buf.size(), fmt, s.c_str());
    return buf.data();
}

std::string Format(const char* fmt, long long a, long long b = 0, long long c = 0) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, a, b, c);
    return buf;
}

struct Findings {
    std::string* errors;
    std::string* warnings;
    int count = 0;
    void Error(const std::string& line) {
        ++count;
        if (errors) *errors += line;
    }
    void Warning(const std::string& line) {
        ++count;
        if (warnings) *warnings += line;
    }
};

// The document's channels of one kind (all kinds for -1) as a table, keeping the values the old
// table had for the names it knew.
std::vector<NamedValue> Table(const PropertyDocument& doc, int kind, const std::vector<NamedValue>& old) {
    std::map<std::string, float> known;
    for (const NamedValue& e : old) known.emplace(e.name, e.value);
    std::vector<NamedValue> t;
    for (int ch = 0; ch < doc.ChannelCount(); ++ch) {
        if (kind >= 0 && doc.ChannelKind(ch) != kind) continue;
        NamedValue e{doc.ChannelName(ch), 1.0f};
        if (auto it = known.find(e.name); it != known.end()) e.value = it->second;
        t.push_back(std::move(e));
    }
    return t;
}

bool SameNames(const std::vector<NamedValue>& a, const std::vector<NamedValue>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const NamedValue& x, const NamedValue& y) { return x.name == y.name; });
}

std::vector<std::int32_t> IndexList(int ch) {
    return ch >= 0 ? std::vector<std::int32_t>{ch} : std::vector<std::int32_t>{};
}

void CheckClusterSettings(const PropertyMethodSettings& rec, Findings& f) {
    const LinkedClusterSettings& c = rec.cluster;
    if (!(c.threshold >= 0.0f && c.threshold <= 1.0f))
        f.Error("Error: Threshold must be a real number between [0, 1]\n");
    if (c.componentDetails) {
        if (c.firstCluster < 1 || c.firstCluster > 16383)
            f.Error("Error: Starting clusters index must a positive integer up to 16383\n");
        else if (c.lastCluster < c.firstCluster || c.lastCluster > 16383)
            f.Error("Error: Invalid clusters range specification or value greater than 16383\n");
    }
    if (c.sizeFilter < kNoFilter || c.sizeFilter > kLessEq)
        f.Error(Format("Error: unknown cluster size filter %lld\n", c.sizeFilter));
    else if (c.sizeFilter == kBetween && !(c.filterLow < c.filterHigh))
        f.Error("Error: Invalid values for filter range\n");
    static const char* const kAxis[3] = {"X", "Y", "Z"};
    static const char* const kExtent[3] = {"width", "height", "depth"};
    for (int a = 0; a < 3; ++a) {
        if (!c.planeAxis[a]) continue;
        const long long top = static_cast<long long>(rec.sampleDimensions[a]) - 1;
        const std::string axis = kAxis[a];
        const std::string range = std::string(" value is out of ") + kExtent[a] + " range [0, %lld]\n";
        if (c.planes[a][0] > top) f.Error(Format(("Error: Plane " + axis + "1" + range).c_str(), top));
        if (c.planeOperator[a] == kPlaneNot) continue;
        if (c.planes[a][1] > top)
            f.Error(Format(("Error: Plane " + axis + "2" + range).c_str(), top));
        else if (!(c.planes[a][0] < c.planes[a][1]))
            f.Error("Error: Invalid plane " + axis + " range - " + axis + "1 must be less than " + axis +
                    "2\n");
    }
}

}  // namespace

void CPropertyComputation::ResetSettingsTables(const PropertyDocument& doc, PropertyMethodSettings& rec) {
    rec.allChannels = Table(doc, -1, {});
    rec.compositions = Table(doc, kComposition, {});
    rec.boundaries = Table(doc, kBoundary, {});
    rec.properties = Table(doc, kProperty, {});
    const auto size = doc.VoxelSize();
    const auto dims = doc.GridSize();
    rec.voxelResolution.assign(3, 0.0f);
    rec.sampleDimensions.assign(3, 0);
    for (int i = 0; i < 3; ++i) {
        rec.voxelResolution[i] = static_cast<float>(size[i] * 1e6);
        rec.sampleDimensions[i] = static_cast<std::int32_t>(dims[i]);
    }
}

int CPropertyComputation::CheckSettings(PropertyMethodSettings& rec, const PropertyDocument& doc,
                                        std::string* errors, std::string* warnings) {
    Findings f{errors, warnings};
    if (rec.kind < kScalarAnalyticMap || rec.kind > kLinkedClusterAnalysis) {
        f.Error(Format("Error: unknown property method kind %lld\n", rec.kind));
        return f.count;
    }

    // Up to date with the document first, so that the errors speak of the current document.
    const std::vector<NamedValue> compositions = Table(doc, kComposition, rec.compositions);
    const bool compositionsChanged = !SameNames(compositions, rec.compositions);
    if (compositionsChanged)
        f.Warning(
            "Warning: the compositions of the document have changed; the composition table was updated\n");
    rec.compositions = compositions;
    rec.allChannels = Table(doc, -1, rec.allChannels);
    rec.boundaries = Table(doc, kBoundary, rec.boundaries);
    rec.properties = Table(doc, kProperty, rec.properties);
    PropertyMethodSettings fresh;
    ResetSettingsTables(doc, fresh);
    rec.voxelResolution = fresh.voxelResolution;
    if (rec.sampleDimensions != fresh.sampleDimensions) {
        rec.sampleDimensions = fresh.sampleDimensions;
        f.Warning(Format("Warning: sample dimensions changed to %lld x %lld x %lld\n",
                         rec.sampleDimensions[0], rec.sampleDimensions[1], rec.sampleDimensions[2]));
        for (int a = 0; a < 3; ++a) {
            const auto top = static_cast<std::uint32_t>(std::max(0, rec.sampleDimensions[a] - 1));
            for (auto& p : rec.cluster.planes[a]) p = std::min(p, top);
        }
    }

    const int output = FindDocumentChannel(doc, rec.outputChannel, kProperty);
    rec.outputIndices = IndexList(output);
    if (output < 0)
        f.Error(Format("Error: output channel '%s' is not a property channel of the document\n",
                       rec.outputChannel));

    if (rec.kind == kScalarExtrapolation) {
        const std::size_t m = rec.compositions.size();
        if (compositionsChanged || rec.columns.size() != m + 1) {
            f.Warning(
                "Warning: scalar extrapolation table does not match the compositions; the table was "
                "cleared\n");
            rec.columns.assign(m + 1, ExtrapolationColumn{});
        }
        if (const int code = ::zunlib::CLibProperty::CheckTable(rec.columns, false))
            f.Error(std::string("Error: scalar extrapolation table: ") + ::zunlib::PropertyFitMessage(code) +
                    "\n");
    }

    if (rec.kind == kLinkedClusterAnalysis) {
        const int input = FindDocumentChannel(doc, rec.inputChannel);
        rec.inputIndices = IndexList(input);
        if (input < 0) f.Error(Format("Error: input channel '%s' not found\n", rec.inputChannel));
        if (!rec.inputBound.empty() && FindDocumentChannel(doc, rec.inputBound, kBoundary) < 0) {
            f.Warning(Format("Warning: input bound '%s' no longer exists and was cleared\n", rec.inputBound));
            rec.inputBound.clear();
        }
        rec.boundIndices = IndexList(FindDocumentChannel(doc, rec.inputBound, kBoundary));
        if (rec.inputChannel == rec.outputChannel)
            f.Error("Error: input and output channels must be different\n");
        CheckClusterSettings(rec, f);
    }
    return f.count;
}

}  // namespace zun
