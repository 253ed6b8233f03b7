#pragma once
// Serves the property and information entries of a document tree's context menus with this
// folder's windows.

#include <string>
#include <vector>

#include "plot/histogrammodel.h"

namespace zun {

class CZunDoc;
class ZunImage;
class ZunTreeView;

void RegisterPropertyCommands(ZunTreeView& view);
// "Histogram..." of the channel and slice menus: the same window the remote command draws.
void RegisterHistogramCommands(ZunTreeView& view);
std::vector<HistogramSliceEntry> ChannelHistogramSlices(const ZunImage& sample, const std::string& channel);
// The X-ray data source and the attenuation table (part of the above).
void RegisterAttenuationCommands(ZunTreeView& view);
// The document is going: its modeless property windows of this folder go first, without
// questions (they hold references to it).
void CloseDocumentWindows(CZunDoc& doc);
// Runs the modal statistics listing for one of the tree's "Statistics List" commands.
void RunStatisticsListing(ZunTreeView& view, int command);

}  // namespace zun
