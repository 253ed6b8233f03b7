// The filter windows of the X-ray CT properties: opened through the owner, edited through their
// tables, handing their filter back on Apply and OK, and forgotten by the owner when closed.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

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
