#pragma once
// What the tree's tests with a live 3-D view share: one application with the scene library's
// messages quiet, running the event loop until a condition holds, and the screenshots folder.

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <osg/Notify>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace zun::test {

inline QApplication& GlApp() {
    static int argc = 1;
    static char name[] = "tree_gl_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        osg::setNotifyLevel(osg::FATAL);
        return new QApplication(argc, argv);
    }();
    return *app;
}

template <class F>
bool PumpUntil(F done, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return true;
}

inline std::string Screens() {
    const char* d = std::getenv("ZUN_SCREENS_DIR");
    const std::string dir = d ? d : ZUN_SCREENS_DIR;
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace zun::test
