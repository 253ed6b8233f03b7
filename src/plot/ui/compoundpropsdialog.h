#pragma once
// The modal "Composition Properties" dialog over one composition channel; CompoundPropsModel
// decides what it shows and writes.

#include <QDialog>
#include <functional>

#include "plot/compoundprops.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

namespace zun {

class CompoundPropsDialog : public QDialog {
    Q_OBJECT
public:
    // The model must have been opened.
    CompoundPropsDialog(CompoundPropsModel& model, QWidget* parent = nullptr);

    // "Rename Channel...": the opener's rename prompt over the channel's current name.
    std::function<void(const std::string& name)> renameChannel;

    // The controls, for the tests' use.
    QListWidget* elements;
    QToolButton* insertButton;
    QLineEdit* formula;
    QLineEdit* density;
    QPushButton* estimateButton;
    QLineEdit* accuracy;
    QCheckBox* autoRename;
    QPushButton* renameButton;
    QPushButton* okButton;
    QPushButton* applyButton;
    QPushButton* cancelButton;

    // Inserts the selected symbol at the formula's caret (nothing without a selection).
    void InsertSelected();

    void accept() override;
    void reject() override;

private:
    void Build();
    void ShowFields();
    void ShowButtons();
    bool RunApply(bool refresh);

    CompoundPropsModel& model_;
    bool filling_ = false;
};

// Opens the dialog modally over the composition channel at that index of the document, with the
// given rename prompt; returns the dialog's result (QDialog::Accepted on OK).
int RunCompoundPropsDialog(CZunDoc& doc, int channel, QWidget* parent,
                           std::function<void(const std::string& name)> renameChannel);

}  // namespace zun
