#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zun::script {

class Value;

// Which part of a voxel word a view reads and writes.
enum class VoxelField { Bare, Val, Raw, Log, Phys, Ro, Err, Data, Flags, All };

// One operand of a random block: a dense buffer of numbers in element order, or (data null) a
// number standing for every element.
struct RandomOperand {
    const unsigned char* data = nullptr;
    int type = 0;
    int elementBytes = 0;
    double constant = 0.0;
};

// Ints in element order: count of them from first in steps of step (a range, or with step 0 a
// single number), the first of them element `start` of the whole.
struct IntRun {
    int64_t start = 0;
    int64_t first = 0;
    int64_t step = 0;
    int64_t count = 0;
};

// Where in runs (in element order, none empty) element index is.
inline size_t RunIndex(const std::vector<IntRun>& runs, int64_t index) {
    const auto after = std::upper_bound(runs.begin(), runs.end(), index,
                                        [](int64_t i, const IntRun& r) { return i < r.start; });
    return static_cast<size_t>(after - runs.begin()) - 1;
}
inline int32_t RunElement(const IntRun& run, int64_t index) {
    return static_cast<int32_t>(run.first + (index - run.start) * run.step);
}

// A value seen as a flat block of elements in the language's element order, for the bulk
// kernels: a scalar broadcast to every element, a run of voxel words, a dense buffer, or random
// numbers (each element read once draws the generator's next number), or ints made from runs as
// they are read (a range, or a list of ranges and ints).
struct Block {
    enum Kind { kScalar, kWords, kDense, kRandom, kRuns } kind = kScalar;
    int type = 0;               // element type code of every element
    std::vector<int64_t> dims;  // lengths, first (fastest) first; empty for a scalar
    int64_t count = 1;
    Value* scalar = nullptr;    // kScalar
    uint16_t* words = nullptr;  // kWords
    VoxelField field = VoxelField::Bare;
    float min = 0.0f, max = 0.0f;
    unsigned char* data = nullptr;  // kDense
    int elementBytes = 0;
    RandomOperand scale, shift;                 // kRandom: draw / 32767 * scale + shift
    const std::vector<IntRun>* runs = nullptr;  // kRuns: elements of type int
};

}  // namespace zun::script
