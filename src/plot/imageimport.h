#pragma once
// What the options panel of the image-import file dialogs shows and checks, without the dialog:
// the pixel scale, zero offset, crop and retain options of every channel, and for X-ray CT
// channels the rescaling by the beam energy and the attenuation range limits. The options come
// from the channel's stored import options and go back into an import request.

#include <string>

#include "document/imagestack.h"

namespace zun {

class CZunDoc;
class Prompt;

namespace importmsg {
inline constexpr const char* kInvalidCoefficient = "Invalid attenuation coefficient";
inline constexpr const char* kInvalidScale = "Invalid pixel scale factor";
inline constexpr const char* kInvalidOffset = "Invalid pixel zero offset";
inline constexpr const char* kInvalidCropX = "Invalid X Offset for crop";
inline constexpr const char* kInvalidCropY = "Invalid Y Offset for crop";
inline constexpr const char* kLimitsNote =
    "Note: Attenuation coefficient range limits already exist and will not be changed";
inline constexpr const char* kRescaleLabel = "Rescale data by keV*4*PI*1e8/12.396, where keV equals:";
inline constexpr const char* kTiffFilter = "Image files (*.tif *.tiff)";
inline constexpr const char* kCtFilter = "Image files (*.tif *.tiff *.grd *.vod)";
}  // namespace importmsg

class ImageImportOptions {
public:
    enum Field { kNoField, kLacZeroField, kLacOneField, kScaleField, kOffsetField, kCropXField, kCropYField };

    // The options stored in the channel at that sample index; limitsEditable as the document
    // decides it (no slice imported yet, or the whole stack being imported).
    static ImageImportOptions FromChannel(const CZunDoc& doc, int channel, bool limitsEditable);

    bool ctChannel = false;  // the panel with the CT channel's settings
    bool applyScale = false;
    bool applyZeroOffset = false;
    float scaleFactor = 1.0f;
    float zeroOffset = 0.0f;
    bool crop = false;
    bool retain = false;
    int cropX = 0;
    int cropY = 0;
    bool rescale = false;
    float energy = 1.0f;  // keV, shown only
    bool limitsEditable = true;
    bool autoGenerate = true;
    float lacAtZero = 0.0f;
    float lacAtOne = 0.0f;
    float multiplier = 1.0f;  // result: the factor the import applies

    // The texts of the edits, filled by Open from the fields.
    std::string scaleText, offsetText, cropXText, cropYText, energyText, lacZeroText, lacOneText;
    void Open();

    bool ScaleEnabled() const { return applyScale; }
    bool OffsetEnabled() const { return applyZeroOffset; }
    bool CropEnabled() const { return crop; }
    bool RadiosEnabled() const { return limitsEditable; }
    bool CoefficientsEnabled() const { return limitsEditable && !autoGenerate; }
    bool NoteShown() const { return !limitsEditable; }
    const char* FileTypes() const { return ctChannel ? importmsg::kCtFilter : importmsg::kTiffFilter; }

    // The checks of an accepted file name, in order; kNoField when the options hold (the message
    // is shown with the exclamation icon otherwise, and the field is the one to focus).
    Field Accept(Prompt* prompt);

    // The request the document's import takes.
    ImageImportSettings ToSettings() const;
};

}  // namespace zun
