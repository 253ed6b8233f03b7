// The X-ray windows opened from the document tree's menu: the attenuation table with its control
// reactions, OK and Cancel, the graph of two compositions, the attenuation matrix with its
// condition number, and the X-ray data source dialog.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <functional>
#include <memory>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "foundation/clocale.h"
#include "guitest.h"
#include "model/sample.h"
#include "platform/prompt.h"
#include "plot/ui/attenmatrixdialog.h"
#include "plot/ui/compoundgraph.h"
#include "plot/ui/compoundpropsdialog.h"
#include "plot/ui/compoundtextdialog.h"
#include "plot/ui/plotpropertiesdialog.h"
#include "plot/ui/plotwidget.h"
#include "plot/ui/propertycommands.h"
#include "plot/ui/xraypropertiesdialog.h"
#include "tree/treecommandids.h"
#include "tree/ui/treeview.h"

using namespace zun;

namespace {

const std::string kMu = attensym::kMu;

struct Window {
    Window() {
        test::App();
        RegisterDocumentClasses();
        doc.OnNewDocument();
        doc.SetTitle("phantom");
        doc.ResizeVolume({8, 8, 4}, {0, 0, 0});
        Add("water", "H2O", 1.0);
        Add("bone", "Ca5(PO4)3OH", 1.92);
        view = std::make_unique<ZunTreeView>(doc);
        RegisterPropertyCommands(*view);
        doc.SetModifiedFlag(false);
    }
    ~Window() {
        if (CompoundTextDialog* d = FindXrayAttenuationWindow(doc)) delete d;
    }
    void Add(const std::string& name, const std::string& formula, double density) {
        doc.InsertChannel(0, doc.InsertPositionLast(0), name);
        Compound& c = doc.GetSample().GetChan(doc.GetSample().FindChanIndex(name))->compound;
        c.SetFormula(formula, true);
        c.density = density;
    }
    void Select(std::initializer_list<const char*> names) {
        for (TreeNode* n = view->Tree().Root(); n; n = DisplayTree::NextInPreOrder(n)) n->selected = false;
        for (const char* name : names) view->Tree().FindChannel(name)->selected = true;
    }
    CompoundTextDialog* Open(std::initializer_list<const char*> names) {
        Select(names);
        if (!view->Commands().Execute(treecmd::kXrayAttenuationProperties)) return nullptr;
        return FindXrayAttenuationWindow(doc);
    }
    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt}};
    std::unique_ptr<ZunTreeView> view;
};

// Runs f on the modal X-ray properties dialog once exec() shows it; gives up after 5 s.
void OnXrayDialog(std::function<void(XrayPropertiesDialog&)> f) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, f, tries] {
        auto* d = qobject_cast<XrayPropertiesDialog*>(QApplication::activeModalWidget());
        if (!d && ++*tries < 1000) return;
        timer->stop();
        timer->deleteLater();
        if (d) f(*d);
    });
    timer->start(5);
}

void DeletePending() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(AttenuationWindow, OpensFromTheTreeMenuWithItsTable) {
    Window w;
    w.Select({"water", "bone"});
    ASSERT_TRUE(w.view->Commands().IsEnabled(treecmd::kXrayAttenuationProperties));
    CompoundTextDialog* d = w.Open({"water", "bone"});
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle().toStdString(), "phantom: Multiple Channel X-ray Attenuation Properties");
    EXPECT_TRUE(w.doc.propertyDialogOpen[CZunDoc::kXrayAttenuationDialog]);
    // A second window of the same document is not offered.
    EXPECT_FALSE(w.view->Commands().IsEnabled(treecmd::kXrayAttenuationProperties));

    EXPECT_EQ(d->caption->text().toStdString(), kMu + "_tot (1/cm) vs Beam Energy (keV)");
    const QStringList lines = d->table->toPlainText().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2 + 401);
    EXPECT_TRUE(lines[0].contains(QString::fromStdString("water " + kMu)));
    EXPECT_TRUE(lines[0].contains(QString::fromStdString("bone " + kMu)));
    EXPECT_EQ(d->normSeries->count(), 8);
    EXPECT_FALSE(d->recalculateButton->isEnabled());
    EXPECT_TRUE(d->graphButton->isEnabled());

    // The screenshot with more to see: wavelength, depth and edges over a short grid.
    d->minEnergy->setText("3");
    d->maxEnergy->setText("5");
    d->interval->setText("0.25");
    d->wavelength->setChecked(true);
    d->penetration->setChecked(true);
    d->markEdges->setChecked(true);
    EXPECT_TRUE(d->recalculateButton->isEnabled());
    EXPECT_TRUE(d->transmission->isEnabled());
    d->recalculateButton->click();
    EXPECT_TRUE(d->table->toPlainText().contains("    y"));  // calcium's K edge at 4.04 keV
    d->resize(1000, 640);
    test::SaveScreen(*d, "xray_attenuation_properties");
}

