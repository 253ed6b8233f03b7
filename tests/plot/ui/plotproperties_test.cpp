// The "Plot Properties" dialog editing a live plot through its owner.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "guitest.h"
#include "plot/ui/plotowner.h"
#include "plot/ui/plotpropertiesdialog.h"
#include "plot/ui/plotwidget.h"
#include "plot/ui/spinbuttons.h"

using namespace zun;

namespace {

// A window that shows a plot and opens the dialog, as every plot owner does.
class Owner : public QWidget, public AtplotOwner {
public:
    Owner() : plot(new PlotWidget(this)) {
        auto* l = new QHBoxLayout(this);
        l->addWidget(plot);
        resize(480, 340);
    }
    PlotWidget* GetPlotCtrl() override { return plot; }
    void PlotPropertiesClosed() override {
        ++closed;
        dialog->deleteLater();
        dialog = nullptr;
    }
    PlotPropertiesDialog* Open() {
        dialog = new PlotPropertiesDialog(this, this);
        dialog->SetCaption("Demo Plot Properties");
        dialog->showMessage = [this](const QString& m) { messages << m; };
        dialog->show();
        return dialog;
    }
    PlotWidget* plot;
    PlotPropertiesDialog* dialog = nullptr;
    QStringList messages;
    int closed = 0;
};

void Type(QLineEdit* e, const QString& text) {
    e->setFocus();
    e->selectAll();
    QTest::keyClicks(e, text);
}

TEST(PlotPropertiesDialogTest, ShowsThePlotsSettings) {
    test::App();
    Owner owner;
    Graph& g = owner.plot->GetGraph();
    g.yAxis.autoscale = true;
    g.SetYLog(false);
    g.xAxis.range = 2.5;
    g.title.text = "Demo";
    PlotPropertiesDialog* d = owner.Open();
    EXPECT_EQ(d->windowTitle(), "Demo Plot Properties");
    EXPECT_TRUE(d->titleCheck->isChecked());
    EXPECT_EQ(d->titleEdit->text(), "Demo");
    EXPECT_EQ(d->x.range->text(), "2.5");
    EXPECT_TRUE(d->x.range->isEnabled());
    EXPECT_FALSE(d->y.range->isEnabled());  // autoscaling axis
    EXPECT_FALSE(d->y.offsetSpin->isEnabled());
    EXPECT_TRUE(d->x.linear->isChecked());
    EXPECT_FALSE(d->refreshButton->isEnabled());
}

TEST(PlotPropertiesDialogTest, InvalidRangeIsRefusedAndValidOffsetApplied) {
    test::App();
    Owner owner;
    owner.show();
    Graph& g = owner.plot->GetGraph();
    g.xAxis.range = 3;
    PlotPropertiesDialog* d = owner.Open();
    Type(d->x.range, "abc");
    EXPECT_TRUE(d->refreshButton->isEnabled());
    d->refreshButton->click();
    ASSERT_EQ(owner.messages.size(), 1);
    EXPECT_EQ(owner.messages[0], "Invalid XRange value");
    EXPECT_EQ(g.xAxis.range, 3);
    Type(d->x.range, "-1");
    d->ApplyPendingEdits();
    EXPECT_EQ(owner.messages.size(), 2);
    EXPECT_EQ(g.xAxis.range, 3);

    Type(d->y.offset, "2.5");
    Q_EMIT d->y.offset->editingFinished();  // leaving the edit applies it
    EXPECT_EQ(g.yAxis.offset, 2.5);
    EXPECT_FALSE(g.yAxis.autoscale);
}

TEST(PlotPropertiesDialogTest, ChecksRadiosAndSpinsChangeThePlotAtOnce) {
    test::App();
    Owner owner;
    Graph& g = owner.plot->GetGraph();
    PlotPropertiesDialog* d = owner.Open();
    d->titleCheck->click();
    EXPECT_FALSE(g.showTitle);
    EXPECT_FALSE(d->titleEdit->isEnabled());
    d->legendCheck->click();
    EXPECT_FALSE(g.showLegend);
    d->y.grid->click();
    EXPECT_FALSE(g.plot.yGrid);

    d->y.autoscale->click();  // on: re-ranged at once, edits disabled
    EXPECT_TRUE(g.yAxis.autoscale);
    EXPECT_FALSE(d->y.range->isEnabled());
    EXPECT_EQ(d->y.range->text(), "2");
    EXPECT_EQ(d->y.offset->text(), "-1");
    d->y.autoscale->click();
    EXPECT_TRUE(d->y.range->isEnabled());

    g.xAxis.range = 0.5;
    d->x.range->setText("0.5");
    d->x.rangeSpin->DownButton()->click();
    EXPECT_EQ(g.xAxis.range, 0);
    EXPECT_EQ(d->x.range->text(), "0");
    d->x.offsetSpin->UpButton()->click();
    EXPECT_EQ(g.xAxis.offset, 1);

    d->x.log->click();
    EXPECT_TRUE(g.IsXLog());

    // Renaming a channel shown in the title applies at once.
    d->titleCheck->click();
    EXPECT_TRUE(d->titleEdit->isEnabled());
    Type(d->titleEdit, "Gain of 'CT1'");
    d->ApplyPendingEdits();
    d->RenameChannel("CT1", "CT 30 keV");
    EXPECT_EQ(g.title.text, "Gain of 'CT 30 keV'");
}

TEST(PlotPropertiesDialogTest, ClosingTellsTheOwner) {
    test::App();
    Owner owner;
    PlotPropertiesDialog* d = owner.Open();
    d->closeButton->click();
    EXPECT_EQ(owner.closed, 1);
    EXPECT_EQ(owner.dialog, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(PlotPropertiesDialogTest, ScreenshotOfTheDialogEditingALivePlot) {
    test::App();
    Owner owner;
    owner.show();
    PlotPropertiesDialog* d = owner.Open();
    Graph& g = owner.plot->GetGraph();
    Type(d->titleEdit, "Three sine waves");
    d->ApplyPendingEdits();
    d->x.autoscale->click();
    d->y.autoscale->click();
    Type(d->y.label, "Amplitude");
    Type(d->x.label, "Time (s)");
    d->ApplyPendingEdits();
    d->y.grid->click();
    EXPECT_EQ(g.title.text, "Three sine waves");
    EXPECT_EQ(g.yLabel.text, "Amplitude");
    d->adjustSize();
    ASSERT_FALSE(test::SaveScreen(*d, "plot_properties").empty());
    ASSERT_FALSE(test::SaveScreen(owner, "plot_properties_live_plot").empty());
}

}  // namespace
