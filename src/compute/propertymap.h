#pragma once
// Voxel kernels of the scalar property methods and the writing of a property channel.

#include <cstdint>

namespace zun {

enum class ScalarFormula {
    Arithmetic,  // Σ f_i p_i: parallel layers; also the scalar extrapolation with p_i = weights
    Harmonic,    // 1 / Σ f_i / p_i: layers in series
    Geometric,   // Π p_i^f_i: isotropic mixture, between the two bounds
};

// Property of voxels [begin, end) from the composition words (one block per composition) and one
// coefficient per composition, into out[begin..end). The fractions are the words' values over
// 16383, divided by their sum; a voxel whose fractions sum to 0 gets 0. A coefficient of 0 on a
// present composition makes the harmonic mean 0. Returns true when the geometric mean met a
// coefficient <= 0 on a present composition and took the arithmetic mean for that voxel.
bool ComputeScalarProperty(const std::uint16_t* const* compositions, int count, const double* coefficients,
                           ScalarFormula formula, std::uint64_t begin, std::uint64_t end, float* out,
                           int threads);

struct PropertyRange {
    float min = 0.0f;
    float max = 1.0f;
};

// Encodes the values into the property channel's words. Voxels that are read-only, or outside
// the boundary (when one is given: inside means a value of at least half the range), keep their
// physical value under the old range; the others take their value from `values`. The new range
// spans both (max = min + 1 when they coincide); every word is re-encoded with the read-only bit
// kept and the error bit cleared. Returns the new range.
PropertyRange WritePropertyChannel(std::uint16_t* words, std::uint64_t n, const float* values,
                                   const std::uint16_t* boundary, PropertyRange old, int threads);

// True when a boundary word marks the voxel inside.
inline bool InsideBoundary(std::uint16_t word) {
    return (word & 0x3FFF) >= 8192;
}

}  // namespace zun
