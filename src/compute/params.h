#pragma once
// The computation parameter set of one document: composition and CT channel names, every
// per-composition and per-CT table the kernels read, the library's scalar settings and the
// switches and order numbers of the pipeline steps. Kept in step with the document's channel
// list index by index.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/archive.h"

namespace zun {

class Prompt;

// Pipeline steps in the index order of the flag and order tables.
enum PipelineStep : int {
    kStepDataCheck = 0,
    kStepExtrapolation = 1,
    kStepSegmentation = 2,
    kStepRuleSegmentation = 3,
    kStepLinear = 4,
    kStepNonlinear = 5,
    kStepCount = 6,
};

constexpr std::int32_t kStepEnabled = 1;
constexpr std::int32_t kStepChanged = 2;
constexpr int kShellCount = 4;
constexpr int kRowTableRows = 21;

class Params : public Serializable {
    ZUN_DECLARE_SERIAL(Params)
public:
    static constexpr std::uint32_t kVersion = 2648;

    // Four square planes of (comp+1)^2, each stored row-major; shell 0 is intra-voxel.
    using ShellTable = std::array<std::vector<float>, kShellCount>;
    using FloatRows = std::vector<std::vector<float>>;
    using BoolRows = std::vector<std::vector<bool>>;

    Params();

    // Messages about tables found missing go here (null: not shown).
    void SetPrompt(Prompt* prompt) { prompt_ = prompt; }

    void Initialise();
    int InsertComposition(int index, const std::string& name);
    int DeleteComposition(int index);
    int InsertTomoChannel(int index, const std::string& name);
    int DeleteTomoChannel(int index);
    int SetTomoChannelName(int index, const std::string& name);
    // Counts the insertions and deletions of compositions and CT channels (renames leave it), so
    // that whoever holds tables sized earlier can tell they no longer fit. Not kept in files.
    std::uint64_t ChannelLayout() const { return channelLayout_; }
    void MarkAllStepsChanged();

    // While the interaction planes are held, inserting and deleting compositions leaves them as
    // they are and notes only where each composition came from; the last release rebuilds each
    // plane once. Filling a document with many compositions so costs the planes' size rather than
    // that size times the count. Holds nest. Nothing may read the planes while they are held.
    void HoldPlanes();
    // Throws std::bad_alloc when memory does not suffice: the planes then stay held, nothing lost.
    void ReleasePlanes();
    bool PlanesHeld() const { return planeHolds_ > 0; }
    // Square planes built so far by inserting, deleting and releasing.
    std::int64_t PlaneBuilds() const { return planeBuilds_; }

    // Holds the planes for a scope. Release() rebuilds them and may throw; the destructor
    // releases what is still held and, should even that fail, drops the planes (an insertion
    // rebuilds them) rather than throw.
    class PlaneHold {
    public:
        explicit PlaneHold(Params& p) : p_(p) { p_.HoldPlanes(); }
        ~PlaneHold();
        PlaneHold(const PlaneHold&) = delete;
        PlaneHold& operator=(const PlaneHold&) = delete;
        void Release();

    private:
        Params& p_;
        bool held_ = true;
    };

    bool StepSelected(int step) const { return (stepFlags[step] & 3) == 3; }
    // Index of element (ct, comp) of the CT-by-composition matrices.
    std::size_t MatrixIndex(int ct, int comp) const {
        return static_cast<std::size_t>(ct) * (compositionCount + 1) + comp;
    }

    void Serialize(Archive& ar) override;
    // Throws ArchiveException when a table does not have the size the counts demand.
    void Validate() const;

