#include "plot/imageimport.h"

#include <cmath>

#include "compute/model.h"
#include "document/zundoc.h"
#include "foundation/numformat.h"
#include "model/sample.h"
#include "model/zunchan.h"
#include "platform/prompt.h"

namespace zun {

ImageImportOptions ImageImportOptions::FromChannel(const CZunDoc& doc, int channel, bool limitsEditable) {
    ImageImportOptions o;
    const ZunImage& sample = doc.GetSample();
    if (!sample.IsChanIndex(channel)) return o;
    const ZunChan& c = *sample.GetChan(channel);
    o.ctChannel = c.kind == ZunChan::kXrayCt;
    o.applyScale = c.applyScale;
    o.scaleFactor = c.scaleFactor;
    o.applyZeroOffset = c.applyZeroOffset;
    o.zeroOffset = c.zeroOffset;
    o.crop = c.cropImages;
    o.cropX = c.cropX;
    o.cropY = c.cropY;
    o.retain = c.retainImages;
    if (o.ctChannel) {
        o.rescale = c.rescaleByEnergy;
        o.autoGenerate = c.autoAttenuation;
        o.limitsEditable = limitsEditable;
        const Params& p = doc.GetModel().GetParams();
        const int n = channel - sample.FirstChanOfKind(ZunChan::kXrayCt) + 1;
        if (n >= 0 && n < static_cast<int>(p.ctBeamEnergy.size()))
            o.energy = p.ctBeamEnergy[static_cast<std::size_t>(n)];
        if (n >= 0 && n < static_cast<int>(p.ctAttenLowMeasured.size()))
            o.lacAtZero = p.ctAttenLowMeasured[static_cast<std::size_t>(n)];
        if (n >= 0 && n < static_cast<int>(p.ctAttenHighMeasured.size()))
            o.lacAtOne = p.ctAttenHighMeasured[static_cast<std::size_t>(n)];
    }
    return o;
}

void ImageImportOptions::Open() {
    scaleText = FormatReal(-1, scaleFactor, "%f");
    offsetText = FormatReal(-1, zeroOffset, "%f");
    cropXText = FormatInt(cropX, "%d");
    cropYText = FormatInt(cropY, "%d");
    energyText = FormatReal(-1, energy, "%g");
    lacZeroText = FormatReal(-1, lacAtZero, "%g");
    lacOneText = FormatReal(-1, lacAtOne, "%g");
}

namespace {
bool ReadFloat(const std::string& text, float& value) {
    float v = 0.0f;
    // NaN or an infinity would reach every voxel of the import.
    if (ScanString(text, "%f", &v) != 0 || !std::isfinite(v)) return false;
    value = v;
    return true;
}
}  // namespace

ImageImportOptions::Field ImageImportOptions::Accept(Prompt* prompt) {
    auto fail = [prompt](const char* text, Field field) {
        if (prompt) prompt->Tell(text, PromptIcon::Warning);
        return field;
    };
    if (ctChannel && limitsEditable && !autoGenerate) {
        if (!ReadFloat(lacZeroText, lacAtZero)) return fail(importmsg::kInvalidCoefficient, kLacZeroField);
        if (!ReadFloat(lacOneText, lacAtOne)) return fail(importmsg::kInvalidCoefficient, kLacOneField);
    }
    if (ctChannel) multiplier = rescale ? static_cast<float>(energy * kRescalePerKeV) : 1.0f;
    if (applyScale) {
        if (!ReadFloat(scaleText, scaleFactor)) return fail(importmsg::kInvalidScale, kScaleField);
        if (ctChannel) multiplier *= scaleFactor;
    }
    if (applyZeroOffset && !ReadFloat(offsetText, zeroOffset))
        return fail(importmsg::kInvalidOffset, kOffsetField);
    if (crop) {
        if (ScanString(cropXText, "%d", &cropX) != 0) return fail(importmsg::kInvalidCropX, kCropXField);
        if (ScanString(cropYText, "%d", &cropY) != 0) return fail(importmsg::kInvalidCropY, kCropYField);
    }
    return kNoField;
}

ImageImportSettings ImageImportOptions::ToSettings() const {
    ImageImportSettings s;
    s.rescaleByEnergy = ctChannel && rescale;
    s.keV = energy;
    s.autoAttenuation = autoGenerate;
    s.lacAtZero = lacAtZero;
    s.lacAtOne = lacAtOne;
    s.limitsEditable = limitsEditable;
    s.applyScale = applyScale;
    s.scaleFactor = scaleFactor;
    s.applyZeroOffset = applyZeroOffset;
    s.zeroOffset = zeroOffset;
    s.crop = crop;
    s.cropX = cropX;
    s.cropY = cropY;
    s.retain = retain;
    return s;
}

}  // namespace zun
