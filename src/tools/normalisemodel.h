#pragma once
// What the "Normalize Channel Value Range" dialog shows and runs. The run is a step of the
// document's controller on its worker; Stop asks the controller to stop, and the channel is
// written only by a run that ends normally.

#include <memory>
#include <string>
#include <vector>

#include "tools/channeltoolsteps.h"
#include "tools/normaliserange.h"

namespace zun {

class CZunDoc;

class NormaliseModel {
public:
    NormaliseModel(CZunDoc& doc, int input);

    const std::string& InputName() const { return channels_[static_cast<std::size_t>(input_)]; }
    const std::vector<std::string>& Channels() const { return channels_; }
    int Output() const { return output_; }
    void SetOutput(int i) { output_ = i; }
    // The boundary names, then "None".
    std::vector<std::string> BoundaryEntries() const;
    int BoundarySelection() const { return boundary_; }
    void SetBoundarySelection(int i) { boundary_ = i; }

    // Side 0 lower, 1 upper.
    int Mode(int side) const { return side ? settings_.upperMode : settings_.lowerMode; }
    void SetMode(int side, int mode);
    bool BoundEnabled(int side) const { return Mode(side) != kNormaliseNothing; }
    bool RadiusEnabled(int side) const { return Mode(side) == kNormaliseRedistribute; }
    std::string BoundText(int side) const;
    std::string RadiusText(int side) const;
    // Taken only while enabled; text that is no number is refused (false) and the value stays.
    bool SetBoundText(int side, const std::string& text);
    bool SetRadiusText(int side, const std::string& text);
    const NormaliseSettings& Settings() const { return settings_; }

    // Starts a run; the message that refused it, or empty. `done` follows on the UI thread.
    std::string Execute(ToolDone done = {});
    // Asks the running step to stop (nothing is written).
    void Stop();
    bool Running() const { return running_; }
    bool Completed() const { return completed_; }
    // "Cancel" idle, "Stop" running, "Close" after a completed run.
    std::string CloseButtonText() const;
    const std::string& Record() const { return record_; }
    ToolProgress& Progress() { return *progress_; }

private:
    std::string BuildRecord() const;

    CZunDoc& doc_;
    int input_, output_;
    std::vector<std::string> channels_;
    std::vector<int> boundaries_;
    int boundary_ = 0;
    NormaliseSettings settings_;
    bool running_ = false;
    bool completed_ = false;
    std::string record_;
    std::shared_ptr<ToolProgress> progress_ = std::make_shared<ToolProgress>();
    // Cleared when the presenter goes away, so that a late end does not reach it.
    std::shared_ptr<NormaliseModel*> self_ = std::make_shared<NormaliseModel*>(this);

public:
    ~NormaliseModel() { *self_ = nullptr; }
};

}  // namespace zun