TEST(AttenuationWindow, ControlReactionsKeepImpossibleChoicesOut) {
    Window w;
    CompoundTextDialog* d = w.Open({"water", "bone"});
    ASSERT_NE(d, nullptr);
    d->quantity[kQuantityBeta]->setChecked(true);
    EXPECT_FALSE(d->massKind->isEnabled());  // beta is a linear quantity only
    d->quantity[kQuantityBeta]->setChecked(false);
    ASSERT_TRUE(d->massKind->isEnabled());
    d->quantity[kQuantityDelta]->setChecked(true);
    d->quantity[kQuantityDelta]->setChecked(false);
    d->massKind->setChecked(true);
    EXPECT_FALSE(d->quantity[kQuantityBeta]->isEnabled());
    EXPECT_FALSE(d->quantity[kQuantityDelta]->isEnabled());
    EXPECT_EQ(d->normSeries->count(), 4);  // mu and phi of each channel
    d->normChannel->setChecked(true);
    EXPECT_TRUE(d->normSeries->isEnabled());
    EXPECT_FALSE(d->normEnergyEdit->isEnabled());

    // No quantity at all: nothing to recalculate or draw.
    d->quantity[kQuantityMu]->setChecked(false);
    EXPECT_FALSE(d->recalculateButton->isEnabled());
    EXPECT_FALSE(d->graphButton->isEnabled());
    d->quantity[kQuantityPhi]->setChecked(true);
    EXPECT_TRUE(d->recalculateButton->isEnabled());

    d->format->setText("8.3e");
    Q_EMIT d->format->textEdited("8.3e");
    EXPECT_TRUE(d->defaultFormat->isEnabled());
    d->defaultFormat->click();
    EXPECT_EQ(d->format->text(), "10g");
    EXPECT_FALSE(d->defaultFormat->isEnabled());

    // A long grid runs under the progress dialog and gives every row.
    d->minEnergy->setText("1");
    d->maxEnergy->setText("1001");
    d->interval->setText("1");
    d->recalculateButton->click();
    EXPECT_EQ(d->table->toPlainText().count('\n'), 2 + 1001);

    // A refused entry shows its message and leaves the table alone.
    const QString before = d->table->toPlainText();
    d->transmission->setText("");
    Q_EMIT d->transmission->textEdited("");
    d->recalculateButton->click();
    ASSERT_FALSE(w.prompt.Requests().empty());
    EXPECT_EQ(w.prompt.Requests().back().text, "Invalid numeric entry");
    EXPECT_EQ(d->table->toPlainText(), before);
}

TEST(AttenuationWindow, OkStoresTheSettingsAndCancelDoesNot) {
    Window w;
    CompoundTextDialog* d = w.Open({"water"});
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->normChannel->isEnabled());  // one channel: nothing to normalise to
    d->markEdges->setChecked(true);
    d->cancelButton->click();
    DeletePending();
    EXPECT_EQ(FindXrayAttenuationWindow(w.doc), nullptr);
    EXPECT_FALSE(w.doc.propertyDialogOpen[CZunDoc::kXrayAttenuationDialog]);
    EXPECT_FALSE(w.doc.Settings().compoundText.markEdges);
    EXPECT_FALSE(w.doc.IsModified());

    d = w.Open({"water"});
    ASSERT_NE(d, nullptr);
    d->markEdges->setChecked(true);
    d->maxEnergy->setText("-1");
    d->okButton->click();  // refused: the window stays
    ASSERT_FALSE(w.prompt.Requests().empty());
    EXPECT_EQ(w.prompt.Requests().back().text, "Invalid numeric entry");
    EXPECT_EQ(FindXrayAttenuationWindow(w.doc), d);
    d->maxEnergy->setText("40");
    d->okButton->click();
    DeletePending();
    EXPECT_EQ(FindXrayAttenuationWindow(w.doc), nullptr);
    EXPECT_TRUE(w.doc.Settings().compoundText.markEdges);
    EXPECT_EQ(w.doc.Settings().compoundText.energies, (std::vector<float>{10.0f, 40.0f, 0.1f}));
    EXPECT_TRUE(w.doc.IsModified());
}

