#include "app/prefsheet.h"

#include <algorithm>
#include <cmath>

#include "foundation/numformat.h"
#include "platform/inifile.h"
#include "platform/prompt.h"

namespace zun {

namespace {
const double kLogMin = std::log10(static_cast<double>(DisplaySect::kMinSize));
const double kLogMax = std::log10(static_cast<double>(DisplaySect::kMaxSize));
}  // namespace

int DisplayVolumeToSlider(std::uint64_t volume) {
    const double v = static_cast<double>(std::max<std::uint64_t>(volume, 1));
    return static_cast<int>((std::log10(v) - kLogMin) * 1000.0 / (kLogMax - kLogMin) + 0.5);
}

std::uint64_t DisplaySliderToVolume(int position) {
    const double v = std::pow(10.0, kLogMin + position * (kLogMax - kLogMin) / 1000.0) + 0.5;
    return static_cast<std::uint64_t>(v);
}

std::optional<std::uint64_t> ParseDisplayVolume(const std::string& text) {
    const bool digits = std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    double v = 0.0;
    if (digits) {
        unsigned long long n = 0;
        if (ScanString(text, "%llu", &n) != 0) return std::nullopt;
        v = static_cast<double>(n);
        if (n >= DisplaySect::kMinSize && n <= DisplaySect::kMaxSize) return n;
        return std::nullopt;
    }
    if (ScanString(text, "%lg", &v) != 0 || !std::isfinite(v)) return std::nullopt;
    v = std::trunc(v);
    if (v < static_cast<double>(DisplaySect::kMinSize) || v > static_cast<double>(DisplaySect::kMaxSize))
        return std::nullopt;
    return static_cast<std::uint64_t>(v);
}

std::string FormatDisplayVolume(std::uint64_t volume, int format) {
    if (format == 1) return FormatReal(4, static_cast<double>(volume), "%.4g");
    return FormatUInt64(volume);
}

// ---------------------------------------------------------------------------------------------

PrefsSheetModel::PrefsSheetModel(ZunPreferences& current, IniFile& ini, Prompt& prompt,
                                 std::function<void()> applied)
    : current_(current), ini_(ini), prompt_(prompt), applied_(std::move(applied)) {
    working_ = current_;
    reference_ = working_;
}

void PrefsSheetModel::SetModifiedAll(bool modified) {
    modified_ = modified;
    if (onModifiedChanged) onModifiedChanged(modified);
}

void PrefsSheetModel::ApplyAll() {
    reference_ = working_;
    current_ = reference_;
    current_.SaveAll(ini_);
    if (applied_) applied_();
    SetModifiedAll(false);
}

// ---------------------------------------------------------------------------------------------

void DisplayPageModel::OnResolutionSlider(int position) {
    Sect().maxSize = DisplaySliderToVolume(std::clamp(position, 0, 1000));
    sheet_.SetModifiedAll(true);
}

void DisplayPageModel::OnSpeedSlider(int position) {
    Sect().animationSpeed = static_cast<std::uint32_t>(std::clamp(position, 10, 200));
    sheet_.SetModifiedAll(true);
}

bool DisplayPageModel::CommitEdit(const std::string& text, Trigger trigger) {
    if (trigger == Trigger::FocusLoss && validatingEnter_) return true;
    const std::optional<std::uint64_t> v = ParseDisplayVolume(text);
    if (!v) {
        validatingEnter_ = trigger == Trigger::Enter;
        sheet_.GetPrompt().Tell(prefmsg::kInvalidValue);
        validatingEnter_ = false;
        return false;
    }
    if (*v != Sect().maxSize) {
        Sect().maxSize = *v;
        sheet_.SetModifiedAll(true);
    }
    return true;
}

void DisplayPageModel::SetFormat(int format) {
    if (format == format_) return;
    format_ = format == 1 ? 1 : 0;
    sheet_.SetModifiedAll(true);
}

void DisplayPageModel::Restore() {
    Sect().maxSize = sheet_.Reference().display.maxSize;
    Sect().animationSpeed = sheet_.Reference().display.animationSpeed;
    sheet_.SetModifiedAll(true);
}

void DisplayPageModel::SetDefault() {
    Sect().maxSize = kDefaultSize;
    Sect().animationSpeed = kDefaultSpeed;
    sheet_.SetModifiedAll(true);
}

bool DisplayPageModel::CanRestore() const {
    const DisplaySect& ref = sheet_.Reference().display;
    return Sect().maxSize != ref.maxSize || Sect().animationSpeed != ref.animationSpeed;
}

bool DisplayPageModel::CanSetDefault() const {
    return Sect().maxSize != kDefaultSize || Sect().animationSpeed != kDefaultSpeed;
}

// ---------------------------------------------------------------------------------------------

std::optional<int> MemoryPageModel::Read(const std::string& text) const {
    int v = 0;
    if (ScanString(text, "%d", &v) != 0 || v < 0 || v > 100) {
        sheet_.GetPrompt().Tell(prefmsg::kInvalidPercent, PromptIcon::Information);
        return std::nullopt;
    }
    return v;
}

bool MemoryPageModel::CommitEdit(const std::string& text) {
    const std::optional<int> v = Read(text);
    if (!v) return false;
    if (*v != Sect().remain) {
        Sect().remain = *v;
        sheet_.SetModifiedAll(true);
    }
    return true;
}

bool MemoryPageModel::Spin(const std::string& text, int step) {
    const std::optional<int> v = Read(text);
    if (!v) return false;
    Sect().remain = *v;
    const int stepped = std::clamp(*v + step, 0, 100);
    if (stepped != *v) {
        Sect().remain = stepped;
        sheet_.SetModifiedAll(true);
    }
    return true;
}

void MemoryPageModel::SetEnabled(bool on) {
    Sect().enabled = on;
    sheet_.SetModifiedAll(true);
}

void MemoryPageModel::SetDefault() {
    Sect().enabled = true;
    Sect().remain = 5;
    sheet_.SetModifiedAll(true);
}

void DebugSpin(PrefsSheetModel& sheet, int step) {
    std::int32_t& level = sheet.Working().debug.level;
    level = std::clamp(level + step, 0, 1);
    sheet.SetModifiedAll(true);
}

}  // namespace zun
