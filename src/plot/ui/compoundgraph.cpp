#include "plot/ui/compoundgraph.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "plot/compoundtext.h"
#include "plot/ui/plotpropertiesdialog.h"
#include "plot/ui/plotwidget.h"

namespace zun {

namespace {
void ReplaceAll(std::string& s, const std::string& from, const std::string& to) {
    if (from.empty()) return;
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
}
}  // namespace

CompoundGraph::CompoundGraph(QWidget* parent) : QDialog(parent), plot_(new PlotWidget(this)) {
    setWindowTitle(QStringLiteral("Mass Attenuation Graph"));
    setSizeGripEnabled(true);
    propertiesButton = new QPushButton(tr("Properties..."), this);
    closeButton = new QPushButton(tr("Close"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(propertiesButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(plot_, 1);
    layout->addLayout(buttons);

    Graph& g = plot_->GetGraph();
    g.plot.ClearYData();
    g.plot.ClearMarkers();
    g.showTitle = false;
    g.xLabel.text = "Beam Energy (keV)";
    g.showXLabel = g.showYLabel = g.showLegend = true;
    g.xAxis.autoscale = g.yAxis.autoscale = true;

    connect(propertiesButton, &QPushButton::clicked, this, &CompoundGraph::OpenPlotProperties);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    resize(760, 460);
    // The window never becomes smaller than it opened.
    setMinimumSize(size());
}

CompoundGraph::~CompoundGraph() {
    if (onClosed) onClosed();
}

void CompoundGraph::Fill(const CompoundTextModel& model) {
    Graph& g = plot_->GetGraph();
    g.title.text = windowTitle().toStdString();
    g.yLabel.text = model.TitleText();
    g.plot.ClearYData();
    const bool channelNorm = model.settings.normalisation == 2;
    g.plot.SetXData(&model.Energies(), channelNorm ? &model.NormalisingEdges() : nullptr);
    g.plot.ClearMarkers();
    const auto& series = model.Series();
    for (std::size_t i = 0; i < series.size(); ++i)
        g.plot.AddYData(&model.PlotValues(i), kAutoColour, &series[i].edges, model.GraphSeriesName(i));
    if (model.settings.markEdges)
        for (const AttenSeries& a : series)
            for (std::size_t i = 0; i < a.edges.size(); ++i)
                if (a.edges[i]) g.plot.AddMarker(model.Energies()[i], 0.0, 1.0);
    plot_->Control().Invalidate();
    if (properties_) properties_->RefreshFromPlot();
}

void CompoundGraph::RenameChannel(const std::string& oldName, const std::string& newName) {
    // Names stand quoted in the titles and lead the series names: "comp_1" must not touch
    // "comp_10".
    std::string title = windowTitle().toStdString();
    ReplaceAll(title, "'" + oldName + "'", "'" + newName + "'");
    setWindowTitle(QString::fromStdString(title));
    Graph& g = plot_->GetGraph();
    ReplaceAll(g.title.text, "'" + oldName + "'", "'" + newName + "'");
    ReplaceAll(g.yLabel.text, "'" + oldName + " ", "'" + newName + " ");
    for (Plot::Series& s : g.plot.series)
        if (s.name.rfind(oldName + " ", 0) == 0) s.name = newName + s.name.substr(oldName.size());
    if (properties_) properties_->RenameChannel(oldName, newName);
    plot_->Control().Invalidate();
}

PlotPropertiesDialog* CompoundGraph::PlotProperties() const {
    return properties_;
}

void CompoundGraph::OpenPlotProperties() {
    OpenModelessPlotProperties(properties_, this, this, windowTitle() + QStringLiteral(" Properties"),
                               propertiesButton);
}

void CompoundGraph::PlotPropertiesClosed() {
    ReleaseModelessPlotProperties(properties_, propertiesButton);
}

void CompoundGraph::reject() {
    close();
}

void CompoundGraph::closeEvent(QCloseEvent* e) {
    e->accept();
    deleteLater();
}

}  // namespace zun
