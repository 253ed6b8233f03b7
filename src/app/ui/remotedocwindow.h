#pragma once
// The remote commands' way into a document window: its tree, its 3-D view and the histogram
// window drawn over the main window.

#include <memory>

#include "script/remotewindow.h"

namespace zun {

class CZunDoc;

// The first window of the document, or null when it has none.
std::unique_ptr<RemoteDocWindow> FindRemoteDocWindow(CZunDoc& doc);

}  // namespace zun
