#include "guitest.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QThread>

#include "compute/exitrequested.h"
#include "compute/model.h"

namespace zun::test {

TempFolder::TempFolder() {
    std::random_device rd;
    path_ =
        std::filesystem::temp_directory_path() / ("zun_gui_" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void RunStepsUntil(CZunDoc& doc, std::atomic<bool>& inStep, std::atomic<bool>& finish) {
    Model& m = doc.GetModel();
    m.SetStepRunner([&m, &inStep, &finish](int, const ComputeLibParams&) {
        inStep = true;
        try {
            while (!finish) {
                m.SetProgress(1, false);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        } catch (const ExitRequested&) {
            return kUserInterrupt;
        }
        return 0;
    });
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > timeoutMs) return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

void RunOnOwnDesktop(int argc, char** argv) {
    if (std::getenv("ZUN_ON_DESKTOP")) return;
    setenv("ZUN_ON_DESKTOP", "1", 1);
    std::string launcher = std::string(ZUN_SOURCE_DIR) + "/tests/script/wm_session.sh";
    std::vector<char*> args{launcher.data()};
    for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    execv(launcher.c_str(), args.data());
    std::perror(launcher.c_str());
    std::exit(1);
}

int DesktopTestMain(int argc, char** argv, const char* screen) {
    if (screen) setenv("WM_SESSION_SCREEN", screen, 1);
    RunOnOwnDesktop(argc, argv);
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

std::string SaveScreenshot(QWidget* widget, const std::string& name) {
    const char* env = std::getenv("ZUN_SCREENS_DIR");
    const std::filesystem::path dir = env && *env ? env : "screens";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const std::string path = (dir / (name + ".png")).string();
    QCoreApplication::processEvents();
    return widget->grab().save(QString::fromStdString(path)) ? path : std::string();
}

}  // namespace zun::test
