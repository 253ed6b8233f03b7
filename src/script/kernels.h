#pragma once

#include "script/value.h"

// Bulk kernels for values that describe themselves as flat blocks (channel views, dense
// temporaries, plain scalars). Each gives exactly what the element-wise path gives, element by
// element with the same conversions; each returns false when it does not apply, and the caller
// then takes the element-wise path.
namespace zun::script::kernels {

bool Unary(Value& receiver, UnOp op, bool apply);
bool Binary(Value& receiver, BinOp op, Value& a, Value& b);
bool Assign(Value& receiver, AsgOp op, Value& source);
// Whether Assign with the plain assignment applies (and then cannot fail).
bool CanCopy(Value& receiver, Value& source);
bool Select(Value& receiver, Value& test, Value& a, Value& b);
bool List(Value& receiver, ListOp op, const ValueList& values);
bool Total(Value& value, ListOp op, double& out);

}  // namespace zun::script::kernels
