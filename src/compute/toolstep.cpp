// Channel tools run through the controller as computation steps: the same state texts, timers,
// log lines and stop as the pipeline's steps, without the pipeline's start checks, recording or
// save after the run.

#include <system_error>

#include "compute/exitrequested.h"
#include "compute/model.h"
#include "platform/mainframe.h"

namespace zun {

int Model::StartToolStep(ToolStep step) {
    if (RunInProgress() || toolRun_) return -1;
    JoinWorker();
    tool_ = std::move(step);
    toolRun_ = true;
    ResetDurations();
    {
        std::lock_guard lock(progressMutex_);
        haveTick_ = false;
    }
    ApplyState(kRunning, tool_.stateText.c_str());
    const std::int64_t run = ++runNumber_;
    if (!doc_ || !doc_->GetMainFrame()) {
        // Nobody would deliver the end: the step runs here.
        EndToolStep(RunToolBody());
        return 0;
    }
    try {
        worker_ = std::thread([this, run] { ToolWorker(run); });
    } catch (const std::system_error&) {
        EndToolStep(1);
    }
    return 0;
}

int Model::RunToolBody() {
    StartStepTimer();
    int result = 0;
    try {
        result = tool_.body ? tool_.body() : 0;
    } catch (const ExitRequested&) {
        result = kUserInterrupt;
    } catch (const std::exception& e) {
        LogTextTimestamped(tool_.label + " failed: " + e.what() + "\n");
        result = 1;
    } catch (...) {
        result = 1;
    }
    if (result == 0 && StopRequested()) result = kUserInterrupt;
    LogStepResult(tool_.label, result);
    return result;
}

int Model::ToolWorker(std::int64_t run) {
    std::lock_guard running(runMutex_);
    const int result = RunToolBody();
    PostToFrame(static_cast<int>(FrameMsg::ComputationEnded), result, run, {});
    return result;
}

void Model::EndToolStep(int result) {
    JoinWorker();
    toolRun_ = false;
    auto finish = std::move(tool_.finish);
    tool_ = {};
    if (finish) finish(result);
    const int s = result == 0 ? kCompleted : (result == kUserInterrupt ? kStopped : kStoppedWithError);
    if (state_.load() != s) ApplyState(s, nullptr);
    if (doc_) doc_->UpdateAllViews(kHintComputationProgress, true);
}

}  // namespace zun