    std::int32_t dimensionCount = 3;
    std::int32_t compositionCount = 0;
    std::int32_t ctChannelCount = 0;
    std::int32_t nonlinearNeighbourRange = 0;
    std::int32_t linearNeighbourRange = 0;
    std::int32_t dlsNeighbourRange = 0;
    double libraryReal1 = 1.0;
    double libraryReal2 = 1.0;
    double libraryReal3 = 100.0;
    double nonlinearQ = 1000.0;
    double nonlinearMaxExpValue = 30.0;
    std::int32_t gridSize = 15;
    std::int32_t nonlinearSearchMethods = 1;
    float attenuationErrorExponent = 1.0f;
    float interactionExponent = 1.0f;
    std::vector<std::string> compositionNames;
    std::vector<std::string> ctChannelNames;
    std::array<std::uint32_t, 3> sampleSize{1, 1, 1};
    std::int64_t voxelCount = 1;
    std::vector<double> voxelPhysicalSize;
    std::int32_t randomSeed = -1;
    std::int32_t libraryOption4 = 0;
    std::int32_t libraryOption5 = 0;
    std::vector<std::uint32_t> libraryList;
    std::int32_t linearIterationsUsed = 1;
    std::int32_t linearIterations = 10;
    bool interactWithPreviousState = true;
    ShellTable linearInteractionEnergy;
    bool minimiseCtError = false;
    std::vector<float> ctDataSetWeights;
    bool minimiseSelfEnergy = false;
    std::vector<float> linearObjectiveWeights;
    std::int32_t linearVoxelsPerThread = 5000;
    float nonlinearIterations = 10.0f;
    std::int32_t nonlinearVoxelsPerThread = 2000;
    std::int32_t maxErrorReports = 10;
    float libraryFloat4 = 1e-4f;
    std::vector<float> nonlinearSelfEnergy;
    std::vector<float> dlsSelfEnergy;
    ShellTable nonlinearInteractionEnergy;
    ShellTable dlsInterfacialEnergy;
    std::vector<float> ctBeamEnergy;
    std::vector<float> ctAttenLow;
    std::vector<float> ctAttenLowMeasured;
    std::vector<float> ctAttenLowOffset;
    std::vector<float> ctAttenHigh;
    std::vector<float> ctAttenHighMeasured;
    std::vector<float> ctAttenHighOffset;
    std::vector<float> ctRelativeAccuracy;
    std::vector<float> lacMatrix;
    std::vector<float> lpcMatrix;
    std::vector<float> defaultVolumeFractions;  // empty: absent
    std::vector<float> volumeFractionAccuracy;  // empty: absent
    FloatRows dlsZeroOffset;
    FloatRows dlsMultiplier;
    std::vector<bool> ctChannelUsed;
    bool setDefaultsForUndefinedVoxels = true;
    std::array<std::int32_t, kStepCount> stepFlags{0, 2, 2, 2, 2, 3};
    std::array<std::int32_t, kStepCount> stepOrders{3, 3, 3, 3, 3, 3};
    std::int32_t firstOrder = 3;
    std::int32_t lastOrder = 3;
    std::int32_t libraryOption6 = 1;
    BoolRows rowCtFlagsA, rowCtFlagsB;
    FloatRows rowCtValuesA, rowCtValuesB;
    BoolRows rowCompFlags;
    FloatRows rowCompValues;
    std::int32_t lastError = 0;
    bool structureChanged = false;
    bool setupChanged = false;

private:
    void Missing(const char* what) const;
    void Load(Archive& ar);
    void LoadEnergies(Archive& ar, std::uint32_t v);
    void LoadCtTables(Archive& ar, std::uint32_t v);
    void Store(Archive& ar) const;

    Prompt* prompt_ = nullptr;
    int planeHolds_ = 0;
    std::vector<int> heldOrigin_;  // per composition: its index when the hold began, -1 when new
    int heldSide_ = 0;             // the planes' side when the hold began
    std::int64_t planeBuilds_ = 0;
    std::uint64_t channelLayout_ = 0;
};

// The default of one shell plane: shell 0 penalises two compositions sharing a voxel, the
// neighbour shells reward equal neighbours.
std::vector<float> DefaultShellPlane(int shell, int n);

// What the computation set-up leaves in the parameter set: the enable switch and order number
// of the segmentation, the linear and the nonlinear optimisation, the seed and the report cap.
struct SetupChoice {
    std::array<bool, 3> enabled{};
    std::array<std::int32_t, 3> order{3, 3, 3};
    std::int32_t randomSeed = -1;
    std::int32_t maxErrorReports = 10;
};

// The steps the set-up edits, in the order of SetupChoice's tables.
inline constexpr std::array<int, 3> kSetupSteps{kStepSegmentation, kStepLinear, kStepNonlinear};

// The choice that matches the parameter set as it stands.
SetupChoice CurrentSetupChoice(const Params& p);
// Applies a confirmed set-up: widens the pass range over every order entered, marks changed
// steps (and every step ordered after the earliest change) and, when anything changed, all
// steps and `setupChanged`. Returns true when something changed.
bool ApplySetupChoice(Params& p, const SetupChoice& choice);

}  // namespace zun
