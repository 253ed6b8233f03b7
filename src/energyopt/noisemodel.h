#pragma once
// Noise models (how the error of a measurement scales with its signal) and the scale functions
// that divide every row of the problem matrix by its expected signal. Models and scale
// functions are immutable and shared; operations on models are visitors.

#include <Eigen/Dense>
#include <memory>
#include <vector>

namespace EnergyOpt {

class NoiseModelVisitor;

class NoiseModel {
public:
    virtual void accept(NoiseModelVisitor& visitor) const = 0;
    virtual ~NoiseModel() = default;
};

// Every measurement's expected signal is the response of an equal mixture.
class CommonRelError : public NoiseModel {
public:
    void accept(NoiseModelVisitor& visitor) const override;
};

// Every measurement's expected signal is the response of the given approximate mixture.
class CommonRelErrorApproxComposition : public NoiseModel {
public:
    explicit CommonRelErrorApproxComposition(std::vector<double> fractions)
        : fractions_(std::move(fractions)) {}
    void accept(NoiseModelVisitor& visitor) const override;
    const std::vector<double>& fractions() const { return fractions_; }

private:
    std::vector<double> fractions_;
};

class NoiseModelVisitor {
public:
    virtual void visit(const CommonRelErrorApproxComposition& model) = 0;
    virtual void visit(const CommonRelError& model) = 0;
    virtual ~NoiseModelVisitor() = default;
};

class NoiseModelEliminator : public NoiseModelVisitor {
public:
    explicit NoiseModelEliminator(int index) : index_(index) {}
    void visit(const CommonRelErrorApproxComposition& model) override;
    void visit(const CommonRelError& model) override;
    std::shared_ptr<const NoiseModel> result() const { return result_; }

private:
    int index_;
    std::shared_ptr<const NoiseModel> result_;
};

class NoiseModelValidator : public NoiseModelVisitor {
public:
    explicit NoiseModelValidator(int count) : count_(count) {}
    void visit(const CommonRelErrorApproxComposition& model) override;
    void visit(const CommonRelError& model) override;
    int result() const { return result_; }

private:
    int result_ = 0;
    int count_;
};

class ScaleFunction {
public:
    virtual Eigen::MatrixXd evaluate(const Eigen::MatrixXd& a) const = 0;
    virtual ~ScaleFunction() = default;
};

class NoiseModelToScaleFunction : public NoiseModelVisitor {
public:
    void visit(const CommonRelErrorApproxComposition& model) override;
    void visit(const CommonRelError& model) override;
    std::shared_ptr<const ScaleFunction> result() const { return result_; }

private:
    std::shared_ptr<const ScaleFunction> result_;
};

// Copies share one inner scale function.
class NoiseModelScaleFunction : public ScaleFunction {
public:
    explicit NoiseModelScaleFunction(const NoiseModel& model);
    Eigen::MatrixXd evaluate(const Eigen::MatrixXd& a) const override { return inner_->evaluate(a); }

private:
    std::shared_ptr<const ScaleFunction> inner_;
};

// Divides every row by its mean over the columns.
class RowSumScaleFunction : public ScaleFunction {
public:
    Eigen::MatrixXd evaluate(const Eigen::MatrixXd& a) const override;
};

// Divides every row by its response to the stored mixture.
class VolumeFractionScaleFunction : public ScaleFunction {
public:
    explicit VolumeFractionScaleFunction(const Eigen::VectorXd& fractions) : fractions_(fractions) {}
    Eigen::MatrixXd evaluate(const Eigen::MatrixXd& a) const override;

private:
    Eigen::VectorXd fractions_;
};

std::shared_ptr<const NoiseModel> EliminateNoiseModelComposition(const NoiseModel& model, int k);
int ValidateNoiseModel(const NoiseModel& model, int compositionCount);

}  // namespace EnergyOpt
