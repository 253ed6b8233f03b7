#pragma once
// The modal "Histogram" window of one channel: counts of its voxel values over the whole channel
// or listed slices, as line or bars, in the units the user picks; settings kept per channel.

#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "plot/histogrammodel.h"
#include "plot/ui/plotowner.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zun {

class CZunDoc;
class PlotPropertiesDialog;
class PlotWidget;
class SpinButtons;

class HistogramDialog : public QDialog, public AtplotOwner {
    Q_OBJECT
public:
    // Opens on the channel the first slice entry names. Check Opened() before showing.
    HistogramDialog(CZunDoc& doc, const std::string& windowName, std::vector<HistogramSliceEntry> slices,
                    QWidget* parent = nullptr);
    ~HistogramDialog() override;

    // The document's histogram commands: refuses an empty list ("No data to display.") and
    // runs the window modally. Returns the dialog's result, or -1 when nothing was shown.
    static int Run(CZunDoc& doc, const std::string& windowName, std::vector<HistogramSliceEntry> slices,
                   QWidget* parent = nullptr);

    bool Opened() const { return opened_; }
    HistogramModel& Model() { return model_; }

    PlotWidget* GetPlotCtrl() override { return plot_; }
    void PlotPropertiesClosed() override;
    PlotPropertiesDialog* PlotProperties() const { return properties_; }

    // "Export...": asks for the file (replaceable by tests) and writes the table.
    void Export();
    // "Close": the settings go back to the channel.
    void reject() override;

    // Message boxes and the export file question, replaceable by tests.
    std::function<void(const QString&, QMessageBox::Icon)> showMessage;
    std::function<QString()> askExportPath;

    QRadioButton* xRadios[3];
    QLineEdit* binEdit;
    SpinButtons* binSpin;
    QRadioButton* closureRadios[4];
    QRadioButton* yRadios[2];
    QRadioButton* styleRadios[2];
    QPushButton* propertiesButton;
    QPushButton* refreshButton;
    QPushButton* defaultsButton;
    QPushButton* exportButton;
    QPushButton* closeButton;

private:
    QWidget* BuildControls();
    void FillControls();
    void OpenPlotProperties();
    void OnRefresh();
    // The bin-count edit, read when it was typed in; false when it was refused.
    bool TakePendingBinCount();
    void AfterChange();

    CZunDoc& doc_;
    HistogramModel model_;
    PlotWidget* plot_;
    QPointer<PlotPropertiesDialog> properties_;
    bool opened_ = false;
    bool binPending_ = false;
    bool filling_ = false;
};

}  // namespace zun
