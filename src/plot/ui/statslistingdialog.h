#pragma once
// The modal "Statistics Listing" window: a monospaced, read-only table of statistics with the
// columns and width as options, "Refresh", "Save As..." and "Close".

#include <QDialog>
#include <functional>

#include "plot/statslisting.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace zun {

class StatsListingDialog : public QDialog {
    Q_OBJECT
public:
    // The model has its caption, columns and width set; the dialog builds the listing.
    StatsListingDialog(StatsListingModel& model, QWidget* parent = nullptr);

    // Chooses the file to write (tests replace the system's dialog); empty when cancelled.
    std::function<std::string(const QString& caption)> chooseFile;

    QPlainTextEdit* text;
    QCheckBox* average;
    QCheckBox* stdev;
    QCheckBox* min;
    QCheckBox* max;
    QCheckBox* count;
    QLineEdit* width;
    QPushButton* refreshButton;
    QPushButton* saveAsButton;
    QPushButton* closeButton;

    void Refresh();
    void SaveAs();

private:
    void OptionsChanged();
    void ShowText();

    StatsListingModel& model_;
};

}  // namespace zun
