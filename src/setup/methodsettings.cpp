#include "setup/methodsettings.h"

#include <algorithm>
#include <cmath>

#include "setup/setupmessages.h"

namespace zun {
namespace {

std::vector<Matrix<float>> Shells(int count, int n) {
    std::vector<Matrix<float>> m(static_cast<std::size_t>(count));
    for (auto& s : m) {
        s.Resize(n, n);
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c) s(r, c) = 0.0f;
    }
    return m;
}

// Plane `plane` of a shell table into a matrix, and back. The planes are (n x n) row-major;
// entries a plane lacks read as 0 and are not written.
void PlaneToMatrix(const std::vector<float>& plane, Matrix<float>& m) {
    const int n = m.Rows();
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) {
            const std::size_t i = static_cast<std::size_t>(r) * n + c;
            m(r, c) = i < plane.size() ? plane[i] : 0.0f;
        }
}

void MatrixToPlane(const Matrix<float>& m, std::vector<float>& plane) {
    const int n = m.Rows();
    plane.resize(static_cast<std::size_t>(n) * n, 0.0f);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) plane[static_cast<std::size_t>(r) * n + c] = m(r, c);
}

void CopyIn(std::vector<float>& to, const std::vector<float>& from, std::size_t offset) {
    for (std::size_t i = 0; i < to.size(); ++i) to[i] = i + offset < from.size() ? from[i + offset] : 0.0f;
}

