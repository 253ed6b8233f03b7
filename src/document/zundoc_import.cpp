// Image-stack import into the slices of one channel.

#include <locale.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <memory>

#include "document/docmessages.h"
#include "document/zundoc.h"
#include "foundation/clocale.h"
#include "foundation/image.h"
#include "foundation/pathutil.h"
#include "foundation/tiffio.h"
#include "model/importinfo.h"
#include "model/slice.h"
#include "model/zunchan.h"
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

// A slice before an import writes it: its voxel plane, its kept image (taken out of the slice,
// which the import gives a new one), its record and markers.
struct SliceMemento {
    int z = 0;
    std::vector<imtype> plane;
    std::unique_ptr<Image2d<imtype>> image;
    std::unique_ptr<ImportInfo> import;
    bool imported = false, modified = false;

    static SliceMemento Take(ZunChan& c, int z) {
        SliceMemento m;
        m.z = z;
        const std::size_t n =
            static_cast<std::size_t>(c.GetDims()[0]) * static_cast<std::size_t>(c.GetDims()[1]);
        const imtype* p = c.Data() + n * static_cast<std::size_t>(z);
        m.plane.assign(p, p + n);
        Slice& s = *c.GetSlice(z);
        m.image = std::move(s.image);
        if (s.import) m.import = std::make_unique<ImportInfo>(*s.import);
        m.imported = s.imported;
        m.modified = s.modified;
        return m;
    }
    void Restore(ZunChan& c) {
        std::copy(plane.begin(), plane.end(), c.Data() + plane.size() * static_cast<std::size_t>(z));
        Slice& s = *c.GetSlice(z);
        s.image = std::move(image);
        s.import = std::move(import);
        s.imported = imported;
        s.modified = modified;
    }
};

// The channel's import settings and range, which an import overwrites before it reads a file.
struct ChannelImportSettings {
    std::vector<float> range;
    bool rescaleByEnergy = false, autoAttenuation = false, applyScale = false, applyZeroOffset = false;
    float scaleFactor = 1, zeroOffset = 0;
    bool cropImages = false, retainImages = false;
    std::int32_t cropX = 0, cropY = 0;

    static ChannelImportSettings Take(const ZunChan& c) {
        return {c.range,       c.rescaleByEnergy, c.autoAttenuation, c.applyScale,   c.applyZeroOffset,
                c.scaleFactor, c.zeroOffset,      c.cropImages,      c.retainImages, c.cropX,
                c.cropY};
    }
    void Restore(ZunChan& c) const {
        c.range = range;
        c.rescaleByEnergy = rescaleByEnergy;
        c.autoAttenuation = autoAttenuation;
        c.applyScale = applyScale;
        c.applyZeroOffset = applyZeroOffset;
        c.scaleFactor = scaleFactor;
        c.zeroOffset = zeroOffset;
        c.cropImages = cropImages;
        c.retainImages = retainImages;
        c.cropX = cropX;
        c.cropY = cropY;
    }
};

}  // namespace

