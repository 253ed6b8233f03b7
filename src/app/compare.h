#pragma once
// "Compare...": the samples of two open documents compared voxel for voxel, and the short report
// that says they are the same or where they first differ.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/image.h"

namespace zun {

inline constexpr const char* kCompareNeedsTwo = "Open at least two ZUN documents for comparison";

// The index of the first word where the two blocks differ, or n when they are equal. Stops
// early: blocks past a difference already found are not read.
std::uint64_t FirstDifference(const std::uint16_t* a, const std::uint16_t* b, std::uint64_t n);

// The report: "Same" with the channel count and the grid, or the first difference (channel
// count, then the grid X, Y, Z, then the first differing voxel word, flag bits included).
std::string CompareDocuments(const Image3d<std::uint16_t>& first, const std::string& firstTitle,
                             const std::string& secondTitle, const Image3d<std::uint16_t>& second);

// Which of the open documents (their titles in opening order) are compared: the first two,
// whatever they were read from (a document file, a data file, or none yet); nullopt when there
// are fewer than two.
std::optional<std::pair<int, int>> PickComparedDocuments(const std::vector<std::string>& titles);

}  // namespace zun