void CopyOut(const std::vector<float>& from, std::vector<float>& to, std::size_t offset) {
    if (to.size() < from.size() + offset) to.resize(from.size() + offset, 0.0f);
    std::copy(from.begin(), from.end(), to.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace

LinearOptSettings::LinearOptSettings(int compositions, int ctChannels)
    : ctWeights(static_cast<std::size_t>(ctChannels), 1.0f),
      selfEnergies(static_cast<std::size_t>(compositions), 0.0f),
      interactionEnergies(Shells(kShellCount, compositions)) {}

void LinearOptSettings::LoadFromParams(const Params& p) {
    iterations = p.linearIterations;
    maxUninterruptible = static_cast<std::uint32_t>(p.linearVoxelsPerThread);
    randomSeed = p.randomSeed;
    minimiseCtError = p.minimiseCtError;
    CopyIn(ctWeights, p.ctDataSetWeights, 1);  // CT tables count from 1
    minimiseSelfEnergy = p.minimiseSelfEnergy;
    CopyIn(selfEnergies, p.linearObjectiveWeights, 0);
    interactWithPrevious = p.interactWithPreviousState;
    neighbourRange = p.linearNeighbourRange;
    for (int s = 0; s < kShellCount; ++s) PlaneToMatrix(p.linearInteractionEnergy[s], interactionEnergies[s]);
}

void LinearOptSettings::StoreToParams(Params& p) const {
    p.linearIterations = iterations;
    p.linearVoxelsPerThread = static_cast<std::int32_t>(maxUninterruptible);
    p.randomSeed = randomSeed;
    p.minimiseCtError = minimiseCtError;
    CopyOut(ctWeights, p.ctDataSetWeights, 1);
    p.minimiseSelfEnergy = minimiseSelfEnergy;
    CopyOut(selfEnergies, p.linearObjectiveWeights, 0);
    p.interactWithPreviousState = interactWithPrevious;
    p.linearNeighbourRange = neighbourRange;
    for (int s = 0; s < kShellCount; ++s) MatrixToPlane(interactionEnergies[s], p.linearInteractionEnergy[s]);
}

NonlinearOptSettings::NonlinearOptSettings(int compositions)
    : selfEnergies(static_cast<std::size_t>(compositions), 0.0f),
      interactionEnergies(Shells(kShellCount, compositions)) {}

void NonlinearOptSettings::LoadFromParams(const Params& p) {
    neighbourRange = p.nonlinearNeighbourRange;
    q = p.nonlinearQ;
    iterations = p.nonlinearIterations;
    maxExpValue = p.nonlinearMaxExpValue;
    gridSize = static_cast<std::uint32_t>(p.gridSize);
    ctErrorExponent = p.attenuationErrorExponent;
    uninterruptiblePerCore = static_cast<std::uint32_t>(p.nonlinearVoxelsPerThread);
    interactionExponent = p.interactionExponent;
    searchMethods = p.nonlinearSearchMethods;
    CopyIn(selfEnergies, p.nonlinearSelfEnergy, 0);
    for (int s = 0; s < kShellCount; ++s)
        PlaneToMatrix(p.nonlinearInteractionEnergy[s], interactionEnergies[s]);
}

void NonlinearOptSettings::StoreToParams(Params& p) const {
    p.nonlinearNeighbourRange = neighbourRange;
    p.nonlinearQ = q;
    p.nonlinearIterations = iterations;
    p.nonlinearMaxExpValue = maxExpValue;
    p.gridSize = static_cast<std::int32_t>(gridSize);
    p.attenuationErrorExponent = static_cast<float>(ctErrorExponent);
    p.nonlinearVoxelsPerThread = static_cast<std::int32_t>(uninterruptiblePerCore);
    p.interactionExponent = static_cast<float>(interactionExponent);
    p.nonlinearSearchMethods = searchMethods;
    CopyOut(selfEnergies, p.nonlinearSelfEnergy, 0);
    for (int s = 0; s < kShellCount; ++s)
        MatrixToPlane(interactionEnergies[s], p.nonlinearInteractionEnergy[s]);
}

SegmentationSettings::SegmentationSettings(int compositions, int ctChannels)
    : ctSelected(static_cast<std::size_t>(ctChannels), true),
      selfEnergies(static_cast<std::size_t>(compositions), 0.0f),
      interactionEnergies(Shells(kShellCount - 1, compositions)) {
    ctCoefficients.Resize(compositions, 2 * ctChannels);
    for (int i = 0; i < compositions; ++i)
        for (int j = 0; j < ctChannels; ++j) {
            ctCoefficients(i, 2 * j) = 0.0f;
            ctCoefficients(i, 2 * j + 1) = 1.0f;
        }
}

void SegmentationSettings::LoadFromParams(const Params& p) {
    const int n = ctCoefficients.Rows();
    const int ct = static_cast<int>(ctSelected.size());
    auto at = [](const Params::FloatRows& t, int i, int j, float fallback) {
        return i < static_cast<int>(t.size()) && j < static_cast<int>(t[i].size()) ? t[i][j] : fallback;
    };
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < ct; ++j) {
            ctCoefficients(i, 2 * j) = at(p.dlsZeroOffset, i, j + 1, 0.0f);
            ctCoefficients(i, 2 * j + 1) = at(p.dlsMultiplier, i, j + 1, 1.0f);
        }
    for (int j = 0; j < ct; ++j)
        ctSelected[j] = j + 1 < static_cast<int>(p.ctChannelUsed.size()) ? p.ctChannelUsed[j + 1] : true;
    neighbourRange = p.dlsNeighbourRange;
    CopyIn(selfEnergies, p.dlsSelfEnergy, 0);
    // The sheet's shells start at the nearest neighbours: plane 0 of the table is not used.
    for (int s = 0; s < kShellCount - 1; ++s)
        PlaneToMatrix(p.dlsInterfacialEnergy[s + 1], interactionEnergies[s]);
}

void SegmentationSettings::StoreToParams(Params& p) const {
    const int n = ctCoefficients.Rows();
    const int ct = static_cast<int>(ctSelected.size());
    for (auto* t : {&p.dlsZeroOffset, &p.dlsMultiplier}) {
        if (static_cast<int>(t->size()) < n) t->resize(n);
        for (int i = 0; i < n; ++i)
            if (static_cast<int>((*t)[i].size()) < ct + 1)
                (*t)[i].resize(ct + 1, t == &p.dlsMultiplier ? 1.0f : 0.0f);
    }
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < ct; ++j) {
            p.dlsZeroOffset[i][j + 1] = ctCoefficients(i, 2 * j);
            p.dlsMultiplier[i][j + 1] = ctCoefficients(i, 2 * j + 1);
        }
    if (static_cast<int>(p.ctChannelUsed.size()) < ct + 1) p.ctChannelUsed.resize(ct + 1, true);
    for (int j = 0; j < ct; ++j) p.ctChannelUsed[j + 1] = ctSelected[j];
    p.dlsNeighbourRange = neighbourRange;
    CopyOut(selfEnergies, p.dlsSelfEnergy, 0);
    for (int s = 0; s < kShellCount - 1; ++s)
        MatrixToPlane(interactionEnergies[s], p.dlsInterfacialEnergy[s + 1]);
}

