#include "tree/composite.h"

#include <algorithm>
#include <cmath>

#include "model/sample.h"
#include "tree/colourscheme.h"
#include "tree/displaytree.h"

namespace zun {

namespace {

inline unsigned Red(std::uint32_t c) {
    return c & 0xFF;
}
inline unsigned Green(std::uint32_t c) {
    return (c >> 8) & 0xFF;
}
inline unsigned Blue(std::uint32_t c) {
    return (c >> 16) & 0xFF;
}
inline unsigned Brightest(std::uint32_t c) {
    return std::max({Red(c), Green(c), Blue(c)});
}

inline int Percent(float opacity) {
    return static_cast<int>(std::floor(opacity * 100.0 + 0.49));
}

// Weighted colour sums: the mix keeps the brightest component equal to the weighted mean of the
// layers' brightest components, so two opaque primaries mix to a full-strength secondary.
struct ColourSums {
    std::int64_t r = 0, g = 0, b = 0, brightest = 0, weight = 0;

    void Add(std::uint32_t c, std::int64_t w) {
        r += Red(c) * w;
        g += Green(c) * w;
        b += Blue(c) * w;
        brightest += Brightest(c) * w;
        weight += w;
    }
    std::uint32_t Colour() const {
        const std::int64_t m = std::max({r, g, b});
        if (m == 0 || weight == 0) return 0;
        const double s = static_cast<double>(static_cast<float>(brightest) / static_cast<float>(m)) /
                         static_cast<double>(weight);
        auto channel = [s](std::int64_t sum) {
            return static_cast<std::uint32_t>(
                std::min(255.0, static_cast<double>(sum) * s + 0.49));  // sums are >= 0: truncation floors
        };
        return channel(r) | (channel(g) << 8) | (channel(b) << 16);
    }
};

template <class WordAt>
void Composite(const ItemLayers* items, int count, WordAt wordAt, std::size_t voxel,
               const std::uint32_t* background, int nonBoundary, int viewOption, std::uint8_t* out) {
    ColourSums sums;
    std::int64_t opacityTotal = 0;
    auto add = [&](const WeightedColour& l) {
        if (l.weight <= 0) return;
        opacityTotal += l.weight;
        sums.Add(l.colour, l.weight);
    };
    for (int k = 0; k < count; ++k) {
        const ItemLayers& it = items[k];
        if (it.layers == 0 || it.displayItems == 0) continue;
        const unsigned word = wordAt(k);
        const unsigned v = word & 0x3FFF;
        const bool passes = !it.mask || it.mask[voxel] != 0;
        if (!passes) continue;
        if (it.displayItems & DispSpec::kItemData) add(it.dataTable ? it.dataTable[v] : DataLayerOf(it, v));
        if (k < nonBoundary) {
            if ((it.displayItems & DispSpec::kItemRo) && (word & 0x4000))
                add({it.colours[1], OpacityOf(it, kOpaque)});
            if ((it.displayItems & DispSpec::kItemErr) && (word & 0x8000))
                add({it.colours[2], OpacityOf(it, kOpaque)});
        }
    }
    if (background) {
        opacityTotal = std::min<std::int64_t>(opacityTotal, kOpaque);
        const std::int64_t wb = kOpaque - opacityTotal;
        if (wb > 0) sums.Add(*background & 0xFFFFFF, wb);
    }
    std::uint32_t colour = sums.Colour();
    if (viewOption != 0) colour = ColourSchemeMapComposite(colour, viewOption != 1);
    out[0] = static_cast<std::uint8_t>(Red(colour));
    out[1] = static_cast<std::uint8_t>(Green(colour));
    out[2] = static_cast<std::uint8_t>(Blue(colour));
    const std::int64_t alpha =
        (opacityTotal * 255 * 100 + kOpaque * 49) / (kOpaque * 100);  // floor(x + 0.49)
    out[3] = static_cast<std::uint8_t>(std::min<std::int64_t>(255, alpha));
}

}  // namespace

void ItemLayers::SetOpacity(float lo, float hi, float opLo, float opHi) {
    low = lo;
    high = hi;
    opacityLow = opLo;
    opacityHigh = opHi;
    const double dlo = lo, dhi = hi, oplo = opLo, ophi = opHi;
    // Equal thresholds would divide by zero: the ramp becomes a step at the threshold.
    rampStep = std::fabs(dhi - dlo) < 1e-6;
    if (!rampStep) {
        rampScale = (ophi - oplo) / (dhi - dlo) / kOpaque;
        rampOffset = oplo - (ophi - oplo) * dlo / (dhi - dlo);
    }
    // The thresholds compare the value as a float fraction: find the cuts in whole values.
    auto below = [lo](unsigned v) { return static_cast<float>(v) / kOpaque < lo - 1e-5f; };
    auto above = [hi](unsigned v) { return static_cast<float>(v) / kOpaque > hi + 1e-5f; };
    unsigned a = 0, b = kOpaque + 1;  // first value not below
    while (a < b) {
        const unsigned m = (a + b) / 2;
        if (below(m))
            a = m + 1;
        else
            b = m;
    }
    lowCut = static_cast<int>(a);
    a = 0;
    b = kOpaque + 1;  // first value above, so highCut = that - 1
    while (a < b) {
        const unsigned m = (a + b) / 2;
        if (above(m))
            b = m;
        else
            a = m + 1;
    }
    highCut = static_cast<int>(a) - 1;
}

int OpacityOf(const ItemLayers& item, unsigned v) {
    double t;
    if (item.rampStep)
        t = static_cast<double>(v) / kOpaque >= item.low ? item.opacityHigh : item.opacityLow;
    else
        t = item.rampOffset + item.rampScale * v;
    if (!(t >= 0.0)) t = 0.0;  // also a NaN from a damaged setting
    if (t > 1.0) t = 1.0;
    const int w = static_cast<int>(t * kOpaque + 0.49);
    if (static_cast<int>(v) < item.lowCut) return (item.includeFlags & 2) ? w : 0;
    if (static_cast<int>(v) > item.highCut) return (item.includeFlags & 16) ? w : 0;
    return w;
}

WeightedColour BitColourOf(const DatcolBaseSpec& bits, unsigned v) {
    ColourSums sums;
    int largest = 0;
    for (int i = 0; i < DatcolBaseSpec::kEntries; ++i) {
        if (!bits.enables[i] || !(v & (1u << i))) continue;
        const int p = Percent(bits.opacities[i]);
        if (p <= 0) continue;
        sums.Add(bits.colours[i], p);
        largest = std::max(largest, p);
    }
    return {sums.Colour(), std::min(largest, 100) * kOpaque / 100};
}

WeightedColour ValueColourOf(const DatcolValueSpec& values, unsigned v) {
    const std::size_t n = std::min(values.enabledColours.size(), values.enabledOpacities.size());
    if (n == 0 || v == 0) return {};
    if (values.fromEnabled && v < values.fromValue) return {};
    if (values.toEnabled && v > values.toValue) return {};
    const std::size_t i = (v - 1) % n;
    const int p = std::clamp(Percent(values.enabledOpacities[i]), 0, 100);
    return {values.enabledColours[i] & 0xFFFFFF, p * kOpaque / 100};
}

WeightedColour SpectrumColourOf(const std::vector<std::uint16_t>& stops,
                                const std::vector<std::uint32_t>& colours, unsigned v) {
    const std::size_t n = std::min(stops.size(), colours.size());
    if (v == 0 || n == 0) return {};
    if (n == 1 || v <= stops[0]) return {colours[0] & 0xFFFFFF, kOpaque};
    if (v >= stops[n - 1]) return {colours[n - 1] & 0xFFFFFF, kOpaque};
    std::size_t i = 1;
    while (i < n && stops[i] <= v) {
        if (stops[i] == v) return {colours[i] & 0xFFFFFF, kOpaque};
        ++i;
    }
    const std::int64_t span = static_cast<std::int64_t>(stops[i]) - stops[i - 1];
    if (span <= 0) return {colours[i] & 0xFFFFFF, kOpaque};
    ColourSums sums;
    for (std::size_t j : {i - 1, i}) {
        const std::int64_t d = std::llabs(static_cast<std::int64_t>(stops[j]) - static_cast<std::int64_t>(v));
        sums.Add(colours[j] & 0xFFFFFF, 10000 - d * 10000 / span);
    }
    return {sums.Colour(), kOpaque};
}

WeightedColour DataLayerOf(const ItemLayers& it, unsigned v) {
    switch (it.colourKind) {
        case 0:
            return {it.colours[0], OpacityOf(it, v)};
        case 1:
            return BitColourOf(it.bits, v);
        case 2: {
            const WeightedColour c = SpectrumColourOf(it.stopValues, it.stopColours, v);
            return c.weight > 0 ? WeightedColour{c.colour, OpacityOf(it, v)} : WeightedColour{};
        }
        case 3:
            return ValueColourOf(it.values, v);
        default:
            return {};
    }
}

std::vector<WeightedColour> DataLayerTable(const ItemLayers& item) {
    std::vector<WeightedColour> table(kOpaque + 1);
    for (unsigned v = 0; v <= static_cast<unsigned>(kOpaque); ++v) table[v] = DataLayerOf(item, v);
    return table;
}

bool SameDataLayer(const ItemLayers& a, const ItemLayers& b) {
    if ((a.displayItems & DispSpec::kItemData) != (b.displayItems & DispSpec::kItemData) ||
        a.colourKind != b.colourKind)
        return false;
    switch (a.colourKind) {
        case 0:
        case 2:
            if (a.colours[0] != b.colours[0] || a.low != b.low || a.high != b.high ||
                a.opacityLow != b.opacityLow || a.opacityHigh != b.opacityHigh ||
                a.includeFlags != b.includeFlags)
                return false;
            return a.colourKind == 0 || (a.stopValues == b.stopValues && a.stopColours == b.stopColours);
        case 1:
            return a.bits == b.bits;
        case 3:
            return a.values == b.values;
        default:
            return true;
    }
}

int PrepareItemColours(const DispSpec& spec, const ZunImage* sample, int viewOption, ItemLayers& out) {
    const DispSpec::Displayed& d = spec.shown;
    out.displayItems = d.displayItems & 7;
    out.layers =
        ((out.displayItems & 1) != 0) + ((out.displayItems & 2) != 0) + ((out.displayItems & 4) != 0);
    out.mask = nullptr;
    if (out.layers == 0) return 0;
    if (d.maskState != 0 && sample) {
        const int m = sample->FindChanIndex(d.maskName);
        if (m >= 0) out.mask = sample->GetChan(m)->Data();
    }
    const ColourScheme scheme = ColourSchemeOfViewOption(viewOption);
    for (std::size_t i = 0; i < 3; ++i) {
        std::uint32_t c = i < d.displayColours.size() ? d.displayColours[i] : 0;
        out.colours[i] = viewOption != 0 ? ColourSchemeMap(c, scheme) : (c & 0xFFFFFF);
    }
    out.colourKind = d.colourKind;
    out.includeFlags = d.includeFlags;
    out.SetOpacity(d.opacity.size() > 0 ? d.opacity[0] : 0.0f, d.opacity.size() > 1 ? d.opacity[1] : 1.0f,
                   d.opacity.size() > 2 ? d.opacity[2] : 0.0f, d.opacity.size() > 3 ? d.opacity[3] : 1.0f);
    out.bits.Assign(d.bitSpec);
    out.values.Assign(d.valueSpec);
    out.values.RebuildDerivedLists();
    out.stopValues.clear();
    out.stopColours.clear();
    if ((out.displayItems & DispSpec::kItemData) && out.colourKind == 2) {
        DatcolMultiSpec spread = d.multiSpec;
        auto at = [](float f) { return static_cast<unsigned>(std::clamp(f, 0.0f, 1.0f) * kOpaque); };
        DataDisplaySpreadColourStops(spread, at(out.low), at(out.high));
        out.stopValues = std::move(spread.stopValues);
        out.stopColours = std::move(spread.stopColours);
    }
    return out.layers;
}

void CompositeVoxelColour(const ItemLayers* items, int count, const std::uint16_t* words, std::size_t voxel,
                          const std::uint32_t* background, int nonBoundary, int viewOption,
                          std::uint8_t* out) {
    Composite(
        items, count, [words](int k) { return static_cast<unsigned>(words[k]); }, voxel, background,
        nonBoundary, viewOption, out);
}

bool SliceLayers::Empty() const {
    for (const ItemLayers& it : items)
        if (it.layers) return false;
    return true;
}

void CollectSliceLayers(const DisplayTree& tree, const ZunImage& sample, int z, SliceLayers& out) {
    out.items.clear();
    out.nonBoundary = 0;
    out.viewOption = tree.viewOption;
    const TreeNode* root = tree.Root();
    if (!root || z < 0) return;
    out.items.resize(root->children.size());
    for (std::size_t k = 0; k < root->children.size(); ++k) {
        const TreeNode* chanItem = root->children[k].get();
        ItemLayers& it = out.items[k];
        if (!chanItem->IsBoundaryChannel()) ++out.nonBoundary;
        const ZunChan* chan = sample.FindChan(DisplayTree::GetItemName(chanItem));
        const TreeNode* slice = tree.FindSlice(chanItem, static_cast<std::uint32_t>(z));
        if (!chan || !slice || !chan->Data() || z >= chan->nz) continue;
        PrepareItemColours(slice->spec, &sample, out.viewOption, it);
        it.data = chan->Data();
    }
}

void CompositeAt(const SliceLayers& slice, std::size_t voxel, std::uint8_t* out) {
    const ItemLayers* items = slice.items.data();
    Composite(
        items, static_cast<int>(slice.items.size()),
        [items, voxel](int k) { return items[k].data ? static_cast<unsigned>(items[k].data[voxel]) : 0u; },
        voxel, slice.hasBackground ? &slice.background : nullptr, slice.nonBoundary, slice.viewOption, out);
}

}  // namespace zun
