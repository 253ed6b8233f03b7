#pragma once
// The content of a binary or text data file: the sample grid, the channels with their raw voxel
// words, and the settings a text file carries. The document fills itself from it and writes it
// from itself; the file formats know nothing of the document.

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace zun {

// A refusal of a data file; what() is the message the user sees.
class DataFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct DataChannel {
    std::string name;
    std::int32_t kind = 0;  // 0 composition, 1 X-ray CT, 2 property, 3 boundary
    float rangeMin = 0;
    float rangeMax = 1;
    // nx * ny * (number of planes) words, x fastest, then y, then z; flags included.
    std::vector<std::uint16_t> words;
    bool operator==(const DataChannel&) const = default;
};

struct DataCompound {
    std::int32_t channel = 0;  // index among the file's channels
    std::string formula;
    double density = 0;
    bool operator==(const DataCompound&) const = default;
};

struct DataDocument {
    std::uint32_t nx = 0, ny = 0, nz = 0;
    std::string notes;  // LF line ends
    std::int32_t method = 1;
    std::int32_t coefficientKind = 0;
    double multiplier = 1e-6, sx = 1, sy = 1, sz = 1;  // the unit (m), then the voxel size in it
    std::vector<DataChannel> channels;
    std::vector<DataCompound> compounds;
    std::map<std::int32_t, double> beamEnergies;  // channel index -> keV (CT channels)
    std::map<std::int32_t, double> accuracies;    // channel index -> accuracy
    // Slice files: the planes the file holds (empty: all nz planes).
    std::vector<std::uint32_t> slices;

    std::size_t PlaneWords() const { return std::size_t(nx) * ny; }
    std::size_t PlaneCount() const { return slices.empty() ? nz : slices.size(); }
    bool operator==(const DataDocument&) const = default;
};

// Checks the channel list: at least one channel, kinds 0..3, distinct non-empty names, and for a
// whole document (documentOrder) the first channel a composition and the kinds in non-decreasing
// order. Returns the reason of the first failure, empty when sound.
std::string CheckChannelList(const std::vector<DataChannel>& channels, bool documentOrder = true);

}  // namespace zun
