// The document's object archive without the compression around it: the bytes are read as the
// archive of a whole document.

#include <cstdint>
#include <new>

#include "app/startup.h"
#include "document/zundoc.h"
#include "fuzzsupport.h"
#include "platform/archive.h"
#include "platform/bytestream.h"
#include "platform/prompt.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zun::RegisterSavedClasses();
    zun::fuzz::GuardMemory();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zun::HeadlessPrompt prompt;
    zun::CZunDoc doc{zun::DocServices{&prompt, nullptr, nullptr}};
    doc.OnNewDocument();
    zun::MemoryStream stream(std::vector<std::uint8_t>(data, data + size));
    try {
        zun::Archive ar(stream, zun::Archive::Mode::Load);
        ar.SetContext(&doc);
        doc.Serialize(ar);
        zun::fuzz::UseDocument(doc);
    } catch (const zun::ArchiveException&) {
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
