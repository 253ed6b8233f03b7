#pragma once
// A small dense square matrix and its condition number from a singular value decomposition.

#include <vector>

namespace zun {

class Svd {
public:
    // n x n, contents not initialised.
    void Resize(int n);
    int Size() const { return n_; }
    double* operator[](int row) { return data_.data() + static_cast<std::size_t>(row) * n_; }
    const double* operator[](int row) const { return data_.data() + static_cast<std::size_t>(row) * n_; }

    // max |w| / min |w| over the singular values (> 0); 0 for a singular matrix; -1 when the
    // decomposition failed. Overwrites the matrix with U.
    double ConditionNumber();

    // Decomposes the n x n matrix given by its rows (overwritten with U) and returns
    // max |w| / min |w|, or 0 when the smallest singular value is 0. Throws std::runtime_error.
    static double invert(int n, double** rows);

private:
    int n_ = 0;
    std::vector<double> data_;
};

// A = U W V^T of the m x n matrix given by its rows (indices from 0): a is replaced by U (its first
// n columns), w receives the n singular values, v the n x n matrix V. Throws std::runtime_error
// with "cannot allocate memory in svdcmp()" or, when the decomposition does not succeed (a matrix
// holding NaN or infinity), "runtime_error in svdcmp() (no convergence in 30 iterations)".
void svdcmp(double** a, int m, int n, double* w, double** v);

}  // namespace zun
