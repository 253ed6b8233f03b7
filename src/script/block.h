#pragma once

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

// A value seen as a flat block of elements in the language's element order, for the bulk
// kernels: a scalar broadcast to every element, a run of voxel words, a dense buffer, or random
// numbers (each element read once draws the generator's next number).
struct Block {
    enum Kind { kScalar, kWords, kDense, kRandom } kind = kScalar;
    int type = 0;               // element type code of every element
    std::vector<int64_t> dims;  // lengths, first (fastest) first; empty for a scalar
    int64_t count = 1;
    Value* scalar = nullptr;    // kScalar
    uint16_t* words = nullptr;  // kWords
    VoxelField field = VoxelField::Bare;
    float min = 0.0f, max = 0.0f;
    unsigned char* data = nullptr;  // kDense
    int elementBytes = 0;
    RandomOperand scale, shift;  // kRandom: draw / 32767 * scale + shift
};

}  // namespace zun::script
