// The filter windows of the X-ray CT properties: opened through the owner, edited through their
// tables, handing their filter back on Apply and OK, and forgotten by the owner when closed.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "model/sample.h"
#include "platform/prompt.h"
#include "plot/ui/filterwindows.h"
#include "plot/ui/plotwidget.h"

using namespace zun;

namespace {

template <class T>
T* Find() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return t;
    return nullptr;
}

struct Owner {
    Owner() {
        test::App();
        RegisterDocumentClasses();
        Compound::SetPrompt(&prompt);
        doc.OnNewDocument();
        doc.SetTitle("phantom.zun");
        doc.InsertChannel(0, 1, "Water");
        doc.InsertChannel(1, 2, "ct");
        ZunChan* w = doc.GetSample().FindChan("Water");
        w->compound.SetFormula("H2O", true);
        w->compound.density = 1.0;
        model = std::make_unique<TomographyPropsModel>(doc, doc.GetSample().FindChanIndex("ct"), &prompt);
        EXPECT_TRUE(model->Open());
        model->windowFactory = MakeFilterWindowFactory(*model, nullptr, [this] { ++changes; });
    }
    ~Owner() {
        model->CloseAllFilterWindows();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Compound::SetPrompt(nullptr);
    }
    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt}};
    std::unique_ptr<TomographyPropsModel> model;
    int changes = 0;
};

// Every filter window beside its dialog cascades from the one before and stays wholly on the
// dialog's screen. Run on the screen this process was given (see the test below); the windows are
// drawn where they stand into one picture of the screen.
TEST(FilterWindows, WindowsCascadeBesideTheDialogOnItsScreen) {
    const char* expected = std::getenv("ZUN_FILTER_SCREEN");
    if (!expected) GTEST_SKIP() << "run by FilterWindows.CascadeAt1280x800And1920x1080";
    // The dialog owns its filter windows: it goes after the owner has closed them.
    test::App();
    QDialog dialog;
    Owner o;
    dialog.setWindowTitle("X-ray CT Properties");
    dialog.resize(420, 360);
    const QRect screen = dialog.screen()->availableGeometry();
    ASSERT_EQ(std::to_string(screen.width()) + "x" + std::to_string(screen.height()), expected);
    // Near the right edge, as the tree's menus leave it.
    dialog.move(screen.right() - 450, screen.top() + 40);
    dialog.show();
    o.model->windowFactory = MakeFilterWindowFactory(*o.model, &dialog, [] {});
    o.model->AddMaterialFilter("Al layer");
    std::vector<QWidget*> windows{&dialog};
    for (const char* name : {"Source", "Al layer", "Display All", "Detector"}) {
        o.model->ShowFilterProperties(name);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<FilterWindowBase*>(w) && w->isVisible() &&
                std::find(windows.begin(), windows.end(), w) == windows.end())
                windows.push_back(w);
    }
    ASSERT_EQ(windows.size(), 5u);
    QImage picture(screen.size(), QImage::Format_RGB32);
    picture.fill(QColor(40, 60, 90));
    QPainter painter(&picture);
    for (std::size_t i = 1; i < windows.size(); ++i) {
        const QRect g = windows[i]->frameGeometry();
        EXPECT_TRUE(screen.contains(g))
            << i << ": " << g.x() << "," << g.y() << " " << g.width() << "x" << g.height();
        for (std::size_t j = 1; j < i; ++j) EXPECT_NE(windows[j]->pos(), windows[i]->pos()) << i << " " << j;
    }
    for (QWidget* w : windows) {
        painter.drawPixmap(w->geometry().topLeft() - screen.topLeft(), w->grab());
        painter.setPen(Qt::yellow);
        painter.drawRect(w->frameGeometry().translated(-screen.topLeft()).adjusted(0, 0, -1, -1));
    }
    painter.end();
    QDir().mkpath(QString(ZUN_SCREENS_DIR));
    EXPECT_TRUE(picture.save(QString(ZUN_SCREENS_DIR) + "/filter_windows_" + expected + ".png"));
    // Showing an open filter again only raises its window.
    const QPoint before = windows[1]->pos();
    o.model->ShowFilterProperties("Source");
    EXPECT_EQ(windows[1]->pos(), before);
}

