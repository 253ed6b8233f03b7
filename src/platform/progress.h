#pragma once
// Progress of long operations and their cancel button. A null ProgressSink pointer means that
// nothing is reported and nothing can be cancelled.

#include <atomic>
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

}  // namespace zun
