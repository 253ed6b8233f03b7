#pragma once
// The run animation of a document window, advanced by a timer on the UI thread: the tree's
// "Run animation" commands and the control panel start it, the 3-D view shows every step.

#include <QObject>
#include <QTimer>

#include <functional>

#include "view3d/runanimation.h"

namespace zun {

class CZunView;
class DisplayTree;
class TreeCommands;

class RunAnimationDriver : public QObject, public RunAnimationHost {
    Q_OBJECT
public:
    RunAnimationDriver(CZunView& view, DisplayTree& tree, SliceStepping& stepping, RefreshQueue& queue);

    RunAnimation& Animation() { return anim_; }
    SliceStepping& Stepping() { return stepping_; }
    // A "Run animation" command (modes 3-6); nothing while one runs.
    void Run(int mode);
    // Queues a mode for the stepping set as it is.
    void RequestRefresh(int mode);
    bool Running() const { return anim_.Running(); }
    // The pause after each step in milliseconds, asked at the start of every run (the "Display"
    // preferences); unset: 100.
    std::function<int()> animationSpeed;

    DisplayVolume& Volume() override;
    Dims SampleDims() const override;
    std::unique_ptr<DisplayLayers> MakeLayers() override;
    void RefreshVolume() override;

Q_SIGNALS:
    void runningChanged(bool running);

private:
    void Tick();

    CZunView& view_;
    DisplayTree& tree_;
    SliceStepping& stepping_;
    RunAnimation anim_;
    QTimer timer_;
};

// Serves the tree's "Run animation" entries with the window's view and lets the view step the
// tree's slices (keys, wheel, control panel, recorder). The driver belongs to the view.
RunAnimationDriver* ConnectTreeAnimation(CZunView& view, DisplayTree& tree, SliceStepping& stepping,
                                         RefreshQueue& queue, TreeCommands& commands);

}  // namespace zun
