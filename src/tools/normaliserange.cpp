#include "tools/normaliserange.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace zun {

RedistributeShells::RedistributeShells(int r) : r_(r) {
    const int w = 2 * r + 1;
    table_.assign(static_cast<std::size_t>(w) * w * w + 1, 0);
    const int r2 = r * r;
    for (int dz = -r; dz <= r; ++dz)
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx) {
                const int s = dx * dx + dy * dy + dz * dz;
                table_[static_cast<std::size_t>((dz + r) * w * w + (dy + r) * w + (dx + r))] =
                    s <= r2 ? s : 0;
            }
    capacity.assign(static_cast<std::size_t>(r2) + 1, 0.0);
}

namespace {

// Calls f(index, s) for every candidate of the voxel: table entry in 1..R² (the voxel itself has
// 0), inside the grid and the mask.
template <class F>
void ForCandidates(int x, int y, int z, const RedistributeShells& sh, const std::vector<std::uint8_t>& inside,
                   const ToolGrid& g, F&& f) {
    const int r = sh.R();
    for (int dz = -r; dz <= r; ++dz) {
        const int zz = z + dz;
        if (zz < 0 || zz >= g.nz) continue;
        for (int dy = -r; dy <= r; ++dy) {
            const int yy = y + dy;
            if (yy < 0 || yy >= g.ny) continue;
            for (int dx = -r; dx <= r; ++dx) {
                const int xx = x + dx;
                if (xx < 0 || xx >= g.nx) continue;
                const int s = sh.Entry(dx, dy, dz);
                if (s < 1) continue;
                const std::size_t i = static_cast<std::size_t>(g.Index(xx, yy, zz));
                if (!inside[i]) continue;
                f(i, s);
            }
        }
    }
}

}  // namespace

int Redistribute(int x, int y, int z, RedistributeShells& sh, int d, float bound,
                 const std::vector<std::uint8_t>& inside, std::vector<float>& v, const ToolGrid& g,
                 std::string& message) {
    const std::size_t c = static_cast<std::size_t>(g.Index(x, y, z));
    if ((d < 0 && v[c] > bound) || (d > 0 && v[c] < bound) || !inside[c]) return 0;
    const int r2 = sh.R() * sh.R();
    std::fill(sh.capacity.begin(), sh.capacity.end(), 0.0);
    ForCandidates(x, y, z, sh, inside, g, [&](std::size_t i, int s) {
        if (d < 0 && v[i] > bound) sh.capacity[static_cast<std::size_t>(s)] += v[i] - bound;
        if (d > 0 && v[i] < bound) sh.capacity[static_cast<std::size_t>(s)] += bound - v[i];
    });
    long double need =
        d < 0 ? static_cast<long double>(bound) - v[c] : static_cast<long double>(v[c]) - bound;
    if (need < -1e-5L) {
        message = ToolFormat("Internal error. Computation aborted at (%d, %d, %d)=%f, ftRedistValue=%f", x, y,
                             z, v[c], static_cast<double>(need));
        return 100;
    }
    long double remaining = need;
    int last = r2;
    bool found = false;
    for (int k = 1; k <= r2; ++k) {
        remaining -= sh.capacity[static_cast<std::size_t>(k)];
        if (remaining <= 0) {
            last = k;
            found = true;
            break;
        }
    }
    double fraction = 1.0;
    if (found && remaining < 0 && sh.capacity[static_cast<std::size_t>(last)] > 1e-15)
        fraction = static_cast<double>((remaining + sh.capacity[static_cast<std::size_t>(last)]) /
                                       sh.capacity[static_cast<std::size_t>(last)]);
    double centre = v[c];
    ForCandidates(x, y, z, sh, inside, g, [&](std::size_t i, int s) {
        if (s > last) return;
        double amount;
        if (d < 0 && v[i] > bound)
            amount = v[i] - bound;
        else if (d > 0 && v[i] < bound)
            amount = bound - v[i];
        else
            return;
        if (s == last) amount *= fraction;
        if (d < 0) {
            v[i] = static_cast<float>(v[i] - amount);
            centre += amount;
        } else {
            v[i] = static_cast<float>(v[i] + amount);
            centre -= amount;
        }
        need -= amount;
    });
    v[c] = static_cast<float>(centre);
    const long double t = d < 0 ? need - (static_cast<long double>(bound) - v[c])
                                : need - (static_cast<long double>(v[c]) - bound);
    if (t > 1e-4L) {
        message = ToolFormat("Logical bug or large round-off error at (%d, %d, %d), ftTemp=%f", x, y, z,
                             static_cast<double>(t));
        return 100;
    }
    return 0;
}

