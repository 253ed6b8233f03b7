#include "energyopt/metrics.h"

#include <limits>

namespace EnergyOpt {

TruncatedSvd::TruncatedSvd(const Eigen::MatrixXd& s, double tolerance) : tolerance_(tolerance) {
    if (s.size() == 0) {
        // No measurement (or no composition): nothing is resolved. The decomposition itself
        // cannot take an empty matrix.
        u_ = Eigen::MatrixXd::Identity(s.rows(), s.rows());
        v_ = Eigen::MatrixXd::Identity(s.cols(), s.cols());
        return;
    }
    Eigen::JacobiSVD<Eigen::MatrixXd> svd(s, Eigen::ComputeFullU | Eigen::ComputeFullV);
    values_ = svd.singularValues();
    u_ = svd.matrixU();
    v_ = svd.matrixV();
    if (values_.size() == 0) return;
    const double threshold = tolerance * values_.maxCoeff();
    // Counted from the largest on and stopping at the first failure, so a not-a-number stops it.
    while (rank_ < values_.size() && values_(rank_) >= threshold) ++rank_;
}

namespace {

enum Kind { kAttenuationKind = 0, kPhaseKind = 1 };

double coefficient(const MaterialFunctions& composition, Kind kind, double energy) {
    const MaterialFunction function =
        kind == kAttenuationKind ? composition.attenuation : composition.phaseShift;
    if (!function) throw EvaluationFailureException(kind, energy, kUndefinedMaterialFunction);
    // A function that reports success without writing leaves a not-a-number entry.
    double slot = std::numeric_limits<double>::quiet_NaN();
    const int32_t status = function(composition.context, energy, &slot);
    if (status != 0) throw EvaluationFailureException(kind, energy, status);
    return slot;
}

}  // namespace

Eigen::MatrixXd MeasurementSetup::attenuationMatrix(const Eigen::VectorXd& energies) const {
    const Eigen::Index columns = static_cast<Eigen::Index>(compositions.size());
    Eigen::MatrixXd a(rowCount(), columns);
    auto fillRow = [&](Eigen::Index row, Kind kind, double energy) {
        for (Eigen::Index j = 0; j < columns; ++j) a(row, j) = coefficient(compositions[j], kind, energy);
    };
    Eigen::Index row = 0;
    for (int i = 0; i < c0; ++i) fillRow(row++, kAttenuationKind, energies(i));
    for (int i = 0; i < c1; ++i) fillRow(row++, kPhaseKind, energies(c0 + i));
    // Each type-2 energy's two rows are evaluated together, attenuation first.
    const Eigen::Index both = c0 + c1;
    for (int i = 0; i < c2; ++i) {
        fillRow(both + i, kAttenuationKind, energies(both + i));
        fillRow(both + c2 + i, kPhaseKind, energies(both + i));
    }
    return a;
}

TruncatedSvd MeasurementSetup::decompose(const ScaleFunction& scale, const Eigen::VectorXd& energies) const {
    return TruncatedSvd(scale.evaluate(attenuationMatrix(energies)), kDecompositionTolerance);
}

Eigen::VectorXd MeasurementSetup::sensitivities(const TruncatedSvd& svd) const {
    return ScaledTargetNorms(svd.singularValues(), svd.v(), targets);
}

Eigen::VectorXd MeasurementSetup::biases(const TruncatedSvd& svd) const {
    return TrailingTargetSums(svd.singularValues(), svd.v(), targets);
}

Eigen::VectorXd MeasurementSetup::sensitivities(const ScaleFunction& scale,
                                                const Eigen::VectorXd& energies) const {
    return sensitivities(decompose(scale, energies));
}

Eigen::VectorXd MeasurementSetup::biases(const ScaleFunction& scale, const Eigen::VectorXd& energies) const {
    return biases(decompose(scale, energies));
}

}  // namespace EnergyOpt
