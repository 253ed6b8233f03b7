// Image-stack import into the slices of one channel.

#include <locale.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>

#include "document/docmessages.h"
#include "document/zundoc.h"
#include "foundation/clocale.h"
#include "foundation/image.h"
#include "foundation/tiffio.h"
#include "platform/progress.h"
#include "platform/prompt.h"

namespace zun {

namespace {

bool IsGridFile(const std::string& name) {
    std::string ext = std::filesystem::path(name).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".grd" || ext == ".vod";
}

std::string Now() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    // Day and month names must not follow the user's locale: the slice's record is stored.
    return FormatTimeC("%a %b %d %H:%M:%S %Y", tm);
}

// The largest sample of the readable images among the first readable.size() files; false when
// none of them could be read.
bool StackMaximum(const std::string& folder, const std::vector<std::string>& files,
                  const std::vector<bool>& readable, float& top) {
    bool any = false;
    for (std::size_t k = 0; k < readable.size(); ++k) {
        if (!readable[k]) continue;
        const std::string path = (std::filesystem::path(folder) / files[k]).string();
        Image2d<float> img;
        int r = IsGridFile(files[k]) ? Image2d<float>::ReadGrdVod(path, img)
                                     : Image2d<float>::ReadTiff(path, img);
        if (r != 0) continue;
        float m = 0;
        Image2d<float>::GetMaxValue(img, &m);
        top = std::max(top, m);
        any = true;
    }
    return any;
}

}  // namespace

int CZunDoc::ImportImageStack(const std::string& channel, const std::vector<int>& slices,
                              const std::string& folder, const std::vector<std::string>& files,
                              const ImageImportSettings& s) {
    const int ci = sample_->FindChanIndex(channel);
    if (ci < 0 || IsComputing()) return -1;
    const std::size_t count = std::min(slices.size(), files.size());
    if (count == 0) return 0;
    auto pathOf = [&](std::size_t k) { return (std::filesystem::path(folder) / files[k]).string(); };

    // The stack must be all floating-point or all fixed-point.
    std::vector<std::string> failures;
    std::vector<bool> isFloat(count, false), readable(count, true);
    int floats = 0, fixed = 0;
    for (std::size_t k = 0; k < count; ++k) {
        bool f = true;
        if (!IsGridFile(files[k]) && IsTiffFloat(pathOf(k), &f) != 0) {
            readable[k] = false;
            continue;
        }
        isFloat[k] = f;
        (f ? floats : fixed) += 1;
    }
    if (floats && fixed) {
        Tell(docmsg::kMixedImportFormats, static_cast<int>(PromptIcon::Warning));
        return -1;
    }

    float multiplier = s.applyScale ? s.scaleFactor : 1.0f;
    ZunChan& c = *sample_->GetChan(ci);
    const bool ct = c.kind == ZunChan::kXrayCt;
    if (ct && s.rescaleByEnergy) multiplier *= static_cast<float>(s.keV * kRescalePerKeV);
    const float* scale = multiplier != 1.0f ? &multiplier : nullptr;
    const float* offset = s.applyZeroOffset ? &s.zeroOffset : nullptr;

    if (ct && s.limitsEditable) {
        float lo = s.lacAtZero, hi = s.lacAtOne;
        bool haveLimits = true;
        if (s.autoAttenuation && floats) {
            // Limits from the data: zero up to the largest sample of the stack.
            float top = 0;
            haveLimits = StackMaximum(folder, files, readable, top);
            lo = 0;
            hi = top * multiplier;
        }
        // Without one readable image there is no maximum; the channel's data keep their range.
        if (haveLimits) {
            model_->SetChannelMeasuredAttenuation(ci, lo, 0);
            model_->SetChannelMeasuredAttenuation(ci, hi, 1);
            c.range = {lo, hi};
        }
        c.rescaleByEnergy = s.rescaleByEnergy;
        c.autoAttenuation = s.autoAttenuation;
    }
    c.applyScale = s.applyScale;
    c.scaleFactor = s.scaleFactor;
    c.applyZeroOffset = s.applyZeroOffset;
    c.zeroOffset = s.zeroOffset;
    c.cropImages = s.crop;
    c.cropX = s.cropX;
    c.cropY = s.cropY;
    c.retainImages = s.retain;

    ProgressSink* progress = services_.progress;
    if (progress) progress->SetText("Importing " + channel);
    std::vector<ChanSliceRecord> imported;
    std::string events = "<Start file import event>\n";
    for (std::size_t k = 0; k < count; ++k) {
        if (progress && progress->SetProgress(static_cast<int>(100 * k / count))) break;
        const int z = slices[k];
        int r = readable[k] ? 0 : kTiffCannotOpen;
        if (r == 0 && (z < 0 || z >= c.GetSliceCount())) r = kTiffCannotOpen;
        if (r == 0) {
            const int crop = s.crop ? 1 : 0;
            r = IsGridFile(files[k]) ? c.ImportSliceGrdVod(z, pathOf(k).c_str(), scale, offset, crop, s.cropX,
                                                           s.cropY, s.retain)
                                     : c.ImportSliceFile(z, pathOf(k).c_str(), scale, offset, crop, s.cropX,
                                                         s.cropY, s.retain);
        }
        if (r != 0) {
            failures.push_back(files[k]);
            continue;
        }
        imported.push_back({channel, static_cast<std::uint32_t>(z)});
        events += "Imported " + files[k] + " into slice " + std::to_string(z) + " at " + Now() + "\n";
    }
    if (progress) progress->SetPos(100);
    ReportFileFailures(services_.prompt, failures, count, "import");
    if (imported.empty()) return 0;
    c.LogImportEvent(events + "<End file import event>\n", false);
    c.modified = true;
    NoteDataChanged();
    ImportSliceMod hint(imported, s.retain);
    UpdateAllViews(nullptr, kHintData, &hint);
    return static_cast<int>(imported.size());
}

}  // namespace zun
