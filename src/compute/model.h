#pragma once
// The per-document computation controller: parameter set, device set, step objects, timers and
// the computation state. One worker thread per run runs the composition pipeline, then the
// property computation, then the plug-ins. The worker never waits for the UI thread: every
// effect on the user interface is posted through the main-frame channel.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "compute/computedocument.h"
#include "compute/devices.h"
#include "compute/libparams.h"
#include "compute/log.h"
#include "compute/params.h"
#include "compute/pluginlibs.h"
#include "compute/propertycomputation.h"
#include "compute/steps.h"
#include "platform/archive.h"

namespace zun {

struct FrameMessage;

enum ComputationState : int {
    kInactive = 0,
    kReady = 1,
    kRunning = 2,
    kPausing = 3,
    kPaused = 4,
    kStopping = 5,
    kStopped = 6,
    kCompleted = 7,
    kStoppedWithError = 8,
};

// The three jobs of a run.
struct JobFlags {
    bool composition = true;
    bool property = true;
    bool plugins = false;
    bool cluster = false;  // run on a compute cluster (set up remotely; no cluster is driven here)
};

// The computation set-up dialog as the controller opens it. Returns 2 for Cancel; on OK it
// leaves the step switches, orders and settings in the parameter set (see ApplySetupChoice) and
// the job flags in `jobs`.
class ComputationSetupDialog {
public:
    virtual ~ComputationSetupDialog() = default;
    virtual int Run(JobFlags& jobs, bool anyPluginDiscovered, ComputeDocument* document, Params& params) = 0;
};

// Milliseconds between posted progress reports for a model of `voxels` voxels.
int ProgressIntervalMs(std::int64_t voxels);
// The log suffix of a step result code.
std::string StepResultSuffix(int result);

class Model : public Serializable, public Loggable {
    ZUN_DECLARE_SERIAL(Model)
public:
    using NowMs = std::function<std::int64_t()>;
    // Runs pipeline step `step` (an index of the step tables) in place of the real step object.
    using StepRunner = std::function<int(int step, const ComputeLibParams& block)>;

    Model();  // for archive creation: no document, no timers
    explicit Model(ComputeDocument* document);
    ~Model() override;

    void Attach(ComputeDocument* document);
    int SetupComputation(ComputationSetupDialog& dialog);
    bool HasWorkToDo() const;
    int StartComputation();
    int StopComputation(bool ask);
    void OnComputationEnded(int result);
    // The main frame hands the controller the messages its worker posted.
    void HandleFrameMessage(const FrameMessage& msg);
    void SetState(int state, bool takeLock, const char* stepText);

    // A channel tool run as a computation step: the state shows `stateText` while `body` runs on
    // the controller's worker, the result is logged under `label`, and `finish` runs on the UI
    // thread when the end arrives (also after a stop), before the end state is shown. The body
    // reports progress with SetProgress, which ends it with ExitRequested once a stop was asked.
    // A controller destroyed during the run stops and joins the body and never calls `finish`.
    struct ToolStep {
        std::string stateText;
        std::string label;
        std::function<int()> body;
        std::function<void(int result)> finish;
    };
    // 0 started; without a main frame the step runs to its end on this thread before the return.
    // -1 while a run is in progress.
    int StartToolStep(ToolStep step);
    bool ToolStepRunning() const { return toolRun_; }
    int GetState() const { return state_.load(); }
    std::string GetStateText() const;
    // The text of a state (a running step's own text when it has one).
    static std::string StateText(int state, const std::string& stepText);
    // True while a worker exists that has not been joined.
    bool IsBusy() const;
    // True while a run may still touch the parameter set and the channels: running, or stopping
    // (the worker goes on until its next progress report).
    bool RunInProgress() const {
        const int s = state_.load();
        return s == kRunning || s == kStopping;
    }

    void SetProgress(float percent, bool force);
    void FinishStepProgress(int* result);
    void AdjustSyncUpdateCount(int delta);
    void ResetDurations();
    void StartStepTimer();
    void UpdateDurations(float percent);
    // Copies of the three timers (step, running total, finished steps).
    std::vector<CDuration> Durations() const;