namespace {

bool AllFinite(const std::vector<float>& v) {
    return std::all_of(v.begin(), v.end(), [](float x) { return std::isfinite(x); });
}

bool AllFinite(const Matrix<float>& m) {
    for (int r = 0; r < m.Rows(); ++r)
        for (int c = 0; c < m.Cols(); ++c)
            if (!std::isfinite(m(r, c))) return false;
    return true;
}

bool AllFinite(const std::vector<Matrix<float>>& shells) {
    return std::all_of(shells.begin(), shells.end(), [](const Matrix<float>& m) { return AllFinite(m); });
}

std::string RangeText(int shells) {
    return std::string(setupmsg::kNeighbourRange) + std::to_string(shells);
}

// Any finite exponent is the user's choice (a large one only makes the run slow); NaN and the
// infinities are no real number.
std::string ExponentCheck(double e, const char* message) {
    return std::isfinite(e) ? std::string() : std::string(message);
}

}  // namespace

std::string CheckLinearSettings(const LinearOptSettings& s) {
    if (s.iterations <= 0) return setupmsg::kLinearIterations;
    if (s.iterations > kMaxIterations) return setupmsg::kLinearIterationsCap + std::to_string(kMaxIterations);
    if (s.maxUninterruptible > kSheetCountCap)
        return setupmsg::kLinearUninterruptible + std::to_string(kSheetCountCap);
    if (s.neighbourRange < 0 || s.neighbourRange > kMaxNeighbourRange) return RangeText(kMaxNeighbourRange);
    if (!AllFinite(s.ctWeights) || !AllFinite(s.selfEnergies) || !AllFinite(s.interactionEnergies))
        return setupmsg::kEnergyNotFinite;
    return {};
}

std::string CheckNonlinearSettings(const NonlinearOptSettings& s) {
    if (!(s.q > 0) || !std::isfinite(s.q)) return setupmsg::kQPositive;
    if (!(s.iterations > 0)) return setupmsg::kNonlinearIterations;
    if (!(s.iterations <= static_cast<float>(kMaxIterations)))
        return setupmsg::kNonlinearIterationsCap + std::to_string(kMaxIterations);
    if (!std::isfinite(s.maxExpValue)) return setupmsg::kMaxExpReal;
    if (s.gridSize > kSheetCountCap) return setupmsg::kGridSizeInteger;
    if (std::string e = ExponentCheck(s.interactionExponent, setupmsg::kInteractionExponent); !e.empty())
        return e;
    if (std::string e = ExponentCheck(s.ctErrorExponent, setupmsg::kCtErrorExponent); !e.empty()) return e;
    if (s.uninterruptiblePerCore > kSheetCountCap)
        return setupmsg::kNonlinearUninterruptible + std::to_string(kSheetCountCap);
    if (s.neighbourRange < 0 || s.neighbourRange > kMaxNeighbourRange) return RangeText(kMaxNeighbourRange);
    if (!AllFinite(s.selfEnergies) || !AllFinite(s.interactionEnergies)) return setupmsg::kEnergyNotFinite;
    return {};
}

std::string CheckSegmentationSettings(const SegmentationSettings& s) {
    if (s.neighbourRange < 0 || s.neighbourRange > kMaxNeighbourRange) return RangeText(kMaxNeighbourRange);
    if (!AllFinite(s.ctCoefficients) || !AllFinite(s.selfEnergies) || !AllFinite(s.interactionEnergies))
        return setupmsg::kEnergyNotFinite;
    return {};
}

}  // namespace zun
