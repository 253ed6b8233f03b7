#pragma once
// Threshold segmentation: one input channel split into the composition channels by one value
// interval per composition. CThresholdSegmentation holds what the dialog shows (the rows, the
// unit, the sorting switch) and carries the run out; the dialog only draws it and forwards edits.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foundation/voxeltypes.h"

namespace zun {

class CZunDoc;

// One output of the voxel pass: the words written, and the raw values (inclusive) that fall
// inside; low > high selects nothing.
struct ThresholdRow {
    imtype* out = nullptr;
    int low = 1;
    int high = 0;
};

// The raw values 0..16383 whose normalised value x (single precision) lies in a row's interval:
// lower <= x < upper, the last row's upper bound inclusive.
std::vector<std::array<int, 2>> ThresholdRawBounds(const std::vector<double>& lower,
                                                   const std::vector<double>& upper);

// One pass over the voxels: each input word is read once, then every row's word gets value 16383
// inside its interval and 0 outside, its flag bits kept. So the input may be one of the outputs.
// `progress` (may be empty) hears the percentage done between blocks.
void ThresholdSegment(const imtype* input, std::int64_t count, const std::vector<ThresholdRow>& rows,
                      int threads, const std::function<void(int)>& progress = {});

class CThresholdSegmentation {
public:
    static constexpr int kMaxRows = 100;
    enum Unit { kImageUnit = 1, kPhysicalUnit = 2 };
    enum State { kReady = 0, kRangeTooSmall = -1, kOutOfMemory = 1 };
    // An edit whose text must be shown again.
    struct Cell {
        int row;
        bool upper;
        bool operator==(const Cell&) const = default;
    };

    // Prepares the rows for one input channel; the result is the state (the dialog opens for 0
    // or less). A name that is no channel of the document gives 1.
    int Prepare(CZunDoc& doc, const std::string& inputName, int inputIndex);

    // Rows 0..LastRow().
    int LastRow() const { return last_; }
    std::string RowName(int k) const;
    std::string Caption() const { return "Threshold segmentation for channel: " + inputName_; }
    // The edit text of a threshold ("%.5g" in the unit shown); the stored value is clamped first.
    std::string Text(int k, bool upper);
    double Lower(int k) const { return lower_[static_cast<std::size_t>(k)]; }
    double Upper(int k) const { return upper_[static_cast<std::size_t>(k)]; }

    // An edit's new text; returns the other edits whose values moved.
    std::vector<Cell> EditChanged(int k, bool upper, const std::string& text);
    // A spin step: the threshold moves by -delta * 0.01 (normalised) and its edit's new text is
    // returned; the edit then reports its change as typed text.
    std::string Spin(int k, bool upper, int delta);

    // The unit check boxes after a click (their new checked states are passed); true when the
    // physical unit was refused, with the message shown.
    bool ImageUnitClicked(bool checked);
    bool PhysicalUnitClicked(bool checked);
    int GetUnit() const { return unit_; }
    bool sortedByValue = true;
    bool Modified() const { return modified_; }
    int GetState() const { return state_; }
    bool initialising = false;

    // Apply: writes the composition channels and their notes and tells the views. False, with a
    // message, when a row's composition channel is missing.
    bool Apply(const std::function<void(int)>& progress = {}, int threads = 0);

private:
    double ReadText(const std::string& text) const;
    void Tell(const std::string& text) const;

    CZunDoc* doc_ = nullptr;
    std::string inputName_;
    int inputIndex_ = -1;
    int last_ = -1;
    std::vector<double> lower_, upper_;
    double min_ = 0.0, max_ = 1.0;
    int unit_ = kImageUnit;
    int state_ = kReady;
    bool modified_ = false;
};

namespace thresholdmsg {
inline constexpr const char* kTooManyRows = "Number of composition channels %d too large. Truncated to %d";
inline constexpr const char* kRangeTooSmall = "Input channel value range (%g, %g) too small";
inline constexpr const char* kNoPhysicalUnit = "Unable to use physical unit for this input channel";
inline constexpr const char* kActivity = "performing threshold segmentation";
inline constexpr const char* kMissingComposition =
    "Composition channel '%s' not found. Threshold segmentation not performed.";
}  // namespace thresholdmsg

}  // namespace zun
