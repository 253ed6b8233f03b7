#include "compute/computeclasses.h"

#include "compute/log.h"
#include "compute/model.h"
#include "compute/params.h"

namespace zun {

void RegisterComputeClasses() {
    auto& r = ClassRegistry::Instance();
    r.Register(&Params::classInfo);
    r.Register(&CLogger::classInfo);
    r.Register(&CDuration::classInfo);
    r.Register(&Model::classInfo);
    r.Register(&ComputeCommonFuncs::classInfo);
    r.Register(&CDataCheckingCorrection::classInfo);
    r.Register(&InterSectionalExtrapolation::classInfo);
    r.Register(&CDiscreteLeastSquareSegmentation::classInfo);
    r.Register(&DatConLinearOpt::classInfo);
    r.Register(&DatConNonlinearOpt::classInfo);
}

}  // namespace zun