TEST(AttenuationWindow, GraphOfTwoCompositionsFollowsRenamesAndClosing) {
    Window w;
    CompoundTextDialog* d = w.Open({"water", "bone"});
    ASSERT_NE(d, nullptr);
    d->minEnergy->setText("1");
    d->maxEnergy->setText("100");
    d->interval->setText("0.5");
    d->markEdges->setChecked(true);
    d->recalculateButton->click();
    d->graphButton->click();
    CompoundGraph* g = d->Graph();
    ASSERT_NE(g, nullptr);
    EXPECT_FALSE(d->graphButton->isEnabled());
    EXPECT_EQ(g->windowTitle().toStdString(), d->windowTitle().toStdString() + " Graph");
    Graph& graph = g->GetPlotCtrl()->GetGraph();
    ASSERT_EQ(graph.plot.series.size(), 2u);
    EXPECT_EQ(graph.plot.series[0].name, "water " + kMu + ", d=1");
    EXPECT_EQ(graph.plot.series[1].name, "bone " + kMu + ", d=1.92");
    EXPECT_EQ(graph.yLabel.text, kMu + "_tot (1/cm)");
    EXPECT_FALSE(graph.plot.markers.empty());  // the calcium and phosphorus edges
    graph.yAxis.autoscale = true;
    graph.SetYLog(true);
    g->GetPlotCtrl()->Control().Invalidate();
    test::SaveScreen(*g, "attenuation_graph");

    // A composition edited elsewhere: the window and its graph follow.
    const double before = d->Model().Series()[1].linear[0];
    w.doc.GetSample().GetChan(w.doc.GetSample().FindChanIndex("bone"))->compound.density = 3.84;
    d->UpdateChannel(w.doc.GetSample().FindChanIndex("bone"));
    EXPECT_NEAR(d->Model().Series()[1].linear[0], 2 * before, 1e-9 * before);
    EXPECT_EQ(graph.plot.series[1].name, "bone " + kMu + ", d=3.84");

    ASSERT_EQ(w.doc.RenameChannel("water", "H2O"), 0);
    d->RenameChannel("water", "H2O");
    EXPECT_EQ(graph.plot.series[0].name, "H2O " + kMu + ", d=1");
    EXPECT_EQ(d->normSeries->itemText(0).toStdString(), "H2O " + kMu);

    g->closeButton->click();
    DeletePending();
    EXPECT_EQ(d->Graph(), nullptr);
    EXPECT_TRUE(d->graphButton->isEnabled());
}

