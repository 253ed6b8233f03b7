#include "model/sampleclasses.h"

#include "model/histvars.h"
#include "model/importinfo.h"
#include "model/materialclasses.h"
#include "model/sample.h"
#include "model/slice.h"
#include "model/zunchan.h"
#include "platform/runtimeclass.h"

namespace zun {

void RegisterSampleClasses() {
    auto& registry = ClassRegistry::Instance();
    registry.Register(&AxisVars::classInfo);
    registry.Register(&PlotVars::classInfo);
    registry.Register(&HistVars::classInfo);
    registry.Register(&ImportInfo::classInfo);
    registry.Register(&Slice::classInfo);
    registry.Register(&ZunChan::classInfo);
    registry.Register(&Bound::classInfo);
    registry.Register(&ZunImage::classInfo);
}

void RegisterModelClasses() {
    RegisterSampleClasses();
    RegisterMaterialClasses();
}

}  // namespace zun
