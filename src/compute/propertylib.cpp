#include "compute/propertylib.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <new>

namespace zunlib {

namespace {

using zun::ExtrapolationColumn;

constexpr double kSumTolerance = 1e-3;
constexpr double kRelativeSingular = 1e-10;
constexpr double kTiny = 1e-12;

std::size_t RowCount(const std::vector<ExtrapolationColumn>& columns) {
    return columns.empty() ? 0 : columns[0].values.size();
}

// Rows x compositions matrix of the fractions.
Eigen::MatrixXd Fractions(const std::vector<ExtrapolationColumn>& columns) {
    const std::size_t m = columns.size() - 1, rows = RowCount(columns);
    Eigen::MatrixXd f(rows, m);
    for (std::size_t i = 0; i < m; ++i)
        for (std::size_t r = 0; r < rows; ++r) f(r, i) = columns[i].values[r];
    return f;
}

int Rank(const Eigen::JacobiSVD<Eigen::MatrixXd>& svd) {
    const auto& s = svd.singularValues();
    if (s.size() == 0 || !(s(0) > 0)) return 0;
    int rank = 0;
    for (Eigen::Index i = 0; i < s.size(); ++i)
        if (s(i) > kRelativeSingular * s(0)) ++rank;
    return rank;
}

}  // namespace

int CLibProperty::CheckTable(const std::vector<ExtrapolationColumn>& columns, bool computingWeights) {
    const std::size_t rows = RowCount(columns);
    if (rows < 2) return 1;
    if (columns.size() < 2) return 2;
    for (const ExtrapolationColumn& c : columns)
        if (c.values.size() != rows) return 13;
    const std::size_t m = columns.size() - 1;
    for (std::size_t i = 0; i < m; ++i)
        for (float v : columns[i].values)
            if (!(v >= 0.0f)) return 3;  // also refuses NaN
    for (std::size_t r = 0; r < rows; ++r) {
        double sum = 0;
        for (std::size_t i = 0; i < m; ++i) sum += columns[i].values[r];
        if (std::fabs(sum - 1.0) > kSumTolerance) return 4;
    }
    bool allSame = true;
    for (std::size_t r = 1; r < rows && allSame; ++r)
        for (std::size_t i = 0; i < m; ++i)
            if (columns[i].values[r] != columns[i].values[0]) allSame = false;
    if (allSame) return 5;
    if (computingWeights) {
        const auto& p = columns[m].values;
        const auto [lo, hi] = std::minmax_element(p.begin(), p.end());
        const double maxAbs = std::max(std::fabs(*lo), std::fabs(*hi));
        if (!std::isfinite(maxAbs) || *hi - *lo < kTiny * (1.0 + maxAbs)) return 6;
    }
    try {
        Eigen::JacobiSVD<Eigen::MatrixXd> svd(Fractions(columns));
        if (Rank(svd) < static_cast<int>(std::min(m, rows))) return 7;
    } catch (const std::bad_alloc&) {
        return 12;
    }
    if (!computingWeights) {
        for (std::size_t i = 0; i < m; ++i) {
            if (columns[i].weight == 0.0f) continue;
            const auto& v = columns[i].values;
            if (std::all_of(v.begin(), v.end(), [](float x) { return x <= 0.0f; })) return 10;
        }
    }
    return 0;
}

int ScalarExtrapolationFit(std::vector<ExtrapolationColumn>& columns) {
    if (const int code = CLibProperty::CheckTable(columns, true)) return code;
    const std::size_t m = columns.size() - 1, rows = RowCount(columns);
    Eigen::VectorXd w;
    try {
        const Eigen::MatrixXd f = Fractions(columns);
        Eigen::VectorXd p(rows);
        for (std::size_t r = 0; r < rows; ++r) p(r) = columns[m].values[r];
        Eigen::JacobiSVD<Eigen::MatrixXd> svd(f, Eigen::ComputeThinU | Eigen::ComputeThinV);
        if (svd.info() != Eigen::Success) return 8;
        const int rank = Rank(svd);
        if (rank == 0) return 11;
        // Minimum-norm solution over the singular values that carry information.
        const auto& s = svd.singularValues();
        Eigen::VectorXd coeff = svd.matrixU().leftCols(rank).transpose() * p;
        for (int k = 0; k < rank; ++k) coeff(k) /= s(k);
        w = svd.matrixV().leftCols(rank) * coeff;
    } catch (const std::bad_alloc&) {
        return 12;
    }
    if (!w.allFinite()) return 9;
    for (Eigen::Index i = 0; i < w.size(); ++i)
        if (!std::isfinite(static_cast<float>(w(i)))) return 15;
    if (w.cwiseAbs().maxCoeff() < kTiny) return 14;
    if (w.maxCoeff() - w.minCoeff() < kTiny) return 16;
    for (std::size_t i = 0; i < m; ++i) columns[i].weight = static_cast<float>(w(i));
    return 0;
}

const char* PropertyFitMessage(int code) {
    static const char* const kMessages[] = {
        "Normal completion",
        "Insufficient number of data rows",
        "Insufficient number of compositions",
        "Negative volume fraction",
        "Sum of volume fractions in a row not equal to 1",
        "Identical volume fractions",
        "Insufficient property value variations",
        "Insufficient volume fraction variations",
        "Internal error W8",
        "Internal error W9",
        "Insufficient volume fraction variations for non-zero weight value",
        "Internal error W11",
        "Internal error E12",
        "Internal error E13",
        "Weight values too small",
        "Internal error E15",
        "Weight amplitude too small",
    };
    return code >= 0 && code <= 16 ? kMessages[code] : "";
}

}  // namespace zunlib
