#pragma once
// What the "Zun Preferences" sheet shows and checks, without a window: the working and the
// reference copy of the preferences, applying them, and the Display, Memory and Debug pages'
// rules. The Plugins and Cluster pages are in prefpages.h.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/preferences.h"

namespace zun {

class IniFile;
class Prompt;

namespace prefmsg {
inline constexpr const char* kInvalidValue = "Invalid value for the Maximum Display Volume (voxels)";
inline constexpr const char* kInvalidPercent = "Value must be an integer between 0 and 100 inclusive.";
}  // namespace prefmsg

// The resolution slider (0..1000) spreads the display volume logarithmically over 1000 .. 64e9.
int DisplayVolumeToSlider(std::uint64_t volume);
std::uint64_t DisplaySliderToVolume(int position);
// The volume edit's text: digits only (or empty) as "%llu", else "%g" with the fraction dropped;
// nullopt when nothing parses or the value lies outside 1000 .. 64e9.
std::optional<std::uint64_t> ParseDisplayVolume(const std::string& text);
// 0 integer ("%llu"), 1 scientific ("%.4g").
std::string FormatDisplayVolume(std::uint64_t volume, int format);

// The sheet: the pages edit `Working()`; Apply copies it into the current preferences, writes the
// file and runs the callback; Cancel simply drops the sheet.
class PrefsSheetModel {
public:
    PrefsSheetModel(ZunPreferences& current, IniFile& ini, Prompt& prompt, std::function<void()> applied);

    ZunPreferences& Working() { return working_; }
    const ZunPreferences& Reference() const { return reference_; }
    Prompt& GetPrompt() const { return prompt_; }

    // Every page marks a change here; the Apply button follows it.
    void SetModifiedAll(bool modified);
    bool IsModified() const { return modified_; }
    std::function<void(bool)> onModifiedChanged;

    void ApplyAll();

private:
    ZunPreferences& current_;
    IniFile& ini_;
    Prompt& prompt_;
    std::function<void()> applied_;
    ZunPreferences working_;
    ZunPreferences reference_;
    bool modified_ = false;
};

class DisplayPageModel {
public:
    static constexpr std::uint64_t kDefaultSize = 27000000;
    static constexpr std::uint32_t kDefaultSpeed = 100;
    enum class Trigger { FocusLoss, Enter };

    explicit DisplayPageModel(PrefsSheetModel& sheet) : sheet_(sheet) {}

    std::string EditText() const { return FormatDisplayVolume(Sect().maxSize, format_); }
    int SliderPosition() const { return DisplayVolumeToSlider(Sect().maxSize); }
    int SpeedPosition() const { return static_cast<int>(Sect().animationSpeed); }
    int Format() const { return format_; }

    void OnResolutionSlider(int position);
    void OnSpeedSlider(int position);
    // Validates the edit's text. False when it was refused (kInvalidValue shown; the caller
    // puts EditText() back and shows this page). A focus loss caused by the message of an
    // Enter-started check is ignored.
    bool CommitEdit(const std::string& text, Trigger trigger);
    // The edit is being typed into: Apply becomes available at once (the text is checked then).
    void OnTextEdited() { sheet_.SetModifiedAll(true); }
    void SetFormat(int format);
    void Restore();
    void SetDefault();
    bool CanRestore() const;
    bool CanSetDefault() const;

private:
    DisplaySect& Sect() const { return sheet_.Working().display; }
    PrefsSheetModel& sheet_;
    int format_ = 0;
    bool validatingEnter_ = false;
};

class MemoryPageModel {
public:
    explicit MemoryPageModel(PrefsSheetModel& sheet) : sheet_(sheet) {}

    bool Enabled() const { return Sect().enabled; }
    std::string EditText() const { return std::to_string(Sect().remain); }
    bool CanSetDefault() const { return !(Sect().enabled && Sect().remain == 5); }

    // The edit lost the focus: false when the text was refused (message shown; refill the
    // controls from EditText()).
    bool CommitEdit(const std::string& text);
    void OnTextChanged() { sheet_.SetModifiedAll(true); }
    // A spin step from the edit's text: the value is stored, then stepped within 0..100.
    bool Spin(const std::string& text, int step);
    void SetEnabled(bool on);
    void SetDefault();

private:
    MemorySect& Sect() const { return sheet_.Working().memory; }
    std::optional<int> Read(const std::string& text) const;
    PrefsSheetModel& sheet_;
};

// The Debug page's spin: the level moves by the step within 0..1.
void DebugSpin(PrefsSheetModel& sheet, int step);

}  // namespace zun
