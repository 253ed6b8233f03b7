#include "energyopt/cobyla.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "energyopt/search.h"
#include "energyopt/trustregion.h"

namespace EnergyOpt {

namespace {

const char* const kCodeTexts[] = {
    "RHOBEG must be a positive number and RHOEND a number >= 0",
    "N<0 or M<0",
    "Memory allocation failed",
    "Normal return from cobyla",
    "Maximum number of function evaluations reached",
    "Rounding errors are becoming damaging",
    "User requested end of minimization",
    "Minimum function value reached",
};

// Simplex acceptability and step constants of the method.
constexpr double kAlpha = 0.25;  // least distance measure, in units of rho
constexpr double kBeta = 2.1;    // greatest edge length, in units of rho
constexpr double kGamma = 0.5;   // length of a simplex-repairing step
constexpr double kDelta = 1.1;   // edge limit when choosing the vertex to replace

void printPoint(int nfvals, double f, double maxcv, int n, const double* x) {
    std::fprintf(stderr, "cobyla: NFVALS = %4d, F =%13.6E, MAXCV =%13.6E\n", nfvals, f, maxcv);
    std::fprintf(stderr, "cobyla: X =");
    for (int i = 0; i < n && i < 4; ++i) std::fprintf(stderr, i == 0 ? "%13.6E" : "  %13.6E", x[i]);
    for (int i = 4; i < n; ++i) {
        if (i % 4 == 0) std::fprintf(stderr, "\ncobyla:  ");
        std::fprintf(stderr, "%15.6E", x[i]);
    }
    std::fprintf(stderr, "\n");
}

// One minimisation. Vertex data are kept relative to the pole (column n of sim), the vertex
// with the least merit value; simi is the inverse of the first n columns of sim.
class Cobyla {
public:
    Cobyla(EvaluationRoutine routine, int n, int m, double* x, int messageLevel, int maxfun, void* state)
        : routine_(routine),
          n_(n),
          m_(m),
          x_(x),
          level_(messageLevel),
          maxfun_(maxfun),
          state_(state),
          sim_(static_cast<size_t>(n) * (static_cast<size_t>(n) + 1)),
          simi_(static_cast<size_t>(n) * n),
          datmat_((static_cast<size_t>(m) + 2) * (static_cast<size_t>(n) + 1),
                  std::numeric_limits<double>::quiet_NaN()),
          a_(static_cast<size_t>(n) * (static_cast<size_t>(m) + 1)),
          vsig_(n),
          veta_(n),
          sigbar_(n),
          dx_(n),
          w_(n),
          con_(static_cast<size_t>(m) + 2),
          solver_(n, m) {}

    int run(double rhobeg, double rhoend, double fmin);
    int evaluations() const { return nfvals_; }

private:
    double& sim(int i, int j) { return sim_[static_cast<size_t>(j) * n_ + i]; }
    double& simi(int i, int j) { return simi_[static_cast<size_t>(j) * n_ + i]; }
    double& dat(int k, int j) { return datmat_[static_cast<size_t>(j) * (static_cast<size_t>(m_) + 2) + k]; }
    double& grad(int i, int k) { return a_[static_cast<size_t>(k) * n_ + i]; }
    double merit(int j) { return dat(m_, j) + parmu_ * dat(m_ + 1, j); }

    // Evaluates at x_ into con_ (objective at m, violation at m+1); returns a stop code or -1.
    int evaluate(double fmin);
    int buildInitialSimplex(double fmin);
    void moveBestToPole();
    double inverseError();
    void buildLinearModels();
    bool simplexAcceptable();
    // Replaces a vertex by a step that restores the simplex's shape; returns the vertex index.
    int repairStep();
    void replaceVertex(int jdrop);
    // The evaluated trial point; returns true to continue with the same rho.
    bool considerTrialPoint(double prerem, double prerec);
    void reduceRho(double rhoend);
    int finish(int code, bool keepTrialPoint);

