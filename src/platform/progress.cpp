#include "platform/progress.h"

#include <algorithm>

namespace zun {

void HeadlessProgress::SetText(const std::string& text) {
    std::lock_guard lock(mutex_);
    text_ = text;
}

void HeadlessProgress::SetPos(int percent) {
    std::lock_guard lock(mutex_);
    positions_.push_back(ClampPercent(percent));
}

bool HeadlessProgress::SetProgress(int percent) {
    {
        std::lock_guard lock(mutex_);
        positions_.push_back(ClampPercent(percent));
    }
    int n = ++calls_;
    if (cancelAt_ > 0 && n >= cancelAt_) cancelled_ = true;
    return cancelled_;
}

std::vector<int> HeadlessProgress::Positions() const {
    std::lock_guard lock(mutex_);
    return positions_;
}

std::string HeadlessProgress::Text() const {
    std::lock_guard lock(mutex_);
    return text_;
}

void ProgressRouter::SetText(const std::string& text) {
    if (target_) target_->SetText(text);
}

void ProgressRouter::SetPos(int percent) {
    if (target_) target_->SetPos(percent);
}

bool ProgressRouter::SetProgress(int percent) {
    return target_ ? target_->SetProgress(percent) : false;
}

namespace {
// The one route of the program, like the remote-control flag it follows.
std::atomic<WorkReportRoute*> g_workRoute{nullptr};
}  // namespace

void SetWorkReportRoute(WorkReportRoute* route) {
    g_workRoute = route;
}

void ReportWork(int percent) {
    if (WorkReportRoute* route = g_workRoute.load()) route->ReplyWork(percent);
}

WorkReportPause::WorkReportPause() : saved_(g_workRoute.exchange(nullptr)) {}

WorkReportPause::~WorkReportPause() {
    g_workRoute = saved_;
}

void ProgressMeter::Advance(std::uint64_t done) {
    if (!sink_) return;
    const int percent = total_ ? static_cast<int>(std::min<std::uint64_t>(done, total_) * 100 / total_) : 100;
    if (percent == last_) return;
    last_ = percent;
    if (sink_->SetProgress(percent)) throw ProgressCancelled();
}

}  // namespace zun
