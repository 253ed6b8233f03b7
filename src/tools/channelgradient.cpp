#include "tools/channelgradient.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zun {

namespace {

struct AxisFaces {
    bool periodic, outside;
    int low, high;  // supplied values as words
};

// The lower and upper neighbours of position p on an axis of n voxels and their distance.
inline double Difference(int p, int n, double v, const AxisFaces& f, double below, double above,
                         double wrapBelow, double wrapAbove, double r) {
    double lo, hi;
    int span = 2;
    if (p > 0) {
        lo = below;
    } else if (f.periodic) {
        lo = wrapBelow;
    } else if (f.outside) {
        lo = f.low;
    } else {
        lo = v;
        --span;
    }
    if (p < n - 1) {
        hi = above;
    } else if (f.periodic) {
        hi = wrapAbove;
    } else if (f.outside) {
        hi = f.high;
    } else {
        hi = v;
        --span;
    }
    // A single voxel along an axis has no slope.
    return span > 0 ? (hi - lo) / (span * r) : 0.0;
}

int ToWord(float value) {
    return static_cast<int>(std::floor(static_cast<double>(value) * 16383 + 0.5));
}

}  // namespace

int ChannelGradient::Compute(const GradientSettings& s, const std::uint16_t* in, std::uint16_t* out,
                             const ToolGrid& g, const std::array<double, 3>& hv) {
    const double h = std::min({hv[0], hv[1], hv[2], 1e20});
    if (h < 1e-16) return 101;
    const double rx = hv[0] / h, ry = hv[1] / h, rz = hv[2] / h;
    const AxisFaces fx{(s.options & 1) != 0, (s.options & 2) != 0, ToWord(s.outside[0]),
                       ToWord(s.outside[1])};
    const AxisFaces fy{(s.options & 4) != 0, (s.options & 8) != 0, ToWord(s.outside[2]),
                       ToWord(s.outside[3])};
    const AxisFaces fz{(s.options & 16) != 0, (s.options & 32) != 0, ToWord(s.outside[4]),
                       ToWord(s.outside[5])};
    const int nx = g.nx, ny = g.ny, nz = g.nz;
    const std::int64_t plane = std::int64_t(nx) * ny;
    auto v = [&](std::int64_t i) { return static_cast<double>(in[i] & 0x3FFF); };
#pragma omp parallel for collapse(2) schedule(static) num_threads(ToolThreads())
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y) {
            const std::int64_t row = g.Index(0, y, z);
            for (int x = 0; x < nx; ++x) {
                const std::int64_t i = row + x;
                const double c = v(i);
                const double gx = Difference(x, nx, c, fx, x > 0 ? v(i - 1) : 0, x < nx - 1 ? v(i + 1) : 0,
                                             v(row + nx - 1), v(row), rx);
                const double gy = Difference(y, ny, c, fy, y > 0 ? v(i - nx) : 0, y < ny - 1 ? v(i + nx) : 0,
                                             v(g.Index(x, ny - 1, z)), v(g.Index(x, 0, z)), ry);
                const double gz =
                    Difference(z, nz, c, fz, z > 0 ? v(i - plane) : 0, z < nz - 1 ? v(i + plane) : 0,
                               v(g.Index(x, y, nz - 1)), v(g.Index(x, y, 0)), rz);
                const double m = std::sqrt((gx * gx + gy * gy + gz * gz) / 3.0);
                out[i] = static_cast<std::uint16_t>(m >= 16383 ? 16383 : static_cast<int>(m));
            }
        }
    return 0;
}

std::string ChannelGradient::Record(const std::string& started, const std::string& input,
                                    const std::string& output, const GradientSettings& s,
                                    const std::string& finished) {
    std::string r = "Channel gradient computation started at: " + started;
    r += "Input channel: " + input + "\n";
    r += "Output channel: " + output + "\n";
    r += "Options: ";
    for (int b = 0; b < 6; ++b) r += ToolFormat("%d ", (s.options >> b) & 1u ? 1 : 0);
    r += "\nExternal values: (";
    for (float f : s.outside) r += ToolFormat("%f ", f);
    r += ")\n";
    r += "Channel gradient computation finished at: " + finished;
    return r;
}

GradientParsModel::GradientParsModel(std::vector<std::string> channels, std::vector<int> kinds, int input,
                                     const GradientSettings& stored)
    : channels_(std::move(channels)), input_(input), settings_(stored) {
    for (std::size_t i = 0; i < channels_.size(); ++i)
        if (static_cast<int>(i) != input_) outputs_.push_back(channels_[i]);
    const bool storedValid = std::find(outputs_.begin(), outputs_.end(), settings_.output) != outputs_.end();
    if (channels_.size() == 2 && !outputs_.empty()) {
        settings_.output = outputs_.front();
    } else if (!storedValid) {
        // The last channel other than the input among the property channels, else the last one.
        settings_.output.clear();
        int firstProp = -1, lastProp = -1;
        for (std::size_t i = 0; i < kinds.size(); ++i)
            if (kinds[i] == 2) {
                if (firstProp < 0) firstProp = static_cast<int>(i);
                lastProp = static_cast<int>(i);
            }
        for (int i = static_cast<int>(channels_.size()) - 1; i >= 0 && settings_.output.empty(); --i)
            if (i != input_ && i >= firstProp && i <= lastProp && firstProp >= 0)
                settings_.output = channels_[static_cast<std::size_t>(i)];
        if (settings_.output.empty() && !outputs_.empty()) settings_.output = outputs_.back();
    }
    // Periodic wins over out-of-grid for an axis.
    for (int a = 0; a < 3; ++a)
        if (Periodic(a)) settings_.options &= ~(2u << (2 * a));
}

bool GradientParsModel::OkEnabled() const {
    return std::find(outputs_.begin(), outputs_.end(), settings_.output) != outputs_.end();
}

bool GradientParsModel::Periodic(int a) const {
    return (settings_.options >> (2 * a)) & 1u;
}

bool GradientParsModel::Outside(int a) const {
    return (settings_.options >> (2 * a + 1)) & 1u;
}

void GradientParsModel::SetPeriodic(int a, bool on) {
    if (on)
        settings_.options = (settings_.options | (1u << (2 * a))) & ~(2u << (2 * a));
    else
        settings_.options &= ~(1u << (2 * a));
}

void GradientParsModel::SetOutside(int a, bool on) {
    if (on && !Periodic(a))
        settings_.options |= 2u << (2 * a);
    else
        settings_.options &= ~(2u << (2 * a));
}

std::string GradientParsModel::ValueText(int i) const {
    return ToolFormat("%f", settings_.outside[static_cast<std::size_t>(i)]);
}

std::string GradientParsModel::Accept(const std::array<std::string, 6>& texts) {
    if (!OkEnabled()) return "";
    if (!(Outside(0) || Outside(1) || Outside(2))) return {};
    std::array<float, 6> values{};
    for (int i = 0; i < 6; ++i) {
        const char* s = texts[static_cast<std::size_t>(i)].c_str();
        char* end = nullptr;
        const double d = std::strtod(s, &end);
        while (end && (*end == ' ' || *end == '\t')) ++end;
        if (end == s || (end && *end != '\0')) return gradientmsg::kSyntax;
        values[static_cast<std::size_t>(i)] = static_cast<float>(d);
    }
    settings_.outside = values;
    return {};
}

}  // namespace zun
