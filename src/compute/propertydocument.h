#pragma once
// What the property computation needs of the document beyond what a plug-in sees.

#include <string>

#include "compute/plugindocument.h"

namespace zun {

class PropertyDocument : public PluginDocument {
public:
    // The boundary channel that limits computations when the sample's mask is on, else -1.
    virtual int ActiveBoundary() const = 0;
    // The controller's state text while the computation runs.
    virtual void SetStateText(const std::string& text) = 0;
    // Marks one channel's data as changed (views and statistics refresh it).
    virtual void MarkChannelModified(int ch) = 0;
    // Threads for voxel loops (at least 1).
    virtual int ThreadCount() const = 0;
    // The largest number of report lines of one kind a step writes into the log.
    virtual int MaxReports() const = 0;
};

// The position of the channel with this name (and kind, unless -1); -1 when none or the name is
// empty.
inline int FindDocumentChannel(const PluginDocument& doc, const std::string& name, int kind = -1) {
    if (name.empty()) return -1;
    for (int ch = 0; ch < doc.ChannelCount(); ++ch)
        if (doc.ChannelName(ch) == name && (kind < 0 || doc.ChannelKind(ch) == kind)) return ch;
    return -1;
}

}  // namespace zun
