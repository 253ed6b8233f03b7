#pragma once
// Serves the property and information entries of a document tree's context menus with this
// folder's windows.

namespace zun {

class CZunDoc;
class ZunTreeView;

void RegisterPropertyCommands(ZunTreeView& view);
// The X-ray data source and the attenuation table (part of the above).
void RegisterAttenuationCommands(ZunTreeView& view);
// The document is going: its modeless property windows of this folder go first, without
// questions (they hold references to it).
void CloseDocumentWindows(CZunDoc& doc);
// Runs the modal statistics listing for one of the tree's "Statistics List" commands.
void RunStatisticsListing(ZunTreeView& view, int command);

}  // namespace zun
