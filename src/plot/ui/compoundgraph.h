#pragma once
// The modeless "Attenuation Properties Graph" window: the series of the X-ray attenuation window
// against beam energy, with a "Properties..." button for the plot-properties dialog.

#include <QDialog>
#include <QPointer>
#include <functional>
#include <string>

#include "plot/ui/plotowner.h"

class QPushButton;

namespace zun {

class CompoundTextModel;
class PlotPropertiesDialog;
class PlotWidget;

class CompoundGraph : public QDialog, public AtplotOwner {
    Q_OBJECT
public:
    explicit CompoundGraph(QWidget* parent = nullptr);
    ~CompoundGraph() override;

    // Labels, series and edge markers from the model's last calculation. The plot keeps
    // pointers to the model's vectors: refill after every calculation.
    void Fill(const CompoundTextModel& model);
    // The old channel name becomes the new one in the title, the labels and every series name.
    void RenameChannel(const std::string& oldName, const std::string& newName);

    PlotWidget* GetPlotCtrl() override { return plot_; }
    void PlotPropertiesClosed() override;
    void OpenPlotProperties();
    PlotPropertiesDialog* PlotProperties() const;

    // Called once the window has gone (Close, or its owner closing).
    std::function<void()> onClosed;

    void reject() override;

    QPushButton* propertiesButton;
    QPushButton* closeButton;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    PlotWidget* plot_;
    QPointer<PlotPropertiesDialog> properties_;
};

}  // namespace zun
