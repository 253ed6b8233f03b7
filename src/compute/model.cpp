#include "compute/model.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "compute/exitrequested.h"
#include "platform/mainframe.h"
#include "platform/prompt.h"

namespace zun {

ZUN_IMPLEMENT_SERIAL(Model, Serializable, 0)

int ProgressIntervalMs(std::int64_t voxels) {
    static const double table[12] = {0.2, 0.2, 0.2, 0.5, 0.5, 1, 1, 2, 5, 10, 15, 20};
    // i = ceil(log10(N)) - 1 as an unsigned index: N of 0 or 1 wraps to the largest index.
    std::uint64_t i = 11;
    if (voxels > 1) {
        int digits = 0;
        for (std::uint64_t p = 1; p < static_cast<std::uint64_t>(voxels) && digits < 20; p *= 10) ++digits;
        i = static_cast<std::uint64_t>(digits - 1);
    }
    if (i > 11) i = 11;
    return static_cast<int>(table[i] * 1000 + 0.5);
}

std::string StepResultSuffix(int r) {
    if (r == 0) return " completed successfully\n";
    if (r >= 1 && r <= 100) return " completed with GPU error ()\n";
    if (r > 100) return Format(" completed with data error (%d)\n", r - 100);
    if (r < -100) return Format(" completed with data warning (%d)\n", r + 100);
    if (r == kUserInterrupt) return " completed with user interrupt\n";
    if (r == -1) return " completed with no processors selected\n";
    return Format(" completed with undefined error (%d)\n", r);
}

// ---------------------------------------------------------------------------------------------
// Construction and attachment

Model::Model() {
    params_.SetPrompt(nullptr);
}

Model::Model(ComputeDocument* document) : Loggable(document), doc_(document) {
    params_.Initialise();
    InitDurations();
    uiThread_ = std::this_thread::get_id();
}

Model::~Model() {
    // A run still going is asked to stop; the worker never waits for this thread, so the join
    // ends as soon as its current range is done.
    if (worker_.joinable()) {
        int expected = kRunning;
        state_.compare_exchange_strong(expected, kStopping);
        worker_.join();
    }
}

void Model::InitDurations() {
    timers_.clear();
    timers_.push_back(std::make_unique<CDuration>("Elapsed"));
    timers_.push_back(std::make_unique<CDuration>("Total"));
    timers_.push_back(std::make_unique<CDuration>(""));
}

void Model::Attach(ComputeDocument* document) {
    doc_ = document;
    SetLogDocument(document);
    uiThread_ = std::this_thread::get_id();
    params_.SetPrompt(document ? document->GetPrompt() : nullptr);
    propertyComputation_.SetDocument(document ? document->Properties() : nullptr);
    ComputeSample* sample = document ? document->Sample() : nullptr;
    for (ComputeCommonFuncs* s : std::initializer_list<ComputeCommonFuncs*>{
             &dataCheck_, &extrapolation_, &linear_, &nonlinear_, &segmentation_})
        s->Attach(document, &params_, sample, this);
    if (timers_.size() != 3) InitDurations();
    if (document) MergePluginSettings(runList_, savedPlugins_, document->PluginFolders());
}

std::int64_t Model::Now() const {
    if (now_) return now_();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// ---------------------------------------------------------------------------------------------
// State

std::string Model::StateText(int state, const std::string& stepText) {
    switch (state) {
        case kInactive:
            return "Computation Inactive";
        case kReady:
            return "Computation Ready";
        case kRunning:
            return stepText.empty() ? "Computation Running" : stepText;
        case kPausing:
            return "Computation Pausing...";
        case kPaused:
            return "Computation Paused";
        case kStopping:
            return "Computation Stopping...";
        case kStopped:
            return "Computation Stopped";
        case kCompleted:
            return "Computation Completed";
        case kStoppedWithError:
            return "Computation stopped with error";
        default:
            return "";
    }
}

std::string Model::GetStateText() const {
    const int state = state_.load();
    if (state != kRunning) return StateText(state, {});
    std::lock_guard lock(stateMutex_);
    return StateText(state, stepText_);
}

void Model::PostToFrame(int kind, std::int64_t value, std::int64_t value2, std::string text) {
    MainFrameChannel* frame = doc_ ? doc_->GetMainFrame() : nullptr;
    if (!frame) return;
    FrameMessage m{static_cast<FrameMsg>(kind), doc_, value, value2, std::move(text)};
    frame->Post(std::move(m));
}

// Stores the state on the UI thread: views, and the log line unless its poster wrote it.
void Model::ApplyState(int state, const char* stepText, bool logLine) {
    {
        std::lock_guard lock(stateMutex_);
        state_.store(state);
        if (state == kRunning && stepText) stepText_ = stepText;
    }
    if (doc_) doc_->UpdateAllViews(kHintStateChanged);
    if (logLine) LogTimestamped("%s\n", GetStateText().c_str());
}

void Model::SetState(int state, bool /*takeLock*/, const char* stepText) {
    if (state == state_.load() && !(state == kRunning && stepText)) return;
    if (OnUiThread() || !doc_) {
        ApplyState(state, stepText);
        return;
    }
    // Off the UI thread the change is posted, never waited for. Its log line is written here,
    // so that it stands before the lines the worker writes next (a step's result among them),
    // however late the UI thread takes the change.
    const std::string text = stepText ? stepText : "";
    LogTextTimestamped(StateText(state, text) + "\n");
    PostToFrame(static_cast<int>(FrameMsg::SetModelState), state, stepText ? 1 : 0, text);
}

void Model::HandleFrameMessage(const FrameMessage& msg) {
    switch (msg.kind) {
        case FrameMsg::ComputationEnded:
            if (msg.value2 == runNumber_) OnComputationEnded(static_cast<int>(msg.value));
            break;
        case FrameMsg::RefreshViews:
            if (doc_) doc_->UpdateAllViews(kHintComputationProgress);
            break;
        case FrameMsg::SetModelState: {
            const int s = static_cast<int>(msg.value);
            // A step change the worker posted before a stop arrived must not undo the stop.
            if (s == kRunning && state_.load() != kRunning) break;
            if (s == state_.load() && !(s == kRunning && msg.value2)) break;
            ApplyState(s, msg.value2 ? msg.text.c_str() : nullptr, false);
            break;
        }
        default:
            break;
    }
}

PropertyComputationEngine& Model::Property() {
    return property_ ? *property_ : propertyComputation_;
}

bool Model::IsBusy() const {
    return worker_.joinable();
}

void Model::JoinWorker() {
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

int Model::SetupComputation(ComputationSetupDialog& dialog) {
    if (RunInProgress()) return -1;
    JobFlags jobs = jobs_;
    const bool anyPlugin = !runList_.empty();
    if (dialog.Run(jobs, anyPlugin, doc_, params_) == kPromptCancel) return 2;
    jobs_ = jobs;
    SetState(kReady, true, nullptr);
    return 0;
}

bool Model::HasWorkToDo() const {
    ComputeSample* s = doc_ ? doc_->Sample() : nullptr;
    const bool voxels = params_.voxelCount != 0;
    const bool compositionJob =
        jobs_.composition && params_.compositionCount != 0 && params_.ctChannelCount != 0 && voxels &&
        ((params_.stepFlags[kStepSegmentation] & 1) || (params_.stepFlags[kStepLinear] & 1) ||
         (params_.stepFlags[kStepNonlinear] & 1));
    const PropertyComputationEngine* prop = property_ ? property_ : &propertyComputation_;
    const bool propertyJob =
        jobs_.property && s && s->CountChannelsOfKind(kChanProperty) > 0 && voxels && prop->MethodCount() > 0;
    const bool pluginJob = jobs_.plugins && std::any_of(runList_.begin(), runList_.end(),
                                                        [](const auto& e) { return e.selected; });
    return compositionJob || propertyJob || pluginJob;
}

// ---------------------------------------------------------------------------------------------
// Start, stop, end

int Model::StartComputation() {
    if (!jobs_.composition && !jobs_.property && !jobs_.plugins) return -2;
    const int s = state_.load();
    if (s == kInactive || s == kRunning) return -1;
    if (doc_ && doc_->StartComputationRecording() != 0) return -3;
    ResetDurations();
    if (doc_) doc_->UpdateAllViews(kHintComputationStart);
    return Start();
}

int Model::Start() {
    skipProperty_ = false;
    PropertyComputationEngine& prop = Property();
    if (jobs_.property) {
        std::string errors, warnings;
        const int problems = prop.CheckSettings(errors, warnings);
        if (problems != 0) {
            Prompt* prompt = doc_ ? doc_->GetPrompt() : nullptr;
            const std::string details = errors + warnings;
            int answer = kPromptCancel;
            if (details.find("Error") != std::string::npos) {
                PromptRequest r{
                    "Property computation setup contains errors; continue computation?\n\nClick [Ok] to "
                    "continue but skip property computation, or [Cancel] to stop computation now.\n",
                    details, "Property Computation parameter errors", PromptButtons::OkCancel,
                    PromptIcon::Warning};
                answer = prompt ? prompt->Ask(r) : kPromptCancel;
            } else {
                PromptRequest r{
                    "Property computation setup contains warnings; continue computation?\n\nClick "
                    "[Continue] to continue and include property computation, or [Skip] to continue but "
                    "skip property computation, or [Cancel] to stop computation now.\n",
                    details, "Property Computation parameter warnings", PromptButtons::ContinueSkipCancel,
                    PromptIcon::Warning};
                answer = prompt ? prompt->Ask(r) : kPromptCancel;
            }
            if (answer == kPromptCancel) {
                if (doc_) doc_->StopComputationRecording();
                return 2;
            }
            if (answer == kPromptOk || answer == kPromptSkip) skipProperty_ = true;
        }
        if (!skipProperty_) prop.AcceptCheckedSettings();
    }
    ComputeSample* sample = doc_ ? doc_->Sample() : nullptr;
    std::int64_t n = 1;
    if (sample) {
        auto d = sample->Dims();
        n = std::int64_t(d[0]) * d[1] * d[2];
    }
    progressInterval_ = ProgressIntervalMs(n);
    {
        std::lock_guard lock(stateMutex_);
        stepText_.clear();
    }
    JoinWorker();
    ApplyState(kRunning, nullptr);
    const std::int64_t run = ++runNumber_;
    try {
        worker_ = std::thread([this, run] { WorkerThread(run); });
    } catch (const std::system_error&) {
        // Without a worker the run cannot end by itself.
        ApplyState(kStoppedWithError, nullptr);
        if (doc_) doc_->StopComputationRecording();
        return -1;
    }
    return 0;
}

int Model::WorkerThread(std::int64_t run) {
    std::lock_guard running(runMutex_);
    {
        std::lock_guard lock(progressMutex_);
        haveTick_ = false;
    }
    int result = 0;
    try {
        if (jobs_.composition) result = RunPipeline();
        if (result == 0 && jobs_.property && !skipProperty_) result = RunPropertyComputation();
        if (result == 0 && doc_ && doc_->PluginsEnabled() && jobs_.plugins) result = RunPlugins();
    } catch (const ExitRequested&) {
        result = kUserInterrupt;
    } catch (const std::exception& e) {
        LogTextTimestamped(std::string("Computation failed: ") + e.what() + "\n");
        result = 1;
    } catch (...) {
        result = 1;
    }
    // A stop asked after the last progress report still ends the run as stopped.
    if (result == 0 && StopRequested()) result = kUserInterrupt;
    PostToFrame(static_cast<int>(FrameMsg::ComputationEnded), result, run, {});
    if (doc_ && doc_->GetRemote()) doc_->GetRemote()->ReplyWork(*doc_, 100);
    if (!doc_ || !doc_->GetMainFrame()) {
        // Nobody delivers the end message: the state is set here.
        std::lock_guard lock(stateMutex_);
        state_.store(result == 0 ? kCompleted : (result == kUserInterrupt ? kStopped : kStoppedWithError));
    }
    return result;
}

int Model::StopComputation(bool ask) {
    if (state_.load() != kRunning) return 0;
    if (ask) {
        Prompt* prompt = doc_ ? doc_->GetPrompt() : nullptr;
        PromptRequest r{"Stop computation?", {}, {}, PromptButtons::OkCancel, PromptIcon::Question};
        // The run may end while the question is open: it is withdrawn then.
        if (prompt && prompt->AskWhile(r, [this] { return state_.load() == kRunning; }) == kPromptCancel)
            return 0;
        if (state_.load() != kRunning) return 0;
    }
    // The worker sees Stopping at its next progress report and ends the run; Stopped follows
    // when its end message arrives. Nothing here waits for the worker.
    ApplyState(kStopping, nullptr);
    return 0;
}

void Model::OnComputationEnded(int result) {
    if (toolRun_) {
        EndToolStep(result);
        return;
    }
    JoinWorker();
    const int s = result == 0 ? kCompleted : (result == kUserInterrupt ? kStopped : kStoppedWithError);
    if (state_.load() != s) ApplyState(s, nullptr);
    if (!doc_) return;
    doc_->UpdateAllViews(kHintComputationProgress, true);
    doc_->StopComputationRecording();
    std::string failure;
    if (doc_->SaveAfterComputation() && result == 0) {
        if (doc_->Save()) {
            if (doc_->ExitAfterComputation()) {
                LogTimestamped("Exiting Zun after computation, %s\n", doc_->FilePath().c_str());
                doc_->CloseMainWindow();
            }
        } else {
            failure = "Save after computation failed";
            LogTextTimestamped(failure + ", " + doc_->FilePath() + "\n");
        }
    }
    if (RemoteComputeReplies* remote = doc_->GetRemote()) {
        // Success answers "OK"; anything else says what happened after "OK:" so that a remote
        // controller can tell a failed or stopped run from a completed one.
        remote->ReplyOk(*doc_, result != 0 ? GetStateText() : failure);
    }
}

// ---------------------------------------------------------------------------------------------
// Progress and timers

void Model::SetProgress(float percent, bool force) {
    bool due, refresh;
    {
        std::lock_guard lock(progressMutex_);
        if (state_.load() == kStopping) throw ExitRequested{};
        const std::int64_t now = Now();
        due = force || !haveTick_ || now - lastTick_ >= progressInterval_;
        if (due) {
            UpdateDurations(percent);
            lastTick_ = now;
            haveTick_ = true;
        }
        refresh = due || syncUpdateCount_ != 0;
    }
    // Outside the lock: neither the remote connection nor the channel is called with it held.
    if (due && doc_ && doc_->GetRemote()) doc_->GetRemote()->ReplyWork(*doc_, static_cast<int>(percent));
    if (refresh && !(doc_ && doc_->ViewUpdateInProgress()))
        PostToFrame(static_cast<int>(FrameMsg::RefreshViews), 0, 0, {});
}

void Model::FinishStepProgress(int* result) {
    try {
        SetProgress(100.0f, true);
    } catch (const ExitRequested&) {
        if (*result == 0) *result = kUserInterrupt;
    }
}

void Model::AdjustSyncUpdateCount(int delta) {
    std::lock_guard lock(progressMutex_);
    syncUpdateCount_ = std::max(0, syncUpdateCount_ + delta);
}

void Model::ResetDurations() {
    std::lock_guard lock(progressMutex_);
    if (timers_.size() != 3) InitDurations();
    timers_[0]->label = "Elapsed";
    for (auto& t : timers_) t->Clear();
}

void Model::StartStepTimer() {
    {
        std::lock_guard lock(progressMutex_);
        CDuration& step = *timers_[0];
        CDuration& done = *timers_[2];
        done.total += step.total;
        done.Split();
        step.Clear();
        const std::int64_t now = Now();
        step.SetMark(CDuration::Clock::time_point(std::chrono::milliseconds(now)));
        lastTick_ = now;
        haveTick_ = true;
    }
    PostToFrame(static_cast<int>(FrameMsg::RefreshViews), 0, 0, {});
}

// Called with the progress lock held (or from the worker between steps).
void Model::UpdateDurations(float percent) {
    if (percent > 100.0f) percent = 100.0f;
    CDuration& step = *timers_[0];
    const std::int64_t now = Now();
    const std::int64_t mark =
        std::chrono::duration_cast<std::chrono::milliseconds>(step.Mark().time_since_epoch()).count();
    step.total += static_cast<float>((now - mark) / 1000.0);
    step.SetMark(CDuration::Clock::time_point(std::chrono::milliseconds(now)));
    step.Split();
    if (percent >= 0) step.percent = percent;
    CDuration& total = *timers_[1];
    total.total = timers_[2]->total + step.total;
    total.Split();
}

std::vector<CDuration> Model::Durations() const {
    std::lock_guard lock(progressMutex_);
    std::vector<CDuration> out;
    for (auto& t : timers_) {
        CDuration copy(t->label);
        copy.days = t->days;
        copy.hours = t->hours;
        copy.minutes = t->minutes;
        copy.wholeSeconds = t->wholeSeconds;
        copy.seconds = t->seconds;
        copy.percent = t->percent;
        copy.total = t->total;
        out.push_back(copy);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Channels

int Model::SetDimensions(std::array<std::uint32_t, 3> dims) {
    if (RunInProgress()) return -1;
    params_.sampleSize = dims;
    params_.voxelCount = std::int64_t(dims[0]) * dims[1] * dims[2];
    return 0;
}

int Model::CtNumber(int channel) const {
    ComputeSample* s = doc_ ? doc_->Sample() : nullptr;
    if (!s) return 0;
    int n = 0;
    for (int i = 0; i <= channel && i < s->ChannelCount(); ++i) n += s->ChannelKind(i) == kChanCt;
    return n;
}

int Model::InsertChannel(int index, const char* name) {
    if (RunInProgress()) return -1;
    ComputeSample* s = doc_ ? doc_->Sample() : nullptr;
    if (!s || index < 0 || index >= s->ChannelCount()) return 1;
    const std::string text = name ? name : "";
    const int kind = s->ChannelKind(index);
    int r = 0;
    if (kind == kChanComposition) {
        r = params_.InsertComposition(index, text);
    } else if (kind == kChanCt) {
        const int number = index - s->FirstChannelOfKind(kChanCt) + 1;
        r = params_.InsertTomoChannel(number, text);
        if (r == 0) {
            s->SetChannelRangeValue(index, 0, params_.ctAttenLowMeasured[number]);
            s->SetChannelRangeValue(index, 1, params_.ctAttenHighMeasured[number]);
        }
    }
    if (r != 0) return r;
    SetState(kReady, true, nullptr);
    return 0;
}

int Model::DeleteChannel(int index) {
    if (RunInProgress()) return -1;
    ComputeSample* s = doc_ ? doc_->Sample() : nullptr;
    if (!s || index < 0 || index >= s->ChannelCount()) return 1;
    const int kind = s->ChannelKind(index);
    if (kind == kChanComposition) {
        const int r = params_.DeleteComposition(index);
        if (r != 0) return r;
        if (params_.compositionCount == 0) {
            SetState(kInactive, true, nullptr);
            return 0;
        }
    } else if (kind == kChanCt) {
        const int r = params_.DeleteTomoChannel(index - s->FirstChannelOfKind(kChanCt) + 1);
        if (r != 0) return r;
    }
    if (state_.load() != kInactive) SetState(kReady, true, nullptr);
    return 0;
}

float Model::GetChannelAttenuation(int channel, int which) const {
    ComputeSample* s = doc_ ? doc_->Sample() : nullptr;
    if (!s || channel < 0 || channel >= s->ChannelCount() || which < 0 || which > 1) return 0.0f;
    const int kind = s->ChannelKind(channel);
    if (kind == kChanComposition) return s->ChannelRange(channel)[which];
    if (kind == kChanCt) {
        const int n = CtNumber(channel);
        const auto& t = which == 0 ? params_.ctAttenLow : params_.ctAttenHigh;
        return n < static_cast<int>(t.size()) ? t[n] : 0.0f;
    }
    return 0.0f;
}

std::vector<float> Model::GetChannelAttenuationPair(int channel) const {
    return {GetChannelAttenuation(channel, 0), GetChannelAttenuation(channel, 1)};
}

// Stores the measured value or the offset of a CT channel's value for image value 0.0 or 1.0 and
// keeps the total (measured + offset); the measured value also goes to the channel.
void Model::SetCtAttenuationPart(int channel, float value, int which, bool offsetPart) {
    ComputeSample* s = doc_ ? doc_->Sample() : nullptr;
    if (!s || channel < 0 || channel >= s->ChannelCount() || s->ChannelKind(channel) != kChanCt) return;
    const std::size_t n = CtNumber(channel);
    auto& measured = which == 0 ? params_.ctAttenLowMeasured : params_.ctAttenHighMeasured;
    auto& offset = which == 0 ? params_.ctAttenLowOffset : params_.ctAttenHighOffset;
    auto& total = which == 0 ? params_.ctAttenLow : params_.ctAttenHigh;
    if (n >= measured.size() || n >= offset.size() || n >= total.size()) return;
    (offsetPart ? offset : measured)[n] = value;
    total[n] = measured[n] + offset[n];
    if (!offsetPart) s->SetChannelRangeValue(channel, which, value);
}

void Model::SetChannelMeasuredAttenuation(int channel, float value, int which) {
    SetCtAttenuationPart(channel, value, which, false);
}

void Model::SetChannelAttenuationOffset(int channel, float value, int which) {
    SetCtAttenuationPart(channel, value, which, true);
}

std::vector<std::uint16_t*> Model::ChannelPointers() const {
    ComputeSample* s = doc_ ? doc_->Sample() : nullptr;
    if (!s) return {};
    std::vector<std::uint16_t*> comps, cts;
    for (int i = 0; i < s->ChannelCount(); ++i) {
        if (s->ChannelKind(i) == kChanComposition) comps.push_back(s->ChannelWords(i));
        if (s->ChannelKind(i) == kChanCt) cts.push_back(s->ChannelWords(i));
    }
    if (static_cast<int>(comps.size()) != params_.compositionCount + 1 ||
        static_cast<int>(cts.size()) != params_.ctChannelCount)
        return {};
    comps.insert(comps.end(), cts.begin(), cts.end());
    return comps;
}

}  // namespace zun
