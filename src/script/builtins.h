#pragma once

#include <string>

#include "script/value.h"

namespace zun::script {

// Runs the built-in function of that name on the argument values; the result is a new value.
Value* BuiltinCall(const std::string& name, const ValueList& args, ValuePool& pool);

// The coordinates of an array, the last dimension outermost and the first innermost.
template <typename Visit>
void ForEachCoordinate(const std::vector<int64_t>& dims, Visit visit) {
    for (int64_t d : dims)
        if (d <= 0) return;
    std::vector<int64_t> c(dims.size(), 0);
    for (;;) {
        visit(c);
        size_t k = 0;
        while (k < dims.size() && ++c[k] == dims[k]) c[k++] = 0;
        if (k == dims.size()) return;
    }
}

}  // namespace zun::script
