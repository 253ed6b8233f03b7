#include "energyopt/trustregion.h"

#include <algorithm>
#include <cmath>

namespace EnergyOpt {

namespace {

// True when a computed scalar product is larger than the rounding errors of its terms, that is
// when adding 10% and 20% of it to the sum of absolute terms still changes that sum.
bool significant(double value, double absoluteSum) {
    const double a = absoluteSum + 0.1 * std::abs(value);
    const double b = absoluteSum + 0.2 * std::abs(value);
    return absoluteSum < a && a < b;
}

}  // namespace

TrustRegionSolver::TrustRegionSolver(int n, int m)
    : n_(n),
      m_(m),
      z_(static_cast<size_t>(n) * n),
      zdota_(n),
      vmultc_(m + 1),
      vmultd_(m + 1),
      sdirn_(n),
      dxnew_(n),
      iact_(m + 1) {}

double TrustRegionSolver::dotColumn(const double* a, int column, const double* v) const {
    const double* col = a + static_cast<size_t>(column) * n_;
    double s = 0.0;
    for (int i = 0; i < n_; ++i) s += col[i] * v[i];
    return s;
}

double TrustRegionSolver::zDot(int column, const double* v) const {
    const double* col = z_.data() + static_cast<size_t>(column) * n_;
    double s = 0.0;
    for (int i = 0; i < n_; ++i) s += col[i] * v[i];
    return s;
}

double TrustRegionSolver::zDotSignificant(int column, const double* v) const {
    const double* col = z_.data() + static_cast<size_t>(column) * n_;
    double s = 0.0, absolute = 0.0;
    for (int i = 0; i < n_; ++i) {
        const double t = col[i] * v[i];
        s += t;
        absolute += std::abs(t);
    }
    return significant(s, absolute) ? s : 0.0;
}

double TrustRegionSolver::zDotColumn(int zColumn, const double* a, int column) const {
    return zDot(zColumn, a + static_cast<size_t>(column) * n_);
}

// Plane rotation of Z columns k and k+1 that exchanges the order of the active constraints at
// those positions; sp is Z column k . the gradient of the constraint moving to position k.
void TrustRegionSolver::exchange(int k, double sp) {
    const int kp = k + 1;
    const double r = std::sqrt(sp * sp + zdota_[kp] * zdota_[kp]);
    const double alpha = zdota_[kp] / r;
    const double beta = sp / r;
    zdota_[kp] = alpha * zdota_[k];
    zdota_[k] = r;
    double* zk = z_.data() + static_cast<size_t>(k) * n_;
    double* zkp = z_.data() + static_cast<size_t>(kp) * n_;
    for (int i = 0; i < n_; ++i) {
        const double t = alpha * zkp[i] + beta * zk[i];
        zkp[i] = alpha * zk[i] - beta * zkp[i];
        zk[i] = t;
    }
}

void TrustRegionSolver::moveToEnd(const double* a, int k) {
    const int saved = iact_[k];
    const double savedMultiplier = vmultc_[k];
    for (; k < nact_ - 1; ++k) {
        const int next = iact_[k + 1];
        exchange(k, zDotColumn(k, a, next));
        iact_[k] = next;
        vmultc_[k] = vmultc_[k + 1];
    }
    iact_[k] = saved;
    vmultc_[k] = savedMultiplier;
}

bool TrustRegionSolver::solve(const double* a, const double* b, double rho, double* dx) {
    const int n = n_;
    const int m = m_;
    bool full = true;
    int mcon = m;  // m in stage one; m + 1 once the objective counts as the last constraint
    nact_ = 0;
    double resmax = 0.0;
    int icon = -1;
    std::fill(z_.begin(), z_.end(), 0.0);
    for (int i = 0; i < n; ++i) {
        z_[static_cast<size_t>(i) * n + i] = 1.0;
        dx[i] = 0.0;
    }
    // The residuals of the inactive constraints are shifted by resmax so that they are all
    // non-negative; the active ones hold their Lagrange multipliers.
    for (int k = 0; k < m; ++k) {
        if (b[k] > resmax) {
            resmax = b[k];
            icon = k;
        }
    }
    for (int k = 0; k < m; ++k) {
        iact_[k] = k;
        vmultc_[k] = resmax - b[k];
    }
    std::fill(sdirn_.begin(), sdirn_.end(), 0.0);

    bool stageOne = resmax != 0.0;
    auto startStageTwo = [&] {
        stageOne = false;
        mcon = m + 1;
        icon = m;
        iact_[m] = m;
        vmultc_[m] = 0.0;
    };
    if (!stageOne) startStageTwo();

    for (;;) {  // one pass per stage
        double optold = 0.0;
        int icount = 0;
        int nactx = 0;
        bool stageEnded = false;
        while (!stageEnded) {
            // End the stage after three iterations that neither improved the stage's goal nor
            // enlarged the active set: this prevents cycling.
            const double optnew = stageOne ? resmax : -dotColumn(a, m, dx);
            if (icount == 0 || optnew < optold) {
                optold = optnew;
                nactx = nact_;
                icount = 3;
            } else if (nact_ > nactx) {
                nactx = nact_;
                icount = 3;
            } else if (--icount == 0) {
                stageEnded = true;
                break;
            }

            double* dxnew = dxnew_.data();
            if (icon >= nact_) {
                // Add constraint iact[icon]: rotate the free columns of Z so that only the first
                // of them has a component along its gradient.
                const int kk = iact_[icon];
                std::copy(a + static_cast<size_t>(kk) * n, a + static_cast<size_t>(kk + 1) * n, dxnew);
                double tot = 0.0;
                for (int k = n - 1; k >= nact_; --k) {
                    const double sp = zDotSignificant(k, dxnew);
                    if (tot == 0.0) {
                        tot = sp;
                    } else {
                        const int kp = k + 1;
                        const double r = std::sqrt(sp * sp + tot * tot);
                        const double alpha = sp / r;
                        const double beta = tot / r;
                        tot = r;
                        double* zkw = z_.data() + static_cast<size_t>(k) * n;
                        double* zkp = z_.data() + static_cast<size_t>(kp) * n;
                        for (int i = 0; i < n; ++i) {
                            const double t = alpha * zkw[i] + beta * zkp[i];
                            zkp[i] = alpha * zkp[i] - beta * zkw[i];
                            zkw[i] = t;
                        }
                    }
                }
                if (tot != 0.0) {
                    zdota_[nact_] = tot;
                    vmultc_[icon] = vmultc_[nact_];
                    vmultc_[nact_] = 0.0;
                    ++nact_;
                } else {
                    // The new gradient depends on the active ones: one active constraint must
                    // leave. vmultd gets the multipliers of the linear combination.
                    double ratio = -1.0;
                    int iout = -1;
                    for (int k = nact_ - 1; k >= 0; --k) {
                        const double t = zDotSignificant(k, dxnew) / zdota_[k];
                        if (t > 0.0 && iact_[k] < m) {
                            const double tempa = vmultc_[k] / t;
                            if (ratio < 0.0 || tempa < ratio) {
                                ratio = tempa;
                                iout = k;
                            }
                        }
                        if (k >= 1 && t != 0.0) {
                            const double* ak = a + static_cast<size_t>(iact_[k]) * n;
                            for (int i = 0; i < n; ++i) dxnew[i] -= t * ak[i];
                        }
                        vmultd_[k] = t;
                    }
                    if (ratio < 0.0) {
                        stageEnded = true;
                        break;
                    }
                    for (int k = 0; k < nact_; ++k)
                        vmultc_[k] = std::max(0.0, vmultc_[k] - ratio * vmultd_[k]);
                    if (iout < nact_ - 1) moveToEnd(a, iout);
                    const double t = zDotColumn(nact_ - 1, a, kk);
                    if (t == 0.0) {
                        stageEnded = true;
                        break;
                    }
                    zdota_[nact_ - 1] = t;
                    vmultc_[icon] = 0.0;
                    vmultc_[nact_ - 1] = ratio;
                }
                // The new constraint takes the last active position; in stage two the objective
                // stays behind it.
                iact_[icon] = iact_[nact_ - 1];
                iact_[nact_ - 1] = kk;
                if (!stageOne && kk != m) {
                    const int k = nact_ - 2;
                    const int last = nact_ - 1;
                    exchange(k, zDotColumn(k, a, kk));
                    iact_[last] = iact_[k];
                    iact_[k] = kk;
                    std::swap(vmultc_[k], vmultc_[last]);
                }
                if (stageOne) {
                    // Move along Z's new column so that every active violation falls at unit rate.
                    const int last = nact_ - 1;
                    const double t = (dotColumn(a, iact_[last], sdirn_.data()) - 1.0) / zdota_[last];
                    const double* zl = z_.data() + static_cast<size_t>(last) * n;
                    for (int i = 0; i < n; ++i) sdirn_[i] -= t * zl[i];
                }
            } else {
                // Delete constraint iact[icon] from the active set.
                if (icon < nact_ - 1) moveToEnd(a, icon);
                --nact_;
                if (stageOne) {
                    const double t = zDot(nact_, sdirn_.data());
                    const double* zl = z_.data() + static_cast<size_t>(nact_) * n;
                    for (int i = 0; i < n; ++i) sdirn_[i] -= t * zl[i];
                }
            }
            if (!stageOne) {
                const double t = 1.0 / zdota_[nact_ - 1];
                const double* zl = z_.data() + static_cast<size_t>(nact_ - 1) * n;
                for (int i = 0; i < n; ++i) sdirn_[i] = t * zl[i];
            }

            // Step to the trust-region boundary, or the step that removes the greatest violation.
            // Tiny components are left out of dd to avoid harmless underflows.
            double dd = rho * rho, sd = 0.0, ss = 0.0;
            for (int i = 0; i < n; ++i) {
                if (std::abs(dx[i]) >= 1.0e-6 * rho) dd -= dx[i] * dx[i];
                sd += dx[i] * sdirn_[i];
                ss += sdirn_[i] * sdirn_[i];
            }
            if (dd <= 0.0) {
                stageEnded = true;
                break;
            }
            double t = std::sqrt(ss * dd);
            if (std::abs(sd) >= 1.0e-6 * t) t = std::sqrt(ss * dd + sd * sd);
            const double stpful = dd / (t + sd);
            double step = stpful;
            if (stageOne) {
                if (!significant(resmax, step)) {
                    // The violation is negligible against the step: switch stages.
                    startStageTwo();
                    break;
                }
                step = std::min(step, resmax);
            }

            for (int i = 0; i < n; ++i) dxnew[i] = dx[i] + step * sdirn_[i];
            double resold = 0.0;
            if (stageOne) {
                resold = resmax;
                resmax = 0.0;
                for (int k = 0; k < nact_; ++k) {
                    const int kk = iact_[k];
                    const double* ak = a + static_cast<size_t>(kk) * n;
                    double residual = b[kk];
                    for (int i = 0; i < n; ++i) residual -= ak[i] * dxnew[i];
                    resmax = std::max(resmax, residual);
                }
            }

            // Multipliers the active set would have at dxnew, zeroed when within rounding error.
            for (int k = nact_ - 1; k >= 0; --k) {
                vmultd_[k] = zDotSignificant(k, dxnew) / zdota_[k];
                if (k >= 1) {
                    const double* ak = a + static_cast<size_t>(iact_[k]) * n;
                    for (int i = 0; i < n; ++i) dxnew[i] -= vmultd_[k] * ak[i];
                }
            }
            if (!stageOne) vmultd_[nact_ - 1] = std::max(0.0, vmultd_[nact_ - 1]);

            // Residuals of the inactive constraints at dxnew.
            for (int i = 0; i < n; ++i) dxnew[i] = dx[i] + step * sdirn_[i];
            for (int k = nact_; k < mcon; ++k) {
                const int kk = iact_[k];
                const double* ak = a + static_cast<size_t>(kk) * n;
                double sum = resmax - b[kk];
                double sumabs = resmax + std::abs(b[kk]);
                for (int i = 0; i < n; ++i) {
                    const double w = ak[i] * dxnew[i];
                    sum += w;
                    sumabs += std::abs(w);
                }
                if (!significant(sum, sumabs)) sum = 0.0;
                vmultd_[k] = sum;
            }

            // Take the largest fraction of the step that keeps every multiplier and residual
            // non-negative; the constraint that limits it changes the active set next.
            double ratio = 1.0;
            icon = -1;
            for (int k = 0; k < mcon; ++k) {
                if (vmultd_[k] < 0.0) {
                    const double r = vmultc_[k] / (vmultc_[k] - vmultd_[k]);
                    if (r < ratio) {
                        ratio = r;
                        icon = k;
                    }
                }
            }
            const double keep = 1.0 - ratio;
            for (int i = 0; i < n; ++i) dx[i] = keep * dx[i] + ratio * dxnew[i];
            for (int k = 0; k < mcon; ++k) vmultc_[k] = std::max(0.0, keep * vmultc_[k] + ratio * vmultd_[k]);
            if (stageOne) resmax = resold + ratio * (resmax - resold);

            if (icon >= 0) continue;
            if (step == stpful) return full;
            // Stage one reduced the violation to zero before the boundary.
            startStageTwo();
            break;
        }
        if (stageEnded) {
            if (stageOne) {
                startStageTwo();
                continue;
            }
            return false;
        }
        // Here stage two was just started by a break.
    }
}

}  // namespace EnergyOpt
