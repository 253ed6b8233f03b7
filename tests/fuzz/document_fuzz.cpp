// Document files as the program opens them (compressed wrapper, archive, every record).

#include <cstdint>

#include "app/startup.h"
#include "document/zundoc.h"
#include "fuzzsupport.h"
#include "platform/prompt.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zun::RegisterSavedClasses();
    zun::fuzz::GuardMemory();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = zun::fuzz::WriteInput(data, size, ".zun");
    zun::HeadlessPrompt prompt;
    zun::CZunDoc doc{zun::DocServices{&prompt, nullptr, nullptr}};
    doc.OnNewDocument();
    if (doc.OnOpenDocument(path)) zun::fuzz::UseDocument(doc);
    return 0;
}
