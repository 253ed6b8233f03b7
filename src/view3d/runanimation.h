#pragma once
// The run animation: the display volume filled step by step so that the user watches it being
// built. It is a state machine that the window's UI thread advances with a timer, one step per
// call, so the tree's items and the display volume are only ever touched on that thread.

#include <cstdint>
#include <functional>
#include <memory>

#include "tree/slicestepping.h"
#include "view3d/displayfill.h"

namespace zun {

enum RunAnimationMode : int {
    kAnimFillIn = 3,         // slice by slice along z, keeping the slices drawn
    kAnimStepThrough = 4,    // slice by slice along z, one slice visible at a time
    kAnimFillFromRight = 5,  // one view row y at a time
    kAnimFillFromTop = 6,    // one view column x at a time
};

// One stepped fill of modes 3-6 over the volume the source gives. The volume is asked for at
// every step: when its extents changed meanwhile (the view rebuilt it), the fill stops.
class SteppedDisplayFill {
public:
    using VolumeSource = std::function<DisplayVolume&()>;
    SteppedDisplayFill(int mode, DisplayLayers& layers, const Dims& sample, VolumeSource volume,
                       int threads = 0);

    // Draws the next step that shows something (slices with nothing to show are cleared on the
    // way); false when the fill is over.
    bool Next();
    // Steps drawn so far and the number a full run draws.
    int StepsDrawn() const { return drawn_; }
    int StepCount() const;
    // The number of view slices with displayed layers (times the rows for modes 5 and 6).
    int Result() const;
    bool Stopped() const { return stopped_; }

private:
    disptype* VolumeData();
    void CompositeSlice(disptype* v, int k);

    int mode_;
    DisplayLayers& layers_;
    VolumeSource source_;
    Dims view_;
    DisplayFillPlan plan_;
    int threads_;
    int next_ = 0;  // the k, y or x of the next step
    int drawn_ = 0;
    int lastDrawn_ = -1;
    int shown_ = 0;  // view slices with displayed layers
    bool stopped_ = false;
};

// What the animation needs of its window.
class RunAnimationHost {
public:
    virtual ~RunAnimationHost() = default;
    virtual DisplayVolume& Volume() = 0;
    virtual Dims SampleDims() const = 0;
    // The displayed items as the fill reads them, prepared afresh for every run.
    virtual std::unique_ptr<DisplayLayers> MakeLayers() = 0;
    // The volume changed in place: upload it again and redraw.
    virtual void RefreshVolume() = 0;
};

// What an observer (the animation recorder) sees after every drawn step.
struct RunAnimationFrame {
    int mode = 0;
    int step = 0;   // 1 for the first drawn step
    int steps = 0;  // drawn steps of the whole run
};

class RunAnimation {
public:
    RunAnimation(SliceStepping& stepping, RefreshQueue& queue, RunAnimationHost& host);
    ~RunAnimation();

    // A "Run animation" command: the selected channels are stepped and the mode is queued. False
    // (nothing done) while an animation runs.
    bool Request(int mode);
    // Queues a mode for the stepping set as it is (the recorder and the control panel).
    void RequestRefresh(int mode) { queue_.Push(mode); }
    // Carries out the next piece of work: the pause in milliseconds before the next call, or -1
    // when nothing is left to do.
    int Tick();
    // Stops a run where it is; the stepped slices stay as they are.
    void Abort();
    bool Running() const;
    // The last fill's result (see SteppedDisplayFill::Result).
    int LastResult() const { return result_; }

    // The pause after each drawn step (the "animationSpeed" preference, 10..200 ms).
    int delay = 100;
    int threads = 0;
    std::function<void(const RunAnimationFrame&)> onFrame;
    // After a run ended (drawn to the end, aborted or with nothing to step).
    std::function<void()> onFinished;

private:
    void Finish();
    int AfterRun();

    SliceStepping& stepping_;
    RefreshQueue& queue_;
    RunAnimationHost& host_;
    int mode_ = 0;
    std::uint64_t generation_ = 0;
    std::unique_ptr<DisplayLayers> layers_;
    std::unique_ptr<SteppedDisplayFill> fill_;
    int result_ = 0;
};

}  // namespace zun
