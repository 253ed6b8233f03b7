// The constrained minimiser: the published test problems against the scipy peer and the
// known optima, the additions (stop value, limit of 0 or less, refusal by the evaluation
// routine, n = 0), the entry checks and the progress messages.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>

#include "energyopt/cobyla.h"
#include "testproblems.h"

using namespace EnergyOpt;
using EnergyOptTest::PublishedProblems;

namespace {

using Routine = std::function<int(int n, const double* x, double* f, double* con)>;

int callRoutine(int n, int, const double* x, double* f, double* con, void* state) {
    return (*static_cast<Routine*>(state))(n, x, f, con);
}

struct Outcome {
    int code;
    int evaluations;
    std::vector<double> x;
};

Outcome minimiseWith(Routine routine, std::vector<double> x, int m, int limit, double fmin = -1e300,
                     double rhobeg = 0.5, int level = 0) {
    int evaluations = limit;
    const int code = cobylaWith(callRoutine, static_cast<int>(x.size()), m, x.data(), level, &evaluations,
                                &routine, rhobeg, 1e-6, fmin);
    return {code, evaluations, x};
}

struct PeerResult {
    int evaluations;
    double f;
    std::vector<double> x;
};

std::map<std::string, PeerResult> runPeer() {
    std::map<std::string, PeerResult> results;
    const std::string command = std::string(ZUN_PYTHON) + " " + ZUN_TEST_DIR + "/cobyla_peer.py 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return results;
    std::string output;
    char buffer[4096];
    while (size_t got = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
    if (pclose(pipe) != 0) return {};
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name;
        PeerResult r;
        fields >> name >> r.evaluations >> r.f;
        for (double v; fields >> v;) r.x.push_back(v);
        results[name] = r;
    }
    return results;
}

TEST(Cobyla, PublishedProblemsAgainstScipy) {
    const auto peer = runPeer();
    if (peer.empty()) GTEST_SKIP() << "python3 with scipy is not available";
    std::printf("%-16s %8s %8s %22s %22s\n", "problem", "nfev", "scipy", "f", "scipy f");
    for (const auto& problem : PublishedProblems()) {
        SCOPED_TRACE(problem.name);
        std::vector<double> x(problem.n, 1.0);
        int evaluations = 3500;
        const int code =
            cobylaWith(EnergyOptTest::EvaluateTestProblem, problem.n, problem.m, x.data(), 0, &evaluations,
                       const_cast<EnergyOptTest::TestProblem*>(&problem), 0.5, 1e-6, -1e300);
        EXPECT_EQ(code, kCobylaNormal);
        double f = 0;
        std::vector<double> con(problem.m + 1);
        problem.evaluate(x.data(), &f, con.data());
        EXPECT_NEAR(f, problem.optimum, 1e-5 * std::max(1.0, std::abs(problem.optimum)));

        ASSERT_TRUE(peer.count(problem.name));
        const PeerResult& ref = peer.at(problem.name);
        std::printf("%-16s %8d %8d %22.15g %22.15g\n", problem.name.c_str(), evaluations, ref.evaluations, f,
                    ref.f);
        EXPECT_LE(std::abs(evaluations - ref.evaluations), std::max(3.0, 0.02 * ref.evaluations));
        ASSERT_EQ(ref.x.size(), x.size());
        for (int i = 0; i < problem.n; ++i)
            EXPECT_NEAR(x[i], ref.x[i], 1e-6 * std::max(1.0, std::abs(ref.x[i])));
    }
}

TEST(Cobyla, KnownOptimaWithoutPeer) {
    // Runs whether or not the peer exists: every problem reaches its published optimum.
    for (const auto& problem : PublishedProblems()) {
        SCOPED_TRACE(problem.name);
        std::vector<double> x(problem.n, 1.0);
        int evaluations = 3500;
        cobylaWith(EnergyOptTest::EvaluateTestProblem, problem.n, problem.m, x.data(), 0, &evaluations,
                   const_cast<EnergyOptTest::TestProblem*>(&problem), 0.5, 1e-6, -1e300);
        double f = 0;
        std::vector<double> con(problem.m + 1);
        problem.evaluate(x.data(), &f, con.data());
        EXPECT_NEAR(f, problem.optimum, 1e-5 * std::max(1.0, std::abs(problem.optimum)));
        for (int k = 0; k < problem.m; ++k) EXPECT_GE(con[k], -1e-6);
    }
}

Routine bowl(int* calls) {
    return [calls](int n, const double* x, double* f, double*) {
        ++*calls;
        *f = 0;
        for (int i = 0; i < n; ++i) *f += (x[i] - i) * (x[i] - i);
        return 0;
    };
}

TEST(Cobyla, EntryChecks) {
    int calls = 0;
    const Outcome none = minimiseWith(bowl(&calls), {}, 0, 50);
    EXPECT_EQ(none.code, kCobylaNormal);
    EXPECT_EQ(none.evaluations, 0);
    EXPECT_EQ(calls, 0);

    double x = 3;
    int evaluations = 10;
    Routine r = bowl(&calls);
    EXPECT_EQ(cobylaWith(callRoutine, -1, 0, &x, 0, &evaluations, &r, 0.5, 1e-6, -1e300),
              kCobylaInvalidCounts);
    EXPECT_EQ(evaluations, 0);
    evaluations = 10;
    EXPECT_EQ(cobylaWith(callRoutine, 1, -3, &x, 0, &evaluations, &r, 0.5, 1e-6, -1e300),
              kCobylaInvalidCounts);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(calls, 0);

    // A negative start radius without an evaluation limit once never returned; a NaN one returned
    // NaN.
    const double nan = std::nan(""), inf = HUGE_VAL;
    for (auto [rhobeg, rhoend] : std::vector<std::pair<double, double>>{
             {-0.5, 1e-6}, {0.0, 1e-6}, {nan, 1e-6}, {inf, 1e-6}, {0.5, -1e-6}, {0.5, nan}, {0.5, inf}}) {
        evaluations = 0;
        double y[2] = {3, 4};
        EXPECT_EQ(cobylaWith(callRoutine, 2, 0, y, 0, &evaluations, &r, rhobeg, rhoend, -1e300),
                  kCobylaInvalidRadius)
            << rhobeg << " " << rhoend;
        EXPECT_EQ(evaluations, 0);
        EXPECT_EQ(y[0], 3);
        EXPECT_EQ(y[1], 4);
    }
    EXPECT_EQ(calls, 0);
    EXPECT_STREQ(CobylaText(kCobylaInvalidRadius), "RHOBEG must be a positive number and RHOEND a number >= 0");
    EXPECT_STREQ(CobylaText(-4), "");
    // A finished search may end at its stop radius straight away.
    evaluations = 0;
    double y[2] = {3, 4};
    EXPECT_EQ(cobylaWith(callRoutine, 2, 0, y, 0, &evaluations, &r, 0.5, 0.0, -1e300), kCobylaNormal);
}

TEST(Cobyla, EvaluationLimit) {
    int calls = 0;
    const Outcome one = minimiseWith(bowl(&calls), {5, 5}, 0, 1);
    EXPECT_EQ(one.code, kCobylaMaxEvaluations);
    EXPECT_EQ(one.evaluations, 1);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(one.x, (std::vector<double>{5, 5}));

    calls = 0;
    const Outcome seven = minimiseWith(bowl(&calls), {5, 5}, 0, 7);
    EXPECT_EQ(seven.code, kCobylaMaxEvaluations);
    EXPECT_EQ(seven.evaluations, 7);

    for (int limit : {0, -5}) {
        calls = 0;
        const Outcome free = minimiseWith(bowl(&calls), {5, 5, 5}, 0, limit);
        EXPECT_EQ(free.code, kCobylaNormal);
        EXPECT_EQ(free.evaluations, calls);
        EXPECT_GT(free.evaluations, 20);
        EXPECT_NEAR(free.x[2], 2.0, 1e-5);
    }
}

TEST(Cobyla, StopValue) {
    int calls = 0;
    const Outcome first = minimiseWith(bowl(&calls), {0, 1}, 0, 100, 0.0);  // f = 0 at the start
    EXPECT_EQ(first.code, kCobylaStopValue);
    EXPECT_EQ(first.evaluations, 1);
    EXPECT_EQ(first.x, (std::vector<double>{0, 1}));

    // Exactly equal to the stop value stops; the stopping point is not returned unless it is
    // the best vertex.
    const Routine steps = [](int, const double* x, double* f, double*) {
        *f = x[0] >= 1.25 ? 1.0 : 2.0;
        return 0;
    };
    const Outcome equal = minimiseWith(steps, {1.0}, 0, 100, 1.0);
    EXPECT_EQ(equal.code, kCobylaStopValue);
    EXPECT_EQ(equal.evaluations, 2);
    EXPECT_EQ(equal.x, std::vector<double>{1.0});

    // A not-a-number objective never stops the search this way.
    const Routine nan = [](int, const double*, double* f, double*) {
        *f = std::nan("");
        return 0;
    };
    EXPECT_NE(minimiseWith(nan, {1.0, 2.0}, 0, 30, 0.0).code, kCobylaStopValue);
}

TEST(Cobyla, RefusalReturnsTheBestVertex) {
    for (double second : {0.5, 1.0, 2.0}) {
        SCOPED_TRACE(second);
        int calls = 0;
        const Routine refuseThird = [&](int, const double*, double* f, double*) {
            ++calls;
            if (calls == 3) return 1;
            *f = calls == 1 ? 1.0 : second;
            return 0;
        };
        const Outcome run = minimiseWith(refuseThird, {4, 7}, 0, 100);
        EXPECT_EQ(run.code, kCobylaUserEnd);
        EXPECT_EQ(run.evaluations, 3);
        // The second point is the start moved by rhobeg along the first axis; a tie keeps the first.
        const std::vector<double> expected =
            second < 1.0 ? std::vector<double>{4.5, 7} : std::vector<double>{4, 7};
        EXPECT_EQ(run.x, expected);
    }
}

TEST(Cobyla, ExceptionsPassThrough) {
    const Routine throwing = [](int, const double*, double*, double*) -> int {
        throw std::runtime_error("boom");
    };
    EXPECT_THROW(minimiseWith(throwing, {1.0, 1.0}, 0, 100), std::runtime_error);
}

TEST(Cobyla, ReturnTexts) {
    EXPECT_STREQ(CobylaText(-2), "N<0 or M<0");
    EXPECT_STREQ(CobylaText(-1), "Memory allocation failed");
    EXPECT_STREQ(CobylaText(0), "Normal return from cobyla");
    EXPECT_STREQ(CobylaText(1), "Maximum number of function evaluations reached");
    EXPECT_STREQ(CobylaText(2), "Rounding errors are becoming damaging");
    EXPECT_STREQ(CobylaText(3), "User requested end of minimization");
    EXPECT_STREQ(CobylaText(4), "Minimum function value reached");
    EXPECT_STREQ(CobylaText(5), "");
}

TEST(Cobyla, ProgressMessages) {
    int calls = 0;
    testing::internal::CaptureStderr();
    minimiseWith(bowl(&calls), {}, 0, 10, -1e300, 0.5, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "cobyla: N==0.\n");

    calls = 0;
    testing::internal::CaptureStderr();
    minimiseWith(bowl(&calls), {0, 1, 2, 3, 4}, 0, 1, -1e300, 0.5, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "cobyla: maximum number of function evaluations reach.\n"
              "cobyla: NFVALS =    1, F = 0.000000E+00, MAXCV = 0.000000E+00\n"
              "cobyla: X = 0.000000E+00   1.000000E+00   2.000000E+00   3.000000E+00\n"
              "cobyla:     4.000000E+00\n");

    // Level 2 announces the radius and every reduction; level 3 adds every evaluation.
    calls = 0;
    testing::internal::CaptureStderr();
    minimiseWith(bowl(&calls), {3}, 0, 0, -1e300, 0.5, 2);
    const std::string two = testing::internal::GetCapturedStderr();
    EXPECT_EQ(two.rfind("cobyla: the initial value of RHO is 5.000000E-01 and PARMU is set to zero.\n", 0),
              0u);
    EXPECT_NE(two.find("cobyla: reduction in RHO to 2.500000E-01 and PARMU = 0.000000E+00\n"),
              std::string::npos);
    EXPECT_NE(two.find("cobyla: normal return.\n"), std::string::npos);
    calls = 0;
    testing::internal::CaptureStderr();
    minimiseWith(bowl(&calls), {3}, 0, 0, -1e300, 0.5, 3);
    const std::string three = testing::internal::GetCapturedStderr();
    size_t values = 0;
    for (size_t at = three.find("NFVALS"); at != std::string::npos; at = three.find("NFVALS", at + 1))
        ++values;
    EXPECT_EQ(values, static_cast<size_t>(calls) + 1);  // every evaluation and the final report
}

}  // namespace
