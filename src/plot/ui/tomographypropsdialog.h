#pragma once
// The modal "X-ray CT Properties" dialog of one X-ray CT channel, and the small "Add Filter"
// dialog it opens; TomographyPropsModel decides what they show and write.

#include <QDialog>
#include <functional>

#include "plot/tomographyprops.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace zun {

class AddFilterDialog : public QDialog {
    Q_OBJECT
public:
    AddFilterDialog(TomographyPropsModel& owner, QWidget* parent = nullptr);

    QRadioButton* userDefined;
    QRadioButton* absorptive;
    QLineEdit* name;
    // The name of the filter added (empty when none was).
    std::string accepted;

    void accept() override;

private:
    TomographyPropsModel& owner_;
};

class TomographyPropsDialog : public QDialog {
    Q_OBJECT
public:
    // The model must have been opened.
    TomographyPropsDialog(TomographyPropsModel& model, QWidget* parent = nullptr);

    std::function<void(const std::string& name)> renameChannel;

    QRadioButton* lac;
    QRadioButton* lpc;
    QRadioButton* mono;
    QRadioButton* poly;
    QLineEdit* energy;
    QComboBox* filterCombo;
    QPushButton* addButton;
    QPushButton* deleteButton;
    QLineEdit* step;
    QGroupBox* tableGroup;
    QTableWidget* table;
    QLabel* zeroLabel;
    QLabel* oneLabel;
    QLineEdit* totalZero;
    QLineEdit* measuredZero;
    QLineEdit* offsetZero;
    QLineEdit* totalOne;
    QLineEdit* measuredOne;
    QLineEdit* offsetOne;
    QLineEdit* accuracy;
    QCheckBox* autoRename;
    QPushButton* renameButton;
    QPushButton* okButton;
    QPushButton* applyButton;
    QPushButton* cancelButton;

    // Re-reads everything from the model (after a filter window changed it, for one).
    void Refresh();
    // A channel was renamed while the dialog is open.
    void RenameChannel(const std::string& oldName, const std::string& newName);
    void accept() override;
    void reject() override;

private:
    void Build();
    QWidget* BuildBeam();
    QWidget* BuildLimits();
    void Connect();
    void ShowFields();
    void ShowTable();
    void ShowCombo();
    void ShowStates();
    void Focus(TomographyPropsModel::Field field);
    void OnAdd();

    TomographyPropsModel& model_;
    bool filling_ = false;
};

// Runs the dialog modally over the CT channel at that sample index (newChannel: just inserted);
// prepare sees the dialog before it opens (to follow renames, for one).
int RunTomographyPropsDialog(CZunDoc& doc, int channel, bool newChannel, QWidget* parent,
                             std::function<void(const std::string& name)> renameChannel,
                             const std::function<void(TomographyPropsDialog&)>& prepare = {});

}  // namespace zun
