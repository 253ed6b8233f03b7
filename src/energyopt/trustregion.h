#pragma once
// The trust-region subproblem of the constrained minimiser: a step dx with |dx| <= rho that
// first minimises the greatest violation of the linearised constraints a_k . dx >= b_k and then,
// with any freedom left, the linearised objective -a_m . dx without raising that violation.

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
    double dotColumn(const double* a, int column, const double* v) const;
    double zDot(int column, const double* v) const;
    // Z column . v, or 0 when the product is within the rounding error of its terms.
    double zDotSignificant(int column, const double* v) const;
    double zDotColumn(int zColumn, const double* a, int column) const;
    // Rotates the active constraint at position k to the end of the active set.
    void moveToEnd(const double* a, int k);
    void exchange(int k, double sp);

    int n_;
    int m_;
    int nact_ = 0;
    std::vector<double> z_;  // n x n, columns orthonormal
    std::vector<double> zdota_;
    std::vector<double> vmultc_;
    std::vector<double> vmultd_;
    std::vector<double> sdirn_;
    std::vector<double> dxnew_;
    std::vector<int> iact_;
};

}  // namespace EnergyOpt
