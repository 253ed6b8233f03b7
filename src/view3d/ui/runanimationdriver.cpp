#include "view3d/ui/runanimationdriver.h"

#include <algorithm>

#include "document/zundoc.h"
#include "tree/treecommandids.h"
#include "tree/treedispatch.h"
#include "view3d/treelayers.h"
#include "view3d/ui/zunview.h"
#include "view3d/updatehints.h"

namespace zun {

RunAnimationDriver::RunAnimationDriver(CZunView& view, DisplayTree& tree, SliceStepping& stepping,
                                       RefreshQueue& queue)
    : QObject(&view), view_(view), tree_(tree), stepping_(stepping), anim_(stepping, queue, *this) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
    anim_.onFinished = [this] { Q_EMIT runningChanged(false); };
}

void RunAnimationDriver::Run(int mode) {
    if (!anim_.Request(mode)) return;
    anim_.delay = animationSpeed ? std::clamp(animationSpeed(), 10, 200) : 100;
    Q_EMIT runningChanged(true);
    if (!timer_.isActive()) timer_.start(0);
}

void RunAnimationDriver::RequestRefresh(int mode) {
    anim_.RequestRefresh(mode);
    if (!timer_.isActive()) timer_.start(0);
}

void RunAnimationDriver::Tick() {
    const int next = anim_.Tick();
    if (next >= 0) timer_.start(next);
}

DisplayVolume& RunAnimationDriver::Volume() {
    return view_.GetDisplayVolume();
}

Dims RunAnimationDriver::SampleDims() const {
    return view_.Document() ? view_.Document()->GetSample().GetDims() : Dims{0, 0, 0};
}

std::unique_ptr<DisplayLayers> RunAnimationDriver::MakeLayers() {
    return std::make_unique<TreeDisplayLayers>(tree_, view_.Document()->GetSample());
}

void RunAnimationDriver::RefreshVolume() {
    view_.RefreshVolumeProperties();
}

RunAnimationDriver* ConnectTreeAnimation(CZunView& view, DisplayTree& tree, SliceStepping& stepping,
                                         RefreshQueue& queue, TreeCommands& commands) {
    auto* driver = new RunAnimationDriver(view, tree, stepping, queue);
    view.SetAnimation(driver);
    QObject::connect(driver, &RunAnimationDriver::runningChanged, &view,
                     [&commands](bool running) { commands.runAnimationRunning = running; });
    stepping.displayChanged = [&view] { view.OnUpdate(nullptr, kUpdateDisplayItems, nullptr); };
    view.stepSlices = [&stepping](bool forward) {
        if (forward)
            stepping.StepForward();
        else
            stepping.StepBackward();
    };
    const std::pair<int, int> entries[] = {{treecmd::kRunFillIn, kAnimFillIn},
                                           {treecmd::kRunStepThrough, kAnimStepThrough},
                                           {treecmd::kRunFillFromTop, kAnimFillFromTop},
                                           {treecmd::kRunFillFromRight, kAnimFillFromRight}};
    for (const auto& [id, mode] : entries)
        commands.Register(id, [driver, mode = mode](int) { driver->Run(mode); });
    return driver;
}

}  // namespace zun
