#pragma once
// Serves the property and information entries of a document tree's context menus with this
// folder's windows.

namespace zun {

class ZunTreeView;

void RegisterPropertyCommands(ZunTreeView& view);

}  // namespace zun
