#include "model/sampleclasses.h"

#include "model/histvars.h"
#include "platform/runtimeclass.h"

namespace zun {

void RegisterSampleClasses() {
    auto& registry = ClassRegistry::Instance();
    registry.Register(&AxisVars::classInfo);
    registry.Register(&PlotVars::classInfo);
    registry.Register(&HistVars::classInfo);
}

}  // namespace zun
