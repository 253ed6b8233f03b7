// The zun program: the application window, with the documents named on the command line open.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>

#include "app/startup.h"
#include "app/ui/remotedocwindow.h"
#include "app/ui/zunapp.h"
#include "foundation/heaprelease.h"
#include "foundation/threadwait.h"
#include "script/ui/remotestartup.h"

namespace {
bool HaveDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return true;
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}
}  // namespace

int main(int argc, char** argv) {
    zun::WaitPassivelyBetweenRegions(argv);
    std::vector<std::string> args(argv, argv + argc);
    const zun::StartupOptions options = zun::ParseCommandLine(args);
    if (options.version) {
        std::printf("zun %s\n", ZUN_VERSION);
        return 0;
    }
    if (!HaveDisplay()) {
        std::fprintf(stderr,
                     "zun: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); the window cannot open.\n"
                     "     bench_pipeline computes a text data document without a window.\n");
        return 2;
    }
    // Before any thread starts: the heap then gives back what closed documents held.
    zun::SetHeapPolicy();
    QApplication qt(argc, argv);
    QApplication::setApplicationName("Zun");
    QApplication::setOrganizationName("Zun");
    // Qt takes the user's locale at start; numbers in files and texts are always read and written
    // with a '.' decimal point.
    std::setlocale(LC_NUMERIC, "C");
    zun::InstallRemoteStartup(zun::FindRemoteDocWindow);
    // ZUN_UNATTENDED: message boxes answer themselves and go to the error stream (controlled runs
    // under test).
    zun::UnattendedPrompt unattended;
    zun::CZunApp::Services services;
    if (zun::UnattendedRun()) services.prompt = &unattended;
    zun::CZunApp app(services);
    if (!app.InitInstance(options)) return 1;
    return QApplication::exec();
}
