#pragma once
// "Select Computation Devices": the rows the dialog lists (all processor cores as one row, then
// every other device), the thread counts typed into them, and how a total is spread over the
// cores. It edits the controller's device set directly, as the dialog's edits take effect at once.

#include <functional>
#include <string>
#include <vector>

#include "compute/devices.h"

namespace zun {

class CZunDoc;

namespace devicemsg {
inline constexpr const char* kThreadsInvalid = "Threads must be a non-negative integer";
inline constexpr const char* kNoThreads = "At least one device with one thread must be enabled";
}  // namespace devicemsg

bool IsCpuDeviceName(const std::string& name);

class DeviceSelection {
public:
    // saved: the document's saved selection, applied on opening.
    DeviceSelection(ComputeDeviceSet& devices, std::vector<ComputeDeviceEntry> saved);

    std::string caption = "Select Computation Devices";

    struct Row {
        std::string name;
        int threads = 0;
    };
    const std::vector<Row>& Rows() const { return rows_; }
    // "Set Default" applies: some device is not at its default count.
    bool CanSetDefault() const;

    // A thread count typed into a row; the message refusing it, or empty when taken (and applied).
    std::string EditThreads(std::size_t row, const std::string& text);
    void SetDefault();
    // OK: the message refusing it, or empty when the dialog may close with Entries() chosen.
    std::string Ok() const;
    // Cancel: the devices go back to the saved selection.
    void Cancel();

    const std::vector<ComputeDeviceEntry>& Entries() const { return entries_; }

private:
    void ReadBack();
    void BuildRows();
    void ApplyRows();

    ComputeDeviceSet& devices_;
    std::vector<ComputeDeviceEntry> saved_;
    std::vector<ComputeDeviceEntry> entries_;
    std::vector<Row> rows_;
};

// The document's command: builds the selection from the document, runs the dialog through
// `run` (true for OK) and keeps a changed selection with the document, marking it modified.
// Returns 1 for OK, 2 for Cancel.
int SelectComputationDevices(CZunDoc& doc, const std::function<bool(DeviceSelection&)>& run);

}  // namespace zun
