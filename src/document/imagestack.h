#pragma once
// The options of an image-stack import into one channel.

namespace zun {

// The rescaling of X-ray CT data by the beam energy, per keV: the 4*PI*1e8/12.396 the import
// dialog's label states. The dialog's multiplier and the import itself both use this one value.
inline constexpr double kRescalePerKeV = 4 * 3.14159265358979323846 * 1e8 / 12.396;

struct ImageImportSettings {
    // X-ray CT channels.
    bool rescaleByEnergy = false;  // multiply by keV*4*PI*1e8/12.396
    float keV = 0;
    bool autoAttenuation = true;  // limits from the data (floating-point images)
    float lacAtZero = 0;          // manual limits (1/cm) for image values 0.0 and 1.0
    float lacAtOne = 1;
    bool limitsEditable = true;  // the stack may set the channel's limits
    // Every channel.
    bool applyScale = false;
    float scaleFactor = 1;
    bool applyZeroOffset = false;
    float zeroOffset = 0;
    bool crop = false;
    int cropX = 0;
    int cropY = 0;
    bool retain = false;  // keep the imported images in memory
};

}  // namespace zun
