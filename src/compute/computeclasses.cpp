#include "compute/computeclasses.h"

#include "compute/log.h"
#include "compute/params.h"

namespace zun {

void RegisterComputeClasses() {
    auto& r = ClassRegistry::Instance();
    r.Register(&Params::classInfo);
    r.Register(&CLogger::classInfo);
    r.Register(&CDuration::classInfo);
}

}  // namespace zun
