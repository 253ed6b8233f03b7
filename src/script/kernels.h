#pragma once

#include <cstdint>
#include <vector>

#include "script/value.h"

// Bulk kernels for values that describe themselves as flat blocks (channel views, dense
// temporaries, plain scalars). Each gives exactly what the element-wise path gives, element by
// element with the same conversions; each returns false when it does not apply, and the caller
// then takes the element-wise path.
namespace zun::script::kernels {

// Elements per thread below which a region over a block takes longer with more threads than with
// one: waking and joining a team of sleeping threads costs more than the elements it shares out.
// Measured on an 8-processor virtual machine shared with other builds, with the in-place line
// `a+=c,a+=c,...` of 200 terms over channels of 16^3 to 80^3 (bench_script_line 200 <edge>
// <threads> 7 a+=c ,), threads waiting passively and run at real-time priority so that they had
// their processors as soon as woken, as on a quiet machine: teams of 2 broke even between 16k and
// 32k elements per thread, teams of 4 at 16k, teams of 8 between 8k and 14k; from 32k every team
// was faster than one thread. At the machine's usual load (averages 12 to 48) teams paid only from
// about 22k (8 threads) to 130k (2 threads) elements per thread.
inline constexpr int64_t kElementsPerThread = 32768;

// The team for a region over `elements` elements with at most `threads` threads: one thread per
// kElementsPerThread elements, at least one.
int TeamFor(int64_t elements, int threads);

bool Unary(Value& receiver, UnOp op, bool apply);
bool Binary(Value& receiver, BinOp op, Value& a, Value& b);
bool Assign(Value& receiver, AsgOp op, Value& source);
// Whether Assign with the plain assignment applies (and then cannot fail).
bool CanCopy(Value& receiver, Value& source);
bool Select(Value& receiver, Value& test, Value& a, Value& b);
bool List(Value& receiver, ListOp op, const ValueList& values);
bool Total(Value& value, ListOp op, double& out);

// What a step of a fused expression calls instead of an operator.
enum class FusedCall { None, Rand, Max, Min, Sum };

// An element-wise expression of the four arithmetic operators and the element-wise built-ins in
// postfix order: a step pushes leaf `leaf`, or (leaf < 0) pops two operands and pushes
// op(first, second), or (call set) pops `args` operands and pushes the built-in of them.
struct FusedStep {
    int leaf = -1;
    BinOp op = BinOp::Add;
    FusedCall call = FusedCall::None;
    int args = 0;
};
// receiver = the expression, computed a chunk of elements at a time with no whole-volume
// temporaries, each operation's result rounded to the type the language gives it as the
// operator-by-operator path would store it (a rand() result is not stored: it is read unrounded
// by an operator, as its type gives it by the assignment). At most one rand() takes part, so
// that element i reads the generator's (i + 1)-th draw, as one pass in element order does. Applies when every
// leaf is a numeric scalar or a block of the receiver's shape, every operation has at least one such block
// below it, and no leaf overlaps the receiver other than exactly; false otherwise, with nothing written.
// With a compound assignment (*=, /=, +=, -=) the receiver is read as the operator reads it and
// the expression's value is combined with it.
bool Fused(Value& receiver, const std::vector<FusedStep>& program, const ValueList& leaves,
           AsgOp op = AsgOp::Assign);

}  // namespace zun::script::kernels
