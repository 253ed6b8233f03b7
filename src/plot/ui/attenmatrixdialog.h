#pragma once
// The modeless attenuation-matrix window: AttenMatrixModel's cells in a table whose energy and
// type cells are edited in place, and the matrix's condition number.

#include <QDialog>
#include <functional>
#include <memory>

#include "model/attenmatrix.h"

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace zun {

class AttenMatrixDialog : public QDialog {
    Q_OBJECT
public:
    // The model has its caption and rows; the dialog initialises it.
    AttenMatrixDialog(std::unique_ptr<AttenMatrixModel> model, QWidget* parent = nullptr);
    ~AttenMatrixDialog() override;

    AttenMatrixModel& Model() { return *model_; }

    // An edit of a cell as the in-place editors deliver it (also for tests).
    void CommitEnergy(int row, const QString& text);
    void CommitType(int row, const QString& type);

    // Called once with the rows when the window goes, so that its owner keeps them.
    std::function<void(const std::vector<AttenEnergyRow>& rows)> onClosed;

    void reject() override;

    QTableWidget* table;
    QLineEdit* condition;
    QPushButton* closeButton;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void ShowCells();
    void HandBack();

    std::unique_ptr<AttenMatrixModel> model_;
    bool filling_ = false;
    bool handedBack_ = false;
};

}  // namespace zun