// The test above in this program again, once on a 1280 x 800 screen and once on a 1920 x 1080 one.
TEST(FilterWindows, CascadeAt1280x800And1920x1080) {
    if (std::getenv("ZUN_FILTER_SCREEN")) GTEST_SKIP();
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    const auto dir = std::filesystem::path(ZUN_TEST_BINARY_DIR) / "filter_screens";
    std::filesystem::create_directories(dir);
    for (const auto& [w, h] : {std::pair{1280, 800}, std::pair{1920, 1080}}) {
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        const auto config = dir / (size + ".json");
        std::ofstream(config)
            << R"({"windowFrameMargins": true, "screens": [{"name": "s", "x": 0, "y": 0, "width": )" << w
            << R"(, "height": )" << h << R"(, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
        const std::string cmd =
            "ZUN_FILTER_SCREEN=" + size + " QT_QPA_PLATFORM='offscreen:configfile=" + config.string() +
            "' '" + exe + "' --gtest_filter=FilterWindows.WindowsCascadeBesideTheDialogOnItsScreen > '" +
            (dir / (size + ".log")).string() + "' 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << size << ": see " << (dir / (size + ".log")).string();
    }
}

TEST(FilterWindows, DeviceFilterEditsAppliesAndCloses) {
    Owner o;
    o.model->ShowFilterProperties("Source");
    auto* w = Find<DeviceFilterWindow>();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), "phantom.zun: 'ct' Filter 'Source' Properties");
    EXPECT_FALSE(w->enabled->isVisibleTo(w));  // the source cannot be switched off
    ASSERT_EQ(w->table->rowCount(), 3);
    w->table->item(2, 0)->setText("40");
    w->table->item(2, 1)->setText("0.5");
    EXPECT_EQ(w->table->rowCount(), 4);
    EXPECT_TRUE(w->applyButton->isEnabled());
    test::SaveScreen(*w, "device_filter_properties");
    w->applyButton->click();
    DeviceFilter source;
    ASSERT_TRUE(o.model->GetDeviceFilter("Source", source));
    EXPECT_EQ(source.table.size(), 3u);
    EXPECT_EQ(source.table.at(40.0f), 0.5f);
    EXPECT_EQ(o.changes, 1);
    EXPECT_TRUE(o.model->applyEnabled);
    // One plot-properties child at a time; a rename reaches the caption and the graph title.
    w->plotButton->click();
    ASSERT_NE(w->PlotProperties(), nullptr);
    EXPECT_FALSE(w->plotButton->isEnabled());
    o.model->RenameChannel("ct", "beam");
    EXPECT_EQ(w->windowTitle(), "phantom.zun: 'beam' Filter 'Source' Properties");
    EXPECT_EQ(w->GetPlotCtrl()->GetGraph().title.text, "phantom.zun: 'beam' Filter 'Source' Properties");
    w->PlotPropertiesClosed();
    EXPECT_TRUE(w->plotButton->isEnabled());
    w->reject();
    EXPECT_EQ(o.model->OpenWindowCount(), 0u);
    EXPECT_TRUE(o.model->TypeButtonsEnabled());
}

