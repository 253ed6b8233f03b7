#pragma once
// Published constrained test problems for the minimiser (Powell's set: simple quadratic,
// Fletcher's problems, Rosen-Suzuki and Hock-Schittkowski 100), started at all ones.

#include <string>
#include <vector>

namespace EnergyOptTest {

struct TestProblem {
    std::string name;
    int n;
    int m;
    double optimum;  // known least objective value
    void (*evaluate)(const double* x, double* f, double* con);
};

const std::vector<TestProblem>& PublishedProblems();

// Evaluation routine for the minimiser; state is a const TestProblem*.
int EvaluateTestProblem(int n, int m, const double* x, double* f, double* con, void* state);

}  // namespace EnergyOptTest