namespace {

// R = floor(radius + 0.1), held as a double so that no radius overflows it. The rule is meant for
// the decimal the user typed, which the stored float gives back as its shortest text: in binary,
// 0.9f + 0.1 stays below 1. On that decimal, adding 0.1 reaches the next whole number exactly
// when the first digit after the point is 9.
double ShellRadius(float radius) {
    if (!std::isfinite(radius) || radius < 0.0f) return std::floor(static_cast<double>(radius) + 0.1);
    const double whole = std::floor(static_cast<double>(radius));
    // The largest float has 39 digits before the point, the smallest 45 after it.
    char text[128];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, radius, std::chars_format::fixed);
    const char* point = std::find(text, r.ptr, '.');
    return point + 1 < r.ptr && point[1] == '9' ? whole + 1.0 : whole;
}

}  // namespace

std::string CheckNormaliseSettings(const NormaliseSettings& s) {
    // Not a number or below 1: no neighbour; a table of 2^31 entries or more: too large.
    auto tooSmall = [](double r) { return !(r >= 1.0); };
    auto tooLarge = [](double r) { return (2 * r + 1) * (2 * r + 1) * (2 * r + 1) + 1 >= 0x7FFFFFFF; };
    for (int side = 0; side < 2; ++side) {
        if ((side ? s.upperMode : s.lowerMode) != kNormaliseRedistribute) continue;
        const double r = ShellRadius(side ? s.upperRadius : s.lowerRadius);
        if (tooSmall(r)) return side ? normmsg::kUpperTooSmall : normmsg::kLowerTooSmall;
        if (tooLarge(r)) return side ? normmsg::kUpperTooLarge : normmsg::kLowerTooLarge;
    }
    return {};
}

int NormaliseValues(std::vector<float>& v, const std::vector<std::uint8_t>& inside, const ToolGrid& g,
                    const NormaliseSettings& s, std::string& message, const std::function<bool()>& stop,
                    const std::function<void(int)>& progress) {
    if (std::string refused = CheckNormaliseSettings(s); !refused.empty()) {
        message = refused;
        return 2;
    }
    auto shells = [](int mode, float radius) {
        return RedistributeShells(mode == kNormaliseRedistribute ? static_cast<int>(ShellRadius(radius)) : 0);
    };
    RedistributeShells lower = shells(s.lowerMode, s.lowerRadius);
    RedistributeShells upper = shells(s.upperMode, s.upperRadius);
    const int interval = std::max(g.nz / 100, 1);
    for (int z = 0; z < g.nz; ++z) {
        for (int y = 0; y < g.ny; ++y) {
            if (stop && stop()) return 1;
            for (int x = 0; x < g.nx; ++x) {
                const std::size_t i = static_cast<std::size_t>(g.Index(x, y, z));
                if (!inside[i]) continue;
                if (s.lowerMode == kNormaliseClip && v[i] < s.lower) v[i] = s.lower;
                if (s.upperMode == kNormaliseClip && v[i] > s.upper) v[i] = s.upper;
                int r = 0;
                if (s.lowerMode == kNormaliseRedistribute)
                    r = Redistribute(x, y, z, lower, -1, s.lower, inside, v, g, message);
                if (r == 0 && s.upperMode == kNormaliseRedistribute)
                    r = Redistribute(x, y, z, upper, +1, s.upper, inside, v, g, message);
                if (r != 0) return 2;
            }
        }
        if (progress && z % interval == 0) progress(static_cast<int>((std::int64_t(z) + 1) * 100 / g.nz));
    }
    return 0;
}

}  // namespace zun
