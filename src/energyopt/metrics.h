#pragma once
// The attenuation matrix of a set of beam energies, its noise-scaled truncated decomposition and
// the per-target sensitivity and bias derived from it.

#include <Eigen/Dense>
#include <vector>

#include "energyopt/noisemodel.h"
#include "energyopt/problem.h"
#include "energyopt/support.h"

namespace EnergyOpt {

// Relative tolerance below which singular values count as discarded directions.
inline constexpr double kDecompositionTolerance = 1e-8;

class TruncatedSvd {
public:
    TruncatedSvd(const Eigen::MatrixXd& s, double tolerance);

    // The leading singular values that pass the tolerance.
    Eigen::VectorXd singularValues() const { return values_.head(rank_); }
    Eigen::MatrixXd matrixV() const { return v_; }
    const Eigen::MatrixXd& v() const { return v_; }
    const Eigen::MatrixXd& matrixU() const { return u_; }
    Eigen::Index rank() const { return rank_; }
    double tolerance() const { return tolerance_; }
    // Number of singular values before truncation, min(rows, columns).
    Eigen::Index size() const { return values_.size(); }

private:
    Eigen::VectorXd values_;
    Eigen::MatrixXd u_;
    Eigen::MatrixXd v_;
    double tolerance_;
    Eigen::Index rank_ = 0;
};

struct MeasurementSetup {
    std::vector<MaterialFunctions> compositions;  // one matrix column each
    int c0 = 0;                                   // energies measuring attenuation
    int c1 = 0;                                   // energies measuring phase shift
    int c2 = 0;                                   // energies measuring both
    DenseTargets targets;

    Eigen::Index energyCount() const { return c0 + c1 + c2; }
    Eigen::Index rowCount() const { return c0 + c1 + 2 * static_cast<Eigen::Index>(c2); }

    // Rows: type-0 attenuation, type-1 phase shift, type-2 attenuation, type-2 phase shift.
    // Throws EvaluationFailureException on the first failing material function.
    Eigen::MatrixXd attenuationMatrix(const Eigen::VectorXd& energies) const;
    TruncatedSvd decompose(const ScaleFunction& scale, const Eigen::VectorXd& energies) const;
    Eigen::VectorXd sensitivities(const ScaleFunction& scale, const Eigen::VectorXd& energies) const;
    Eigen::VectorXd biases(const ScaleFunction& scale, const Eigen::VectorXd& energies) const;
    Eigen::VectorXd sensitivities(const TruncatedSvd& svd) const;
    Eigen::VectorXd biases(const TruncatedSvd& svd) const;
};

}  // namespace EnergyOpt
