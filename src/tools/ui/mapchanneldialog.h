#pragma once
// "Map channel data": the input unit, the any/all choice, the rule text, the boundary, and the
// match and else rows (action, kind, value), over MapChannelData. OK runs the mapping and closes
// only when it succeeded.

#include <QDialog>

#include "tools/mapchannel.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zun {

class MapChannelDataDialog : public QDialog {
    Q_OBJECT
public:
    // The settings are the caller's: they are copied, and written back after a successful run.
    MapChannelDataDialog(QWidget* parent, CZunDoc& doc, MapDataSpec& settings);

    QComboBox* UnitCombo() const { return unit_; }
    QComboBox* AnyAllCombo() const { return anyAll_; }
    QComboBox* BoundaryCombo() const { return boundary_; }
    QLineEdit* RuleEdit() const { return rule_; }
    QComboBox* ActionCombo(bool match) const { return action_[match ? 0 : 1]; }
    QComboBox* KindCombo(bool match) const { return kind_[match ? 0 : 1]; }
    QLineEdit* ValueEdit(bool match) const { return value_[match ? 0 : 1]; }
    QPushButton* OkButton() const { return ok_; }
    MapChannelData& Data() { return data_; }

    // The OK handler: 0 when the mapping ran (the dialog then closes).
    int Run();

private:
    void ShowTexts();
    void ShowRows();
    void TakeTexts();

    MapChannelData data_;
    QComboBox* unit_;
    QComboBox* anyAll_;
    QComboBox* boundary_;
    QLineEdit* rule_;
    QComboBox* action_[2];
    QComboBox* kind_[2];
    QLineEdit* value_[2];
    QLabel* label_[2];
    QPushButton* ok_;
};

}  // namespace zun
