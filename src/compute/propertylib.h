#pragma once
// The property library's table routines for the scalar extrapolation: the input check of the
// training table and the least-squares fit of one weight per composition.

#include <vector>

#include "compute/propertysettings.h"

namespace zunlib {

class CLibProperty {
public:
    // 0 when the table (composition columns, then the property column) can be used, else a code
    // of the message table. Code 6 (no property variation) is tested only when the weights are
    // about to be computed; code 10 (a weighted composition that is always 0) only when they are
    // not.
    static int CheckTable(const std::vector<zun::ExtrapolationColumn>& columns, bool computingWeights);
};

// Least squares through a singular value decomposition (minimum-norm solution). On 0 the
// composition columns' weights hold the result; on any other code the columns are unchanged.
int ScalarExtrapolationFit(std::vector<zun::ExtrapolationColumn>& columns);

// "Normal completion", "Insufficient number of data rows", ... for the codes 0..16; empty for
// others.
const char* PropertyFitMessage(int code);

}  // namespace zunlib
