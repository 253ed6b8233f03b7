#pragma once
// Serves the property and information entries of a document tree's context menus with this
// folder's windows.

namespace zun {

class ZunTreeView;

void RegisterPropertyCommands(ZunTreeView& view);
// Runs the modal statistics listing for one of the tree's "Statistics List" commands.
void RunStatisticsListing(ZunTreeView& view, int command);

}  // namespace zun
