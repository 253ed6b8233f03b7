#include "document/docclasses.h"

#include "compute/computeclasses.h"
#include "document/dispspec.h"
#include "foundation/foundationclasses.h"
#include "model/sampleclasses.h"
#include "platform/runtimeclass.h"

namespace zun {

void RegisterDocumentClasses() {
    // The document file holds objects of every lower folder.
    RegisterFoundationClasses();
    RegisterModelClasses();
    RegisterComputeClasses();
    ClassRegistry::Instance().Register(&DispSpec::classInfo);
}

}  // namespace zun