int CZunDoc::ImportImageStack(const std::string& channel, const std::vector<int>& slices,
                              const std::string& folder, const std::vector<std::string>& files,
                              const ImageImportSettings& s, std::string* failure) {
    std::string ignored;
    std::string& why = failure ? *failure : ignored;
    why.clear();
    const int ci = sample_->FindChanIndex(channel);
    if (ci < 0) {
        why = docmsg::NoSuchChannel(channel);
        return -1;
    }
    if (IsComputing()) {
        why = docmsg::kBusyChange;
        return -1;
    }
    // No folder: the files' names are paths of their own.
    if (const std::string refused =
            folder.empty() ? std::string() : CheckPathUse(folder, PathUse::kReadFolder);
        !refused.empty()) {
        why = refused;
        Tell(refused, static_cast<int>(PromptIcon::Warning));
        return -1;
    }
    const std::size_t count = std::min(slices.size(), files.size());
    if (count == 0) return 0;
    // The progress lets events through: the document stays open until the import ends.
    LongWork work(*this, "data import", true);
    auto pathOf = [&](std::size_t k) { return (std::filesystem::path(folder) / files[k]).string(); };

    // The stack must be all floating-point or all fixed-point.
    FileFailures failures;
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
        why = docmsg::kMixedImportFormats;
        Tell(why, static_cast<int>(PromptIcon::Warning));
        return -1;
    }

    float multiplier = s.applyScale ? s.scaleFactor : 1.0f;
    ZunChan& c = *sample_->GetChan(ci);
    const bool ct = c.kind == ZunChan::kXrayCt;
    if (ct && s.rescaleByEnergy) multiplier *= static_cast<float>(s.keV * kRescalePerKeV);
    const float* scale = multiplier != 1.0f ? &multiplier : nullptr;
    const float* offset = s.applyZeroOffset ? &s.zeroOffset : nullptr;

    // What Cancel puts back of the channel's settings and limits.
    const ChannelImportSettings settingsBefore = ChannelImportSettings::Take(c);
    const auto& params = model_->GetParams();
    const bool limitsKnown = static_cast<std::size_t>(ci) < params.ctAttenLowMeasured.size() &&
                             static_cast<std::size_t>(ci) < params.ctAttenHighMeasured.size();
    const float lowBefore = limitsKnown ? params.ctAttenLowMeasured[static_cast<std::size_t>(ci)] : 0.0f;
    const float highBefore = limitsKnown ? params.ctAttenHighMeasured[static_cast<std::size_t>(ci)] : 0.0f;
    bool limitsSet = false;
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
            limitsSet = true;
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
    // What Cancel puts back: the slices as they were before this import touched them.
    std::vector<SliceMemento> before;
    const std::vector<std::int32_t> countsBefore = c.importCounts;
    const bool modifiedBefore = c.modified;
    bool cancelled = false;
    for (std::size_t k = 0; k < count; ++k) {
        if (progress && progress->SetProgress(static_cast<int>(100 * k / count))) {
            cancelled = true;
            break;
        }
        const int z = slices[k];
        int r = readable[k] ? 0 : kTiffCannotOpen;
        if (r == 0 && (z < 0 || z >= c.GetSliceCount())) r = kTiffCannotOpen;
        if (r == 0) {
            const int crop = s.crop ? 1 : 0;
            before.push_back(SliceMemento::Take(c, z));
            r = IsGridFile(files[k]) ? c.ImportSliceGrdVod(z, pathOf(k).c_str(), scale, offset, crop, s.cropX,
                                                           s.cropY, s.retain)
                                     : c.ImportSliceFile(z, pathOf(k).c_str(), scale, offset, crop, s.cropX,
                                                         s.cropY, s.retain);
            if (r != 0) {
                before.back().Restore(c);
                before.pop_back();
            }
        }
        if (r != 0) {
            failures.Add(files[k]);
            continue;
        }
        imported.push_back({channel, static_cast<std::uint32_t>(z)});
        events += "Imported " + files[k] + " into slice " + std::to_string(z) + " at " + Now() + "\n";
    }
    if (cancelled) {
        for (auto m = before.rbegin(); m != before.rend(); ++m) m->Restore(c);
        c.importCounts = countsBefore;
        c.modified = modifiedBefore;
        settingsBefore.Restore(c);
        if (limitsSet && limitsKnown) {
            model_->SetChannelMeasuredAttenuation(ci, lowBefore, 0);
            model_->SetChannelMeasuredAttenuation(ci, highBefore, 1);
        }
        why = docmsg::kImportCancelled;
        return 0;
    }
    if (progress) progress->SetPos(100);
    why = FileFailuresText(failures, count, "import");
    if (!why.empty()) Tell(why, static_cast<int>(PromptIcon::Warning));
    if (imported.empty()) return 0;
    c.LogImportEvent(events + "<End file import event>\n", false);
    c.modified = true;
    NoteDataChanged();
    ImportSliceMod hint(imported, s.retain);
    UpdateAllViews(nullptr, kHintData, &hint);
    return static_cast<int>(imported.size());
}

}  // namespace zun
