#include "compute/log.h"

#include "foundation/clocale.h"

#include <locale.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <locale>
#include <sstream>
#include <vector>

namespace zun {

ZUN_IMPLEMENT_SERIAL(CLogger, Serializable, 0)
ZUN_IMPLEMENT_SERIAL(CDuration, Serializable, 0)

std::string FormatV(const char* format, va_list args) {
    CLocaleScope scope;  // log lines and stored texts never follow the user's locale
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    return out;
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string s = FormatV(format, args);
    va_end(args);
    return s;
}

LogRect PlaceLogWindow(const LogRect& saved, int screenWidth, int screenHeight, const LogRect& mainWindow) {
    bool unset = saved == LogRect{};
    bool offScreen = saved.left > screenWidth - 20 || saved.right < 20 || saved.top > screenHeight - 20 ||
                     saved.bottom < 20;
    if (!unset && !offScreen) return saved;
    return LogRect{mainWindow.left + 10, mainWindow.bottom - 180, mainWindow.right - 10,
                   mainWindow.bottom - 30};
}

std::string LogTimestamp(std::time_t when) {
    std::tm tm{};
    localtime_r(&when, &tm);
    // Month names must not follow the user's locale: the log is read by people and scripts alike.
    return FormatTimeC("%d-%b-%Y %H:%M:%S - ", tm);
}

// ---------------------------------------------------------------------------------------------
// CLogger

void CLogger::Append(const std::string& text) {
    std::lock_guard lock(mutex_);
    text_ += text;
    if (view_ && !text.empty()) view_->AppendText(text);
}

void CLogger::AppendTimestamped(const std::string& text) {
    Append(LogTimestamp(std::time(nullptr)) + text);
}

void CLogger::Clear() {
    std::lock_guard lock(mutex_);
    text_.clear();
    if (view_) view_->AppendText(std::string());
}

std::string CLogger::Text() const {
    std::lock_guard lock(mutex_);
    return text_;
}

void CLogger::AttachView(LogView* view) {
    std::lock_guard lock(mutex_);
    view_ = view;
    if (view_) {
        view_->AppendText(std::string());
        if (!text_.empty()) view_->AppendText(text_);
    }
}

LogView* CLogger::View() const {
    std::lock_guard lock(mutex_);
    return view_;
}

void CLogger::SetTitle(const std::string& title) {
    std::lock_guard lock(mutex_);
    if (view_) view_->SetCaption(title + ": Log");
}

LogRect CLogger::SavedRect() const {
    std::lock_guard lock(mutex_);
    return rect_;
}

void CLogger::SetSavedRect(const LogRect& r) {
    std::lock_guard lock(mutex_);
    rect_ = r;
}

int CLogger::SaveAs(const std::string& path) const {
    std::string text = Text();
    // Written beside the target and renamed into place, so a failed save keeps the old file.
    std::string tmp = path + ".tmp~";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return -1;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fclose(f) == 0 && ok;
    std::error_code ec;
    if (ok) std::filesystem::rename(tmp, path, ec);
    if (!ok || ec) {
        std::filesystem::remove(tmp, ec);
        return -2;
    }
    return 0;
}

void CLogger::Serialize(Archive& ar) {
    if (ar.IsStoring()) {
        std::string text = Text();
        LogRect r = SavedRect();
        ar << kRecordStamp << r.left << r.top << r.right << r.bottom;
        ar << static_cast<std::uint32_t>(text.size() + 1);
        ar.Write(text.c_str(), text.size() + 1);
        return;
    }
    std::uint32_t version = 0;
    LogRect r;
    std::uint32_t n = 0;
    ar >> version >> r.left >> r.top >> r.right >> r.bottom >> n;
    // The stored length is not trusted with an allocation: the text grows only as far as the
    // archive really holds bytes, and a short archive ends in the end-of-file error.
    std::string text;
    constexpr std::size_t kChunk = 1 << 20;
    std::vector<char> buf;
    for (std::size_t left = n; left > 0;) {
        std::size_t take = left < kChunk ? left : kChunk;
        buf.resize(take);
        ar.Read(buf.data(), take);
        text.append(buf.data(), take);
        left -= take;
    }
    if (!text.empty() && text.back() == '\0') text.pop_back();
    std::size_t z = text.find('\0');
    if (z != std::string::npos) text.resize(z);
    std::lock_guard lock(mutex_);
    rect_ = r;
    text_ = std::move(text);
    if (view_) {
        view_->AppendText(std::string());
        view_->AppendText(text_);
    }
}

// ---------------------------------------------------------------------------------------------
// Loggable

CLogger* Loggable::ActiveLogger() const {
    if (!logDocument_ || !logDocument_->IsLoggingEnabled()) return nullptr;
    return logDocument_->GetLogger();
}

void Loggable::LogV(bool timestamped, const char* format, va_list args) const {
    CLogger* logger = ActiveLogger();
    if (!logger) return;
    const std::string s = FormatV(format, args);
    if (timestamped)
        logger->AppendTimestamped(s);
    else
        logger->Append(s);
}

void Loggable::Log(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    LogV(false, format, args);
    va_end(args);
}

void Loggable::LogTimestamped(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    LogV(true, format, args);
    va_end(args);
}

void Loggable::LogText(const std::string& text) const {
    if (CLogger* logger = ActiveLogger()) logger->Append(text);
}

void Loggable::LogTextTimestamped(const std::string& text) const {
    if (CLogger* logger = ActiveLogger()) logger->AppendTimestamped(text);
}

// ---------------------------------------------------------------------------------------------
// CDuration

void CDuration::Clear() {
    days = hours = minutes = wholeSeconds = 0;
    seconds = 0.0f;
    total = 0.0f;
    percent = -1.0f;
}

void CDuration::Split() {
    double rest = total;
    days = static_cast<std::int32_t>(rest / 86400.0);
    rest -= days * 86400.0;
    hours = static_cast<std::int32_t>(rest / 3600.0);
    rest -= hours * 3600.0;
    minutes = static_cast<std::int32_t>(rest / 60.0);
    rest -= minutes * 60.0;
    seconds = static_cast<float>(rest);
    wholeSeconds = static_cast<std::int32_t>(seconds);
}

std::string CDuration::FormatPercent(float p) {
    if (p >= 10.0f) return zun::Format(" (%.0f%%)", p);
    if (p >= 1.0f) return zun::Format(" (%.1f%%)", p);
    if (p < 0.001f) return " (0%)";
    std::ostringstream os;
    os.imbue(std::locale::classic());
    os.precision(p > 0.01f ? 2 : 1);
    os << p;
    return " (" + os.str() + "%)";
}

std::string CDuration::FormatPercent() const {
    return FormatPercent(percent);
}

std::string CDuration::FormatWith(bool whole) const {
    std::string s;
    if (days != 0) s += zun::Format("%d days, ", days);
    if (days != 0 || hours != 0) s += zun::Format("%02d:", hours);
    s += zun::Format("%02d:", minutes);
    s += whole ? zun::Format("%02d", wholeSeconds) : zun::Format("%04.1f", seconds);
    if (percent > 0.0f) s += FormatPercent();
    return s;
}

std::string CDuration::Format() const {
    return FormatWith(false);
}
std::string CDuration::FormatWhole() const {
    return FormatWith(true);
}

void CDuration::Serialize(Archive& ar) {
    if (ar.IsStoring()) {
        ar << kRecordStamp << label << days << hours << minutes << wholeSeconds << seconds << percent << total
           << storedMark_;
    } else {
        std::uint32_t version = 0;
        ar >> version >> label >> days >> hours >> minutes >> wholeSeconds >> seconds >> percent >> total >>
            storedMark_;
    }
}

}  // namespace zun
