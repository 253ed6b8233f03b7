#pragma once
// Progress of long operations and their cancel button. A null ProgressSink pointer means that
// nothing is reported and nothing can be cancelled.

#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

namespace zun {

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void SetText(const std::string& text) = 0;
    // Moves the bar (percent clamped to 0..100) without a cancel check.
    virtual void SetPos(int percent) = 0;
    // Moves the bar (clamped to 0..100) and returns true once the user has cancelled (it stays
    // cancelled).
    virtual bool SetProgress(int percent) = 0;
};

inline int ClampPercent(int percent) { return percent < 0 ? 0 : (percent > 100 ? 100 : percent); }

// Records positions; cancels when asked or when a given number of SetProgress calls is reached.
class HeadlessProgress : public ProgressSink {
public:
    void SetText(const std::string& text) override;
    void SetPos(int percent) override;
    bool SetProgress(int percent) override;

    void Cancel() { cancelled_ = true; }
    // Cancel at the n-th call of SetProgress (1-based); 0 never.
    void CancelAtCall(int n) { cancelAt_ = n; }
    bool Cancelled() const { return cancelled_; }
    int Calls() const { return calls_; }
    std::vector<int> Positions() const;
    std::string Text() const;

private:
    mutable std::mutex mutex_;
    std::vector<int> positions_;
    std::string text_;
    std::atomic<bool> cancelled_{false};
    std::atomic<int> calls_{0};
    std::atomic<int> cancelAt_{0};
};

// The progress sink a document holds for its whole life: it forwards to the progress dialog of
// the operation running now, if any.
class ProgressRouter : public ProgressSink {
public:
    void SetTarget(ProgressSink* target) { target_ = target; }
    ProgressSink* Target() const { return target_; }
    void SetText(const std::string& text) override;
    void SetPos(int percent) override;
    bool SetProgress(int percent) override;

private:
    ProgressSink* target_ = nullptr;
};

// Where the progress dialogs' reports go besides the screen: a remote controller's "WORK:"
// replies, with the percent as the operation gave it. The program installs its route for as long
// as it is remote-controlled; without one the reports go nowhere.
class WorkReportRoute {
public:
    virtual ~WorkReportRoute() = default;
    virtual void ReplyWork(int percent) = 0;
};
void SetWorkReportRoute(WorkReportRoute* route);
// Called by the progress dialogs on the UI thread.
void ReportWork(int percent);
// While it lives the progress dialogs report to no controller (UI thread): for work that is no
// long request's, whose progress has no tag to go under.
class WorkReportPause {
public:
    WorkReportPause();
    ~WorkReportPause();
    WorkReportPause(const WorkReportPause&) = delete;
    WorkReportPause& operator=(const WorkReportPause&) = delete;

private:
    WorkReportRoute* saved_;
};

// Thrown by a long read or write whose progress sink reported Cancel: what it was making is
// dropped and nothing else changed.
class ProgressCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "Cancelled"; }
};

// Counts the work of a long read or write towards its total: the sink hears each new whole
// percent, and Advance throws ProgressCancelled once the sink answers Cancel. No sink: nothing.
class ProgressMeter {
public:
    ProgressMeter(ProgressSink* sink, std::uint64_t total) : sink_(sink), total_(total) {}
    void Advance(std::uint64_t done);

private:
    ProgressSink* sink_;
    std::uint64_t total_;
    int last_ = -1;
};

}  // namespace zun
