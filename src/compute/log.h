#pragma once
// The document's text log, the mix-in through which objects write into it, and the elapsed-time
// record of the computation.

#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>

#include "platform/archive.h"

namespace zun {

class CLogger;

// What a log writer needs of its document. The document implements it.
class LogHost {
public:
    virtual ~LogHost() = default;
    virtual CLogger* GetLogger() = 0;
    virtual bool IsLoggingEnabled() const = 0;
};

// The log window's view as the logger sees it. The GUI implements it and forwards text that
// arrives off the UI thread to the UI thread itself.
class LogView {
public:
    virtual ~LogView() = default;
    // Appends the text; an empty text clears the view.
    virtual void AppendText(const std::string& text) = 0;
    virtual void SetCaption(const std::string& caption) = 0;
};

struct LogRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const LogRect&) const = default;
};

// Where the log window opens: the saved rectangle unless it is unset or lies off the virtual
// screen, else a strip along the bottom of the main window.
LogRect PlaceLogWindow(const LogRect& saved, int screenWidth, int screenHeight, const LogRect& mainWindow);

// The timestamp prefix of log lines: "%d-%b-%Y %H:%M:%S - " with the C locale's month names.
std::string LogTimestamp(std::time_t when);

class CLogger : public Serializable {
    ZUN_DECLARE_SERIAL(CLogger)
public:
    CLogger() = default;
    explicit CLogger(LogHost* document) : document_(document) {}

    void SetDocument(LogHost* document) { document_ = document; }

    // Appends the text verbatim (a '%' in it is kept as it is).
    void Append(const std::string& text);
    void AppendTimestamped(const std::string& text);
    void Clear();
    std::string Text() const;

    // The log window: the GUI attaches its view when it opens the window and detaches it (null)
    // when the window is destroyed.
    void AttachView(LogView* view);
    LogView* View() const;
    void SetTitle(const std::string& title);
    LogRect SavedRect() const;
    void SetSavedRect(const LogRect& r);

    // 0 written, -1 the file cannot be opened, -2 the text was not written to its end.
    int SaveAs(const std::string& path) const;

    void Serialize(Archive& ar) override;

private:
    LogHost* document_ = nullptr;
    LogView* view_ = nullptr;
    LogRect rect_;
    std::string text_;
    mutable std::mutex mutex_;
};

// Mix-in of every object that writes into its document's log. Nothing is formatted while the
// document's logging switch is off. Texts that come from data (kernel reports, names, paths)
// go through LogText so that a '%' in them is never taken for a format.
class Loggable {
public:
    explicit Loggable(LogHost* document = nullptr) : logDocument_(document) {}
    void SetLogDocument(LogHost* document) { logDocument_ = document; }
    LogHost* LogDocument() const { return logDocument_; }

    void Log(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    void LogTimestamped(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    void LogText(const std::string& text) const;
    void LogTextTimestamped(const std::string& text) const;

private:
    CLogger* ActiveLogger() const;
    void LogV(bool timestamped, const char* format, va_list args) const;
    LogHost* logDocument_;
};

// printf into a string of exactly the needed size.
std::string FormatV(const char* format, va_list args);
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

class CDuration : public Serializable {
    ZUN_DECLARE_SERIAL(CDuration)
public:
    using Clock = std::chrono::steady_clock;

    CDuration() = default;
    explicit CDuration(std::string label) : label(std::move(label)) {}

    void Clear();
    void Split();
    std::string Format() const;
    std::string FormatWhole() const;
    std::string FormatPercent() const;
    static std::string FormatPercent(float percent);

    // The mark from which the next update measures.
    void SetMark(Clock::time_point t) { mark_ = t; }
    Clock::time_point Mark() const { return mark_; }

    void Serialize(Archive& ar) override;

    std::string label;
    std::int32_t days = 0;
    std::int32_t hours = 0;
    std::int32_t minutes = 0;
    std::int32_t wholeSeconds = 0;
    float seconds = 0.0f;
    float percent = -1.0f;
    float total = 0.0f;

private:
    std::string FormatWith(bool whole) const;
    // Intervals come from the steady clock; the archived mark is only kept for the layout.
    Clock::time_point mark_{};
    std::int32_t storedMark_ = 0;
};

}  // namespace zun
