#include "model/svd.h"

#include <Eigen/SVD>

#include <cmath>
#include <new>
#include <stdexcept>

namespace zun {

void Svd::Resize(int n) {
    n_ = n < 0 ? 0 : n;
    data_.assign(static_cast<std::size_t>(n_) * n_, 0.0);
}

double Svd::ConditionNumber() {
    try {
        std::vector<double*> rows(n_);
        for (int i = 0; i < n_; ++i) rows[i] = (*this)[i];
        return invert(n_, rows.data());
    } catch (...) {
        return -1.0;
    }
}

double Svd::invert(int n, double** rows) {
    if (n < 1) throw std::runtime_error("runtime_error in svdcmp() (no convergence in 30 iterations)");
    std::vector<double> w, vData;
    std::vector<double*> v;
    try {
        w.resize(n);
        vData.resize(static_cast<std::size_t>(n) * n);
        v.resize(n);
    } catch (const std::bad_alloc&) {
        throw std::runtime_error("cannot allocate memory in Svd::invert()");
    }
    for (int i = 0; i < n; ++i) v[i] = vData.data() + static_cast<std::size_t>(i) * n;
    svdcmp(rows, n, n, w.data(), v.data());
    double hi = std::fabs(w[0]), lo = hi;
    for (int i = 1; i < n; ++i) {
        hi = std::max(hi, std::fabs(w[i]));
        lo = std::min(lo, std::fabs(w[i]));
    }
    return lo == 0.0 ? 0.0 : hi / lo;
}

void svdcmp(double** a, int m, int n, double* w, double** v) {
    try {
        Eigen::MatrixXd A(m, n);
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < n; ++j) A(i, j) = a[i][j];
        // Two-sided Jacobi rotations: accurate small singular values, which the condition number
        // depends on.
        Eigen::JacobiSVD<Eigen::MatrixXd> svd(A, Eigen::ComputeThinU | Eigen::ComputeFullV);
        if (svd.info() != Eigen::Success || !svd.singularValues().allFinite())
            throw std::runtime_error("runtime_error in svdcmp() (no convergence in 30 iterations)");
        const Eigen::MatrixXd& U = svd.matrixU();
        const Eigen::MatrixXd& V = svd.matrixV();
        const auto& s = svd.singularValues();
        for (int j = 0; j < n; ++j) w[j] = j < s.size() ? s(j) : 0.0;
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < n; ++j) a[i][j] = j < U.cols() ? U(i, j) : 0.0;
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) v[i][j] = V(i, j);
    } catch (const std::bad_alloc&) {
        throw std::runtime_error("cannot allocate memory in svdcmp()");
    }
}

}  // namespace zun
