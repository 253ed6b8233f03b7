#pragma once
// The channel tools that run through the document's controller as computation steps: the state
// text while they run, the result line in the log, stop, and the channels' history records and
// view updates once the end arrives on the UI thread.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/channelgradient.h"
#include "tools/toolsupport.h"

namespace zun {

class CZunDoc;

// Gradient settings kept per input channel for the session of a document.
class GradientSettingsStore {
public:
    GradientSettings Get(const std::string& channel) const;
    void Set(const std::string& channel, const GradientSettings& s);

private:
    std::vector<std::pair<std::string, GradientSettings>> entries_;
};

// Called on the UI thread at the end with the step result.
using ToolDone = std::function<void(int result)>;

// The gradient of the input channel into the settings' output channel. 0 started (or done when
// the document has no main frame), -1 refused (a run in progress, bad channels; message shown).
int StartGradientStep(CZunDoc& doc, int input, const GradientSettings& settings, ToolDone done = {});
// Mirrors the named channels along axis 1..3, one step for all of them.
int StartMirrorStep(CZunDoc& doc, const std::vector<std::string>& channels, int axis, ToolDone done = {});

// Shows the message with the document's prompt (information icon unless given).
void ToolTell(CZunDoc& doc, const std::string& text, int icon = 1);

// The record becomes the channel's whole note.
void SetChannelRecord(CZunDoc& doc, int channel, const std::string& record);

}  // namespace zun
