#pragma once
// The modeless filter windows of the "X-ray CT Properties" dialog: one device filter (an energy ->
// gain table) or one material filter (a mixture with a thickness and its transmission), each with
// its curve. The presenters DeviceFilterModel and MaterialFilterModel decide; the owner keeps and
// closes the windows through the CtFilterWindow side.

#include <QDialog>
#include <QFileDialog>
#include <QPushButton>
#include <array>
#include <functional>

#include "plot/combinedfilters.h"
#include "plot/devicefilterprops.h"
#include "plot/materialfilterprops.h"
#include "plot/tomographyprops.h"
#include "plot/ui/plotowner.h"
#include "plot/ui/plotpropertiesdialog.h"

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace zun {

class PlotWidget;

// The import file dialog with its "lines to skip" panel.
class DeviceFilterImportDialog : public QFileDialog {
    Q_OBJECT
public:
    DeviceFilterImportDialog(const QString& title, Prompt* prompt, QWidget* parent = nullptr);
    QCheckBox* forceSkip;
    QLineEdit* lines;
    int skipLines = 0;
    void accept() override;

private:
    Prompt* prompt_;
};

// What both windows share: the owner's bookkeeping and the plot.
class FilterWindowBase : public QDialog, public CtFilterWindow, public AtplotOwner {
    Q_OBJECT
public:
    FilterWindowBase(TomographyPropsModel& owner, std::string name, QWidget* parent);
    void Raise() override;
    void Destroy() override;
    PlotWidget* GetPlotCtrl() override { return plot_; }
    void PlotPropertiesClosed() override;
    QPushButton* plotButton;
    PlotPropertiesDialog* PlotProperties() const { return properties_; }
    // The energy unit buttons and Apply, which every filter window has.
    QRadioButton* ev;
    QRadioButton* kev;
    QPushButton* applyButton;
    // The owner's record changed (its dialog redraws).
    std::function<void()> ownerChanged;

protected:
    void closeEvent(QCloseEvent* event) override;
    void ShowCurve(const std::vector<double>& x, const std::vector<double>& y, const std::string& xTitle,
                   const std::string& caption, std::int32_t colour);
    void Close();  // asks the owner to forget and delete this window
    std::string ChooseSave(const std::string& title);
    // The unit buttons, then (when given) a check box, then OK, Apply and Cancel on the right.
    void AddUnitsAndButtons(QHBoxLayout* row, QCheckBox* enabled);
    // setUnit(0) for eV, (1) for keV, as the buttons are clicked.
    void ConnectUnits(std::function<void(int)> setUnit);
    // Apply, OK, Cancel and closing the window over the window's model: `readEdits` takes the
    // typed fields first (may be empty), `show` redraws the window after an Apply.
    template <class Model>
    void ConnectApplyOkCancel(Model& model, std::function<void()> readEdits, std::function<void()> show) {
        connect(applyButton, &QPushButton::clicked, this, [this, &model, readEdits, show] {
            if (readEdits) readEdits();
            if (model.Apply() && ownerChanged) ownerChanged();
            show();
        });
        connect(ok_, &QPushButton::clicked, this, [this, &model, readEdits] {
            if (readEdits) readEdits();
            if (model.Ok()) Close();
        });
        connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
        connect(this, &QDialog::rejected, this, [this, &model] {
            if (closing_) return;
            model.Cancel();
            Close();
        });
    }

    TomographyPropsModel& owner_;
    std::string name_;
    void RenamePlot(const std::string& oldName, const std::string& newName);
    void PlotChanged();

    PlotWidget* plot_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QPointer<PlotPropertiesDialog> properties_;
    std::vector<double> x_, y_;
    bool closing_ = false;
};

class DeviceFilterWindow : public FilterWindowBase {
    Q_OBJECT
public:
    DeviceFilterWindow(TomographyPropsModel& owner, const std::string& name, const std::string& caption,
                       QWidget* parent);
    DeviceFilterModel& Model() { return model_; }
    void RenameChannel(const std::string& oldName, const std::string& newName) override;

    QTableWidget* table;
    QCheckBox* enabled;

    void Import();

private:
    void Show();
    DeviceFilterModel model_;
    bool filling_ = false;
};

class MaterialFilterWindow : public FilterWindowBase {
    Q_OBJECT
public:
    MaterialFilterWindow(TomographyPropsModel& owner, const std::string& name, const std::string& caption,
                         int unavailable, QWidget* parent);
    MaterialFilterModel& Model() { return model_; }
    void RenameChannel(const std::string& oldName, const std::string& newName) override;

    QTableWidget* materials;
    QTableWidget* table;
    QLineEdit* thickness;
    QLineEdit* minimum;
    QLineEdit* maximum;
    QLineEdit* interval;
    QLabel* rangeLabel;
    QCheckBox* enabled;
    QPushButton* getCurrent;

private:
    void Show();
    void ReadEdits();
    MaterialFilterModel model_;
    bool filling_ = false;
};

class CombinedFiltersWindow : public FilterWindowBase {
    Q_OBJECT
public:
    CombinedFiltersWindow(TomographyPropsModel& owner, const std::string& caption, QWidget* parent);
    CombinedFiltersModel& Model() { return model_; }
    void Refresh() override;

    std::array<QCheckBox*, CombinedFiltersModel::kCurveCount> shown{};
    std::array<QLineEdit*, CombinedFiltersModel::kCurveCount> scalings{};

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Show();
    void ReadTexts();
    CombinedFiltersModel model_;
    std::array<std::vector<double>, CombinedFiltersModel::kCurveCount> curves_;
    bool filling_ = false;
};

// The owner's window factory: the windows open beside the dialog.
TomographyPropsModel::WindowFactory MakeFilterWindowFactory(TomographyPropsModel& owner, QWidget* dialog,
                                                            std::function<void()> ownerChanged);

}  // namespace zun
