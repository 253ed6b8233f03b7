#include "view3d/moviewriter.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace zun {

namespace {

// Encoding a frame takes about as long as drawing and reading back the next one, so the two go
// on side by side: the caller's frame is copied into the one waiting slot and encoded on a thread
// of this writer while the caller takes the next. One frame at most waits, so memory stays
// bounded and the caller waits only when the encoder falls behind.
class BackgroundMovieWriter : public MovieWriter {
public:
    explicit BackgroundMovieWriter(std::unique_ptr<MovieWriter> inner) : inner_(std::move(inner)) {}
    ~BackgroundMovieWriter() override { Close(); }

    MovieError Open(const std::string& path, const MovieFormat& format, int& code) override {
        Close();
        const MovieError e = inner_->Open(path, format, code);
        if (e != MovieError::kNone) return e;
        bytes_ = static_cast<std::size_t>(format.width) * static_cast<std::size_t>(format.height) * 3;
        failed_ = stop_ = pending_ = false;
        thread_ = std::thread([this] { Run(); });
        return e;
    }

    bool WriteFrame(int index, const std::uint8_t* bgrBottomUp) override {
        if (!thread_.joinable()) return false;
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !pending_ || failed_; });
        // A frame that failed on the thread is reported here, at the next frame, or by Close.
        if (failed_) return false;
        waiting_.assign(bgrBottomUp, bgrBottomUp + bytes_);
        waitingIndex_ = index;
        pending_ = true;
        changed_.notify_all();
        return true;
    }

    bool Close() override {
        if (!thread_.joinable()) return inner_->Close();
        Finish(false);
        const bool closed = inner_->Close();
        return closed && !failed_;
    }

    void Discard() override {
        if (thread_.joinable()) Finish(true);
        inner_->Discard();
    }

    bool IsOpen() const override { return inner_->IsOpen(); }
    const MovieFormat& Format() const override { return inner_->Format(); }

private:
    // Ends the thread once the waiting frame is written, or at once when dropping.
    void Finish(bool drop) {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
            if (drop) pending_ = false;
        }
        changed_.notify_all();
        thread_.join();
    }

    void Run() {
        std::vector<std::uint8_t> frame;
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return pending_ || stop_; });
            if (!pending_) break;  // stopped with nothing left to write
            frame.swap(waiting_);
            const int index = waitingIndex_;
            pending_ = false;
            changed_.notify_all();
            lock.unlock();
            const bool ok = inner_->WriteFrame(index, frame.data());
            lock.lock();
            if (!ok) {
                failed_ = true;
                pending_ = false;
                changed_.notify_all();
                break;
            }
        }
    }

    std::unique_ptr<MovieWriter> inner_;
    std::size_t bytes_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::uint8_t> waiting_;
    int waitingIndex_ = 0;
    bool pending_ = false, stop_ = false, failed_ = false;
};

}  // namespace

std::unique_ptr<MovieWriter> MakeBackgroundMovieWriter(std::unique_ptr<MovieWriter> inner) {
    return std::make_unique<BackgroundMovieWriter>(std::move(inner));
}

}  // namespace zun
