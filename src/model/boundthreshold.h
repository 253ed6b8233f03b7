#pragma once
// The threshold search of the sample boundary builder: a histogram of the channel average,
// cleaned (gaps filled, spikes removed, smoothed), and the persistent peaks and valleys of it.

#include <cstdint>
#include <vector>

#include "foundation/voxeltypes.h"

namespace zun {

struct HistogramExtremum {
    std::uint64_t position = 0;
    std::int64_t count = 0;
    std::int64_t persistence = 0;
    bool maximum = false;
};

// Empty bins between two non-empty ones take the straight line between them.
void FillHistogramGaps(std::vector<std::uint32_t>& bins);
// A bin that jumps by more than factor standard deviations of the bin-to-bin steps on both sides
// (one side at the ends) takes the mean of its neighbours.
void RemoveHistogramSpikes(std::vector<std::uint32_t>& bins, double factor = 3.0);
// Sum of the 11 bins around each bin, divided by 11.
std::vector<std::uint32_t> SmoothHistogram(const std::vector<std::uint32_t>& bins);
// The peaks and valleys that persist by at least 10 counts, paired: maxima first, then minima,
// each group by falling persistence.
std::vector<HistogramExtremum> AnalyseThresholdHistogram(const std::vector<std::uint32_t>& bins);

// The value (0..16383) above which voxels are sample: between the valley and the upper of the two
// most persistent peaks, at `strength` (0..1) of the way to the peak. 0x8000 when the values span
// 3 or fewer levels, 0 when the histogram has no usable profile.
std::uint16_t FindSampleThreshold(const imtype* words, std::uint64_t count, float strength,
                                  bool noisePresent);

}  // namespace zun
