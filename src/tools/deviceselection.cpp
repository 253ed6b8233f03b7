#include "tools/deviceselection.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

#include "document/zundoc.h"

namespace zun {

bool IsCpuDeviceName(const std::string& name) {
    return name.find("CPU") != std::string::npos;
}

DeviceSelection::DeviceSelection(ComputeDeviceSet& devices, std::vector<ComputeDeviceEntry> saved)
    : devices_(devices), saved_(std::move(saved)) {
    for (const auto& d : devices_.Devices()) d->SetThreadCount(-1);
    devices_.ApplyDeviceSelection(saved_);
    ReadBack();
}

void DeviceSelection::ReadBack() {
    devices_.GetDeviceList(entries_);
    BuildRows();
}

void DeviceSelection::BuildRows() {
    rows_.clear();
    int cores = 0, threads = 0;
    for (const ComputeDeviceEntry& e : entries_)
        if (IsCpuDeviceName(e.name)) {
            ++cores;
            threads += e.threadCount;
        }
    rows_.push_back({"CPU cores (" + std::to_string(cores) + ")", threads});
    for (const ComputeDeviceEntry& e : entries_)
        if (!IsCpuDeviceName(e.name)) rows_.push_back({e.name, e.threadCount});
}

bool DeviceSelection::CanSetDefault() const {
    for (const auto& d : devices_.Devices())
        if (!d->IsDefaultThreadCount()) return true;
    return false;
}

std::string DeviceSelection::EditThreads(std::size_t row, const std::string& text) {
    if (row >= rows_.size()) return {};
    // Blank text, signs and trailing words are refused alike: the count must be exact.
    const char* p = text.c_str();
    while (*p == ' ') ++p;
    if (*p < '0' || *p > '9') return devicemsg::kThreadsInvalid;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(p, &end, 10);
    while (*end == ' ') ++end;
    if (errno == ERANGE || *end != '\0' || v > std::numeric_limits<int>::max())
        return devicemsg::kThreadsInvalid;
    rows_[row].threads = static_cast<int>(v);
    ApplyRows();
    return {};
}

void DeviceSelection::ApplyRows() {
    devices_.GetDeviceList(entries_);
    // The cores' total goes round robin over the cores, by the names the devices carry (a single
    // processor is named without a number).
    std::vector<ComputeDeviceEntry*> cpus;
    for (ComputeDeviceEntry& e : entries_)
        if (IsCpuDeviceName(e.name)) cpus.push_back(&e);
    const int total = rows_.front().threads;
    const int n = static_cast<int>(cpus.size());
    for (int k = 0; k < n; ++k)
        cpus[static_cast<std::size_t>(k)]->threadCount = total / n + (k < total % n ? 1 : 0);
    std::size_t r = 1;
    for (ComputeDeviceEntry& e : entries_)
        if (!IsCpuDeviceName(e.name) && r < rows_.size()) e.threadCount = rows_[r++].threads;
    for (const ComputeDeviceEntry& e : entries_) devices_.SetDeviceThreads(e.name, e.threadCount);
}

void DeviceSelection::SetDefault() {
    for (const auto& d : devices_.Devices()) d->SetThreadCount(-1);
    ReadBack();
}

std::string DeviceSelection::Ok() const {
    std::vector<ComputeDeviceEntry> now;
    return devices_.GetDeviceList(now) == 0 ? devicemsg::kNoThreads : std::string();
}

void DeviceSelection::Cancel() {
    // The devices must agree with the selection the document keeps and stores.
    for (const auto& d : devices_.Devices()) d->SetThreadCount(-1);
    devices_.ApplyDeviceSelection(saved_);
}

int SelectComputationDevices(CZunDoc& doc, const std::function<bool(DeviceSelection&)>& run) {
    DeviceSelection dlg(doc.GetModel().Devices(), doc.DeviceSelection());
    dlg.caption = doc.GetTitle() + ": Select Computation Devices";
    if (!run(dlg)) {
        dlg.Cancel();
        return 2;
    }
    doc.SetDeviceSelection(dlg.Entries());
    return 1;
}

}  // namespace zun
