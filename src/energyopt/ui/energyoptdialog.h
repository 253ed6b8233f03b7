#pragma once
// The energy-optimisation sheet: two pages over EnergyOptSheetModel, which decides everything
// they show and accept; the widgets draw its grids, forward edits, and run a page's computation
// on a worker thread behind a progress window that can cancel it.

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "energyopt/sheetmodel.h"

class QComboBox;
class QLineEdit;
class QProgressDialog;
class QPushButton;
class QTabWidget;

namespace zun {
class CZunDoc;
class ListGridWidget;
class Prompt;
}  // namespace zun

namespace EnergyOpt {

class EnergyOptDialog;

// What the sheet needs from its caller besides the record.
struct EnergyOptSheetServices {
    // The material functions of the compositions, in order; they must outlive the computation.
    std::function<std::vector<MaterialFunctions>()> materials;
    zun::Prompt* prompt = nullptr;  // questions and messages
};

// The part both pages share: noise model, target mixtures and "Compute Output...".
class EnergyOptPage : public QWidget {
    Q_OBJECT
public:
    EnergyOptPage(EnergyOptDialog& sheet, int index, QWidget* parent);
    int index() const { return index_; }
    zun::ListGridWidget& mixtures() { return *mixtures_; }
    QPushButton& computeButton() { return *compute_; }
    virtual void Refresh();
    virtual EnergyOptSheetModel::PageControls Controls();

protected:
    void Edited();
    void ShowMessage(const std::string& text);
    EnergyOptDialog& sheet_;
    int index_;
    QComboBox* noiseModel_ = nullptr;
    zun::ListGridWidget* mixtures_ = nullptr;
    QPushButton* compute_ = nullptr;
    QWidget* input_ = nullptr;   // the "Input" group's extra rows go here
    QWidget* output_ = nullptr;  // the "Output" group
};

class EnergyOptPage_0 : public EnergyOptPage {
    Q_OBJECT
public:
    EnergyOptPage_0(EnergyOptDialog& sheet, QWidget* parent);
    void Refresh() override;
    EnergyOptSheetModel::PageControls Controls() override;
    zun::ListGridWidget& outputTable() { return *output0_; }
    QLineEdit& maxIterations() { return *iterations_; }
    zun::ListGridWidget& beamDomains() { return *domains_; }

private:
    QLineEdit* iterations_ = nullptr;
    zun::ListGridWidget* domains_ = nullptr;
    zun::ListGridWidget* output0_ = nullptr;
};

class EnergyOptPage_1 : public EnergyOptPage {
    Q_OBJECT
public:
    EnergyOptPage_1(EnergyOptDialog& sheet, QWidget* parent);
    void Refresh() override;
    EnergyOptSheetModel::PageControls Controls() override;
    zun::ListGridWidget& evaluationTable() { return *evaluation_; }
    zun::ListGridWidget& outputTable() { return *output1_; }

private:
    void ChooseType(int row);
    void MarkTypeCells();
    zun::ListGridWidget* evaluation_ = nullptr;
    zun::ListGridWidget* output1_ = nullptr;
};

class EnergyOptDialog : public QDialog {
    Q_OBJECT
public:
    // `commit` writes the record to the document and marks the document modified.
    EnergyOptDialog(const DialogVars& documentRecord, std::vector<std::string> compositionNames,
                    std::function<void(const DialogVars&)> commit, EnergyOptSheetServices services,
                    QWidget* parent = nullptr);
    ~EnergyOptDialog() override;

    EnergyOptSheetModel& model() { return model_; }
    zun::Prompt& prompt() { return *services_.prompt; }
    EnergyOptPage_0& page0() { return *page0_; }
    EnergyOptPage_1& page1() { return *page1_; }
    QTabWidget& tabs() { return *tabs_; }
    QPushButton& applyButton() { return *apply_; }

    void Apply();
    void UpdateButtons();
    // Asks, then runs the page's computation behind a progress window. Set before a run,
    // `onProgressShown` lets a test act while the run is going (for example cancel it).
    void Compute(int page);
    std::function<void(QProgressDialog&, EnergyOptJob&)> onProgressShown;

    void accept() override;

private:
    EnergyOptSheetModel model_;
    EnergyOptSheetServices services_;
    std::unique_ptr<zun::Prompt> ownPrompt_;
    QTabWidget* tabs_ = nullptr;
    EnergyOptPage_0* page0_ = nullptr;
    EnergyOptPage_1* page1_ = nullptr;
    QPushButton* apply_ = nullptr;
};

// The document's "Energy Properties" operation, which the tree's document and channel entries
// both call: the sheet over the document's record and its composition channels, modal, or the
// message of PrepareEnergyProperties and no sheet.
void RunEnergyOptSheet(zun::CZunDoc& doc, QWidget* parent);

}  // namespace EnergyOpt