TEST(AttenuationWindow, GraphBreaksAtTheNormalisingEdgesAndRenamesEverySeries) {
    Window w;
    w.Add("iodine", "KI", 3.12);
    w.view = std::make_unique<ZunTreeView>(w.doc);
    RegisterPropertyCommands(*w.view);
    CompoundTextDialog* d = w.Open({"water", "iodine"});
    ASSERT_NE(d, nullptr);
    d->minEnergy->setText("30");
    d->maxEnergy->setText("36");
    d->interval->setText("1");
    d->quantity[kQuantityPhi]->setChecked(true);
    d->normChannel->setChecked(true);
    d->normSeries->setCurrentText(QString::fromStdString("iodine " + kMu));
    d->recalculateButton->click();
    d->graphButton->click();
    CompoundGraph* g = d->Graph();
    ASSERT_NE(g, nullptr);
    const QSize opened = g->size();
    EXPECT_EQ(g->minimumSize(), opened);  // never smaller than it opened
    Graph& graph = g->GetPlotCtrl()->GetGraph();
    // The x data breaks where the normalising iodine rises across its K edge (33.17 keV).
    ASSERT_NE(graph.plot.xBreaks, nullptr);
    EXPECT_EQ(*graph.plot.xBreaks, (PlotFlags{0, 0, 0, 0, 1, 0, 0}));
    ASSERT_EQ(graph.plot.series.size(), 3u);  // iodine mu is the divisor, not a series
    EXPECT_EQ(graph.yLabel.text, kMu + "_tot," + attensym::kPhi + " (norm to 'iodine " + kMu + "')");

    g->propertiesButton->click();
    ASSERT_NE(g->PlotProperties(), nullptr);
    EXPECT_FALSE(g->propertiesButton->isEnabled());

    // Both series of a channel, the title and the normalisation label follow a rename.
    ASSERT_EQ(w.doc.RenameChannel("iodine", "KI"), 0);
    d->RenameChannel("iodine", "KI");
    EXPECT_EQ(graph.plot.series[2].name.rfind("KI " + std::string(attensym::kPhi), 0), 0u);
    EXPECT_EQ(graph.yLabel.text, kMu + "_tot," + attensym::kPhi + " (norm to 'KI " + kMu + "')");
    EXPECT_EQ(d->normSeries->currentText().toStdString(), "KI " + kMu);

    g->PlotProperties()->close();
    EXPECT_TRUE(g->propertiesButton->isEnabled());
}

TEST(AttenuationWindow, CompositionAppliedElsewhereIsRecalculated) {
    Window w;
    CompoundTextDialog* d = w.Open({"water", "bone"});
    ASSERT_NE(d, nullptr);
    const double before = d->Model().Series()[0].linear[0];
    // The composition dialog, run from the tree, doubles the water's density.
    QTimer::singleShot(0, [] {
        auto* c = qobject_cast<CompoundPropsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(c, nullptr);
        c->autoRename->setChecked(false);
        c->density->setText("2");
        c->okButton->click();
    });
    w.Select({"water"});
    ASSERT_TRUE(w.view->Commands().Execute(treecmd::kCompositionProperties));
    EXPECT_NEAR(d->Model().Series()[0].linear[0], 2 * before, 1e-9 * before);
    EXPECT_TRUE(d->table->toPlainText().contains(
        QString::fromStdString(FormatC("%10g", d->Model().Series()[0].linear[0]))));
}

TEST(AttenuationWindow, MatrixShowsTheModelsConditionNumberAndKeepsItsRows) {
    Window w;
    w.Add("iodine", "KI", 3.12);
    w.view = std::make_unique<ZunTreeView>(w.doc);
    RegisterPropertyCommands(*w.view);
    CompoundTextDialog* d = w.Open({"water", "bone", "iodine"});
    ASSERT_NE(d, nullptr);
    d->matrixButton->click();
    AttenMatrixDialog* m = d->Matrix();
    ASSERT_NE(m, nullptr);
    EXPECT_FALSE(d->matrixButton->isEnabled());
    EXPECT_EQ(m->windowTitle(), d->windowTitle() + " Matrix");
    ASSERT_EQ(m->table->rowCount(), 3);
    ASSERT_EQ(m->table->columnCount(), 5);
    EXPECT_EQ(m->table->horizontalHeaderItem(2)->text(), "water");
    EXPECT_EQ(m->table->item(1, 0)->text(), "10");
    EXPECT_EQ(m->table->item(2, 0)->text(), "15");

    // The window shows what the model computed, and the number is the matrix's condition.
    AttenMatrixModel& model = m->Model();
    ASSERT_GT(model.Condition(), 1.0);
    EXPECT_EQ(m->condition->text().toStdString(), model.ConditionText());
    const Compound& water = w.doc.GetSample().GetChan(w.doc.GetSample().FindChanIndex("water"))->compound;
    EXPECT_FLOAT_EQ(static_cast<float>(model.Matrix()[3]),
                    static_cast<float>(water.LinearAttenuation(kAttenTlacTrc, 0, kAttenTotal, 10.0)));
    // An edit typed into the energy cell reaches the model once the editor has let go.
    m->table->item(2, 0)->setText("35");
    QCoreApplication::processEvents();
    EXPECT_EQ(model.Rows()[1].energy, 35.0f);
    EXPECT_EQ(m->table->item(2, 0)->text(), "35");
    m->CommitEnergy(2, "40");
    EXPECT_EQ(m->table->item(2, 0)->text(), "40");
    EXPECT_EQ(m->condition->text().toStdString(), model.ConditionText());
    m->CommitType(1, "p");
    EXPECT_EQ(m->table->item(1, 1)->text(), "p");
    m->CommitEnergy(1, "-3");
    ASSERT_FALSE(w.prompt.Requests().empty());
    EXPECT_EQ(w.prompt.Requests().back().text, "Beam energy must be >= zero");
    m->resize(620, 220);
    test::SaveScreen(*m, "attenuation_matrix");

    // Closing hands the rows back; OK stores their energies with the settings.
    m->closeButton->click();
    DeletePending();
    EXPECT_EQ(d->Matrix(), nullptr);
    EXPECT_TRUE(d->matrixButton->isEnabled());
    d->okButton->click();
    DeletePending();
    EXPECT_EQ(w.doc.Settings().compoundText.matrixEnergies, (std::vector<double>{10.0, 40.0}));
}

