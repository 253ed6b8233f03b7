#pragma once
// The magnitude of a channel's spatial gradient by central differences on the 14-bit values,
// with a choice per axis of how the grid's faces are treated: periodic, supplied values beyond
// the face, or one-sided. The parameter presenter decides what the dialog offers and checks.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/toolsupport.h"

namespace zun {

// Kept per input channel for the session and pre-filling the dialog.
struct GradientSettings {
    enum : unsigned {
        kPeriodicX = 1,
        kOutsideX = 2,
        kPeriodicY = 4,
        kOutsideY = 8,
        kPeriodicZ = 16,
        kOutsideZ = 32,
    };
    std::string output;
    unsigned options = 0;
    // Normalised values (0..1) beyond the lower and upper face of x, then y, then z.
    std::array<float, 6> outside{};
};

class ChannelGradient {
public:
    // Fills `out`; h = the voxel edge sizes (x, y, z). 0 done, 101 when the smallest edge is
    // below 1e-16 (nothing written).
    static int Compute(const GradientSettings& settings, const std::uint16_t* in, std::uint16_t* out,
                       const ToolGrid& g, const std::array<double, 3>& h);
    // The history record of a run.
    static std::string Record(const std::string& started, const std::string& input, const std::string& output,
                              const GradientSettings& s, const std::string& finished);
};

namespace gradientmsg {
inline constexpr const char* kCaption = "Channel Gradient Parameters";
inline constexpr const char* kStateText = "Channel gradient computation...";
inline constexpr const char* kLabel = "Channel gradient computation";
inline constexpr const char* kSyntax = "Syntax error in entered numeric value";
inline constexpr const char* kVoxelSize = "Channel gradient computation: voxel size too small\n";
}  // namespace gradientmsg

// What the parameter dialog shows and accepts.
class GradientParsModel {
public:
    GradientParsModel(std::vector<std::string> channels, std::vector<int> kinds, int input,
                      const GradientSettings& stored);

    const std::string& Input() const { return channels_[static_cast<std::size_t>(input_)]; }
    // Every channel but the input, in channel order.
    const std::vector<std::string>& Outputs() const { return outputs_; }
    const std::string& Output() const { return settings_.output; }
    void SetOutput(const std::string& name) { settings_.output = name; }
    bool OkEnabled() const;

    // Per axis 0..2.
    bool Periodic(int axis) const;
    bool Outside(int axis) const;
    bool OutsideEnabled(int axis) const { return !Periodic(axis); }
    bool EditsEnabled(int axis) const { return !Periodic(axis) && Outside(axis); }
    void SetPeriodic(int axis, bool on);
    void SetOutside(int axis, bool on);
    // Edit texts with six decimals.
    std::string ValueText(int i) const;

    // The six edit texts; on success the settings are complete. Otherwise the message to show.
    std::string Accept(const std::array<std::string, 6>& texts);
    const GradientSettings& Settings() const { return settings_; }

private:
    std::vector<std::string> channels_;
    std::vector<std::string> outputs_;
    int input_;
    GradientSettings settings_;
};

}  // namespace zun
