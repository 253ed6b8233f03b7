#include "energyopt/noisemodel.h"

#include "energyopt/problem.h"

#include <stdexcept>

namespace EnergyOpt {

void CommonRelError::accept(NoiseModelVisitor& visitor) const {
    visitor.visit(*this);
}

void CommonRelErrorApproxComposition::accept(NoiseModelVisitor& visitor) const {
    visitor.visit(*this);
}

void NoiseModelEliminator::visit(const CommonRelErrorApproxComposition& model) {
    // The remaining fractions are deliberately not rescaled.
    std::vector<double> kept;
    const auto& fractions = model.fractions();
    kept.reserve(fractions.size());
    for (size_t i = 0; i < fractions.size(); ++i)
        if (static_cast<long long>(i) != index_) kept.push_back(fractions[i]);
    result_ = std::make_shared<CommonRelErrorApproxComposition>(std::move(kept));
}

void NoiseModelEliminator::visit(const CommonRelError&) {
    result_ = std::make_shared<CommonRelError>();
}

void NoiseModelValidator::visit(const CommonRelErrorApproxComposition& model) {
    const auto& fractions = model.fractions();
    if (static_cast<long long>(fractions.size()) != count_) {
        result_ = kFractionCountMismatch;
        return;
    }
    // Written so that a not-a-number entry neither lowers the minimum nor raises the sum above 1.
    double minimum = 1.0;
    double sum = 0.0;
    for (double f : fractions) {
        if (f < minimum) minimum = f;
        sum += f;
    }
    result_ = (minimum < 0.0 || sum > 1.0) ? kBadFractions : kSuccess;
}

void NoiseModelValidator::visit(const CommonRelError&) {
    result_ = kSuccess;
}

void NoiseModelToScaleFunction::visit(const CommonRelErrorApproxComposition& model) {
    const auto& fractions = model.fractions();
    Eigen::VectorXd dense = Eigen::Map<const Eigen::VectorXd>(fractions.data(), fractions.size());
    result_ = std::make_shared<VolumeFractionScaleFunction>(dense);
}

void NoiseModelToScaleFunction::visit(const CommonRelError&) {
    result_ = std::make_shared<RowSumScaleFunction>();
}

NoiseModelScaleFunction::NoiseModelScaleFunction(const NoiseModel& model) {
    NoiseModelToScaleFunction converter;
    model.accept(converter);
    inner_ = converter.result();
}

Eigen::MatrixXd RowSumScaleFunction::evaluate(const Eigen::MatrixXd& a) const {
    Eigen::MatrixXd b(a.rows(), a.cols());
    for (Eigen::Index i = 0; i < a.rows(); ++i) {
        double sum = 0.0;
        for (Eigen::Index j = 0; j < a.cols(); ++j) sum += a(i, j);
        const double factor = 1.0 / (sum / static_cast<double>(a.cols()));
        for (Eigen::Index j = 0; j < a.cols(); ++j) b(i, j) = a(i, j) * factor;
    }
    return b;
}

Eigen::MatrixXd VolumeFractionScaleFunction::evaluate(const Eigen::MatrixXd& a) const {
    // A mismatch would read past the fractions; callers validate first, so it is a logic error.
    if (a.cols() != fractions_.size())
        throw std::invalid_argument("approximate composition does not match the matrix columns");
    const Eigen::VectorXd y = a * fractions_;
    Eigen::MatrixXd b(a.rows(), a.cols());
    for (Eigen::Index i = 0; i < a.rows(); ++i) {
        const double factor = 1.0 / y(i);
        for (Eigen::Index j = 0; j < a.cols(); ++j) b(i, j) = a(i, j) * factor;
    }
    return b;
}

std::shared_ptr<const NoiseModel> EliminateNoiseModelComposition(const NoiseModel& model, int k) {
    NoiseModelEliminator eliminator(k);
    model.accept(eliminator);
    return eliminator.result();
}

int ValidateNoiseModel(const NoiseModel& model, int compositionCount) {
    NoiseModelValidator validator(compositionCount);
    model.accept(validator);
    return validator.result();
}

}  // namespace EnergyOpt