// The export names a file typed without an extension as the chosen "Text files" filter says.
TEST(FilterWindows, TheExportNamesTheFileAsTheChosenFilterSays) {
    Owner o;
    o.model->ShowFilterProperties("Source");
    auto* w = Find<DeviceFilterWindow>();
    ASSERT_NE(w, nullptr);
    QPushButton* exportButton = nullptr;
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == "Export...") exportButton = b;
    ASSERT_NE(exportButton, nullptr);
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("zun_filterexport_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    QTimer::singleShot(50, [&] {
        QFileDialog* d = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<QFileDialog*>(top); f && f->isVisible()) d = f;
        ASSERT_NE(d, nullptr);
        d->setDirectory(QString::fromStdString(folder.string()));
        auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        edit->setText("source");
        QMetaObject::invokeMethod(d, "accept");
    });
    // Never hangs: a dialog the step above missed is cancelled.
    QTimer::singleShot(10000, [] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<QFileDialog*>(top); f && f->isVisible()) f->reject();
    });
    exportButton->click();
    EXPECT_TRUE(std::filesystem::exists(folder / "source.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder / "source"));
    std::filesystem::remove_all(folder);
    w->reject();
}

TEST(FilterWindows, MaterialFilterComputesItsTransmission) {
    Owner o;
    o.model->AddMaterialFilter("Al layer");
    o.model->ShowFilterProperties("Al layer");
    auto* w = Find<MaterialFilterWindow>();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->materials->rowCount(), 1);
    w->materials->item(0, 0)->setText("Al");
    w->materials->item(0, 1)->setText("2.7");
    w->materials->item(0, 2)->setText("1");
    EXPECT_EQ(w->materials->rowCount(), 2);
    w->thickness->setText("1");
    w->minimum->setText("10");
    w->maximum->setText("100");
    w->interval->setText("1");
    w->applyButton->click();
    EXPECT_EQ(w->table->rowCount(), 91);
    MaterialFilter al;
    ASSERT_TRUE(o.model->GetMaterialFilter("Al layer", al));
    EXPECT_EQ(al.table.size(), 91u);
    EXPECT_LT(al.table.at(10.0f), al.table.at(100.0f));
    test::SaveScreen(*w, "material_filter_properties");
    w->kev->setChecked(false);
    w->ev->click();
    EXPECT_EQ(w->maximum->text(), "100000");
    EXPECT_EQ(w->table->horizontalHeaderItem(0)->text(), "Beam Energy(eV)");
    w->reject();  // Cancel returns the owner's copy to the last Apply
    ASSERT_TRUE(o.model->GetMaterialFilter("Al layer", al));
    EXPECT_EQ(al.energyUnit, 1);
    EXPECT_EQ(o.model->OpenWindowCount(), 0u);
}

TEST(FilterWindows, AllFiltersWindowFollowsTheOwner) {
    Owner o;
    DeviceFilter detector;
    ASSERT_TRUE(o.model->GetDeviceFilter("Detector", detector));
    detector.enabled = true;
    detector.table = {{0.0f, 0.2f}, {10.0f, 0.9f}};
    o.model->PutDeviceFilter("Detector", detector);
    o.model->ShowFilterProperties("Display All");
    auto* w = Find<CombinedFiltersWindow>();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), "phantom.zun: 'ct' All Filters Display");
    EXPECT_TRUE(w->shown[0]->isChecked());
    EXPECT_TRUE(w->shown[1]->isEnabled());
    EXPECT_FALSE(w->shown[2]->isEnabled());
    w->shown[1]->click();
    EXPECT_FLOAT_EQ(static_cast<float>(w->Model().y[1].back()), 0.9f);
    test::SaveScreen(*w, "combined_filters_properties");
    // A filter window's Apply refreshes the all-filters curves.
    detector.table = {{0.0f, 0.5f}, {10.0f, 0.5f}};
    o.model->PutDeviceFilter("Detector", detector);
    o.model->RefreshAllFiltersWindow();
    EXPECT_EQ(w->Model().y[1].back(), 0.5);
    w->applyButton->click();
    CombinedFilters record;
    o.model->GetCombinedFilters(record);
    EXPECT_TRUE(record.curves[1].show);
    w->reject();
    EXPECT_EQ(o.model->OpenWindowCount(), 0u);
}

}  // namespace
