#pragma once
// Shared by the widget tests of the application: a private preferences folder, waiting on the
// event loop, and screenshots.

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include <QApplication>
#include <QWidget>

namespace zun::test {

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Runs the event loop until the condition holds or the time is up; returns the condition.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000);

// Saves the widget's picture as <screens>/<name>.png; returns the path ("" when it failed).
std::string SaveScreenshot(QWidget* widget, const std::string& name);

}  // namespace zun::test
