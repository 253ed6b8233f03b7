#pragma once
// One application object for the widget tests of this folder (made before the first test and
// destroyed after the last, while Qt's own globals still exist), and the screenshots they leave.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QWidget>
#include <memory>
#include <string>

namespace zun::test {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "plot_ui_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

inline ::testing::Environment* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

inline QApplication& App() {
    return *static_cast<QApplication*>(QCoreApplication::instance());
}

// Grabs the widget to <screens>/<name>.png; returns the path (empty when it could not be saved).
inline std::string SaveScreen(QWidget& w, const char* name) {
    QDir().mkpath(QString(ZUN_SCREENS_DIR));
    const QString path = QString(ZUN_SCREENS_DIR) + "/" + name + ".png";
    return w.grab().save(path) ? path.toStdString() : std::string();
}

}  // namespace zun::test
