#include "document/docclasses.h"

#include "document/dispspec.h"
#include "platform/runtimeclass.h"

namespace zun {

void RegisterDocumentClasses() {
    ClassRegistry::Instance().Register(&DispSpec::classInfo);
}

}  // namespace zun