    int SetDimensions(std::array<std::uint32_t, 3> dims);
    int InsertChannel(int index, const char* name);
    int DeleteChannel(int index);
    float GetChannelAttenuation(int channel, int which) const;
    std::vector<float> GetChannelAttenuationPair(int channel) const;
    void SetChannelMeasuredAttenuation(int channel, float value, int which);
    void SetChannelAttenuationOffset(int channel, float value, int which);
    void SetPluginRunList(std::vector<PluginRunEntry> list) { runList_ = std::move(list); }
    const std::vector<PluginRunEntry>& PluginRunList() const { return runList_; }
    std::vector<SavedPluginSetting>& SavedPluginSettings() { return savedPlugins_; }

    // Worker side.
    ComputeLibParams BuildLibraryParameters() const;
    int RunPipeline();
    int RunPropertyComputation();
    int RunPlugins();
    void LogStepResult(const std::string& label, int result);
    bool StopRequested() const { return state_.load() == kStopping; }
    // One pointer per composition channel, then per CT channel, at voxel 0; empty when the
    // sample's channels do not match the parameter set.
    std::vector<std::uint16_t*> ChannelPointers() const;

    void Serialize(Archive& ar) override;

    Params& GetParams() { return params_; }
    const Params& GetParams() const { return params_; }
    ComputeDeviceSet& Devices() { return devices_; }
    JobFlags& Jobs() { return jobs_; }
    ComputeDocument* Document() const { return doc_; }
    void SetPropertyComputation(PropertyComputationEngine* engine) { property_ = engine; }
    std::vector<PropertyMethodSettings>& PropertyMethods() { return propertyComputation_.Methods(); }

    // Test seams: the clock of progress and timers, and fake pipeline steps.
    void SetClock(NowMs now) { now_ = std::move(now); }
    void SetStepRunner(StepRunner runner) { stepRunner_ = std::move(runner); }
    int ProgressInterval() const { return progressInterval_; }

private:
    int Start();
    PropertyComputationEngine& Property();
    int WorkerThread(std::int64_t run);
    int ToolWorker(std::int64_t run);
    int RunToolBody();
    void EndToolStep(int result);
    int RunStep(int step, const ComputeLibParams& block);
    void ApplyState(int state, const char* stepText, bool logLine = true);
    void PostToFrame(int kind, std::int64_t value, std::int64_t value2, std::string text);
    bool OnUiThread() const { return std::this_thread::get_id() == uiThread_; }
    void JoinWorker();
    std::int64_t Now() const;
    void InitDurations();
    int CtNumber(int channel) const;
    void SetCtAttenuationPart(int channel, float value, int which, bool offsetPart);

    bool reserved_ = false;
    Params params_;
    ComputeDeviceSet devices_;
    std::atomic<int> state_{kInactive};
    ComputeDocument* doc_ = nullptr;
    std::thread::id uiThread_;
    std::thread worker_;
    // Numbers the runs so that the end message of a run that was already joined (stopped, then
    // started again before its message arrived) is told apart from the current run's.
    std::int64_t runNumber_ = 0;
    std::mutex runMutex_;
    mutable std::mutex stateMutex_;
    mutable std::mutex progressMutex_;
    std::int64_t lastTick_ = 0;
    bool haveTick_ = false;
    std::vector<std::unique_ptr<CDuration>> timers_;
    std::string stepText_ = "Computation Running";
    int progressInterval_ = 200;
    int syncUpdateCount_ = 0;
    CDataCheckingCorrection dataCheck_;
    InterSectionalExtrapolation extrapolation_;
    DatConLinearOpt linear_;
    DatConNonlinearOpt nonlinear_;
    bool skipProperty_ = false;
    std::vector<PluginRunEntry> runList_;
    std::vector<SavedPluginSetting> savedPlugins_;
    CPropertyComputation propertyComputation_;
    PropertyComputationEngine* property_ = nullptr;
    CDiscreteLeastSquareSegmentation segmentation_;
    JobFlags jobs_;
    ToolStep tool_;
    bool toolRun_ = false;

    NowMs now_;
    StepRunner stepRunner_;
};

}  // namespace zun
