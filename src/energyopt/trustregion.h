#pragma once
// The trust-region subproblem of the constrained minimiser: a step dx with |dx| <= rho that
// first minimises the greatest violation of the linearised constraints a_k . dx >= b_k and then,
// with any freedom left, the linearised objective -a_m . dx without raising that violation.

#include <cstddef>
#include <vector>

namespace EnergyOpt {

class TrustRegionSolver {
public:
    TrustRegionSolver(int n, int m);

    // a: n x (m+1) column-major, columns 0..m-1 the constraint gradients, column m minus the
    // objective gradient; b: m right-hand sides. Returns false when a degeneracy stopped the
    // step short of the trust-region boundary.
    bool solve(const double* a, const double* b, double rho, double* dx);

private:
    enum class Step { kContinue, kFull, kSwitchStage, kEndStage };

    const double* column(int k) const { return a_ + static_cast<size_t>(k) * n_; }
    double* zColumn(int k) { return z_.data() + static_cast<size_t>(k) * n_; }
    double dotColumn(int k, const double* v) const;
    double zDot(int column, const double* v) const;
    // Z column . v, or 0 when the product is within the rounding error of its terms.
    double zDotSignificant(int column, const double* v) const;
    void startStageTwo();
    // Adds constraint iact[icon] to the active set; false when no room can be made for it.
    bool addConstraint();
    // Removes constraint iact[icon] from the active set.
    void deleteConstraint();
    void removeDependent(int kk, double ratio, int iout);
    // Rotates the active constraint at position k to the end of the active set.
    void moveToEnd(int k);
    void exchange(int k, double sp);
    // Moves dx along sdirn as far as the active set allows.
    Step takeStep(double rho, double* dx);

    int n_;
    int m_;
    const double* a_ = nullptr;
    const double* b_ = nullptr;
    bool stageOne_ = true;
    int mcon_ = 0;  // m in stage one; m + 1 once the objective counts as the last constraint
    int nact_ = 0;
    int icon_ = -1;
    double resmax_ = 0.0;
    std::vector<double> z_;  // n x n, columns orthonormal
    std::vector<double> zdota_;
    std::vector<double> vmultc_;
    std::vector<double> vmultd_;
    std::vector<double> sdirn_;
    std::vector<double> dxnew_;
    std::vector<int> iact_;
};

}  // namespace EnergyOpt
