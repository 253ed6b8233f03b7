#pragma once
// The modal "X-ray Properties" dialog: the attenuation data source and coefficient of a document.

#include <QDialog>

#include "plot/xrayproperties.h"

class QPushButton;
class QRadioButton;

namespace zun {

class XrayPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    XrayPropertiesDialog(XrayPropertiesModel& model, QWidget* parent = nullptr);

    QRadioButton* tlac;
    QRadioButton* extended;
    QRadioButton* nist;
    QRadioButton* mucal;
    QRadioButton* total;
    QRadioButton* photo;
    QPushButton* okButton;
    QPushButton* cancelButton;

    void accept() override;

private:
    XrayPropertiesModel& model_;
};

// The document's "X-ray Properties..." command; returns the dialog's result.
int RunXrayProperties(CZunDoc& doc, QWidget* parent);

}  // namespace zun
