#pragma once
// "Set Data": the box, the condition range, the entry format, the value and the two flags, each
// with its "Apply" check box, over CChanSetData. Apply writes and stays open; OK writes and closes.

#include <QDialog>

#include "tools/setdatadialog.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zun {

class ChanSetDataDialog : public QDialog {
    Q_OBJECT
public:
    explicit ChanSetDataDialog(CChanSetData& data, QWidget* parent = nullptr);

    QLineEdit* OffsetEdit(int axis) const { return offset_[axis]; }
    QLineEdit* RangeEdit(int axis) const { return range_[axis]; }
    QLineEdit* ValueEdit(int field) const { return value_[field]; }
    QRadioButton* FormatOption(int format) const { return format_[format]; }
    QRadioButton* Conditional() const { return conditional_; }
    QRadioButton* Unconditional() const { return unconditional_; }
    QCheckBox* ReadOnlyValue() const { return readOnly_; }
    QCheckBox* ErrorValue() const { return error_; }
    QCheckBox* ApplyCheck(int part) const { return applyPart_[part]; }  // 0 data, 1 read-only, 2 error
    QGroupBox* Group() const { return group_; }
    QPushButton* ApplyButton() const { return apply_; }
    QPushButton* OkButton() const { return ok_; }

    void accept() override;

private:
    void Changed();
    void LeaveBox(bool range, int axis);
    void LeaveValue(int field);
    void ChooseFormat(int format);
    void ShowValues();
    bool Apply();

    CChanSetData& data_;
    QLineEdit* offset_[3];
    QLineEdit* range_[3];
    QLineEdit* value_[3];
    QRadioButton* format_[3];
    QRadioButton* conditional_;
    QRadioButton* unconditional_;
    QCheckBox* readOnly_;
    QCheckBox* error_;
    QCheckBox* applyPart_[3];
    QGroupBox* group_;
    QPushButton* apply_;
    QPushButton* ok_;
    bool checking_ = false;  // a refusal's message must not check the edit again
};

}  // namespace zun
