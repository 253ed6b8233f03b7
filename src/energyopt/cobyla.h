#pragma once
// Derivative-free minimisation of one objective over n variables subject to m inequality
// constraints (constraint value >= 0 is satisfied), by linear approximations on a simplex inside
// a shrinking trust region (Powell's COBYLA, 1994).

namespace EnergyOpt {

// Fills *f and con[0..m-1] at x; returns 0 to go on, anything else ends the search (code 3).
using EvaluationRoutine = int (*)(int n, int m, const double* x, double* f, double* con, void* state);

enum CobylaCode : int {
    kCobylaInvalidRadius = -3,  // rhobeg not a positive number, or rhoend not a number >= 0
    kCobylaInvalidCounts = -2,
    kCobylaNoMemory = -1,
    kCobylaNormal = 0,
    kCobylaMaxEvaluations = 1,
    kCobylaRoundingErrors = 2,
    kCobylaUserEnd = 3,
    kCobylaStopValue = 4,
};

// Text of a return code -3..4, or an empty text for any other value.
const char* CobylaText(int code);

// The evaluation routine is the energy objective's (evaluateTrialPoint); *maxfun is the
// evaluation limit on entry (0 or less: none) and the evaluations made on return.
int cobyla(int n, int m, double* x, int messageLevel, int* maxfun, void* state, double rhobeg, double rhoend,
           double fmin);

// The same search with any evaluation routine.
int cobylaWith(EvaluationRoutine routine, int n, int m, double* x, int messageLevel, int* maxfun, void* state,
               double rhobeg, double rhoend, double fmin);

}  // namespace EnergyOpt
