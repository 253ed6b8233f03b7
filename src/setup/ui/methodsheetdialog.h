#pragma once
// The parameter sheet of one composition method: its General page above the tabs of the
// neighbour shells' interaction grids, and OK, Cancel and Apply below. Every edit goes straight
// to the sheet presenter (MethodSheet); OK and Apply run its ApplyOrRevert. A failed check keeps
// the sheet open with the user's edits, so nothing typed is lost to an error message.

#include <memory>
#include <string>
#include <vector>

#include <QDialog>
#include <QSize>

#include "setup/methodsheet.h"
#include "setup/ui/setupwidgets.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QTabWidget;
class QTableWidget;

namespace zun {

class Prompt;
class CheckHeadCtrl;

class MethodSheetDialog : public QDialog {
    Q_OBJECT
public:
    // The sheet and the prompt that shows its messages outlive the dialog.
    MethodSheetDialog(MethodSheet& sheet, const std::string& documentTitle, Prompt& prompt,
                      QWidget* parent = nullptr);

    MethodSheet& Sheet() { return sheet_; }
    QWidget* GeneralPage() const { return general_; }
    QTabWidget* Tabs() const { return tabs_; }
    ListGridWidget* ShellGridWidget(int shell) const { return grids_[static_cast<std::size_t>(shell)]; }
    QComboBox* RangeCombo() const { return range_; }
    QPushButton* ApplyButton() const { return apply_; }
    // The page above the buttons: the General page and the interaction tabs, scrolling together.
    QScrollArea* Page() const { return page_; }
    // The General page's controls by their label text (edits, check boxes and grids).
    QLineEdit* Edit(const char* label) const;
    QCheckBox* Check(const char* label) const;
    ListGridWidget* Grid(const char* label) const;
    QTableWidget* CtStrip() const { return ctStrip_; }
    CheckHeadCtrl* CtHeader() const { return ctHeader_; }

    // OK and Apply: true when the settings were stored.
    bool Apply();
    void accept() override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void BuildLinear(QWidget* page);
    void BuildNonlinear(QWidget* page);
    void BuildSegmentation(QWidget* page);
    QLineEdit* AddEdit(QWidget* page, class QGridLayout* grid, int row, const char* label, std::string& field,
                       bool digitsOnly);
    ListGridWidget* AddRowGrid(QWidget* page, const char* label, RowGrid& values,
                               const std::vector<std::string>& headers);
    void RangeChosen(int sel);
    void UpdatePages();
    void UpdateGeneral();
    void FillCoefficients();
    void SyncCtStrip();
    void ShellEdited(int shell, int row, int col, const QString& text);
    void Modified();
    void Refuse(QWidget* page);

    MethodSheet& sheet_;
    Prompt& prompt_;
    QScrollArea* page_ = nullptr;
    QWidget* general_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QLabel* tabsLabel_ = nullptr;
    QComboBox* range_ = nullptr;
    QPushButton* apply_ = nullptr;
    std::vector<ListGridWidget*> grids_;
    std::vector<std::pair<std::string, QWidget*>> controls_;
    // Widgets shown or hidden by the General page's switches.
    std::vector<QWidget*> weightsGroup_, selfGroup_, interactionGroup_, iterationsGroup_;
    QCheckBox* searchBoxes_[3] = {nullptr, nullptr, nullptr};
    QTableWidget* ctStrip_ = nullptr;
    CheckHeadCtrl* ctHeader_ = nullptr;
    ListGridWidget* coefficients_ = nullptr;
    QSize opened_;
};

}  // namespace zun
