#pragma once
// Records through which callers talk to the energy optimisation: the two problems, the results,
// the status codes with their texts and the exception raised inside the library.

#include <Eigen/Dense>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace EnergyOpt {

class NoiseModel;

// Writes the linear coefficient (1/cm) of one composition at an energy (keV) into *result and
// returns 0, or returns a status code of StatusTexts.
using MaterialFunction = int32_t (*)(void* context, double energy, double* result);

struct MaterialFunctions {
    void* context = nullptr;  // owned by the caller
    MaterialFunction phaseShift = nullptr;
    MaterialFunction attenuation = nullptr;
    bool isVoid = false;
};

// Keys of the beam-domain map and tags of typed energies.
enum BeamDomainType : int32_t { kAttenuation = 0, kPhaseShift = 1, kAttenuationAndPhase = 2 };

struct BeamDomain {
    int32_t energyCount = 0;
    double maxEnergy = 0.0;
    double minEnergy = 0.0;
};

using BeamDomainMap = std::map<int32_t, BeamDomain>;

// The most energies one beam domain may ask for. The search's work and memory grow steeply with
// the count (a few thousand take minutes and gigabytes); real set-ups use a handful.
inline constexpr int32_t kMaxDomainEnergies = 64;

struct TypedEnergy {
    double energy = 0.0;
    int32_t type = 0;
};

struct Metric {
    double sensitivity = 0.0;
    double bias = 0.0;
};

// One vector per target mixture, one volume fraction per composition.
using TargetMixtures = std::vector<std::vector<double>>;

// The containers belong to the caller; the problem only refers to them.
struct OptimisationProblem {
    const std::vector<MaterialFunctions>& compositions;
    std::shared_ptr<const NoiseModel> noiseModel;
    const TargetMixtures& targetMixtures;
    const BeamDomainMap& beamDomains;
    int32_t maxIterations = 1;
    std::vector<TypedEnergy>& optimalEnergies;
};

struct EvaluationProblem {
    const std::vector<MaterialFunctions>& compositions;
    std::shared_ptr<const NoiseModel> noiseModel;
    const TargetMixtures& targetMixtures;
    const std::vector<TypedEnergy>& evaluationEnergies;
    std::vector<Metric>& metrics;
};

struct MinimisationResult {
    int32_t returnCode = 0;
    Eigen::VectorXd variables;
    double objective = 0.0;
    std::string message;
    int32_t evaluations = 0;
};

class EvaluationFailureException : public std::runtime_error {
public:
    EvaluationFailureException(int32_t kind, double energy, int32_t status)
        : std::runtime_error("EvaluationFailureException"), kind(kind), energy(energy), status(status) {}

    int32_t kind;  // 0 attenuation function, 1 phase-shift function
    double energy;
    int32_t status;
};

enum Status : int32_t {
    kSuccess = 0,
    kPhiNotSupported = 1,
    kArgumentOutOfRange = 2,
    kUndefinedMaterialFunction = 3,
    kNoFeasibleSolution = 4,
    kNoMaterials = 5,
    kNoEnergies = 6,
    kMinAboveMax = 7,
    kFractionCountMismatch = 8,
    kNoEvaluationEnergies = 9,
    kResponseCountMismatch = 10,
    kBadFractions = 11,
    kNoDegreesOfFreedom = 12,
    // Returned after an unexpected exception; callers show it as "unknown error".
    kUnexpectedError = 13,
};

inline constexpr int kStatusTextCount = 13;
extern const char* const StatusTexts[kStatusTextCount];

}  // namespace EnergyOpt
