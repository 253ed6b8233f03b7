#pragma once
// What the 3-D view's keys, its control panel, its advanced settings dialog and its full-screen
// mode decide, without a window: the camera steps, the stereo switches, the panel's checked and
// enabled states, the slider and spin scales, the screen list and the full-screen geometry.

#include <array>
#include <string>
#include <vector>

#include "view3d/viewsettings.h"

namespace zun {

// 1 when all three extents are set and X or Y is below 3, 2 when any exceeds 32767, else 0.
int CheckVolumeDimensions(const std::array<int, 3>& dims);

enum class ArrowKey { Up, Down, Left, Right };

// An arrow key in the view: Ctrl+Shift+Up/Down step the tree's slices, Ctrl pans, else it turns.
struct ArrowAction {
    enum Kind { kStepForward, kStepBackward, kPan, kRotate, kNone };
    Kind kind = kNone;
    int pan = 0;  // PanStep direction 1..4
    ArrowKey rotate = ArrowKey::Up;
};
ArrowAction ArrowKeyAction(ArrowKey key, bool ctrl, bool shift);

// One trackball drag in normalised window units, from (x0, y0) to (x1, y1).
struct TrackballDrag {
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};
TrackballDrag RotateStepDrag(ArrowKey direction);

// A pan of the model in normalised units.
struct PanOffset {
    float dx = 0, dy = 0;
};
// The keys' pan: 1 (0,-0.3), 2 (-0.3,0), 3 (0,0.3), 4 (0.3,0); anything else none.
PanOffset PanStepOffset(int direction);
// The panel's movement buttons.
PanOffset PanViewOffset(ArrowKey direction);

// The panel's zoom: one step of 1.1 in camera distance.
inline double ZoomInDistance(double distance) {
    return distance / 1.1;
}
inline double ZoomOutDistance(double distance) {
    return distance * 1.1;
}

// A stereo button: off (2) when the mode is already on, else the mode.
inline int ToggleStereoMode(int current, int mode) {
    return current == mode ? 2 : mode;
}

// The control panel's switches as the view's settings make them.
struct ControlPanelState {
    int shader = 0;  // render mode 0-4
    int screen = 0;  // monitor index + 1, 0 "Off"
    bool quadBuffer = false, anaglyphic = false, interlaceHorizontal = false, splitHorizontal = false;
    bool eyeSwapChecked = false, eyeSwapEnabled = false;
    bool boxVisible = false, transparentEnabled = false, transparentChecked = false;
};
ControlPanelState PanelStateOf(const ViewSettings& settings, int monitorIndex);

// The panel's view information ("%f").
std::string ViewInfoText(double value);
// The "Set" button's fields: the text as a number, or the current value when it is none.
double ParseViewInfo(const std::string& text, double current);

// ---- the advanced settings dialog's scales

// Sliders run 1..1000: value = (max - min) * pos / 999, the minimum when not above it.
float SliderToValue(int position, float min, float max);
int ValueToSlider(float value, float min, float max);
// A spin's new position: one up for a change of at least 1, else one down, within lo..hi.
int SpinStep(int position, int delta, int lo, int hi);
// Rounded to 5 decimals.
float RoundTo5(float value);
// Grey weight 0..255, alpha 0..100 (cubed), transparency 0..100.
float GreyWeightOfSpin(int value);
float AlphaOfSpin(int value);
float TransparencyOfSpin(int value);
int SpinOfGreyWeight(float weight);
int SpinOfAlpha(float alpha);
int SpinOfTransparency(float transparency);

// What the advanced dialog enables: eye separation and swap unless stereo is off, the split
// separations in their own modes, the threshold in iso-surface mode, the grey weights in grey
// scale, and the red note for quad buffer without hardware support.
struct AdvancedEnables {
    bool eye = false, splitHorizontal = false, splitVertical = false;
    bool threshold = false, grey = false, quadBufferNote = false;
};
AdvancedEnables AdvancedEnablesOf(const ViewSettings& settings);

// ---- screens and full screen

struct ScreenInfo {
    bool primary = false;
    int left = 0, top = 0, right = 0, bottom = 0;
};
// "Off", then "#i: WxH" for each screen.
std::vector<std::string> ScreenListTexts(const std::vector<ScreenInfo>& screens);
// The popup covers the screen but for its last pixel row.
struct PopupRect {
    int x = 0, y = 0, width = 0, height = 0;
};
PopupRect FullScreenPopupRect(const ScreenInfo& screen);
// The control panel placed left of the view's window (not beyond the screen's left edge).
int PanelLeft(int windowLeft, int panelWidth);

// Messages of the panel, its dialogs and full screen.
namespace panelmsg {
inline constexpr const char* kNoDisplayedChannel = "No displayed channel found.";
inline constexpr const char* kWaitAnimation = "Please wait for animation finish.";
inline constexpr const char* kRecordingRunning = "Recording is running now.  Please wait unit it finished.";
inline constexpr const char* kNoRecording = "No recording is running.";
inline constexpr const char* kNoPanel = "Could not display Image Control dialog";
inline constexpr const char* kNoAdvanced = "Could not display Advanced view settings dialog";
inline constexpr const char* kNoNewScreen = "No new screen detected.";
inline constexpr const char* kAlreadyOnScreen = "Already on screen #";
inline constexpr const char* kInvalidScreen = "Invalid screen number.";
inline constexpr const char* kInvalidScreenDetails = "Invalid screen details.";
inline constexpr const char* kNoFullScreen = "Could not display full screen";
inline constexpr const char* kPanelTitle = "Control panel";
inline constexpr const char* kPanelTitleSuffix = "- Control panel";
}  // namespace panelmsg

}  // namespace zun
