#pragma once
// What the channel tools share: the thread count of their voxel loops, the local time as the
// history records print it, the conversions between voxel words and physical values, and the
// progress a tool running on the controller's worker leaves for its dialog to show.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "tools/valuetools.h"  // AscTimeNow

namespace zun {

class CZunDoc;
class ZunChan;

inline constexpr const char* kComputationInProgress = "Computation in progress.";
// A computation or a tool step runs on the document's worker: a tool that edits voxels now would
// race with it.
bool ComputationBusy(const CZunDoc& doc);

// Grid sizes of a tool run (x fastest).
struct ToolGrid {
    int nx = 0, ny = 0, nz = 0;
    std::int64_t Count() const { return std::int64_t(nx) * ny * nz; }
    std::int64_t Index(int x, int y, int z) const { return (std::int64_t(z) * ny + y) * nx + x; }
};

// The processors the voxel loops use (dynamic adjustment off).
int ToolThreads();

// printf into a string.
std::string ToolFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Physical values of the channel's words with its own range (x fastest).
void ReadPhysical(const ZunChan& chan, std::vector<float>& out);
// The values written back into the channel's value bits with the range (min, max), flags kept:
// raw = trunc(float((v - min) / (max - min)) * 16383) clamped to 0..16383. A range without width
// writes 0.
void WritePhysical(const std::vector<float>& values, ZunChan& chan, float min, float max);

// Progress and messages of a run on the controller's worker, read by the UI thread.
class ToolProgress {
public:
    void SetPercent(int percent) { percent_.store(percent); }
    int Percent() const { return percent_.load(); }
    void SetText(const std::string& text);
    std::string Text() const;
    // Messages the run could not show from the worker; the UI shows them at the end.
    void AddMessage(const std::string& text);
    std::vector<std::string> TakeMessages();

private:
    std::atomic<int> percent_{0};
    mutable std::mutex mutex_;
    std::string text_;
    std::vector<std::string> messages_;
};

}  // namespace zun
