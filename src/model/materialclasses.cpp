#include "model/materialclasses.h"

#include "model/compound.h"
#include "platform/runtimeclass.h"

namespace zun {

void RegisterMaterialClasses() {
    auto& r = ClassRegistry::Instance();
    r.Register(RuntimeClassOf<Key>());
    r.Register(RuntimeClassOf<Entry>());
    r.Register(RuntimeClassOf<Compound>());
}

}  // namespace zun
