#include "model/boundthreshold.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "foundation/histogram.h"

namespace zun {
namespace {

constexpr std::int64_t kMinPersistence = 10;

struct TurningPoint {
    std::uint64_t position;
    std::int64_t count;
    bool maximum;
};

class PersistencePairs {
public:
    void Push(const TurningPoint& p) {
        if (!stack_.empty() && stack_.back().maximum == p.maximum) {
            // Two of a kind meet only where the sequence is closed on itself: keep the more extreme.
            TurningPoint& top = stack_.back();
            if (p.maximum ? p.count > top.count : p.count < top.count) top = p;
        } else {
            stack_.push_back(p);
        }
        while (stack_.size() >= 3) {
            const TurningPoint& a = stack_[stack_.size() - 3];
            const TurningPoint& b = stack_[stack_.size() - 2];
            const TurningPoint& c = stack_.back();
            if (std::llabs(c.count - b.count) < std::llabs(b.count - a.count)) break;
            Record(a, b);
            const TurningPoint keep = c;
            stack_.resize(stack_.size() - 3);
            stack_.push_back(keep);
        }
    }
    // Pushes the bottom entries again, so that the sequence closes on itself.
    void Close() {
        const std::vector<TurningPoint> bottom = stack_;
        for (const TurningPoint& p : bottom) Push(p);
    }
    std::vector<HistogramExtremum> Result() const {
        std::vector<HistogramExtremum> maxima, minima;
        for (const auto& [a, b, pers] : pairs_) {
            const TurningPoint& hi = a.maximum ? a : b;
            const TurningPoint& lo = a.maximum ? b : a;
            maxima.push_back({hi.position, hi.count, pers, true});
            minima.push_back({lo.position, lo.count, pers, false});
        }
        auto byPersistence = [](const HistogramExtremum& x, const HistogramExtremum& y) {
            return x.persistence > y.persistence;
        };
        std::stable_sort(maxima.begin(), maxima.end(), byPersistence);
        std::stable_sort(minima.begin(), minima.end(), byPersistence);
        maxima.insert(maxima.end(), minima.begin(), minima.end());
        return maxima;
    }

private:
    void Record(const TurningPoint& a, const TurningPoint& b) {
        const std::int64_t pers = std::llabs(a.count - b.count);
        if (pers < kMinPersistence || a.position == b.position) return;
        for (const auto& [x, y, p] : pairs_)
            if (x.position == a.position && y.position == b.position && x.maximum == a.maximum) return;
        pairs_.push_back({a, b, pers});
    }

    struct Pair {
        TurningPoint a, b;
        std::int64_t persistence;
    };
    std::vector<TurningPoint> stack_;
    std::vector<Pair> pairs_;
};

}  // namespace

void FillHistogramGaps(std::vector<std::uint32_t>& b) {
    std::size_t i = 0;
    while (i < b.size() && b[i] == 0) ++i;
    while (i < b.size()) {
        std::size_t j = i + 1;
        while (j < b.size() && b[j] == 0) ++j;
        if (j >= b.size()) break;
        const float step = (static_cast<float>(b[j]) - static_cast<float>(b[i])) / static_cast<float>(j - i);
        for (std::size_t m = 1; m < j - i; ++m)
            b[i + m] = static_cast<std::uint32_t>(static_cast<float>(b[i]) + static_cast<float>(m) * step);
        i = j;
    }
}

void RemoveHistogramSpikes(std::vector<std::uint32_t>& b, double factor) {
    const std::size_t n = b.size();
    if (n < 2) return;
    double sum = 0, sum2 = 0;
    for (std::size_t i = 1; i < n; ++i) {
        const double d = std::fabs(static_cast<double>(b[i]) - static_cast<double>(b[i - 1]));
        sum += d;
        sum2 += d * d;
    }
    const double mean = sum / static_cast<double>(n - 1);
    const double t = factor * std::sqrt(std::max(0.0, sum2 / static_cast<double>(n - 1) - mean * mean));
    auto jump = [&](std::size_t i, std::size_t j) {
        return std::fabs(static_cast<double>(b[i]) - static_cast<double>(b[j]));
    };
    auto mid = [&](std::size_t i, std::size_t j) {
        return static_cast<std::uint32_t>((static_cast<std::uint64_t>(b[i]) + b[j]) / 2);
    };
    if (n > 2 && jump(1, 0) > t && jump(2, 1) <= t) b[0] = mid(1, 2);
    for (std::size_t i = 1; i + 1 < n; ++i)
        if (jump(i, i - 1) > t && jump(i + 1, i) > t) b[i] = mid(i - 1, i + 1);
    if (n > 2 && jump(n - 1, n - 2) > t && jump(n - 2, n - 3) <= t) b[n - 1] = mid(n - 3, n - 2);
}

std::vector<std::uint32_t> SmoothHistogram(const std::vector<std::uint32_t>& b) {
    const std::size_t n = b.size();
    std::vector<std::uint32_t> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        std::uint64_t s = 0;
        for (std::size_t j = i >= 5 ? i - 5 : 0; j < std::min(n, i + 6); ++j) s += b[j];
        out[i] = static_cast<std::uint32_t>(static_cast<double>(s) / 11.0);
    }
    return out;
}

