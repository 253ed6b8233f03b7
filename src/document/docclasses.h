#pragma once

namespace zun {

// Registers the archived classes of the document folder (and of the folders it stores).
void RegisterDocumentClasses();

}  // namespace zun
