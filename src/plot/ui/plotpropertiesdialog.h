#pragma once
// The modeless "Plot Properties" dialog: edits its owner's plot directly, change by change.

#include <QDialog>
#include <QPointer>
#include <functional>
#include <map>
#include <set>

#include "plot/plotsettings.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zun {

class AtplotOwner;
class SpinButtons;

class PlotPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    explicit PlotPropertiesDialog(AtplotOwner* owner, QWidget* parent = nullptr);

    // The window title (owners set it before showing the dialog).
    void SetCaption(const QString& caption);
    QString Caption() const { return caption_; }

    // Owners call this after refilling an autoscaling plot.
    void RefreshFromPlot();
    // A channel or filter shown in the plot has a new name.
    void RenameChannel(const std::string& oldName, const std::string& newName);
    // "Refresh Plot": every edit typed in and not yet applied is applied.
    void ApplyPendingEdits();

    // Messages for invalid numbers (an information box unless a test replaces it).
    std::function<void(const QString&)> showMessage;

    // The controls, for the owner's and the tests' use.
    QCheckBox* titleCheck;
    QLineEdit* titleEdit;
    QCheckBox* legendCheck;
    struct AxisControls {
        QCheckBox* grid;
        QCheckBox* autoscale;
        QRadioButton* linear;
        QRadioButton* log;
        QLineEdit* range;
        SpinButtons* rangeSpin;
        QLineEdit* offset;
        SpinButtons* offsetSpin;
        QCheckBox* showLabel;
        QLineEdit* label;
    };
    AxisControls x, y;
    QPushButton* refreshButton;
    QPushButton* closeButton;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    QWidget* BuildAxisGroup(PlotAxisId id, AxisControls& c);
    void ConnectAxis(PlotAxisId id, AxisControls& c);
    void Fill();
    void EndChange();
    bool CommitEdit(QLineEdit* edit);
    AxisControls& Controls(PlotAxisId id) { return id == PlotAxisId::X ? x : y; }
    void Close();

    AtplotOwner* owner_;
    PlotPropertiesModel model_;
    QString caption_;
    std::set<QLineEdit*> edited_;
    bool committing_ = false;
    bool closed_ = false;
};

// The modeless "Plot Properties" window of a plot window: opened once with the given caption,
// the window's button disabled while it is open.
void OpenModelessPlotProperties(QPointer<PlotPropertiesDialog>& properties, AtplotOwner* owner,
                                QWidget* parent, const QString& caption, QPushButton* button);
// Its closing (AtplotOwner::PlotPropertiesClosed): the button back in use and the window let go.
void ReleaseModelessPlotProperties(QPointer<PlotPropertiesDialog>& properties, QPushButton* button);

}  // namespace zun
