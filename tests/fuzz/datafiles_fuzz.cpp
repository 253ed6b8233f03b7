// Binary and text data files, imported into a new document as the program does. The first byte
// chooses the reader so that one corpus serves both.

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
    if (size < 1) return 0;
    const bool binary = data[0] & 1;
    const std::string path = zun::fuzz::WriteInput(data + 1, size - 1, binary ? ".bin" : ".txt");
    zun::HeadlessPrompt prompt;
    zun::CZunDoc doc{zun::DocServices{&prompt, nullptr, nullptr}};
    doc.OnNewDocument();
    if (binary)
        doc.ImportBinaryDataFile(path);
    else
        doc.ImportTextDocument(path);
    return 0;
}