TEST(AttenuationWindow, RefusesElementsTheMethodHasNoDataFor) {
    Window w;
    w.Add("polonium", "Po", 9.2);
    w.view = std::make_unique<ZunTreeView>(w.doc);
    RegisterPropertyCommands(*w.view);
    w.doc.Settings().attenuationMethod = kAttenMucal;
    EXPECT_EQ(w.Open({"water", "polonium"}), nullptr);
    ASSERT_FALSE(w.prompt.Requests().empty());
    EXPECT_NE(w.prompt.Requests().back().text.find("element Po."), std::string::npos);
    EXPECT_FALSE(w.doc.propertyDialogOpen[CZunDoc::kXrayAttenuationDialog]);
}

TEST(XrayPropertiesDialog, RadiosMapToMethodAndKind) {
    Window w;
    // From the tree menu: Extended and photoelectric chosen, OK.
    bool shown = false;
    OnXrayDialog([&shown](XrayPropertiesDialog& dialog) {
        shown = true;
        XrayPropertiesDialog* d = &dialog;
        EXPECT_EQ(d->windowTitle(), "phantom X-ray Properties");
        EXPECT_TRUE(d->tlac->isChecked());
        EXPECT_TRUE(d->total->isChecked());
        test::SaveScreen(*d, "xray_properties");
        d->extended->setChecked(true);
        d->photo->setChecked(true);
        d->okButton->click();
    });
    ASSERT_TRUE(w.view->Commands().Execute(treecmd::kXrayProperties));
    EXPECT_TRUE(shown);
    EXPECT_EQ(w.doc.Settings().attenuationMethod, kAttenExtended);
    EXPECT_EQ(w.doc.Settings().coefficientKind, kAttenPhoto);
    EXPECT_TRUE(w.doc.IsModified());

    // Cancel changes nothing.
    w.doc.SetModifiedFlag(false);
    OnXrayDialog([](XrayPropertiesDialog& d) {
        d.mucal->setChecked(true);
        d.cancelButton->click();
    });
    ASSERT_TRUE(w.view->Commands().Execute(treecmd::kXrayProperties));
    EXPECT_EQ(w.doc.Settings().attenuationMethod, kAttenExtended);
    EXPECT_FALSE(w.doc.IsModified());

    // A value outside the known ones leaves every method button clear; OK then stores mucal.
    XrayPropertiesModel model;
    model.method = 7;
    model.kind = 5;
    XrayPropertiesDialog d(model);
    for (QRadioButton* r : {d.tlac, d.extended, d.nist, d.mucal, d.total, d.photo})
        EXPECT_FALSE(r->isChecked());
    d.accept();
    EXPECT_EQ(model.method, kAttenMucal);
    EXPECT_EQ(model.kind, kAttenPhoto);
}

}  // namespace
