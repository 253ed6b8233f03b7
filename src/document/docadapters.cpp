#include "document/docadapters.h"

#include <algorithm>
#include <thread>

#include "compute/model.h"
#include "document/zundoc.h"
#include "model/importinfo.h"

namespace zun {

std::array<std::uint32_t, 3> GridSizeOf(const ZunImage& s) {
    const auto& d = s.GetDims();
    return {static_cast<std::uint32_t>(d[0]), static_cast<std::uint32_t>(d[1]),
            static_cast<std::uint32_t>(d[2])};
}

std::array<std::uint32_t, 3> DocComputeSample::Dims() const {
    return GridSizeOf(doc_.GetSample());
}

int DocComputeSample::ChannelCount() const {
    return doc_.GetSample().GetChanCount();
}

int DocComputeSample::ChannelKind(int ch) const {
    const ZunImage& s = doc_.GetSample();
    return s.IsChanIndex(ch) ? s.GetChan(ch)->kind : -1;
}

std::uint16_t* DocComputeSample::ChannelWords(int ch) {
    ZunImage& s = doc_.GetSample();
    return s.IsChanIndex(ch) ? s.GetChan(ch)->Data() : nullptr;
}

std::array<float, 2> DocComputeSample::ChannelRange(int ch) const {
    const ZunImage& s = doc_.GetSample();
    if (!s.IsChanIndex(ch) || s.GetChan(ch)->range.size() != 2) return {0.0f, 1.0f};
    return {s.GetChan(ch)->range[0], s.GetChan(ch)->range[1]};
}

void DocComputeSample::SetChannelRangeValue(int ch, int which, float value) {
    ZunImage& s = doc_.GetSample();
    if (!s.IsChanIndex(ch) || which < 0 || which > 1) return;
    std::vector<float>& r = s.GetChan(ch)->range;
    if (r.size() != 2) r = {0.0f, 1.0f};
    r[static_cast<std::size_t>(which)] = value;
}

int DocComputeSample::ImportedBitDepth(int ch) const {
    const ZunImage& s = doc_.GetSample();
    if (!s.IsChanIndex(ch)) return 0;
    int bits = 0;
    const ZunChan& c = *s.GetChan(ch);
    for (int z = 0; z < c.GetSliceCount(); ++z) {
        const Slice* sl = c.GetSlice(z);
        if (!sl->imported || !sl->import || sl->import->bits <= 0) continue;
        bits = bits == 0 ? sl->import->bits : std::min(bits, sl->import->bits);
    }
    return bits;
}

std::array<std::int32_t, 3> DocComputeSample::ImportCounts(int ch) const {
    std::vector<std::int32_t> v = doc_.GetSample().GetImportCounts(ch);
    std::array<std::int32_t, 3> out{};
    std::copy_n(v.begin(), std::min<std::size_t>(v.size(), 3), out.begin());
    return out;
}

void DocComputeSample::ResetRecordedSettings(int ch) {
    ZunImage& s = doc_.GetSample();
    if (s.IsChanIndex(ch)) LogText::AppendSection(nullptr, s.GetChan(ch)->note, nullptr);
}

int DocComputeSample::MaskChannel() const {
    const ZunImage& s = doc_.GetSample();
    return s.boundaryMaskOn ? s.activeBoundaryIndex : -1;
}

std::uint16_t DocComputeSample::MaskWord() const {
    return doc_.GetSample().boundaryMaskWord;
}

std::string DocPropertyView::Title() const {
    return doc_.GetTitle();
}

std::array<std::uint32_t, 3> DocPropertyView::GridSize() const {
    return GridSizeOf(doc_.GetSample());
}

std::array<double, 3> DocPropertyView::VoxelSize() const {
    const std::vector<double>& v = doc_.GetModel().GetParams().voxelPhysicalSize;
    // Entry 0 is the unit of the three sizes that follow.
    const double unit = v.empty() ? 1e-6 : v[0];
    std::array<double, 3> out{unit, unit, unit};
    for (std::size_t j = 0; j < 3 && j + 1 < v.size(); ++j) out[j] = unit * v[j + 1];
    return out;
}

int DocPropertyView::ChannelCount() const {
    return doc_.GetSample().GetChanCount();
}

std::string DocPropertyView::ChannelName(int ch) const {
    const ZunImage& s = doc_.GetSample();
    return s.IsChanIndex(ch) ? s.GetChan(ch)->name : std::string();
}

int DocPropertyView::ChannelKind(int ch) const {
    const ZunImage& s = doc_.GetSample();
    return s.IsChanIndex(ch) ? s.GetChan(ch)->kind : -1;
}

void DocPropertyView::GetRange(int ch, float& min, float& max) const {
    const ZunImage& s = doc_.GetSample();
    min = 0.0f;
    max = 1.0f;
    if (s.IsChanIndex(ch) && s.GetChan(ch)->range.size() == 2) {
        min = s.GetChan(ch)->range[0];
        max = s.GetChan(ch)->range[1];
    }
}

void DocPropertyView::SetRange(int ch, float min, float max) {
    ZunImage& s = doc_.GetSample();
    if (s.IsChanIndex(ch)) s.GetChan(ch)->range = {min, max};
}

std::uint16_t* DocPropertyView::ChannelWords(int ch) {
    ZunImage& s = doc_.GetSample();
    return s.IsChanIndex(ch) ? s.GetChan(ch)->Data() : nullptr;
}

void DocPropertyView::Log(const std::string& text) {
    if (doc_.IsLoggingEnabled()) doc_.GetLogger()->Append(text);
}

void DocPropertyView::SetProgress(float percent) {
    doc_.GetModel().SetProgress(percent, false);
}

std::int64_t DocPropertyView::RandomSeed() const {
    return doc_.GetModel().GetParams().randomSeed;
}

// Runs on the computation worker: only the flags are touched; the views learn of the change at
// the end of the run.
void DocPropertyView::SetModified() {
    doc_.SetModifiedFlag(true);
}

int DocPropertyView::ActiveBoundary() const {
    const ZunImage& s = doc_.GetSample();
    return s.boundaryMaskOn ? s.activeBoundaryIndex : -1;
}

void DocPropertyView::SetStateText(const std::string& text) {
    doc_.GetModel().SetState(kRunning, true, text.c_str());
}

void DocPropertyView::MarkChannelModified(int ch) {
    ZunImage& s = doc_.GetSample();
    if (s.IsChanIndex(ch)) s.GetChan(ch)->modified = true;
}

int DocPropertyView::ThreadCount() const {
    int n = LibraryThreadCount(doc_.Settings().devices);
    if (n < 1) n = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return n;
}

int DocPropertyView::MaxReports() const {
    return doc_.GetModel().GetParams().maxErrorReports;
}

}  // namespace zun
