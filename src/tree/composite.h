#pragma once
// The colour the program shows for one voxel: every channel whose slice item at the voxel's plane
// is displayed adds a data layer (coloured by its colour kind, weighted by its opacity ramp) and
// optional read-only and error overlays; the layers mix into one RGBA value over an optional
// background. Colours are 0x00BBGGRR; weights run 0..16383 (opaque).
//
// Preparing reads the display state once; compositing only reads prepared data and writes its own
// output, so it runs inside parallel voxel loops.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "document/dispspec.h"

namespace zun {

class ZunImage;
class DisplayTree;

inline constexpr int kOpaque = 16383;

struct WeightedColour {
    std::uint32_t colour = 0;
    int weight = 0;
};

// One contributing item (a slice item of one channel), ready for compositing.
struct ItemLayers {
    int layers = 0;                 // displayed layers (Data, RO, ERR); 0: contributes nothing
    std::int32_t displayItems = 0;  // Data 1, RO 2, ERR 4
    std::int32_t colourKind = 0;    // 0 single, 1 per bit, 2 spectrum, 3 per value
    std::int32_t includeFlags = 16;
    float low = 0, high = 1, opacityLow = 0, opacityHigh = 1;  // set through SetOpacity
    std::array<std::uint32_t, 3> colours{};                    // Data, RO, ERR after the scheme mapping
    DatcolBitSpec bits;
    DatcolValueSpec values;                 // its enabled lists are rebuilt
    std::vector<std::uint16_t> stopValues;  // the spectrum spread over the opacity thresholds
    std::vector<std::uint32_t> stopColours;
    const std::uint16_t* data = nullptr;  // the channel's voxel words (optional, see CompositeAt)
    const std::uint16_t* mask = nullptr;  // the mask channel's voxel words, or null
    // The data layer of every value 0..16383 worked out in advance (DataLayerTable), or null: the
    // volume fill shares one table among the slices of a channel that are displayed alike.
    const WeightedColour* dataTable = nullptr;

    // The opacity setting [low threshold, high threshold, opacity at low, opacity at high], with
    // the ramp worked out once for the voxel loops.
    void SetOpacity(float lo, float hi, float opLo, float opHi);

    // The ramp t = rampOffset + rampScale * v (a step at the threshold when both thresholds are
    // equal) and the values below lowCut or above highCut that count as outside the thresholds.
    double rampOffset = 0, rampScale = 1.0 / 16383;
    bool rampStep = false;
    int lowCut = 0, highCut = 16383;
};

// Layer functions of a value v in 0..16383.
int OpacityOf(const ItemLayers& item, unsigned v);
WeightedColour BitColourOf(const DatcolBaseSpec& bits, unsigned v);
WeightedColour ValueColourOf(const DatcolValueSpec& values, unsigned v);
WeightedColour SpectrumColourOf(const std::vector<std::uint16_t>& stops,
                                const std::vector<std::uint32_t>& colours, unsigned v);

// The data layer of a value: its colour and weight (0: the layer adds nothing).
WeightedColour DataLayerOf(const ItemLayers& item, unsigned v);
// The data layer of every value 0..16383, for ItemLayers::dataTable.
std::vector<WeightedColour> DataLayerTable(const ItemLayers& item);
// Whether two prepared items show every value's data layer alike.
bool SameDataLayer(const ItemLayers& a, const ItemLayers& b);

// Fills the prepared item from a display specification and returns the number of displayed
// layers. The mask is the channel named by the boundary mask when the mask is on and the sample
// has it; colours pass through the view option's colour scheme.
int PrepareItemColours(const DispSpec& spec, const ZunImage* sample, int viewOption, ItemLayers& out);

// The composite of one voxel. words[k] is the voxel word of items[k]'s channel, voxel the
// voxel's index in the sample (for the masks); only the first nonBoundary items add overlays.
// Writes red, green, blue and alpha to out.
void CompositeVoxelColour(const ItemLayers* items, int count, const std::uint16_t* words, std::size_t voxel,
                          const std::uint32_t* background, int nonBoundary, int viewOption,
                          std::uint8_t* out);

// Everything that composites the voxels of one plane of the sample.
struct SliceLayers {
    std::vector<ItemLayers> items;  // one per channel, in channel order
    int nonBoundary = 0;
    int viewOption = 0;
    bool hasBackground = false;
    std::uint32_t background = 0;
    // True when no item displays anything (every voxel is transparent, or the background).
    bool Empty() const;
};

// Prepares the slice items at plane z of every channel of the tree (the channel's voxel words
// read from the sample), ready for CompositeAt.
void CollectSliceLayers(const DisplayTree& tree, const ZunImage& sample, int z, SliceLayers& out);

// The composite of the sample voxel at index voxel, reading each item's word from its channel.
void CompositeAt(const SliceLayers& slice, std::size_t voxel, std::uint8_t* out);

}  // namespace zun
