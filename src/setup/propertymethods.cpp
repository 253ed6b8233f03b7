#include "setup/propertymethods.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <locale>
#include <sstream>

#include "compute/propertylib.h"
#include "foundation/numformat.h"
#include "setup/setupmessages.h"
#include "setup/shellgrid.h"

namespace zun {
namespace {

int IndexOf(const std::vector<NamedValue>& table, const std::string& name) {
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i].name == name) return static_cast<int>(i);
    return -1;
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::string G6(float v) {
    return FormatReal(v, -1, "%g");
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Scalar analytic map

std::string ScalarAnalyticModel::EditProperty(int row, const std::string& text, std::string* shown) {
    if (row < 0 || row >= Rows()) return {};
    float v = 0.0f;
    if (IsBlankString(text)) {
        shown->assign(1, '0');
    } else if (ScansAsReal(text, &v)) {
        *shown = text;
    } else {
        return setupmsg::kPropertyValueReal;
    }
    rec_.compositions[static_cast<std::size_t>(row)].value = v;
    return {};
}

int ScalarAnalyticModel::OutputIndex() const {
    const int i = IndexOf(rec_.properties, rec_.outputChannel);
    return i < 0 ? 0 : i;
}

void ScalarAnalyticModel::Accept(bool isotropic, bool parallel, const std::string& output) {
    rec_.voxelStructure = isotropic ? 0 : 1;
    if (!isotropic) rec_.orientation = parallel ? 1 : 0;
    rec_.outputChannel = output;
}

// ---------------------------------------------------------------------------------------------
// Scalar extrapolation

ScalarExtrapModel::ScalarExtrapModel(PropertyMethodSettings rec) : rec_(std::move(rec)) {
    for (const NamedValue& c : rec_.compositions) names_.push_back(c.name);
    names_.push_back("Property");
    columns_ = rec_.columns;
    if (columns_.size() != names_.size()) columns_.assign(names_.size(), ExtrapolationColumn{});
}

std::string ScalarExtrapModel::CellText(int row, int col) const {
    if (row >= DataRows()) return {};
    return G6(columns_[static_cast<std::size_t>(col)].values[static_cast<std::size_t>(row)]);
}

std::string ScalarExtrapModel::WeightText(int col) const {
    return FormatReal(columns_[static_cast<std::size_t>(col)].weight, 6, "%f");
}

std::string ScalarExtrapModel::EditCell(int row, int col, const std::string& text, std::string* shown) {
    if (col < 0 || col >= ColumnCount() || row < 0 || row > DataRows()) return {};
    const bool blank = IsBlankString(text);
    float v = 0.0f;
    if (!blank) {
        const bool property = col == ColumnCount() - 1;
        if (!ScansAsReal(text, &v)) return property ? setupmsg::kPropertyValueReal : setupmsg::kFractionRange;
        if (!property && (v < 0.0f || v > 1.0f)) return setupmsg::kFractionRange;
    }
    *shown = blank ? "0" : text;
    if (row < DataRows()) {
        columns_[static_cast<std::size_t>(col)].values[static_cast<std::size_t>(row)] = v;
    } else if (!blank) {
        for (int c = 0; c < ColumnCount(); ++c)
            columns_[static_cast<std::size_t>(c)].values.push_back(c == col ? v : 0.0f);
    }
    return {};
}

std::string ScalarExtrapModel::CheckWeights(const std::vector<std::string>& weightTexts,
                                            const std::string& output, bool computingWeights) {
    rec_.outputChannel = output;
    for (std::size_t c = 0; c < weightTexts.size() && c + 1 < columns_.size(); ++c) {
        float w = 0.0f;
        if (!ScansAsReal(weightTexts[c], &w)) return setupmsg::kWeightReal;
        columns_[c].weight = w;
    }
    const int code = zunlib::CLibProperty::CheckTable(columns_, computingWeights);
    return code == 0 ? std::string() : zunlib::PropertyFitMessage(code);
}

std::string ScalarExtrapModel::CalcWeights() {
    const int code = zunlib::ScalarExtrapolationFit(columns_);
    return code == 0 ? std::string() : zunlib::PropertyFitMessage(code);
}

void ScalarExtrapModel::Clear() {
    for (ExtrapolationColumn& c : columns_) c.values.clear();
}

std::string ScalarExtrapModel::Export(const std::string& path) const {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return std::string(setupmsg::kCannotOpenFile) + " " + path;
        out.imbue(std::locale::classic());  // counts without digit grouping, whatever the user's locale
        out << ColumnCount() << "," << DataRows() << "\n";
        for (int c = 0; c < ColumnCount(); ++c)
            out << G6(columns_[static_cast<std::size_t>(c)].weight) << ","
                << names_[static_cast<std::size_t>(c)] << "\n";
        for (int r = 0; r < DataRows(); ++r) {
            for (int c = 0; c < ColumnCount(); ++c) out << CellText(r, c) << ",";
            out << "\n";
        }
        out.flush();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            return std::string(setupmsg::kCannotOpenFile) + " " + path;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return std::string(setupmsg::kCannotOpenFile) + " " + path;
    }
    return {};
}

std::vector<std::string> ScalarExtrapModel::Import(const std::string& path) {
    auto fail = [&path](std::vector<const char*> texts) {
        std::vector<std::string> m;
        for (const char* t : texts) m.push_back(std::string(t) + " " + path);
        return m;
    };
    std::ifstream file(path, std::ios::binary);
    if (!file) return fail({setupmsg::kCannotOpenFile});
    std::stringstream in;
    in << file.rdbuf();
    in.imbue(std::locale::classic());
    auto separator = [&in] {
        char c = 0;
        in >> c;  // the next character that is not white space, whatever it is
        return static_cast<bool>(in);
    };
    unsigned long long n = 0, r = 0;
    if (!(in >> n) || !separator() || !(in >> r)) return fail({setupmsg::kCannotReadHeader});
    std::vector<const char*> errors;
    if (n == 0 || r == 0) errors.push_back(setupmsg::kNoColumnRowData);
    if (n != static_cast<unsigned long long>(ColumnCount())) {
        errors.push_back(setupmsg::kCompositionCountMismatch);
        return fail(errors);
    }
    if (!errors.empty()) return fail(errors);

    std::vector<ExtrapolationColumn> read(columns_.size());
    std::string rest;
    std::getline(in, rest);  // the end of the header line
    for (std::size_t c = 0; c < read.size(); ++c) {
        float w = 0.0f;
        std::string name;
        // The name is the rest of the line, so channel names with blanks round-trip.
        if (!(in >> w) || !separator() || !std::getline(in, name)) return fail({setupmsg::kCannotReadColumn});
        if (Trim(name) != names_[c])
            return fail({setupmsg::kColumnNameMismatch, setupmsg::kCannotReadColumn});
        read[c].weight = w;
    }
    // The row count of a damaged file may be anything: values are taken as they are read.
    for (unsigned long long row = 0; row < r; ++row)
        for (std::size_t c = 0; c < read.size(); ++c) {
            float v = 0.0f;
            if (!(in >> v) || !separator()) return fail({setupmsg::kCannotReadData});
            read[c].values.push_back(v);
        }
    columns_ = std::move(read);
    return {};
}

// ---------------------------------------------------------------------------------------------
// Linked cluster analysis

LinkedClusterFields LinkedClusterModel::Fields() const {
    const LinkedClusterSettings& s = rec_.cluster;
    LinkedClusterFields f;
    f.input = rec_.inputChannel;
    f.bound = rec_.inputBound;
    f.output = rec_.outputChannel;
    f.threshold = G6(s.threshold);
    f.greaterEqual = s.greaterEqual != 0;
    f.componentDetails = s.componentDetails != 0;
    f.firstCluster = std::to_string(s.firstCluster);
    f.lastCluster = std::to_string(s.lastCluster);
    f.sortOrder = s.sortOrder;
    f.filter = s.sizeFilter;
    f.low = std::to_string(s.filterLow);
    f.high = std::to_string(s.filterHigh);
    for (int a = 0; a < 3; ++a) {
        const int dim = a < static_cast<int>(rec_.sampleDimensions.size()) ? rec_.sampleDimensions[a] : 1;
        f.axis[a] = s.planeAxis[a] != 0;
        f.plane1[a] = std::to_string(s.planes[a][0]);
        f.plane2[a] = std::to_string(f.axis[a] ? static_cast<long long>(s.planes[a][1]) : dim - 1LL);
        f.op[a] = s.planeOperator[a];
    }
    return f;
}

std::vector<std::string> LinkedClusterModel::BoundEntries() const {
    if (rec_.boundaries.empty()) return {setupmsg::kNoneExist};
    std::vector<std::string> e{setupmsg::kNoneSelected};
    for (const NamedValue& b : rec_.boundaries) e.push_back(b.name);
    return e;
}

std::string LinkedClusterModel::Accept(const LinkedClusterFields& f) {
    if (f.input == f.output) return setupmsg::kChannelsDiffer;
    PropertyMethodSettings r = rec_;
    r.inputChannel = f.input;
    r.inputBound =
        (f.bound == setupmsg::kNoneSelected || f.bound == setupmsg::kNoneExist) ? std::string() : f.bound;
    r.outputChannel = f.output;
    LinkedClusterSettings& s = r.cluster;
    double t = 0;
    if (ReadTextDouble(f.threshold, &t) != 0 || !(t >= 0 && t <= 1)) return setupmsg::kThresholdRange;
    s.threshold = static_cast<float>(t);
    s.greaterEqual = f.greaterEqual ? 1 : 0;
    s.componentDetails = f.componentDetails ? 1 : 0;
    if (f.componentDetails) {
        std::int64_t first = 0, last = 0;
        if (ReadTextInt64(f.firstCluster, &first) != 0 || first < 1 || first > 16383)
            return setupmsg::kFirstClusterIndex;
        if (ReadTextInt64(f.lastCluster, &last) != 0 || last < first || last > 16383)
            return setupmsg::kClusterRange;
        s.firstCluster = first;
        s.lastCluster = last;
    }
    s.sortOrder = f.sortOrder;
    s.sizeFilter = f.filter;
    std::uint64_t low = 0, high = 0;
    if (f.filter == kBetween) {
        if (ReadTextUInt64(f.low, &low) != 0 || ReadTextUInt64(f.high, &high) != 0 || !(low < high))
            return setupmsg::kFilterRange;
        s.filterLow = low;
        s.filterHigh = high;
    } else if (f.filter == kGreatEq) {
        if (ReadTextUInt64(f.low, &low) != 0) return setupmsg::kLowerRange;
        s.filterLow = low;
    } else if (f.filter == kLessEq) {
        if (ReadTextUInt64(f.high, &high) != 0) return setupmsg::kHigherRange;
        s.filterHigh = high;
    }
    static const char* const axisName[3] = {"X", "Y", "Z"};
    static const char* const extent[3] = {"width", "height", "depth"};
    for (int a = 0; a < 3; ++a) {
        s.planeAxis[a] = f.axis[a] ? 1 : 0;
        s.planeOperator[a] = f.op[a];
    }
    for (int a = 0; a < 3; ++a) {
        if (!f.axis[a]) continue;
        const long long dim = a < static_cast<int>(r.sampleDimensions.size()) ? r.sampleDimensions[a] : 1;
        auto outOfRange = [&](int which) {
            char text[96];
            std::snprintf(text, sizeof text, "Plane %s%d value is out of %s range [0, %lld]", axisName[a],
                          which, extent[a], dim - 1);
            return std::string(text);
        };
        std::int64_t p1 = 0, p2 = 0;
        if (ReadTextInt64(f.plane1[a], &p1) != 0 || p1 < 0 || p1 >= dim) return outOfRange(1);
        s.planes[a][0] = static_cast<std::uint32_t>(p1);
        if (f.op[a] != kPlaneNot) {
            if (ReadTextInt64(f.plane2[a], &p2) != 0 || p2 < 0 || p2 >= dim) return outOfRange(2);
            if (p1 >= p2)
                return std::string("Invalid plane ") + axisName[a] + " range - " + axisName[a] +
                       "1 must be less than " + axisName[a] + "2";
            s.planes[a][1] = static_cast<std::uint32_t>(p2);
        }
    }
    rec_ = std::move(r);
    return {};
}

}  // namespace zun
