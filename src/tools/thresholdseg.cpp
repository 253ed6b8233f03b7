#include "tools/thresholdseg.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <new>

#include "document/docmessages.h"
#include "document/zundoc.h"
#include "foundation/clocale.h"
#include "platform/prompt.h"
#include "tools/toolsupport.h"
#include "tools/valuetools.h"

namespace zun {

std::vector<std::array<int, 2>> ThresholdRawBounds(const std::vector<double>& lower,
                                                   const std::vector<double>& upper) {
    const std::size_t rows = std::min(lower.size(), upper.size());
    std::vector<std::array<int, 2>> bounds(rows, {1, 0});
    for (std::size_t k = 0; k < rows; ++k) {
        const bool last = k + 1 == rows;
        // x grows with the raw value, so the values inside form one run.
        for (int v = 0; v <= 16383; ++v) {
            const float x = static_cast<float>(v) / 16383.0f;
            const bool inside = lower[k] <= x && (last ? x <= upper[k] : x < upper[k]);
            if (!inside) continue;
            if (bounds[k][0] > bounds[k][1]) bounds[k][0] = v;
            bounds[k][1] = v;
        }
    }
    return bounds;
}

void ThresholdSegment(const imtype* input, std::int64_t count, const std::vector<ThresholdRow>& rows,
                      int threads, const std::function<void(int)>& progress) {
    if (progress) progress(0);
    if (count <= 0 || rows.empty()) {
        if (progress) progress(100);
        return;
    }
    const int nrows = static_cast<int>(rows.size());
    const ThresholdRow* r = rows.data();
    // Each thread takes short runs of voxels and writes the rows one after another over a run:
    // the run's input stays in the cache, so the input is read from memory once and the row loops
    // vectorise. One parallel region for the whole pass: on a busy machine every extra region
    // costs a wait for the slowest thread.
    constexpr std::int64_t kRun = 4096;
    const std::int64_t runs = (count + kRun - 1) / kRun;
    omp_set_dynamic(0);
#pragma omp parallel num_threads(threads)
    {
        // The calling thread reports its own share; with a static schedule that is the pace of
        // the whole pass.
        const bool reports = progress && omp_get_thread_num() == 0;
        const std::int64_t share = (runs + omp_get_num_threads() - 1) / omp_get_num_threads();
        std::int64_t done = 0;
        int shown = 0;
#pragma omp for schedule(static)
        for (std::int64_t j = 0; j < runs; ++j) {
            const std::int64_t i0 = j * kRun, len = std::min(count - i0, kRun);
            // A copy of the run's values: a row that writes the input channel must not change
            // what the later rows read.
            imtype value[kRun];
            for (std::int64_t i = 0; i < len; ++i) value[i] = input[i0 + i] & 0x3FFF;
            for (int k = 0; k < nrows; ++k) {
                imtype* out = r[k].out + i0;
                const int low = r[k].low, high = r[k].high;
                for (std::int64_t i = 0; i < len; ++i) {
                    const bool inside = value[i] >= low && value[i] <= high;
                    out[i] = static_cast<imtype>((out[i] & 0xC000) | (inside ? 0x3FFF : 0));
                }
            }
            if (reports) {
                const int p = static_cast<int>(100 * ++done / share);
                if (p >= shown + 5 && p < 100) progress(shown = p);
            }
        }
    }
    if (progress) progress(100);
}

int CThresholdSegmentation::Prepare(CZunDoc& doc, const std::string& inputName, int inputIndex) {
    doc_ = &doc;
    const ZunImage& sample = doc.GetSample();
    if (!sample.IsChanIndex(inputIndex)) return kOutOfMemory;  // nothing to open the dialog for
    inputIndex_ = inputIndex;
    if (inputName != inputName_) modified_ = true;
    inputName_ = inputName;

    int c = doc.GetModel().GetParams().compositionCount;
    if (c != last_) {
        if (c > kMaxRows - 1) {
            Tell(FormatC(thresholdmsg::kTooManyRows, c, kMaxRows - 1));
            c = kMaxRows - 1;
        }
        try {
            std::vector<double> lower(static_cast<std::size_t>(c) + 1), upper(lower.size());
            for (int k = 0; k <= c; ++k) {
                lower[static_cast<std::size_t>(k)] = static_cast<double>(k) / (c + 1);
                upper[static_cast<std::size_t>(k)] = static_cast<double>(k + 1) / (c + 1);
            }
            lower_ = std::move(lower);
            upper_ = std::move(upper);
        } catch (const std::bad_alloc&) {
            ShowInsufficientMemoryError(doc.GetPromptSink(), thresholdmsg::kActivity);
            last_ = -1;
            return state_ = kOutOfMemory;
        }
        last_ = c;
        modified_ = true;
        sortedByValue = true;
    }
    // The range belongs to this input channel, whatever channel the rows were built for.
    const ZunChan* in = sample.GetChan(inputIndex);
    min_ = in->range.size() == 2 ? in->range[0] : 0.0;
    max_ = in->range.size() == 2 ? in->range[1] : 0.0;
    state_ = kReady;
    if (max_ - min_ < 1e-20) {
        Tell(FormatC(thresholdmsg::kRangeTooSmall, min_, max_));
        state_ = kRangeTooSmall;
        unit_ = kImageUnit;
    }
    return state_;
}

std::string CThresholdSegmentation::RowName(int k) const {
    const auto& names = doc_->GetModel().GetParams().compositionNames;
    return k >= 0 && k < static_cast<int>(names.size()) ? names[static_cast<std::size_t>(k)] : std::string();
}

std::string CThresholdSegmentation::Text(int k, bool upper) {
    double& v = (upper ? upper_ : lower_)[static_cast<std::size_t>(k)];
    v = std::clamp(v, 0.0, 1.0);
    return FormatC("%.5g", unit_ == kPhysicalUnit ? min_ + (max_ - min_) * v : v);
}

double CThresholdSegmentation::ReadText(const std::string& text) const {
    double t = StrToDoubleC(text.c_str());
    if (unit_ == kPhysicalUnit) t = (t - min_) / (max_ - min_);
    if (std::isnan(t)) t = 0.0;
    return std::clamp(t, 0.0, 1.0);
}

std::vector<CThresholdSegmentation::Cell> CThresholdSegmentation::EditChanged(int k, bool upper,
                                                                              const std::string& text) {
    std::vector<Cell> moved;
    if (initialising || k < 0 || k > last_) return moved;
    modified_ = true;
    const auto i = static_cast<std::size_t>(k);
    if (!upper) {
        lower_[i] = ReadText(text);
        if (upper_[i] < lower_[i]) {
            upper_[i] = lower_[i];
            moved.push_back({k, true});
        }
        if (sortedByValue && k > 0 && upper_[i - 1] > lower_[i]) {
            upper_[i - 1] = lower_[i];
            moved.push_back({k - 1, true});
        }
    } else {
        upper_[i] = ReadText(text);
        if (lower_[i] > upper_[i]) {
            lower_[i] = upper_[i];
            moved.push_back({k, false});
        }
        if (sortedByValue && k < last_ && lower_[i + 1] < upper_[i]) {
            lower_[i + 1] = upper_[i];
            moved.push_back({k + 1, false});
        }
    }
    return moved;
}

std::string CThresholdSegmentation::Spin(int k, bool upper, int delta) {
    if (k < 0 || k > last_) return {};
    double& v = (upper ? upper_ : lower_)[static_cast<std::size_t>(k)];
    v -= delta * 0.01;
    return Text(k, upper);
}

bool CThresholdSegmentation::ImageUnitClicked(bool checked) {
    bool refused = false;
    if (state_ == kRangeTooSmall && !checked) {
        Tell(thresholdmsg::kNoPhysicalUnit);
        checked = true;
        refused = true;
    }
    unit_ = checked ? kImageUnit : kPhysicalUnit;
    return refused;
}

bool CThresholdSegmentation::PhysicalUnitClicked(bool checked) {
    bool refused = false;
    if (state_ == kRangeTooSmall && checked) {
        Tell(thresholdmsg::kNoPhysicalUnit);
        checked = false;
        refused = true;
    }
    unit_ = checked ? kPhysicalUnit : kImageUnit;
    return refused;
}

bool CThresholdSegmentation::Apply(const std::function<void(int)>& progress, int threads) {
    if (!doc_ || last_ < 0) return false;
    ZunImage& sample = doc_->GetSample();
    if (!sample.IsChanIndex(inputIndex_)) return false;
    const ZunChan* input = sample.GetChan(inputIndex_);
    // Each row writes the composition channel of its name: the channel list need not begin with
    // the compositions in the parameter set's order, and no other kind of channel is overwritten.
    std::vector<ZunChan*> outputs;
    for (int k = 0; k <= last_; ++k) {
        ZunChan* c = sample.FindChan(RowName(k));
        if (!c || c->kind != ZunChan::kComposition) {
            Tell(FormatC(thresholdmsg::kMissingComposition, RowName(k).c_str()));
            return false;
        }
        outputs.push_back(c);
    }
    const auto bounds = ThresholdRawBounds(lower_, upper_);
    std::vector<ThresholdRow> rows;
    for (std::size_t k = 0; k < outputs.size(); ++k)
        rows.push_back({outputs[k]->Data(), bounds[k][0], bounds[k][1]});
    ThresholdSegment(input->Data(), static_cast<std::int64_t>(sample.GetNumVoxels()), rows,
                     threads > 0 ? threads : ToolThreads(), progress);

    const std::string when = AscTimeNow();
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        ReplaceChannelNote(
            *outputs[k],
            FormatC("%sThreshold segmented from channel %s with image unit threshold (%.3f, %.3f) "
                    "or physical unit threshold (%.6g, %.6g)",
                    when.c_str(), inputName_.c_str(), lower_[k], upper_[k], min_ + (max_ - min_) * lower_[k],
                    min_ + (max_ - min_) * upper_[k]));
    }
    // The compositions changed: the document must be saved and the computation starts over.
    doc_->NoteVoxelsEdited(outputs);
    StatsMod stats;
    doc_->UpdateAllViews(nullptr, kHintData, &stats);
    modified_ = false;
    return true;
}

void CThresholdSegmentation::Tell(const std::string& text) const {
    if (Prompt* p = doc_ ? doc_->GetPromptSink() : nullptr) p->Tell(text, PromptIcon::Information);
}

}  // namespace zun
