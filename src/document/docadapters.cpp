#include "document/docadapters.h"

#include "compute/model.h"
#include "document/zundoc.h"
#include "foundation/threadcount.h"

namespace zun {

std::array<std::uint32_t, 3> GridSizeOf(const ZunImage& s) {
    const auto& d = s.GetDims();
    return {static_cast<std::uint32_t>(d[0]), static_cast<std::uint32_t>(d[1]),
            static_cast<std::uint32_t>(d[2])};
}

ZunImage& DocComputeSample::Image() const {
    return doc_.GetSample();
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
    return TeamThreads(LibraryThreadCount(doc_.Settings().devices));
}

int DocPropertyView::MaxReports() const {
    return doc_.GetModel().GetParams().maxErrorReports;
}

}  // namespace zun
