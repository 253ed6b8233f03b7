#pragma once
// Serves the document tree's X-ray CT properties, image import and imported image properties
// entries with this folder's windows.

namespace zun {

class ZunTreeView;

void RegisterCtCommands(ZunTreeView& view);

}  // namespace zun
