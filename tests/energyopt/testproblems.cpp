#include "testproblems.h"

#include <cmath>

namespace EnergyOptTest {

namespace {

// Powers go through the library's pow, never folded into products, so that the values agree to
// the last bit with the peer script's "**".
double (*volatile libraryPow)(double, double) = std::pow;
double sq(double v) {
    return libraryPow(v, 2.0);
}
double pw(double v, double e) {
    return libraryPow(v, e);
}

void quadratic(const double* x, double* f, double*) {
    *f = 10 * sq(x[0] + 1) + sq(x[1]);
}

void circle(const double* x, double* f, double* c) {
    *f = x[0] * x[1];
    c[0] = 1 - sq(x[0]) - sq(x[1]);
}

void ellipsoid(const double* x, double* f, double* c) {
    *f = x[0] * x[1] * x[2];
    c[0] = 1 - sq(x[0]) - 2 * sq(x[1]) - 3 * sq(x[2]);
}

void weakRosenbrock(const double* x, double* f, double*) {
    *f = sq(sq(x[0]) - x[1]) + sq(1 + x[0]);
}

void rosenbrock(const double* x, double* f, double*) {
    *f = 10 * sq(sq(x[0]) - x[1]) + sq(1 + x[0]);
}

void fletcher91(const double* x, double* f, double* c) {
    *f = -x[0] - x[1];
    c[0] = x[1] - sq(x[0]);
    c[1] = 1 - sq(x[0]) - sq(x[1]);
}

void fletcher142(const double* x, double* f, double* c) {
    *f = x[2];
    c[0] = 5 * x[0] - x[1] + x[2];
    c[1] = x[2] - sq(x[0]) - sq(x[1]) - 4 * x[1];
    c[2] = x[2] - 5 * x[0] - x[1];
}

void rosenSuzuki(const double* x, double* f, double* c) {
    *f = sq(x[0]) + sq(x[1]) + 2 * sq(x[2]) + sq(x[3]) - 5 * x[0] - 5 * x[1] - 21 * x[2] + 7 * x[3];
    c[0] = 8 - sq(x[0]) - sq(x[1]) - sq(x[2]) - sq(x[3]) - x[0] + x[1] - x[2] + x[3];
    c[1] = 10 - sq(x[0]) - 2 * sq(x[1]) - sq(x[2]) - 2 * sq(x[3]) + x[0] + x[3];
    c[2] = 5 - 2 * sq(x[0]) - sq(x[1]) - sq(x[2]) - 2 * x[0] + x[1] + x[3];
}

void hs100(const double* x, double* f, double* c) {
    *f = sq(x[0] - 10) + 5 * sq(x[1] - 12) + pw(x[2], 4) + 3 * sq(x[3] - 11) + 10 * pw(x[4], 6) +
         7 * sq(x[5]) + pw(x[6], 4) - 4 * x[5] * x[6] - 10 * x[5] - 8 * x[6];
    c[0] = 127 - 2 * sq(x[0]) - 3 * pw(x[1], 4) - x[2] - 4 * sq(x[3]) - 5 * x[4];
    c[1] = 282 - 7 * x[0] - 3 * x[1] - 10 * sq(x[2]) - x[3] + x[4];
    c[2] = 196 - 23 * x[0] - sq(x[1]) - 6 * sq(x[5]) + 8 * x[6];
    c[3] = -4 * sq(x[0]) - sq(x[1]) + 3 * x[0] * x[1] - 2 * sq(x[2]) - 5 * x[5] + 11 * x[6];
}

}  // namespace

const std::vector<TestProblem>& PublishedProblems() {
    static const std::vector<TestProblem> problems = {
        {"quadratic", 2, 0, 0.0, quadratic},
        {"circle", 2, 1, -0.5, circle},
        {"ellipsoid", 3, 1, -1.0 / (9.0 * std::sqrt(2.0)), ellipsoid},
        {"weak_rosenbrock", 2, 0, 0.0, weakRosenbrock},
        {"rosenbrock", 2, 0, 0.0, rosenbrock},
        {"fletcher_9_1_15", 2, 2, -std::sqrt(2.0), fletcher91},
        {"fletcher_14_4_2", 3, 3, -3.0, fletcher142},
        {"rosen_suzuki", 4, 3, -44.0, rosenSuzuki},
        {"hs100", 7, 4, 680.6300573, hs100},
    };
    return problems;
}

int EvaluateTestProblem(int, int, const double* x, double* f, double* con, void* state) {
    static_cast<const TestProblem*>(state)->evaluate(x, f, con);
    return 0;
}

}  // namespace EnergyOptTest
