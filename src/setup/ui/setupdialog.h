#pragma once
// The "Setup Computation" dialog: draws a SetupComputationState and forwards the user's actions
// to it; the method sheets and property-method dialogs open from it.
//
// The remote commands drive it hidden or shown-but-disabled through SetCompositionJob,
// SetPropertyJob, EnableCompositionControls, EnablePropertyControls and SetMethodChecked, and
// read the job switches back from State().jobs; they never run OK.

#include <functional>
#include <memory>
#include <vector>

#include <QDialog>
#include <QTableWidget>

#include "compute/model.h"
#include "setup/setupstate.h"
#include "setup/ui/setupwidgets.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QMimeData;

namespace zun {

class Prompt;

// The plug-in list the application shows in the dialog: its widget (editing the list in place)
// and its job switch.
struct PluginSection {
    QWidget* widget = nullptr;
    std::function<bool()> job;
};
using PluginSectionFactory =
    std::function<PluginSection(std::vector<PluginRunEntry>& list, bool job, QWidget* parent)>;

// The two method lists: the catalogue drags its kinds out, the selected list takes drops from
// both and offers "Up", "Down" and "Delete" on a right click.
class MethodList : public QTableWidget {
    Q_OBJECT
public:
    MethodList(bool selectedList, QWidget* parent);
    // A drop of row `from` of the catalogue ('c') or of the selected list ('s') on row `to` of
    // the selected list (-1: below the last row).
    std::function<void(char source, int from, int to)> dropped;
    // What a drop of the data on row `row` does (dropEvent's work); false for foreign data.
    bool Drop(const QMimeData* data, int row);

protected:
    void startDrag(Qt::DropActions actions) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    bool selected_;
};

class SetupComputationDialog : public QDialog {
    Q_OBJECT
public:
    SetupComputationDialog(SetupComputationState& state, Prompt& prompt, QWidget* parent = nullptr,
                           const PluginSectionFactory& plugins = {}, DialogRunner run = {});

    SetupComputationState& State() { return state_; }

    // ---- what the remote commands call
    void SetCompositionJob(bool on);
    void SetPropertyJob(bool on);
    void EnableCompositionControls(bool enable);
    void EnablePropertyControls(bool enable);
    // Ticks a method's box as the step flag says, without opening its sheet.
    void SetMethodChecked(int method, bool on);

    // ---- controls, for the application's tests
    QCheckBox* CompositionBox() const { return composition_; }
    QLineEdit* OrderEdit(int method) const { return order_[method]; }
    QCheckBox* MethodBox(int method) const { return method_[method]; }
    QPushButton* ParametersButton(int method) const { return params_[method]; }
    QCheckBox* PropertyBox() const { return property_; }
    MethodList* Catalogue() const { return catalogue_; }
    MethodList* SelectedList() const { return selected_; }
    QCheckBox* MaskBox() const { return mask_; }
    QComboBox* MaskCombo() const { return maskCombo_; }
    QPushButton* RestoreButton() const { return restore_; }
    QWidget* PluginWidget() const { return plugins_.widget; }
    QLineEdit* SeedEdit() const { return seed_; }
    QLineEdit* CapEdit() const { return cap_; }

    // ---- the actions behind drags, drops, the list menu and the buttons
    // A catalogue kind dropped on the selected list: the new record's dialog opens at once and
    // the row stays only when it is confirmed.
    bool AddMethod(int kind);
    void MoveSelected(int from, int to);
    // 0 "Up", 1 "Down", 2 "Delete".
    void ListMenuAction(int row, int action);
    bool EditSelected(int row);
    // The method's parameter sheet; the dialog result.
    int OpenMethodSheet(int method);

    void accept() override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    QWidget* BuildMethods();
    QWidget* BuildProperty();
    QWidget* BuildMask();
    void RebuildSelected();
    void RefreshMask();
    void MethodClicked(int method, bool on);

    SetupComputationState& state_;
    Prompt& prompt_;
    DialogRunner run_;
    QCheckBox* composition_ = nullptr;
    QLineEdit* order_[3] = {};
    QCheckBox* method_[3] = {};
    QPushButton* params_[3] = {};
    QCheckBox* property_ = nullptr;
    MethodList* catalogue_ = nullptr;
    MethodList* selected_ = nullptr;
    std::vector<QWidget*> propertyControls_;
    QCheckBox* mask_ = nullptr;
    QComboBox* maskCombo_ = nullptr;
    QPushButton* restore_ = nullptr;
    PluginSection plugins_;
    QLineEdit* seed_ = nullptr;
    QLineEdit* cap_ = nullptr;
    bool reported_ = false;
};

// The controller's set-up operation over the dialog (the "Setup Computation Method..." command).
class SetupComputationRunner : public ComputationSetupDialog {
public:
    SetupComputationRunner(Prompt& prompt, QWidget* parent, PluginSectionFactory plugins = {},
                           DialogRunner run = {})
        : prompt_(prompt), parent_(parent), plugins_(std::move(plugins)), run_(std::move(run)) {}
    int Run(JobFlags& jobs, bool anyPluginDiscovered, ComputeDocument* document, Params& params) override;

private:
    Prompt& prompt_;
    QWidget* parent_;
    PluginSectionFactory plugins_;
    DialogRunner run_;
};

}  // namespace zun
