#include "tree/composite.h"

#include <gtest/gtest.h>

#include <array>

#include "tree/colourscheme.h"
#include "tree/displaystate.h"
#include "tree/treefixture.h"

namespace zun {
namespace {

using Rgba = std::array<int, 4>;

constexpr std::uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000;

ItemLayers Single(std::uint32_t colour, std::array<float, 4> opacity = {0, 1, 0, 1}, int items = 1) {
    ItemLayers it;
    it.layers = 1;
    it.displayItems = items;
    it.colourKind = 0;
    it.colours = {colour, 0x00FFFF, 0xFF00FF};
    it.SetOpacity(opacity[0], opacity[1], opacity[2], opacity[3]);
    return it;
}

Rgba Mix(const std::vector<ItemLayers>& items, std::vector<std::uint16_t> words,
         const std::uint32_t* bg = nullptr, int nonBoundary = 99, std::size_t voxel = 0, int viewOption = 0) {
    std::uint8_t out[4];
    CompositeVoxelColour(items.data(), static_cast<int>(items.size()), words.data(), voxel, bg,
                         std::min<int>(nonBoundary, static_cast<int>(items.size())), viewOption, out);
    return {out[0], out[1], out[2], out[3]};
}

TEST(Composite, SingleColourBackgroundAndThresholds) {
    const std::vector<ItemLayers> red{Single(kRed)};
    EXPECT_EQ(Mix(red, {16383}), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(Mix(red, {0}), (Rgba{0, 0, 0, 0}));
    // A transparent voxel shows the background unchanged.
    const std::uint32_t bg = 0x336699;
    EXPECT_EQ(Mix(red, {0}, &bg), (Rgba{0x99, 0x66, 0x33, 0}));
    // Half opacity over a green background: the normalisation keeps the brightest component full.
    EXPECT_EQ(Mix({Single(kRed, {0, 1, 0, 0.5f})}, {16383}, &kGreen), (Rgba{255, 255, 0, 127}));

    // Below the low threshold only with Inc Lower, at the clamped ramp.
    ItemLayers ramp = Single(kRed, {0.5f, 1, 0.6f, 1});
    ramp.includeFlags = 16;
    EXPECT_EQ(Mix({ramp}, {4096}), (Rgba{0, 0, 0, 0}));
    ramp.includeFlags = 18;
    EXPECT_EQ(OpacityOf(ramp, 4096), 6553);
    EXPECT_EQ(Mix({ramp}, {4096})[3], 102);
    // Above the high threshold only with Inc Upper.
    ItemLayers upper = Single(kRed, {0, 0.5f, 0, 1});
    upper.includeFlags = 0;
    EXPECT_EQ(OpacityOf(upper, 16383), 0);
    upper.includeFlags = 16;
    EXPECT_EQ(OpacityOf(upper, 16383), 16383);

    // Equal thresholds make a step instead of a division by zero.
    ItemLayers step = Single(kRed, {0.5f, 0.5f, 0.25f, 1});
    step.includeFlags = 18;
    EXPECT_EQ(OpacityOf(step, 16383), 16383);
    EXPECT_EQ(OpacityOf(step, 100), static_cast<int>(0.25 * 16383 + 0.49));
}

TEST(Composite, OpaqueLayersMixAtFullStrength) {
    EXPECT_EQ(Mix({Single(kRed), Single(kBlue)}, {16383, 16383}), (Rgba{255, 0, 255, 255}));
    // A hidden item and a masked-out item add nothing, not even overlays.
    ItemLayers hidden = Single(kBlue, {0, 1, 0, 1}, 0);
    hidden.layers = 0;
    const std::uint16_t maskWords[2] = {0, 7};
    ItemLayers masked = Single(kBlue, {0, 1, 0, 1}, 7);
    masked.mask = maskWords;
    EXPECT_EQ(Mix({Single(kRed), hidden, masked}, {16383, 16383, 16383 | 0xC000}), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(Mix({Single(kRed), hidden, masked}, {16383, 16383, 16383}, nullptr, 99, 1),
              (Rgba{255, 0, 255, 255}));
}

TEST(Composite, OverlaysOnlyForChannelsBeforeTheBoundaries) {
    ItemLayers ro = Single(kRed, {0, 1, 0, 1}, DispSpec::kItemRo);
    const std::uint16_t roWord = 0x4000 | 5;
    EXPECT_EQ(Mix({ro}, {roWord}), (Rgba{255, 255, 0, 255}));  // the RO colour, opaque
    EXPECT_EQ(Mix({ro}, {roWord}, nullptr, 0), (Rgba{0, 0, 0, 0}));
    ItemLayers err = Single(kRed, {0, 1, 0, 1}, DispSpec::kItemErr);
    EXPECT_EQ(Mix({err}, {0x8000}), (Rgba{255, 0, 255, 255}));
    EXPECT_EQ(Mix({err}, {0x4000}), (Rgba{0, 0, 0, 0}));
}

TEST(Composite, BitValueAndSpectrumColours) {
    DatcolBitSpec bits;
    bits.enables[0] = bits.enables[2] = 1;
    bits.colours[0] = kRed;
    bits.opacities[0] = 1.0f;
    bits.colours[2] = kBlue;
    bits.opacities[2] = 0.5f;
    WeightedColour b = BitColourOf(bits, 0b101);
    EXPECT_EQ(b.colour, kRed | (127u << 16));
    EXPECT_EQ(b.weight, 16383);
    EXPECT_EQ(BitColourOf(bits, 0b100).weight, 8191);
    EXPECT_EQ(BitColourOf(bits, 0b010).weight, 0);

    DatcolValueSpec values;
    for (int i = 0; i < 3; ++i) {
        values.enables[i] = 1;
        values.colours[i] = DatcolPaletteColour(i);
        values.opacities[i] = 1.0f;
    }
    values.RebuildDerivedLists();
    EXPECT_EQ(ValueColourOf(values, 1).colour, DatcolPaletteColour(0));
    EXPECT_EQ(ValueColourOf(values, 4).colour, DatcolPaletteColour(0));
    EXPECT_EQ(ValueColourOf(values, 7).colour, DatcolPaletteColour(0));
    EXPECT_EQ(ValueColourOf(values, 5).colour, DatcolPaletteColour(1));
    EXPECT_EQ(ValueColourOf(values, 0).weight, 0);
    values.toEnabled = 1;
    values.toValue = 4;
    EXPECT_EQ(ValueColourOf(values, 5).weight, 0);
    EXPECT_EQ(ValueColourOf(values, 4).weight, 16383);

    const std::vector<std::uint16_t> stops{100, 200, 300};
    const std::vector<std::uint32_t> colours{kRed, kBlue, kGreen};
    EXPECT_EQ(SpectrumColourOf(stops, colours, 0).weight, 0);
    EXPECT_EQ(SpectrumColourOf(stops, colours, 50).colour, kRed);
    EXPECT_EQ(SpectrumColourOf(stops, colours, 200).colour, kBlue);
    EXPECT_EQ(SpectrumColourOf(stops, colours, 999).colour, kGreen);
    EXPECT_EQ(SpectrumColourOf(stops, colours, 150).colour, kRed | kBlue);
    EXPECT_EQ(SpectrumColourOf(stops, colours, 125).colour, kRed | (85u << 16));
    EXPECT_EQ(SpectrumColourOf(stops, colours, 125).weight, 16383);
}

TEST(Composite, PreparedFromTheTreeAndTheSample) {
    SampleSpec spec;
    spec.nz = 2;
    auto sample = MakeSample(spec);
    DisplayTree tree;
    tree.Build(*sample, "doc");
    TreeNode* iron = tree.FindChannel("Iron");
    TreeNode* ct = tree.FindChannel("ct_1");
    DataColourFamily::SetOfSubtree(tree, iron, {kRed, kGreen, kBlue});
    OpacityFamily::SetOfSubtree(tree, iron, {0, 1, 0, 1});
    // The CT channel shows a spectrum through a boundary mask.
    DisplayItemsFamily::SetOfSubtree(tree, ct, 1);
    ColourKindFamily::SetOfSubtree(tree, ct, 2);
    BoundaryMaskFamily::SetOfSubtree(tree, ct, {1, "bound_1"});

    const int iIron = sample->FindChanIndex("Iron"), iCt = sample->FindChanIndex("ct_1"),
              iBound = sample->FindChanIndex("bound_1");
    const std::size_t plane = 4 * 3, at = plane + 5;  // slice 1
    sample->GetChan(iIron)->Data()[at] = 16383;
    sample->GetChan(iCt)->Data()[at] = 16383;
    SliceLayers layers;
    CollectSliceLayers(tree, *sample, 1, layers);
    ASSERT_EQ(layers.items.size(), 4u);
    EXPECT_EQ(layers.nonBoundary, 3);
    EXPECT_EQ(layers.items[0].layers, 0);  // "Void" is hidden
    std::uint8_t out[4];
    CompositeAt(layers, at, out);
    EXPECT_EQ((Rgba{out[0], out[1], out[2], out[3]}), (Rgba{255, 0, 0, 255}));  // mask is 0 here
    sample->GetChan(iBound)->Data()[at] = 16383;
    CompositeAt(layers, at, out);
    // The spectrum's last stop (red) mixed with the data colour red.
    EXPECT_EQ((Rgba{out[0], out[1], out[2], out[3]}), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(layers.items[iCt].stopValues.back(), 16383);
    EXPECT_EQ(layers.items[iCt].stopValues.front(), static_cast<std::uint16_t>(0.05f * 16383));
    // A background shows where nothing is displayed; a plane past the end prepares nothing.
    layers.hasBackground = true;
    layers.background = 0x102030;
    CompositeAt(layers, 0, out);
    EXPECT_EQ((Rgba{out[0], out[1], out[2], out[3]}), (Rgba{0x30, 0x20, 0x10, 0}));
    CollectSliceLayers(tree, *sample, 7, layers);
    EXPECT_TRUE(layers.Empty());
}

TEST(ColourScheme, RgbIsIdentityAndRybMixesPaint) {
    EXPECT_EQ(ColourSchemeMap(0x123456, ColourScheme::Rgb), 0x123456u);
    EXPECT_EQ(ColourSchemeMap(0x0000FF, ColourScheme::RybPaint), 0x0000FFu);  // red stays red
    EXPECT_EQ(ColourSchemeMap(0x00FFFF, ColourScheme::RybPaint), 0x0080FFu);  // red + yellow: orange
    EXPECT_EQ(ColourSchemeMap(0x000000, ColourScheme::RybPaint), 0xFFFFFFu);  // no paint: white
    EXPECT_EQ(ColourSchemeMap(0x000000, ColourScheme::RybNormal), 0x000000u);
    EXPECT_EQ(ColourSchemeMap(0xFFFFFF, ColourScheme::RybNormal), 0xFFFFFFu);
    EXPECT_EQ(ColourSchemeMapComposite(0x00FF00, true), ColourSchemeMap(0x00FF00, ColourScheme::RybPaint));
    EXPECT_EQ(ColourSchemeOfViewOption(7), ColourScheme::Rgb);
}

}  // namespace
}  // namespace zun
