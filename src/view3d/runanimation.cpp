#include "view3d/runanimation.h"

#include <omp.h>

#include <cstring>

#include "foundation/threadcount.h"

namespace zun {

SteppedDisplayFill::SteppedDisplayFill(int mode, DisplayLayers& layers, const Dims& sample,
                                       VolumeSource volume, int threads)
    : mode_(mode), layers_(layers), source_(std::move(volume)), threads_(TeamThreads(threads)) {
    view_ = source_().GetDims();
    if (view_.size() < 3 || CountVoxels(view_) == 0 || !source_().Data()) {
        stopped_ = true;
        return;
    }
    plan_ = PrepareDisplayFill(layers_, sample, view_);
    layers_.PrepareViewSlices(plan_.slices, view_[2]);
    for (int c : plan_.counts)
        if (c != 0) ++shown_;
}

int SteppedDisplayFill::StepCount() const {
    if (view_.size() < 3) return 0;
    switch (mode_) {
        case kAnimFillIn:
        case kAnimStepThrough:
            return shown_;
        case kAnimFillFromRight:
            return view_[1];
        case kAnimFillFromTop:
            return view_[0];
        default:
            return 0;
    }
}

int SteppedDisplayFill::Result() const {
    if (mode_ == kAnimFillFromRight || mode_ == kAnimFillFromTop)
        return view_.size() < 3 ? 0 : shown_ * view_[1];
    return shown_;
}

disptype* SteppedDisplayFill::VolumeData() {
    DisplayVolume& v = source_();
    // The view rebuilt its volume meanwhile: the plan no longer fits it.
    if (v.GetDims() != view_ || !v.Data()) {
        stopped_ = true;
        return nullptr;
    }
    return v.Data();
}

void SteppedDisplayFill::CompositeSlice(disptype* v, int k) {
    const int vx = view_[0], vy = view_[1], nc = plan_.channels;
    disptype* out = v + static_cast<std::size_t>(vx) * vy * k;
    const int* slices = plan_.slices.data() + static_cast<std::size_t>(k) * nc;
    omp_set_dynamic(0);
#pragma omp parallel for schedule(static) num_threads(threads_)
    for (int y = 0; y < vy; ++y)
        layers_.CompositeRow(k, slices, plan_.mapY[y], plan_.mapZ[k], plan_.mapX.data(), vx,
                             out + static_cast<std::size_t>(y) * vx);
}

bool SteppedDisplayFill::Next() {
    if (stopped_) return false;
    disptype* v = VolumeData();
    if (!v) return false;
    const int vx = view_[0], vy = view_[1], vz = view_[2], nc = plan_.channels;
    const std::size_t plane = static_cast<std::size_t>(vx) * vy;
    switch (mode_) {
        case kAnimFillIn:
        case kAnimStepThrough:
            while (next_ < vz) {
                const int k = next_++;
                if (plan_.counts[k] == 0) {
                    std::memset(v + plane * k, 0, plane * sizeof(disptype));
                    continue;
                }
                CompositeSlice(v, k);
                // The slice drawn last goes, not merely slice k - 1: after a gap of empty slices
                // it would otherwise stay, and two slices would show at a time.
                if (mode_ == kAnimStepThrough && lastDrawn_ >= 0)
                    std::memset(v + plane * lastDrawn_, 0, plane * sizeof(disptype));
                lastDrawn_ = k;
                ++drawn_;
                return true;
            }
            return false;
        case kAnimFillFromRight: {
            if (next_ >= vy) return false;
            const int y = next_++;
            omp_set_dynamic(0);
#pragma omp parallel for schedule(static) num_threads(threads_)
            for (int k = 0; k < vz; ++k) {
                disptype* out = v + plane * k + static_cast<std::size_t>(y) * vx;
                // Only the row this step draws is cleared: the run cleared the volume before.
                if (plan_.counts[k] == 0)
                    std::memset(out, 0, sizeof(disptype) * static_cast<std::size_t>(vx));
                else
                    layers_.CompositeRow(k, plan_.slices.data() + static_cast<std::size_t>(k) * nc,
                                         plan_.mapY[y], plan_.mapZ[k], plan_.mapX.data(), vx, out);
            }
            ++drawn_;
            return true;
        }
        case kAnimFillFromTop: {
            if (next_ >= vx) return false;
            const int x = next_++;
            omp_set_dynamic(0);
#pragma omp parallel for schedule(static) num_threads(threads_)
            for (int k = 0; k < vz; ++k) {
                const int* slices = plan_.slices.data() + static_cast<std::size_t>(k) * nc;
                for (int y = 0; y < vy; ++y) {
                    disptype* out = v + plane * k + static_cast<std::size_t>(y) * vx + x;
                    // One voxel per call: a column step is paced by the animation's pause, not
                    // by this loop.
                    if (plan_.counts[k] == 0)
                        *out = 0;
                    else
                        layers_.CompositeRow(k, slices, plan_.mapY[y], plan_.mapZ[k], plan_.mapX.data() + x,
                                             1, out);
                }
            }
            ++drawn_;
            return true;
        }
        default:
            return false;
    }
}

RunAnimation::RunAnimation(SliceStepping& stepping, RefreshQueue& queue, RunAnimationHost& host)
    : stepping_(stepping), queue_(queue), host_(host) {}

RunAnimation::~RunAnimation() = default;

bool RunAnimation::Request(int mode) {
    if (stepping_.IsAnimating() || fill_) return false;
    stepping_.Begin(true);
    stepping_.SetAnimating(true);
    queue_.Push(mode);
    return true;
}

bool RunAnimation::Running() const {
    return fill_ != nullptr || stepping_.IsAnimating();
}

void RunAnimation::Finish() {
    fill_.reset();
    layers_.reset();
    stepping_.SetAnimating(false);
    if (onFinished) onFinished();
}

void RunAnimation::Abort() {
    if (fill_) Finish();
}

int RunAnimation::AfterRun() {
    // A request that came while this run was drawn is not left waiting for the next one.
    return queue_.Empty() ? -1 : 0;
}

int RunAnimation::Tick() {
    if (fill_) {
        // The tree changed shape under the run (its items and prepared colours are stale), or the
        // view rebuilt its volume: the view skipped its own fill while the run drew, so the whole
        // volume is filled afresh.
        const bool stale = stepping_.Generation() != generation_;
        if (!stale && fill_->Next()) {
            host_.RefreshVolume();
            if (onFrame) onFrame({mode_, fill_->StepsDrawn(), fill_->StepCount()});
            return delay;
        }
        result_ = fill_->Result();
        if (stale || fill_->Stopped() || mode_ == kAnimStepThrough) {
            if (stale) layers_ = host_.MakeLayers();
            DisplayVolume& v = host_.Volume();
            FillDisplayVolume(kFillAll, *layers_, host_.SampleDims(), v.Data(), v.GetDims(), threads);
            host_.RefreshVolume();
        }
        Finish();
        return AfterRun();
    }
    const std::optional<std::int32_t> mode = queue_.TakeLast();
    if (!mode) return -1;
    mode_ = *mode;
    if (stepping_.Empty()) {
        stepping_.SetAnimating(false);
        if (onFinished) onFinished();
        return AfterRun();
    }
    layers_ = host_.MakeLayers();
    DisplayVolume& v = host_.Volume();
    FillDisplayVolume(kFillClear, *layers_, host_.SampleDims(), v.Data(), v.GetDims(), threads);
    host_.RefreshVolume();
    stepping_.ShowAll();
    generation_ = stepping_.Generation();
    fill_ = std::make_unique<SteppedDisplayFill>(
        mode_, *layers_, host_.SampleDims(), [this]() -> DisplayVolume& { return host_.Volume(); }, threads);
    return 0;
}

}  // namespace zun
