// The composition pipeline on the worker: the library parameter block, the passes and their
// steps, the property computation and the plug-in run; and the controller's archive.
#include <algorithm>
#include <cmath>
#include <limits>

#include "compute/exitrequested.h"
#include "compute/kernels.h"
#include "compute/model.h"
#include "foundation/threadcount.h"
#include "platform/prompt.h"

namespace zun {

namespace {


struct StepInfo {
    int step;
    const char* text;
    const char* label;
};

constexpr StepInfo kSequence[] = {
    {kStepDataCheck, "Data Checking and Correction...", "Data Checking and Correction"},
    {kStepExtrapolation, "Intersectional Extrapolation...", "Intersectional Extrapolation"},
    {kStepSegmentation, "Discrete least-square segmentation computation...",
     "Discrete least-square segmentation computation"},
    {kStepRuleSegmentation, "Rule-based Segmentation - NOT YET IMPLEMENTED",
     "Rule-based Segmentation - NOT YET IMPLEMENTED"},
    {kStepLinear, "Data Constrained linear optimisation computation...",
     "Data Constrained linear optimisation computation with %d non-exact matches"},
    {kStepNonlinear, "Data constrained nonlinear optimisation computation...",
     "Data Constrained non-linear optimisation computation with %d non-exact matches"},
};

bool AbortsPipeline(int r) {
    return (r >= 1 && r <= 100) || r == -1 || r == kUserInterrupt;
}

// Image channel of composition i and of CT channel j (1-based), by kind order.
int NthChannelOfKind(const ComputeSample& s, int kind, int n) {
    for (int i = 0; i < s.ChannelCount(); ++i)
        if (s.ChannelKind(i) == kind && n-- == 0) return i;
    return -1;
}

std::int64_t SaturatingPower(std::int64_t base, int exponent) {
    std::int64_t r = 1;
    for (int k = 0; k < exponent; ++k) {
        if (base != 0 && r > std::numeric_limits<std::int64_t>::max() / base)
            return std::numeric_limits<std::int64_t>::max();
        r *= base;
    }
    return r;
}

// Tolerance of fixed composition words (word units): the user's accuracy, widened to the
// resolution of the imported slices.
std::vector<std::uint16_t> CompositionTolerances(const Params& p, const ComputeSample* s) {
    const int n = p.compositionCount + 1;
    std::vector<std::uint16_t> out(n, 1);
    for (int i = 0; i < n; ++i) {
        int tol = 1;
        if (i < static_cast<int>(p.volumeFractionAccuracy.size())) {
            const int v = static_cast<int>(p.volumeFractionAccuracy[i] * 16383 + 0.5);
            if (v >= 1) tol = v;
        }
        const int ch = s ? NthChannelOfKind(*s, kChanComposition, i) : -1;
        const int bits = ch >= 0 ? s->ImportedBitDepth(ch) : 0;
        if (bits != 0) {
            // In double: 32- and 64-bit imports would overflow an integer shift.
            const int w = static_cast<int>(16383.0 / (std::ldexp(1.0, bits) - 1.0) * 1.1);
            if (w >= tol) tol = w;
        }
        out[i] = static_cast<std::uint16_t>(std::clamp(tol, 0, 65535));
    }
    return out;
}

// Accuracy of each CT channel as an attenuation difference.
std::vector<float> CtAccuracies(const Params& p, const ComputeSample* s) {
    std::vector<float> out(p.ctChannelCount + 1, 0.0f);
    for (int j = 1; j <= p.ctChannelCount; ++j) {
        float acc = 6.714277e-5f;
        if (p.ctRelativeAccuracy[j] >= acc) acc = p.ctRelativeAccuracy[j];
        const int ch = s ? NthChannelOfKind(*s, kChanCt, j - 1) : -1;
        const int bits = ch >= 0 ? s->ImportedBitDepth(ch) : 0;
        if (bits != 0) {
            const float w = static_cast<float>(1.1 / (std::ldexp(1.0, bits) - 1.0));
            if (acc < w) acc = w;
        }
        out[j] = acc * (p.ctAttenHigh[j] - p.ctAttenLow[j]);
    }
    return out;
}

// Per composition channel its imported-slice counts per axis, and the axis of the largest.
void ImportCounts(const ComputeSample* s, int n, ComputeLibParams& b) {
    b.importAxis = -1;
    std::uint32_t largest = 0;
    b.importCounts.assign(n, std::vector<std::uint32_t>(3, 0));
    for (int i = 0; i < n && s; ++i) {
        const int ch = NthChannelOfKind(*s, kChanComposition, i);
        if (ch < 0) continue;
        auto counts = s->ImportCounts(ch);
        for (int d = 0; d < 3; ++d) {
            b.importCounts[i][d] = static_cast<std::uint32_t>(std::max(0, counts[d]));
            if (b.importCounts[i][d] > largest) {
                largest = b.importCounts[i][d];
                b.importAxis = d;
            }
        }
    }
}

std::vector<float> Flatten(const Params::ShellTable& t) {
    std::vector<float> out;
    for (const auto& plane : t) out.insert(out.end(), plane.begin(), plane.end());
    return out;
}

}  // namespace

ComputeLibParams Model::BuildLibraryParameters() const {
    ComputeLibParams b;
    const Params& p = params_;
    ComputeSample* s = doc_ ? doc_->Sample() : nullptr;
    // No thread selected stays 0: the steps then take their single-thread paths.
    const int selected = doc_ ? LibraryThreadCount(doc_->DeviceSelection()) : 0;
    const int threads = selected > 0 ? TeamThreads(selected) : 0;
    b.comp = p.compositionCount;
    b.ct = p.ctChannelCount;
    const int n = b.comp + 1;
    b.compTolerance = CompositionTolerances(p, s);
    b.ctAccuracy = CtAccuracies(p, s);
    b.selDataCheck = p.StepSelected(kStepDataCheck);
    b.selExtrapolation = p.StepSelected(kStepExtrapolation);
    b.selSegmentation = p.StepSelected(kStepSegmentation);
    b.selLinear = p.StepSelected(kStepLinear);
    b.selNonlinear = p.StepSelected(kStepNonlinear);
    std::array<std::uint32_t, 3> dims = s ? s->Dims() : p.sampleSize;
    b.nx = static_cast<std::int32_t>(dims[0]);
    b.ny = static_cast<std::int32_t>(dims[1]);
    b.nz = static_cast<std::int32_t>(dims[2]);
    b.maxErrorReports = p.maxErrorReports;
    b.randomSeed = p.randomSeed;
    b.matrix = p.lacMatrix;
    b.matrixRowMax.assign(b.ct + 1, 0.0f);
    for (int j = 1; j <= b.ct; ++j) {
        float m = 0.0f;
        for (int i = 0; i < n; ++i) m = std::max(m, std::fabs(p.lacMatrix[p.MatrixIndex(j, i)]));
        b.matrixRowMax[j] = m > 0.0f ? m : 1.0f;
    }
    b.channelAtten.assign(n + b.ct, {0.0f, 0.0f});
    if (s) {
        for (int i = 0; i < n; ++i) {
            const int ch = NthChannelOfKind(*s, kChanComposition, i);
            if (ch >= 0) b.channelAtten[i] = {GetChannelAttenuation(ch, 0), GetChannelAttenuation(ch, 1)};
        }
    }
    for (int j = 1; j <= b.ct; ++j) b.channelAtten[b.comp + j] = {p.ctAttenLow[j], p.ctAttenHigh[j]};
    b.zeros.assign(n + b.ct, 0.0f);
    b.dlsNeighbourRange = p.dlsNeighbourRange;
    b.dlsSelfEnergy = p.dlsSelfEnergy;
    b.dlsInterfacialEnergy = Flatten(p.dlsInterfacialEnergy);
    b.dlsZeroOffset = p.dlsZeroOffset;
    b.dlsMultiplier = p.dlsMultiplier;
    b.ctChannelUsed = p.ctChannelUsed;

    b.dimensionCount = p.dimensionCount;
    b.largestDimension = 0;
    for (int d = 0; d < std::min(3, p.dimensionCount); ++d)
        b.largestDimension = std::max<std::int32_t>(b.largestDimension, static_cast<std::int32_t>(dims[d]));
    ImportCounts(s, n, b);
    b.libraryFloat4 = p.libraryFloat4;
    b.libraryReal1 = p.libraryReal1;
    b.libraryReal2 = p.libraryReal2;
    b.libraryReal3 = p.libraryReal3;
    b.interactWithPreviousState = p.interactWithPreviousState;
    b.minimiseSelfEnergy = p.minimiseSelfEnergy;
    b.linearObjectiveWeights = p.linearObjectiveWeights;
    b.linearNeighbourRange = p.linearNeighbourRange;
    b.linearRepetitions = p.linearNeighbourRange != 0 ? p.linearIterations : 1;
    const_cast<Params&>(p).linearIterationsUsed = b.linearRepetitions;
    b.linearInteractionEnergy = Flatten(p.linearInteractionEnergy);
    b.minimiseCtError = p.minimiseCtError;
    b.ctDataSetWeights = p.ctDataSetWeights;
    b.nonlinearNeighbourRange = p.nonlinearNeighbourRange;
    b.gridSize = p.gridSize;
    b.nonlinearSearchMethods = p.nonlinearSearchMethods;
    b.gridCount = SaturatingPower(p.gridSize, n);
    b.nonlinearQ = p.nonlinearQ;
    b.nonlinearMaxExpValue = p.nonlinearMaxExpValue;
    b.voxelCount = p.voxelCount;
    b.libraryOption4 = p.libraryOption4;
    b.libraryOption5 = p.libraryOption5;
    b.attenuationErrorExponent = p.attenuationErrorExponent;
    b.interactionExponent = p.interactionExponent;
    b.nonlinearIterations = p.nonlinearIterations;
    b.libraryList = p.libraryList;
    b.nonlinearSelfEnergy = p.nonlinearSelfEnergy;
    b.nonlinearInteractionEnergy = Flatten(p.nonlinearInteractionEnergy);
    b.SetThreadCount(threads);
    for (auto& v : b.threadScratchA) v.assign(n + 1, 0.0f);
    for (auto& v : b.threadScratchB) v.assign(n, 0.0f);
    if (s && s->MaskChannel() >= 0) {
        b.maskWords = s->ChannelWords(s->MaskChannel());
        b.maskWord = s->MaskWord();
    }
    return b;
}

int Model::RunStep(int step, const ComputeLibParams& block) {
    if (stepRunner_) return stepRunner_(step, block);
    ComputeSample* sample = doc_ ? doc_->Sample() : nullptr;
    // The kernels keep a voxel's compositions and CT values on the stack.
    if (block.comp + 1 > zunlib::kMaxCompositions || block.ct > zunlib::kMaxCtChannels) {
        LogTextTimestamped(Format("The computation takes at most %d compositions and %d CT channels.\n",
                                  zunlib::kMaxCompositions, zunlib::kMaxCtChannels));
        return 104;
    }
    int nonExact = 0;
    switch (step) {
        case kStepDataCheck: {
            dataCheck_.Attach(doc_, &params_, sample, this);
            const int threads = devices_.TotalThreads();
            bool cpu = false;
            for (const auto& d : devices_.Devices())
                if (d->threadCount > 0) cpu = d->IsCpu();
            const bool single = threads == 0 || (threads == 1 && cpu);
            return single ? dataCheck_.Run(block)
                          : dataCheck_.RunParallel(block, block.compTolerance, block.ctAccuracy);
        }
        case kStepExtrapolation:
            extrapolation_.Attach(doc_, &params_, sample, this);
            return extrapolation_.Run(block);
        case kStepSegmentation:
        case kStepRuleSegmentation:
            segmentation_.Attach(doc_, &params_, sample, this);
            return segmentation_.Run(block);
        case kStepLinear:
            linear_.Attach(doc_, &params_, sample, this);
            return linear_.Run(block, &nonExact);
        case kStepNonlinear:
            nonlinear_.Attach(doc_, &params_, sample, this);
            return nonlinear_.Run(block, &nonExact);
        default:
            return 0;
    }
}

int Model::RunPipeline() {
    for (int order = params_.firstOrder; order <= params_.lastOrder; ++order) {
        const ComputeLibParams block = BuildLibraryParameters();
        for (const StepInfo& info : kSequence) {
            if (params_.stepOrders[info.step] != order || !params_.StepSelected(info.step)) continue;
            // A stop ends the run at the next step boundary as well as at a progress report.
            if (StopRequested()) return kUserInterrupt;
            // The worker shows no message box: these notices go to the log.
            if (info.step == kStepSegmentation && params_.dlsNeighbourRange != 0)
                LogTextTimestamped(
                    "Discrete least-square segmentation with neighbour interactions has not been fully "
                    "implemented. Computation will continue by ignoring the interaction energies\n");
            if (info.step == kStepRuleSegmentation) LogTextTimestamped(std::string(info.text) + "\n");
            SetState(kRunning, true, info.text);
            StartStepTimer();
            int result = RunStep(info.step, block);
            {
                std::lock_guard lock(progressMutex_);
                UpdateDurations(100.0f);
            }
            const std::string label = (info.step == kStepLinear || info.step == kStepNonlinear)
                                          ? Format(info.label, 0)
                                          : info.label;
            LogStepResult(label, result);
            FinishStepProgress(&result);
            if (AbortsPipeline(result)) return result;
        }
    }
    params_.structureChanged = false;
    if (ComputeSample* s = doc_ ? doc_->Sample() : nullptr)
        for (int i = 0; i <= params_.compositionCount && i < s->ChannelCount(); ++i)
            s->ResetRecordedSettings(i);
    return 0;
}

void Model::LogStepResult(const std::string& label, int result) {
    LogTextTimestamped(label + StepResultSuffix(result));
    std::string elapsed;
    {
        std::lock_guard lock(progressMutex_);
        elapsed = timers_[0]->Format();
    }
    LogText(label + " elapsed time = " + elapsed + "\n");
}

int Model::RunPropertyComputation() {
    StartStepTimer();
    const int r = Property().Apply();
    {
        std::lock_guard lock(progressMutex_);
        UpdateDurations(100.0f);
    }
    if (r != -1) {
        LogStepResult("Property computation", r);
        if ((r >= 1 && r <= 100) || r == kUserInterrupt || r > 100) return r;
    }
    params_.structureChanged = false;
    return 0;
}

int Model::RunPlugins() {
    RefreshPluginRunList(runList_, doc_->PluginFolders());
    int result = 0;
    for (const PluginRunEntry& entry : runList_) {
        if (!entry.selected) continue;
        if (StopRequested()) return kUserInterrupt;
        const std::string text = "Plugin '" + entry.name + "'...";
        SetState(kRunning, true, text.c_str());
        StartStepTimer();
        const int r = RunPlugin(entry, doc_->Plugins());
        {
            std::lock_guard lock(progressMutex_);
            UpdateDurations(100.0f);
        }
        if (r == kPluginUserInterrupt) {
            LogTimestamped("Plugin '%s' completed with user interrupt\n", entry.name.c_str());
            return kUserInterrupt;
        }
        if (r != 0) {
            LogTimestamped("Plugin '%s' failed: %s\n", entry.name.c_str(), PluginResultText(r));
            return result;
        }
        std::string elapsed;
        {
            std::lock_guard lock(progressMutex_);
            elapsed = timers_[0]->Format();
        }
        LogTimestamped("Plugin '%s' elapsed time = %s\n", entry.name.c_str(), elapsed.c_str());
        FinishStepProgress(&result);
        if (result != 0) return result;
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// Archive

void Model::Serialize(Archive& ar) {
    auto propertyPart = [&](Archive& a) { Property().Serialize(a); };
    if (ar.IsStoring()) {
        UpdateSavedPluginSettings(savedPlugins_, runList_);
        ar << static_cast<std::uint32_t>(timers_.size());
        for (auto& t : timers_) ar.WriteObject(t.get());
        params_.Serialize(ar);
        dataCheck_.Serialize(ar);
        linear_.Serialize(ar);
        nonlinear_.Serialize(ar);
        segmentation_.Serialize(ar);
        ar << kRecordStamp << jobs_.composition << jobs_.property << std::uint8_t{0};
        propertyPart(ar);
        ar << jobs_.plugins;
        SerializeSavedPluginSettings(ar, savedPlugins_);
        ar << reserved_ << static_cast<std::uint32_t>(state_.load());
        return;
    }
    std::uint32_t count = 0;
    ar >> count;
    timers_.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
        auto t = ar.ReadOwnedObject<CDuration>();
        if (!t) throw ArchiveException(ArchiveException::generic, "Missing computation timer");
        timers_.push_back(std::move(t));
    }
    // The controller needs exactly its three timers.
    while (timers_.size() < 3) timers_.push_back(std::make_unique<CDuration>());
    timers_.resize(3);
    params_.Serialize(ar);
    dataCheck_.Serialize(ar);
    linear_.Serialize(ar);
    nonlinear_.Serialize(ar);
    segmentation_.Serialize(ar);
    std::uint32_t v = 0;
    ar >> v;
    if (v >= 483) {
        ar >> jobs_.composition >> jobs_.property;
        if (v >= 1068) {
            std::uint8_t reserved;
            ar >> reserved;
        }
        propertyPart(ar);
        if (v >= 1321) {
            ar >> jobs_.plugins;
            SerializeSavedPluginSettings(ar, savedPlugins_);
        }
    }
    std::uint32_t state = 0;
    ar >> reserved_ >> state;
    // No worker exists after loading: a run stored as running or stopping did not finish.
    if (state == kRunning || state == kStopping) state = kStopped;
    state_.store(static_cast<int>(state));
}

}  // namespace zun