    EvaluationRoutine routine_;
    int n_, m_;
    double* x_;
    int level_;
    int maxfun_;
    void* state_;
    int nfvals_ = 0;
    double rho_ = 0.0;
    double parmu_ = 0.0;
    double parsig_ = 0.0;
    double pareta_ = 0.0;
    double f_ = 0.0;
    double resmax_ = 0.0;
    bool trialFull_ = false;
    std::vector<double> sim_, simi_, datmat_, a_, vsig_, veta_, sigbar_, dx_, w_, con_;
    TrustRegionSolver solver_;
};

int Cobyla::evaluate(double fmin) {
    if (maxfun_ > 0 && nfvals_ > 0 && nfvals_ >= maxfun_) {
        if (level_ >= 1) std::fprintf(stderr, "cobyla: maximum number of function evaluations reach.\n");
        return kCobylaMaxEvaluations;
    }
    ++nfvals_;
    if (routine_(n_, m_, x_, &f_, con_.data(), state_) != 0) {
        if (level_ >= 1) std::fprintf(stderr, "cobyla: user requested end of minimization.\n");
        return kCobylaUserEnd;
    }
    if (f_ <= fmin) {
        if (level_ >= 1) std::fprintf(stderr, "cobyla: minimum function value rearched.\n");
        return kCobylaStopValue;
    }
    resmax_ = 0.0;
    for (int k = 0; k < m_; ++k) resmax_ = std::max(resmax_, -con_[k]);
    if (nfvals_ == level_ - 1 || level_ == 3) printPoint(nfvals_, f_, resmax_, n_, x_);
    con_[m_] = f_;
    con_[m_ + 1] = resmax_;
    return -1;
}

int Cobyla::buildInitialSimplex(double fmin) {
    for (int i = 0; i < n_; ++i) {
        sim(i, n_) = x_[i];
        for (int j = 0; j < n_; ++j) {
            sim(i, j) = 0.0;
            simi(i, j) = 0.0;
        }
        sim(i, i) = rho_;
        simi(i, i) = 1.0 / rho_;
    }
    if (int code = evaluate(fmin); code >= 0) return code;
    for (int k = 0; k < m_ + 2; ++k) dat(k, n_) = con_[k];
    for (int j = 0; j < n_; ++j) {
        x_[j] += rho_;
        if (int code = evaluate(fmin); code >= 0) return code;
        for (int k = 0; k < m_ + 2; ++k) dat(k, j) = con_[k];
        if (dat(m_, n_) <= f_) {
            x_[j] = sim(j, n_);
        } else {
            // The new point is better: it becomes the pole and the old pole vertex j.
            sim(j, n_) = x_[j];
            for (int k = 0; k < m_ + 2; ++k) {
                dat(k, j) = dat(k, n_);
                dat(k, n_) = con_[k];
            }
            for (int k = 0; k <= j; ++k) {
                sim(j, k) = -rho_;
                double t = 0.0;
                for (int i = k; i <= j; ++i) t -= simi(i, k);
                simi(j, k) = t;
            }
        }
    }
    return -1;
}

void Cobyla::moveBestToPole() {
    int best = n_;
    double phimin = merit(n_);
    for (int j = 0; j < n_; ++j) {
        const double t = merit(j);
        if (t < phimin) {
            best = j;
            phimin = t;
        } else if (t == phimin && parmu_ == 0.0 && dat(m_ + 1, j) < dat(m_ + 1, best)) {
            best = j;
        }
    }
    if (best == n_) return;
    for (int k = 0; k < m_ + 2; ++k) std::swap(dat(k, n_), dat(k, best));
    for (int i = 0; i < n_; ++i) {
        const double t = sim(i, best);
        sim(i, best) = 0.0;
        sim(i, n_) += t;
        double s = 0.0;
        for (int k = 0; k < n_; ++k) {
            sim(i, k) -= t;
            s -= simi(k, i);
        }
        simi(best, i) = s;
    }
}

double Cobyla::inverseError() {
    double error = 0.0;
    for (int i = 0; i < n_; ++i) {
        for (int j = 0; j < n_; ++j) {
            double t = i == j ? -1.0 : 0.0;
            for (int k = 0; k < n_; ++k) t += simi(i, k) * sim(k, j);
            error = std::max(error, std::abs(t));
        }
    }
    return error;
}

void Cobyla::buildLinearModels() {
    // con_ becomes the right-hand sides (minus the pole's values); the objective's column holds
    // minus its gradient so that it can be treated like a constraint.
    for (int k = 0; k <= m_; ++k) {
        con_[k] = -dat(k, n_);
        for (int j = 0; j < n_; ++j) w_[j] = dat(k, j) + con_[k];
        for (int i = 0; i < n_; ++i) {
            double t = 0.0;
            for (int j = 0; j < n_; ++j) t += w_[j] * simi(j, i);
            grad(i, k) = k == m_ ? -t : t;
        }
    }
}

bool Cobyla::simplexAcceptable() {
    bool acceptable = true;
    parsig_ = kAlpha * rho_;
    pareta_ = kBeta * rho_;
    for (int j = 0; j < n_; ++j) {
        double wsig = 0.0, weta = 0.0;
        for (int i = 0; i < n_; ++i) {
            wsig += simi(j, i) * simi(j, i);
            weta += sim(i, j) * sim(i, j);
        }
        vsig_[j] = 1.0 / std::sqrt(wsig);
        veta_[j] = std::sqrt(weta);
        if (vsig_[j] < parsig_ || veta_[j] > pareta_) acceptable = false;
    }
    return acceptable;
}

void Cobyla::replaceVertex(int jdrop) {
    double t = 0.0;
    for (int i = 0; i < n_; ++i) {
        sim(i, jdrop) = dx_[i];
        t += simi(jdrop, i) * dx_[i];
    }
    for (int i = 0; i < n_; ++i) simi(jdrop, i) /= t;
    for (int j = 0; j < n_; ++j) {
        if (j == jdrop) continue;
        double s = 0.0;
        for (int i = 0; i < n_; ++i) s += simi(j, i) * dx_[i];
        for (int i = 0; i < n_; ++i) simi(j, i) -= s * simi(jdrop, i);
    }
}

int Cobyla::repairStep() {
    // Drop the vertex with the longest edge beyond the limit, else the one nearest its face.
    int jdrop = -1;
    double t = pareta_;
    for (int j = 0; j < n_; ++j) {
        if (veta_[j] > t) {
            jdrop = j;
            t = veta_[j];
        }
    }
    if (jdrop < 0) {
        for (int j = 0; j < n_; ++j) {
            if (vsig_[j] < t) {
                jdrop = j;
                t = vsig_[j];
            }
        }
    }
    const double scale = kGamma * rho_ * vsig_[jdrop];
    for (int i = 0; i < n_; ++i) dx_[i] = scale * simi(jdrop, i);
    // Choose the sign of the step with the smaller predicted merit.
    double cvmaxp = 0.0, cvmaxm = 0.0, sum = 0.0;
    for (int k = 0; k <= m_; ++k) {
        sum = 0.0;
        for (int i = 0; i < n_; ++i) sum += grad(i, k) * dx_[i];
        if (k < m_) {
            const double c = dat(k, n_);
            cvmaxp = std::max(cvmaxp, -sum - c);
            cvmaxm = std::max(cvmaxm, sum - c);
        }
    }
    if (parmu_ * (cvmaxp - cvmaxm) > sum + sum)
        for (int i = 0; i < n_; ++i) dx_[i] = -dx_[i];
    replaceVertex(jdrop);
    for (int i = 0; i < n_; ++i) x_[i] = sim(i, n_) + dx_[i];
    return jdrop;
}

bool Cobyla::considerTrialPoint(double prerem, double prerec) {
    const double vmold = merit(n_);
    const double vmnew = f_ + parmu_ * resmax_;
    double trured = vmold - vmnew;
    if (parmu_ == 0.0 && f_ == dat(m_, n_)) {
        prerem = prerec;
        trured = dat(m_ + 1, n_) - resmax_;
    }
    // The vertex to replace: the one the step moves furthest relative to its face, unless a
    // vertex too far from the new point must go; replacement is mandatory after a reduction.
    double ratio = trured <= 0.0 ? 1.0 : 0.0;
    int jdrop = -1;
    for (int j = 0; j < n_; ++j) {
        double t = 0.0;
        for (int i = 0; i < n_; ++i) t += simi(j, i) * dx_[i];
        t = std::abs(t);
        if (t > ratio) {
            jdrop = j;
            ratio = t;
        }
        sigbar_[j] = t * vsig_[j];
    }
    double edgmax = kDelta * rho_;
    int far = -1;
    for (int j = 0; j < n_; ++j) {
        if (sigbar_[j] >= parsig_ || sigbar_[j] >= vsig_[j]) {
            double t = veta_[j];
            if (trured > 0.0) {
                t = 0.0;
                for (int i = 0; i < n_; ++i) t += (dx_[i] - sim(i, j)) * (dx_[i] - sim(i, j));
                t = std::sqrt(t);
            }
            if (t > edgmax) {
                far = j;
                edgmax = t;
            }
        }
    }
    if (far >= 0) jdrop = far;
    if (jdrop < 0) return false;
    replaceVertex(jdrop);
    for (int k = 0; k < m_ + 2; ++k) dat(k, jdrop) = con_[k];
    return trured > 0.0 && trured >= 0.1 * prerem;
}

void Cobyla::reduceRho(double rhoend) {
    rho_ *= 0.5;
    if (rho_ <= 1.5 * rhoend) rho_ = rhoend;
    if (parmu_ > 0.0) {
        // Only constraints that vary enough over the simplex decide the new merit parameter.
        double denom = 0.0, cmin = 0.0, cmax = 0.0;
        for (int k = 0; k <= m_; ++k) {
            cmin = dat(k, n_);
            cmax = cmin;
            for (int i = 0; i < n_; ++i) {
                cmin = std::min(cmin, dat(k, i));
                cmax = std::max(cmax, dat(k, i));
            }
            if (k < m_ && cmin < 0.5 * cmax) {
                const double t = std::max(cmax, 0.0) - cmin;
                denom = denom <= 0.0 ? t : std::min(denom, t);
            }
        }
        // cmin and cmax now span the objective over the simplex.
        if (denom == 0.0)
            parmu_ = 0.0;
        else if (cmax - cmin < parmu_ * denom)
            parmu_ = (cmax - cmin) / denom;
    }
    if (level_ >= 2) {
        std::fprintf(stderr, "cobyla: reduction in RHO to %12.6E and PARMU =%13.6E\n", rho_, parmu_);
        if (level_ == 2) {
            for (int i = 0; i < n_; ++i) w_[i] = sim(i, n_);
            printPoint(nfvals_, dat(m_, n_), dat(m_ + 1, n_), n_, w_.data());
        }
    }
}

int Cobyla::finish(int code, bool keepTrialPoint) {
    if (!keepTrialPoint) {
        // Until the first evaluation completes no vertex holds values; the evaluated start
        // point is then the pole.
        const bool haveVertex = !std::isnan(dat(m_ + 1, n_));
        for (int i = 0; i < n_; ++i) x_[i] = sim(i, n_);
        if (haveVertex) {
            f_ = dat(m_, n_);
            resmax_ = dat(m_ + 1, n_);
        } else if (code == kCobylaStopValue) {
            resmax_ = 0.0;
            for (int k = 0; k < m_; ++k) resmax_ = std::max(resmax_, -con_[k]);
        } else {
            f_ = resmax_ = std::numeric_limits<double>::quiet_NaN();
        }
    }
    if (level_ >= 1) printPoint(nfvals_, f_, resmax_, n_, x_);
    return code;
}

int Cobyla::run(double rhobeg, double rhoend, double fmin) {
    rho_ = rhobeg;
    parmu_ = 0.0;
    if (level_ >= 2)
        std::fprintf(stderr, "cobyla: the initial value of RHO is %12.6E and PARMU is set to zero.\n", rho_);
    if (int code = buildInitialSimplex(fmin); code >= 0) return finish(code, false);

    bool trustStep = true;  // false: the next iteration repairs the simplex
    bool acceptable = true;
    for (;;) {
        moveBestToPole();
        if (inverseError() > 0.1) {
            if (level_ >= 1) std::fprintf(stderr, "cobyla: rounding errors are becoming damaging.\n");
            return finish(kCobylaRoundingErrors, false);
        }
        buildLinearModels();
        acceptable = simplexAcceptable();

        if (!trustStep && !acceptable) {
            const int vertex = repairStep();
            if (int code = evaluate(fmin); code >= 0) return finish(code, false);
            for (int k = 0; k < m_ + 2; ++k) dat(k, vertex) = con_[k];
            trustStep = true;
            continue;
        }

        trialFull_ = solver_.solve(a_.data(), con_.data(), rho_, dx_.data());
        bool shortStep = false;
        if (!trialFull_) {
            double len = 0.0;
            for (int i = 0; i < n_; ++i) len += dx_[i] * dx_[i];
            shortStep = len < 0.25 * rho_ * rho_;
        }
        if (shortStep) {
            trustStep = true;
        } else {
            // Predicted change of the objective (sum) and of the greatest violation.
            double resnew = 0.0, sum = 0.0;
            con_[m_] = 0.0;
            for (int k = 0; k <= m_; ++k) {
                sum = con_[k];
                for (int i = 0; i < n_; ++i) sum -= grad(i, k) * dx_[i];
                if (k < m_) resnew = std::max(resnew, sum);
            }
            double barmu = 0.0;
            const double prerec = dat(m_ + 1, n_) - resnew;
            if (prerec > 0.0) barmu = sum / prerec;
            if (parmu_ < 1.5 * barmu) {
                parmu_ = 2.0 * barmu;
                if (level_ >= 2) std::fprintf(stderr, "cobyla: increase in PARMU to %12.6E\n", parmu_);
                // A larger merit parameter may change the best vertex: start again if so.
                const double phi = merit(n_);
                bool changed = false;
                for (int j = 0; j < n_ && !changed; ++j) {
                    const double t = merit(j);
                    changed = t < phi || (t == phi && parmu_ == 0.0 && dat(m_ + 1, j) < dat(m_ + 1, n_));
                }
                if (changed) continue;
            }
            const double prerem = parmu_ * prerec - sum;
            for (int i = 0; i < n_; ++i) x_[i] = sim(i, n_) + dx_[i];
            trustStep = true;
            if (int code = evaluate(fmin); code >= 0) return finish(code, false);
            if (considerTrialPoint(prerem, prerec)) continue;
        }
        if (!acceptable) {
            trustStep = false;
            continue;
        }
        if (rho_ > rhoend) {
            reduceRho(rhoend);
            continue;
        }
        if (level_ >= 1) std::fprintf(stderr, "cobyla: normal return.\n");
        return finish(kCobylaNormal, trialFull_);
    }
}

}  // namespace

const char* CobylaText(int code) {
    if (code < kCobylaInvalidRadius || code > kCobylaStopValue) return "";
    return kCodeTexts[code - kCobylaInvalidRadius];
}

int cobylaWith(EvaluationRoutine routine, int n, int m, double* x, int messageLevel, int* maxfun, void* state,
               double rhobeg, double rhoend, double fmin) {
    if (n == 0) {
        if (messageLevel >= 1) std::fprintf(stderr, "cobyla: N==0.\n");
        *maxfun = 0;
        return kCobylaNormal;
    }
    if (n < 0 || m < 0) {
        if (messageLevel >= 1) std::fprintf(stderr, "cobyla: N<0 or M<0.\n");
        *maxfun = 0;
        return kCobylaInvalidCounts;
    }
    // A negative radius never shrinks to rhoend (without an evaluation limit the search never
    // ends) and a NaN one makes every step NaN.
    if (!(rhobeg > 0.0) || !std::isfinite(rhobeg) || !(rhoend >= 0.0) || !std::isfinite(rhoend)) {
        if (messageLevel >= 1) std::fprintf(stderr, "cobyla: RHOBEG<=0 or RHOEND<0.\n");
        *maxfun = 0;
        return kCobylaInvalidRadius;
    }
    std::unique_ptr<Cobyla> run;
    try {
        run = std::make_unique<Cobyla>(routine, n, m, x, messageLevel, *maxfun, state);
    } catch (const std::bad_alloc&) {
        if (messageLevel >= 1) std::fprintf(stderr, "cobyla: memory allocation error.\n");
        *maxfun = 0;
        return kCobylaNoMemory;
    } catch (const std::length_error&) {
        if (messageLevel >= 1) std::fprintf(stderr, "cobyla: memory allocation error.\n");
        *maxfun = 0;
        return kCobylaNoMemory;
    }
    const int code = run->run(rhobeg, rhoend, fmin);
    *maxfun = run->evaluations();
    return code;
}

int cobyla(int n, int m, double* x, int messageLevel, int* maxfun, void* state, double rhobeg, double rhoend,
           double fmin) {
    return cobylaWith(evaluateTrialPoint, n, m, x, messageLevel, maxfun, state, rhobeg, rhoend, fmin);
}

}  // namespace EnergyOpt
