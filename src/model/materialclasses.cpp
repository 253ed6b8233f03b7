#include "model/materialclasses.h"

#include "model/compound.h"
#include "model/filter.h"
#include "model/polyfilters.h"
#include "platform/runtimeclass.h"

namespace zun {

void RegisterMaterialClasses() {
    auto& r = ClassRegistry::Instance();
    for (const ClassInfo* info :
         {RuntimeClassOf<Key>(), RuntimeClassOf<Entry>(), RuntimeClassOf<Compound>(),
          RuntimeClassOf<BeamFilter>(), RuntimeClassOf<DeviceFilter>(), RuntimeClassOf<MaterialFilter>(),
          RuntimeClassOf<PolyFilters>(), RuntimeClassOf<CombinedFilters>()})
        r.Register(info);
}

}  // namespace zun
