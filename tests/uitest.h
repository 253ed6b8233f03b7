#pragma once
// What the widget tests of every folder share: one application object for the test program,
// screenshots to the screens folder, typing over an edit's text, and comparing two pictures.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QtTest/QTest>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace zun::test {

// Made on first use and never destroyed: Qt's own globals are gone by the time static objects
// of the test program are.
inline QApplication& UiApp() {
    static int argc = 1;
    static char name[] = "zun_ui_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Grabs the widget to $ZUN_SCREENS_DIR/<name>.png ("screens" when unset).
inline void Screenshot(QWidget* w, const std::string& name) {
    const char* env = std::getenv("ZUN_SCREENS_DIR");
    const std::filesystem::path dir = env && *env ? env : "screens";
    std::filesystem::create_directories(dir);
    QApplication::processEvents();
    EXPECT_TRUE(w->grab().save(QString::fromStdString((dir / (name + ".png")).string())));
}

// Replaces an edit's text by typing, as a user does.
inline void Retype(QLineEdit* e, const QString& text) {
    e->setFocus();
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
    QTest::keyClicks(e, text);
}

// Clicks a check box or radio button where a user does, on its box: a layout may stretch the
// button far beyond its text, and a click on that blank does nothing under X11.
inline void ClickBox(QAbstractButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    const QStyle::SubElement box =
        qobject_cast<QRadioButton*>(button) ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator;
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier,
                      button->style()->subElementRect(box, &option, button).center());
}

// The mean absolute difference of two pictures per colour component (255 for different sizes).
inline double MeanDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) return 255;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum +=
                std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

}  // namespace zun::test
