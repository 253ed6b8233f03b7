#pragma once
// The options dialog of the interactive web page export: it shows and edits the export options
// through Web3DDialogModel, which decides every text and check.

#include <QDialog>

#include <functional>

#include "view3d/web3doptions.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace zun {

class ExportWeb3DDialog : public QDialog {
    Q_OBJECT
public:
    // defaults builds the facts that "Default" fills in (the document may have changed since).
    ExportWeb3DDialog(QWidget* parent, Web3DOptions& options, std::function<Web3DDocumentFacts()> defaults);

    // Where a refused Export's message goes; a message box when unset (tests replace it).
    std::function<void(const std::string& text)> showMessage;

    QLineEdit* TitleEdit() const { return title_; }
    QPlainTextEdit* DescriptionEdit() const { return description_; }
    QLineEdit* BorderEdit() const { return border_; }
    QLineEdit* OpacityEdit() const { return opacity_; }
    QLineEdit* FolderEdit() const { return folder_; }
    QLineEdit* FileNameEdit() const { return fileName_; }
    QLabel* MatrixXLabel() const { return matrixX_; }
    QLabel* MatrixYLabel() const { return matrixY_; }
    QRadioButton* AveragingButton() const { return averaging_; }
    QPushButton* DefaultButton() const { return default_; }
    QPushButton* ExportButton() const { return export_; }

public Q_SLOTS:
    void accept() override;

private:
    void Fill();
    void UpdateMatrix();
    void Browse();
    Web3DDialogModel::Fields Read() const;

    Web3DDialogModel model_;
    std::function<Web3DDocumentFacts()> defaults_;
    QLabel *width_, *height_, *slices_, *matrixX_, *matrixY_;
    QLineEdit *title_, *border_, *opacity_, *folder_, *fileName_;
    QPlainTextEdit* description_;
    QRadioButton *decimation_, *averaging_;
    QCheckBox *thumbnail_, *service_;
    QPushButton *default_, *export_;
};

}  // namespace zun
