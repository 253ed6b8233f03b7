#include "view3d/viewcontrols.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zun {
namespace {

TEST(ViewControls, CheckVolumeDimensions) {
    EXPECT_EQ(CheckVolumeDimensions({2, 100, 50}), 1);
    EXPECT_EQ(CheckVolumeDimensions({100, 1, 50}), 1);
    EXPECT_EQ(CheckVolumeDimensions({100, 100, 40000}), 2);
    EXPECT_EQ(CheckVolumeDimensions({40000, 2, 0}), 2);  // a zero extent: not too thin, but too wide
    EXPECT_EQ(CheckVolumeDimensions({0, 2, 5}), 0);
    EXPECT_EQ(CheckVolumeDimensions({3, 3, 1}), 0);
    EXPECT_EQ(CheckVolumeDimensions({32767, 32767, 32767}), 0);
}

TEST(ViewControls, ArrowKeysStepPanOrTurn) {
    struct Case {
        ArrowKey key;
        bool ctrl, shift;
        ArrowAction::Kind kind;
        int pan;
    } cases[] = {
        {ArrowKey::Up, true, true, ArrowAction::kStepForward, 0},
        {ArrowKey::Down, true, true, ArrowAction::kStepBackward, 0},
        {ArrowKey::Up, true, false, ArrowAction::kPan, 1},
        {ArrowKey::Down, true, false, ArrowAction::kPan, 3},
        {ArrowKey::Right, true, true, ArrowAction::kPan, 2},  // Shift does not step sideways
        {ArrowKey::Left, true, false, ArrowAction::kPan, 4},
        {ArrowKey::Up, false, true, ArrowAction::kRotate, 0},
        {ArrowKey::Left, false, false, ArrowAction::kRotate, 0},
    };
    for (const Case& c : cases) {
        const ArrowAction a = ArrowKeyAction(c.key, c.ctrl, c.shift);
        EXPECT_EQ(a.kind, c.kind) << static_cast<int>(c.key) << c.ctrl << c.shift;
        EXPECT_EQ(a.pan, c.pan);
        if (a.kind == ArrowAction::kRotate) {
            EXPECT_EQ(a.rotate, c.key);
        }
    }
    // The keys' pan and the panel's movement go opposite ways sideways.
    EXPECT_FLOAT_EQ(PanStepOffset(2).dx, -0.3f);
    EXPECT_FLOAT_EQ(PanViewOffset(ArrowKey::Right).dx, -0.3f);
    EXPECT_FLOAT_EQ(PanViewOffset(ArrowKey::Left).dx, 0.3f);
    EXPECT_FLOAT_EQ(PanStepOffset(1).dy, -0.3f);
    EXPECT_FLOAT_EQ(PanViewOffset(ArrowKey::Down).dy, 0.3f);
    EXPECT_EQ(PanStepOffset(0).dx, 0.0f);
    const TrackballDrag up = RotateStepDrag(ArrowKey::Up), down = RotateStepDrag(ArrowKey::Down);
    EXPECT_FLOAT_EQ(up.y1, 0.1f);
    EXPECT_FLOAT_EQ(down.y0, 0.1f);
    EXPECT_FLOAT_EQ(RotateStepDrag(ArrowKey::Right).x0, 0.1f);
}

TEST(ViewControls, ZoomAndStereoToggles) {
    double d = 10;
    for (int i = 0; i < 3; ++i) d = ZoomInDistance(d);
    EXPECT_NEAR(d, 7.513148, 1e-6);
    for (int i = 0; i < 3; ++i) d = ZoomOutDistance(d);
    EXPECT_NEAR(d, 10.0, 1e-12);

    int mode = 2;
    mode = ToggleStereoMode(mode, 1);
    EXPECT_EQ(mode, 1);
    mode = ToggleStereoMode(mode, 1);
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(ToggleStereoMode(1, 3), 3);  // another mode switches over, not off
}

TEST(ViewControls, PanelStateFollowsTheSettings) {
    ViewSettings s;
    ControlPanelState p = PanelStateOf(s, -1);
    EXPECT_EQ(p.screen, 0);
    EXPECT_FALSE(p.eyeSwapEnabled);  // stereo off
    EXPECT_TRUE(p.boxVisible);
    EXPECT_TRUE(p.transparentChecked);
    s.stereoMode = 5;
    s.eyeSwap = true;
    s.boundingBoxFlags = kBoxTransparentBin;  // transparent, but the box hidden
    s.renderMode = kRenderGrayscale;
    p = PanelStateOf(s, 1);
    EXPECT_EQ(p.screen, 2);
    EXPECT_EQ(p.shader, 4);
    EXPECT_TRUE(p.interlaceHorizontal);
    EXPECT_FALSE(p.anaglyphic || p.quadBuffer || p.splitHorizontal);
    EXPECT_TRUE(p.eyeSwapChecked && p.eyeSwapEnabled);
    EXPECT_FALSE(p.transparentEnabled);
    EXPECT_FALSE(p.transparentChecked);

    EXPECT_EQ(ViewInfoText(1.5), "1.500000");
    EXPECT_EQ(ParseViewInfo(" 2.25", 9), 2.25);
    EXPECT_EQ(ParseViewInfo("abc", 9), 9);
    EXPECT_EQ(ParseViewInfo("3x", 9), 9);
    EXPECT_EQ(ParseViewInfo("", 9), 9);
}

TEST(ViewControls, AdvancedSliderAndSpinScales) {
    // Position 1 gives the minimum, not (max - min) / 999.
    EXPECT_FLOAT_EQ(SliderToValue(1, 0.005f, 0.15f), 0.005f);
    EXPECT_FLOAT_EQ(SliderToValue(1, 0.0f, 100.0f), 100.0f / 999.0f);
    EXPECT_FLOAT_EQ(SliderToValue(999, 0.01f, 1.0f), 0.99f);
    // The scale cannot quite reach its maximum from the minimum's offset: kept as it is.
    EXPECT_NEAR(SliderToValue(1000, 0.01f, 1.0f), 0.99099f, 1e-5);
    EXPECT_EQ(ValueToSlider(0.5f, 0.01f, 1.0f), 504);
    EXPECT_EQ(ValueToSlider(42.0f, 0.0f, 100.0f), 419);
    EXPECT_NEAR(SliderToValue(ValueToSlider(42.0f, 0, 100), 0, 100), 42.0f, 0.1f);

    EXPECT_EQ(SpinStep(10, 1, 0, 100), 11);
    EXPECT_EQ(SpinStep(10, 0, 0, 100), 9);
    EXPECT_EQ(SpinStep(100, 5, 0, 100), 100);
    EXPECT_EQ(SpinStep(0, -1, 0, 255), 0);

    EXPECT_FLOAT_EQ(AlphaOfSpin(50), 0.125f);
    EXPECT_EQ(SpinOfAlpha(0.125f), 50);
    EXPECT_FLOAT_EQ(AlphaOfSpin(33), 0.03594f);  // rounded to five decimals
    EXPECT_FLOAT_EQ(GreyWeightOfSpin(76), 0.29804f);
    EXPECT_EQ(SpinOfGreyWeight(0.299f), 76);
    EXPECT_FLOAT_EQ(TransparencyOfSpin(100), 1.0f);
    EXPECT_EQ(SpinOfTransparency(0.5f), 50);
    EXPECT_FLOAT_EQ(RoundTo5(0.123456f), 0.12346f);

    ViewSettings s;
    AdvancedEnables e = AdvancedEnablesOf(s);
    EXPECT_FALSE(e.eye || e.splitHorizontal || e.splitVertical || e.threshold || e.grey || e.quadBufferNote);
    s.stereoMode = 0;  // quad buffer on a display without it: the note, the mode kept
    s.renderMode = kRenderIso;
    e = AdvancedEnablesOf(s);
    EXPECT_TRUE(e.quadBufferNote && e.eye && e.threshold);
    s.quadBufferAvailable = true;
    s.stereoMode = 4;
    EXPECT_FALSE(AdvancedEnablesOf(s).quadBufferNote);
    EXPECT_TRUE(AdvancedEnablesOf(s).splitVertical);
}

TEST(ViewControls, ScreenListAndFullScreenGeometry) {
    const std::vector<ScreenInfo> screens{{true, 0, 0, 1920, 1080}, {false, 1920, 0, 3200, 1024}};
    const std::vector<std::string> texts = ScreenListTexts(screens);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], "Off");
    EXPECT_EQ(texts[1], "#0: 1920x1080");
    EXPECT_EQ(texts[2], "#1: 1280x1024");
    const PopupRect r = FullScreenPopupRect(screens[1]);
    EXPECT_EQ(r.x, 1920);
    EXPECT_EQ(r.y, 0);
    EXPECT_EQ(r.width, 1280);
    EXPECT_EQ(r.height, 1023);
    EXPECT_EQ(PanelLeft(500, 200), 300);
    EXPECT_EQ(PanelLeft(100, 200), 0);
}

}  // namespace
}  // namespace zun
