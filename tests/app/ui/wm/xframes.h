#pragma once
// What the window tests on a private desktop measure with: the window manager's frames as the X
// server has them (xwininfo), and pictures of the whole screen.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QWidget>

#include "../guitest.h"

namespace zun::test {

inline QString Xwininfo(const QStringList& args) {
    QProcess p;
    p.start("xwininfo", args);
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

inline int XwininfoField(const QString& text, const char* name) {
    const QRegularExpressionMatch m = QRegularExpression(QString("%1:\\s*(-?\\d+)").arg(name)).match(text);
    return m.hasMatch() ? m.captured(1).toInt() : -99999;
}

// The rectangle on the screen of the window manager's frame around the window (the window's
// ancestor just below the root).
inline QRect MeasuredFrame(const QWidget* w) {
    QString id = "0x" + QString::number(w->winId(), 16);
    for (int depth = 0; depth < 10; ++depth) {
        const QRegularExpressionMatch parent = QRegularExpression("Parent window id: (0x[0-9a-f]+)(.*)")
                                                   .match(Xwininfo({"-children", "-id", id}));
        if (!parent.hasMatch() || parent.captured(2).contains("the root window")) break;
        id = parent.captured(1);
    }
    const QString info = Xwininfo({"-id", id});
    return {XwininfoField(info, "Absolute upper-left X"), XwininfoField(info, "Absolute upper-left Y"),
            XwininfoField(info, "Width"), XwininfoField(info, "Height")};
}

inline std::string Text(const QRect& r) {
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height());
}

inline std::string Text(const QSize& s) {
    return std::to_string(s.width()) + "x" + std::to_string(s.height());
}

// The whole screen with the window manager's frames, as <screens>/<name>.png.
inline void SaveDesktop(const std::string& name) {
    QDir().mkpath(QString(ZUN_SCREENS_DIR));
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    EXPECT_TRUE(shot.save(QString(ZUN_SCREENS_DIR) + "/" + QString::fromStdString(name) + ".png")) << name;
}

// The same, once the screen shows what `w` drew: the server may still show what lay behind a
// window for a while after it has been framed, or its old picture for a while after it grew.
// The points compared are dense enough that a grown part left blank, or a page drawn at its old
// size, tells.
inline void SaveDesktopShowing(QWidget* w, const std::string& name) {
    auto alike = [](QRgb a, QRgb b) {
        return std::abs(qRed(a) - qRed(b)) < 8 && std::abs(qGreen(a) - qGreen(b)) < 8 &&
               std::abs(qBlue(a) - qBlue(b)) < 8;
    };
    const bool drawn = WaitFor(
        [&] {
            const QImage own = w->grab().toImage();
            const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
            for (int i = 1; i < 16; ++i)
                for (int j = 1; j < 16; ++j) {
                    const QPoint at(own.width() * i / 16, own.height() * j / 16);
                    const QPoint onScreen = w->mapToGlobal(at);
                    if (!screen.rect().contains(onScreen) || !alike(own.pixel(at), screen.pixel(onScreen)))
                        return false;
                }
            return true;
        },
        20000);
    EXPECT_TRUE(drawn) << name << ": the screen did not show the window as drawn";
    SaveDesktop(name);
}

}  // namespace zun::test
