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
      vmultc_(static_cast<size_t>(m) + 1),
      vmultd_(static_cast<size_t>(m) + 1),
      sdirn_(n),
      dxnew_(n),
      iact_(static_cast<size_t>(m) + 1) {}

double TrustRegionSolver::dotColumn(int k, const double* v) const {
    const double* col = column(k);
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

// Plane rotation of Z columns k and k+1 that exchanges the order of the active constraints at
// those positions; sp is Z column k . the gradient of the constraint moving to position k.
void TrustRegionSolver::exchange(int k, double sp) {
    const int kp = k + 1;
    const double r = std::sqrt(sp * sp + zdota_[kp] * zdota_[kp]);
    const double alpha = zdota_[kp] / r;
    const double beta = sp / r;
    zdota_[kp] = alpha * zdota_[k];
    zdota_[k] = r;
    double* zk = zColumn(k);
    double* zkp = zColumn(kp);
    for (int i = 0; i < n_; ++i) {
        const double t = alpha * zkp[i] + beta * zk[i];
        zkp[i] = alpha * zk[i] - beta * zkp[i];
        zk[i] = t;
    }
}

void TrustRegionSolver::moveToEnd(int k) {
    const int saved = iact_[k];
    const double savedMultiplier = vmultc_[k];
    for (; k < nact_ - 1; ++k) {
        const int next = iact_[k + 1];
        exchange(k, zDot(k, column(next)));
        iact_[k] = next;
        vmultc_[k] = vmultc_[k + 1];
    }
    iact_[k] = saved;
    vmultc_[k] = savedMultiplier;
}

void TrustRegionSolver::startStageTwo() {
    stageOne_ = false;
    mcon_ = m_ + 1;
    icon_ = m_;
    iact_[m_] = m_;
    vmultc_[m_] = 0.0;
}

bool TrustRegionSolver::addConstraint() {
    const int n = n_;
    const int kk = iact_[icon_];
    double* dxnew = dxnew_.data();
    std::copy(column(kk), column(kk) + n, dxnew);
    // Rotate the free columns of Z so that only the first of them has a component along the
    // new gradient.
    double tot = 0.0;
    for (int k = n - 1; k >= nact_; --k) {
        const double sp = zDotSignificant(k, dxnew);
        if (tot == 0.0) {
            tot = sp;
            continue;
        }
        const double r = std::sqrt(sp * sp + tot * tot);
        const double alpha = sp / r;
        const double beta = tot / r;
        tot = r;
        double* zk = zColumn(k);
        double* zkp = zColumn(k + 1);
        for (int i = 0; i < n; ++i) {
            const double t = alpha * zk[i] + beta * zkp[i];
            zkp[i] = alpha * zkp[i] - beta * zk[i];
            zk[i] = t;
        }
    }
    if (tot != 0.0) {
        zdota_[nact_] = tot;
        vmultc_[icon_] = vmultc_[nact_];
        vmultc_[nact_] = 0.0;
        ++nact_;
    } else {
        // The new gradient depends on the active ones: one active constraint must leave.
        // vmultd gets the multipliers of the linear combination.
        double ratio = -1.0;
        int iout = -1;
        for (int k = nact_ - 1; k >= 0; --k) {
            const double t = zDotSignificant(k, dxnew) / zdota_[k];
            if (t > 0.0 && iact_[k] < m_) {
                const double tempa = vmultc_[k] / t;
                if (ratio < 0.0 || tempa < ratio) {
                    ratio = tempa;
                    iout = k;
                }
            }
            if (k >= 1 && t != 0.0) {
                const double* ak = column(iact_[k]);
                for (int i = 0; i < n; ++i) dxnew[i] -= t * ak[i];
            }
            vmultd_[k] = t;
        }
        if (ratio < 0.0) return false;
        for (int k = 0; k < nact_; ++k) vmultc_[k] = std::max(0.0, vmultc_[k] - ratio * vmultd_[k]);
        if (iout < nact_ - 1) moveToEnd(iout);
        const double t = zDot(nact_ - 1, column(kk));
        if (t == 0.0) return false;
        zdota_[nact_ - 1] = t;
        vmultc_[icon_] = 0.0;
        vmultc_[nact_ - 1] = ratio;
    }
    // The new constraint takes the last active position; in stage two the objective stays
    // behind it.
    iact_[icon_] = iact_[nact_ - 1];
    iact_[nact_ - 1] = kk;
    const int last = nact_ - 1;
    if (!stageOne_ && kk != m_) {
        const int k = nact_ - 2;
        exchange(k, zDot(k, column(kk)));
        iact_[last] = iact_[k];
        iact_[k] = kk;
        std::swap(vmultc_[k], vmultc_[last]);
    }
    if (stageOne_) {
        // Move along Z's new column so that every active violation falls at unit rate.
        const double t = (dotColumn(iact_[last], sdirn_.data()) - 1.0) / zdota_[last];
        const double* zl = zColumn(last);
        for (int i = 0; i < n; ++i) sdirn_[i] -= t * zl[i];
    }
    return true;
}

void TrustRegionSolver::deleteConstraint() {
    if (icon_ < nact_ - 1) moveToEnd(icon_);
    --nact_;
    if (stageOne_) {
        const double t = zDot(nact_, sdirn_.data());
        const double* zl = zColumn(nact_);
        for (int i = 0; i < n_; ++i) sdirn_[i] -= t * zl[i];
    }
}

TrustRegionSolver::Step TrustRegionSolver::takeStep(double rho, double* dx) {
    const int n = n_;
    double* dxnew = dxnew_.data();
    // Step to the trust-region boundary, or the step that removes the greatest violation. Tiny
    // components are left out of dd to avoid harmless underflows.
    double dd = rho * rho, sd = 0.0, ss = 0.0;
    for (int i = 0; i < n; ++i) {
        if (std::abs(dx[i]) >= 1.0e-6 * rho) dd -= dx[i] * dx[i];
        sd += dx[i] * sdirn_[i];
        ss += sdirn_[i] * sdirn_[i];
    }
    if (dd <= 0.0) return Step::kEndStage;
    double t = std::sqrt(ss * dd);
    if (std::abs(sd) >= 1.0e-6 * t) t = std::sqrt(ss * dd + sd * sd);
    const double stpful = dd / (t + sd);
    double step = stpful;
    if (stageOne_) {
        // A violation negligible against the step: go on to the objective.
        if (!significant(resmax_, step)) return Step::kSwitchStage;
        step = std::min(step, resmax_);
    }

    for (int i = 0; i < n; ++i) dxnew[i] = dx[i] + step * sdirn_[i];
    double resold = 0.0;
    if (stageOne_) {
        resold = resmax_;
        resmax_ = 0.0;
        for (int k = 0; k < nact_; ++k) {
            const double* ak = column(iact_[k]);
            double residual = b_[iact_[k]];
            for (int i = 0; i < n; ++i) residual -= ak[i] * dxnew[i];
            resmax_ = std::max(resmax_, residual);
        }
    }

    // Multipliers the active set would have at dxnew, zeroed when within rounding error.
    for (int k = nact_ - 1; k >= 0; --k) {
        vmultd_[k] = zDotSignificant(k, dxnew) / zdota_[k];
        if (k >= 1) {
            const double* ak = column(iact_[k]);
            for (int i = 0; i < n; ++i) dxnew[i] -= vmultd_[k] * ak[i];
        }
    }
    if (!stageOne_) vmultd_[nact_ - 1] = std::max(0.0, vmultd_[nact_ - 1]);

    // Residuals of the inactive constraints at dxnew.
    for (int i = 0; i < n; ++i) dxnew[i] = dx[i] + step * sdirn_[i];
    for (int k = nact_; k < mcon_; ++k) {
        const int kk = iact_[k];
        const double* ak = column(kk);
        double sum = resmax_ - b_[kk];
        double sumabs = resmax_ + std::abs(b_[kk]);
        for (int i = 0; i < n; ++i) {
            const double w = ak[i] * dxnew[i];
            sum += w;
            sumabs += std::abs(w);
        }
        vmultd_[k] = significant(sum, sumabs) ? sum : 0.0;
    }

    // Take the largest fraction of the step that keeps every multiplier and residual
    // non-negative; the constraint that limits it changes the active set next.
    double ratio = 1.0;
    icon_ = -1;
    for (int k = 0; k < mcon_; ++k) {
        if (vmultd_[k] < 0.0) {
            const double r = vmultc_[k] / (vmultc_[k] - vmultd_[k]);
            if (r < ratio) {
                ratio = r;
                icon_ = k;
            }
        }
    }
    const double keep = 1.0 - ratio;
    for (int i = 0; i < n; ++i) dx[i] = keep * dx[i] + ratio * dxnew[i];
    for (int k = 0; k < mcon_; ++k) vmultc_[k] = std::max(0.0, keep * vmultc_[k] + ratio * vmultd_[k]);
    if (stageOne_) resmax_ = resold + ratio * (resmax_ - resold);

    if (icon_ >= 0) return Step::kContinue;
    // A full step ends the calculation; one that removed the violation before the boundary
    // leaves freedom for the objective.
    return step == stpful ? Step::kFull : Step::kSwitchStage;
}

bool TrustRegionSolver::solve(const double* a, const double* b, double rho, double* dx) {
    a_ = a;
    b_ = b;
    stageOne_ = true;
    mcon_ = m_;
    nact_ = 0;
    resmax_ = 0.0;
    icon_ = -1;
    std::fill(z_.begin(), z_.end(), 0.0);
    for (int i = 0; i < n_; ++i) {
        z_[static_cast<size_t>(i) * n_ + i] = 1.0;
        dx[i] = 0.0;
    }
    // The residuals of the inactive constraints are shifted by resmax so that they are all
    // non-negative; the active ones hold their Lagrange multipliers.
    for (int k = 0; k < m_; ++k) {
        if (b[k] > resmax_) {
            resmax_ = b[k];
            icon_ = k;
        }
    }
    for (int k = 0; k < m_; ++k) {
        iact_[k] = k;
        vmultc_[k] = resmax_ - b[k];
    }
    std::fill(sdirn_.begin(), sdirn_.end(), 0.0);
    if (resmax_ == 0.0) startStageTwo();

    for (;;) {  // one pass per stage
        double optold = 0.0;
        int icount = 0;
        int nactx = 0;
        Step outcome = Step::kContinue;
        while (outcome == Step::kContinue) {
            // End the stage after three iterations that neither improved the stage's goal nor
            // enlarged the active set: this prevents cycling.
            const double optnew = stageOne_ ? resmax_ : -dotColumn(m_, dx);
            if (icount == 0 || optnew < optold) {
                optold = optnew;
                nactx = nact_;
                icount = 3;
            } else if (nact_ > nactx) {
                nactx = nact_;
                icount = 3;
            } else if (--icount == 0) {
                outcome = Step::kEndStage;
                break;
            }
            if (icon_ >= nact_) {
                if (!addConstraint()) {
                    outcome = Step::kEndStage;
                    break;
                }
            } else {
                deleteConstraint();
            }
            if (!stageOne_) {
                const double t = 1.0 / zdota_[nact_ - 1];
                const double* zl = zColumn(nact_ - 1);
                for (int i = 0; i < n_; ++i) sdirn_[i] = t * zl[i];
            }
            outcome = takeStep(rho, dx);
        }
        if (outcome == Step::kFull) return true;
        if (!stageOne_) return false;  // only a stage-two end can stop short of the boundary
        startStageTwo();
    }
}

}  // namespace EnergyOpt