std::vector<HistogramExtremum> AnalyseThresholdHistogram(const std::vector<std::uint32_t>& h) {
    // The sequence without plateaus: the first bin of every run of equal counts.
    std::vector<TurningPoint> seq;
    for (std::size_t i = 0; i < h.size(); ++i)
        if (seq.empty() || static_cast<std::int64_t>(h[i]) != seq.back().count)
            seq.push_back({i, static_cast<std::int64_t>(h[i]), false});
    if (seq.size() < 2) return {};
    PersistencePairs pairs;
    seq[0].maximum = seq[1].count < seq[0].count;
    pairs.Push(seq[0]);
    for (std::size_t k = 1; k + 1 < seq.size(); ++k) {
        const bool up = seq[k].count > seq[k - 1].count, upNext = seq[k + 1].count > seq[k].count;
        if (up == upNext) continue;
        seq[k].maximum = up;
        pairs.Push(seq[k]);
    }
    TurningPoint last = seq.back();
    last.maximum = last.count > seq[seq.size() - 2].count;
    pairs.Push(last);
    pairs.Close();
    return pairs.Result();
}

std::uint16_t FindSampleThreshold(const imtype* words, std::uint64_t count, float strength,
                                  bool noisePresent) {
    Histogram hist;
    if (hist.Build({VoxelBlockRef{words, count}}) != 0 || hist.counters.empty()) return 0x8000;
    std::vector<std::uint32_t> bins = hist.counters;
    FillHistogramGaps(bins);
    if (noisePresent) bins[0] = 0;
    RemoveHistogramSpikes(bins);
    const std::vector<HistogramExtremum> ex = AnalyseThresholdHistogram(SmoothHistogram(bins));
    const std::size_t n = ex.size();
    if (n < 4) return 0;
    const double a = static_cast<double>(std::max(ex[0].position, ex[1].position));
    double valley = static_cast<double>(ex[n - 1].position);
    for (std::size_t k = n / 2; k < n; ++k)
        if (static_cast<double>(ex[k].position) < a) {
            valley = static_cast<double>(ex[k].position);
            break;
        }
    // Bin positions count from the histogram's minimum in bins of its own width.
    const double s = std::clamp(static_cast<double>(strength), 0.0, 1.0);
    const double width = static_cast<double>(hist.maxValue - hist.minValue + 1) / hist.binCount;
    const double t = hist.minValue + std::trunc((valley * (1.0 - s) + a * s) * width);
    return static_cast<std::uint16_t>(std::clamp(t, 0.0, 16383.0));
}

}  // namespace zun
