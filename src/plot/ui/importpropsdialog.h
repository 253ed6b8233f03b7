#pragma once
// The modeless "Imported Image Properties" window over the selected channels or slices;
// ImportPropsModel decides what it shows and does. It deletes itself when closed.

#include <QDialog>
#include <array>
#include <memory>

#include "plot/importprops.h"

class QLineEdit;
class QPushButton;

namespace zun {

class ImportPropsDialog : public QDialog {
    Q_OBJECT
public:
    // Takes the model (opened or not: without import records every control is disabled).
    ImportPropsDialog(std::unique_ptr<ImportPropsModel> model, QWidget* parent = nullptr);

    QLineEdit* fileName;
    QLineEdit* format;
    QLineEdit* resolution;
    std::array<QLineEdit*, ImportPropsModel::kFieldCount> fields{};
    QPushButton* restoreButton;
    QPushButton* defaultButton;
    QPushButton* okButton;
    QPushButton* cancelButton;

    ImportPropsModel& Model() { return *model_; }
    void accept() override;
    void reject() override;

private:
    void Build();
    void Show();

    std::unique_ptr<ImportPropsModel> model_;
};

// Opens the window for the document's selected items (the document may hold one at a time).
ImportPropsDialog* ShowImportProperties(CZunDoc& doc, std::vector<ImageItem*> items, QWidget* parent);

}  // namespace zun
