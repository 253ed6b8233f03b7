#include "view3d/viewcontrols.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zun {

int CheckVolumeDimensions(const std::array<int, 3>& d) {
    if (d[0] != 0 && d[1] != 0 && d[2] != 0 && (d[0] < 3 || d[1] < 3)) return 1;
    if (d[0] > 32767 || d[1] > 32767 || d[2] > 32767) return 2;
    return 0;
}

ArrowAction ArrowKeyAction(ArrowKey key, bool ctrl, bool shift) {
    ArrowAction a;
    switch (key) {
        case ArrowKey::Up:
        case ArrowKey::Down:
            if (ctrl && shift) {
                a.kind = key == ArrowKey::Up ? ArrowAction::kStepForward : ArrowAction::kStepBackward;
            } else if (ctrl) {
                a.kind = ArrowAction::kPan;
                a.pan = key == ArrowKey::Up ? 1 : 3;
            } else {
                a.kind = ArrowAction::kRotate;
                a.rotate = key;
            }
            break;
        case ArrowKey::Left:
        case ArrowKey::Right:
            if (ctrl) {
                a.kind = ArrowAction::kPan;
                a.pan = key == ArrowKey::Right ? 2 : 4;
            } else {
                a.kind = ArrowAction::kRotate;
                a.rotate = key;
            }
            break;
    }
    return a;
}

TrackballDrag RotateStepDrag(ArrowKey direction) {
    switch (direction) {
        case ArrowKey::Up:
            return {0, 0, 0, 0.1f};
        case ArrowKey::Down:
            return {0, 0.1f, 0, 0};
        case ArrowKey::Left:
            return {0, 0, 0.1f, 0};
        case ArrowKey::Right:
            return {0.1f, 0, 0, 0};
    }
    return {};
}

PanOffset PanStepOffset(int direction) {
    const float d = 3.0f * 0.1f;
    switch (direction) {
        case 1:
            return {0, -d};
        case 2:
            return {-d, 0};
        case 3:
            return {0, d};
        case 4:
            return {d, 0};
        default:
            return {};
    }
}

PanOffset PanViewOffset(ArrowKey direction) {
    const float d = 3.0f * 0.1f;
    switch (direction) {
        case ArrowKey::Up:
            return {0, -d};
        case ArrowKey::Down:
            return {0, d};
        case ArrowKey::Left:
            return {d, 0};
        case ArrowKey::Right:
            return {-d, 0};
    }
    return {};
}

ControlPanelState PanelStateOf(const ViewSettings& s, int monitorIndex) {
    ControlPanelState p;
    p.shader = std::clamp(s.renderMode, 0, 4);
    p.screen = monitorIndex + 1;
    p.quadBuffer = s.stereoMode == 0;
    p.anaglyphic = s.stereoMode == 1;
    p.interlaceHorizontal = s.stereoMode == 5;
    p.splitHorizontal = s.stereoMode == 3;
    p.eyeSwapChecked = s.eyeSwap;
    p.eyeSwapEnabled = s.stereoMode != 2;
    p.boxVisible = (s.boundingBoxFlags & kBoxShown) != 0;
    p.transparentEnabled = p.boxVisible;
    p.transparentChecked = p.boxVisible && (s.boundingBoxFlags & kBoxTransparentBin) != 0;
    return p;
}

std::string ViewInfoText(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%f", value);
    return buf;
}

double ParseViewInfo(const std::string& text, double current) {
    const char* s = text.c_str();
    char* end = nullptr;
    const double v = std::strtod(s, &end);
    if (end == s || !std::isfinite(v)) return current;
    while (*end == ' ' || *end == '\t') ++end;
    return *end ? current : v;
}

float SliderToValue(int position, float min, float max) {
    const float v = (max - min) * static_cast<float>(position) / 999.0f;
    return v > min ? v : min;
}

int ValueToSlider(float value, float min, float max) {
    if (max <= min) return 1;
    return std::clamp(static_cast<int>(value * 999.0f / (max - min)), 1, 1000);
}

int SpinStep(int position, int delta, int lo, int hi) {
    return std::clamp(delta >= 1 ? position + 1 : position - 1, lo, hi);
}

float RoundTo5(float value) {
    return static_cast<float>(std::floor(static_cast<double>(value) * 100000.0 + 0.5) / 100000.0);
}

float GreyWeightOfSpin(int value) {
    return RoundTo5(static_cast<float>(value) / 255.0f);
}

float AlphaOfSpin(int value) {
    const float f = static_cast<float>(value) / 100.0f;
    return RoundTo5(f * f * f);
}

float TransparencyOfSpin(int value) {
    return RoundTo5(static_cast<float>(value) / 100.0f);
}

int SpinOfGreyWeight(float weight) {
    return static_cast<int>(weight * 255.0f);
}

int SpinOfAlpha(float alpha) {
    return static_cast<int>(std::pow(std::max(alpha, 0.0f), 0.3333333f) * 100.0f);
}

int SpinOfTransparency(float transparency) {
    return static_cast<int>(transparency * 100.0f);
}

AdvancedEnables AdvancedEnablesOf(const ViewSettings& s) {
    AdvancedEnables e;
    e.eye = s.stereoMode != 2;
    e.splitHorizontal = s.stereoMode == 3;
    e.splitVertical = s.stereoMode == 4;
    e.threshold = s.renderMode == kRenderIso;
    e.grey = s.renderMode == kRenderGrayscale;
    e.quadBufferNote = s.stereoMode == 0 && !s.quadBufferAvailable;
    return e;
}

std::vector<std::string> ScreenListTexts(const std::vector<ScreenInfo>& screens) {
    std::vector<std::string> out{"Off"};
    char buf[64];
    for (std::size_t i = 0; i < screens.size(); ++i) {
        const ScreenInfo& s = screens[i];
        std::snprintf(buf, sizeof buf, "#%d: %dx%d", static_cast<int>(i), s.right - s.left, s.bottom - s.top);
        out.emplace_back(buf);
    }
    return out;
}

PopupRect FullScreenPopupRect(const ScreenInfo& s) {
    return {s.left, s.top, s.right - s.left, s.bottom - s.top - 1};
}

int PanelLeft(int windowLeft, int panelWidth) {
    return std::max(windowLeft - panelWidth, 0);
}

}  // namespace zun
