#pragma once
// The modeless "X-ray Attenuation Properties" window: the fields of CompoundTextModel, the table
// it builds, and the graph and attenuation-matrix windows it opens.

#include <QDialog>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "plot/compoundtext.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace zun {

class AttenMatrixDialog;
class CompoundGraph;

class CompoundTextDialog : public QDialog {
    Q_OBJECT
public:
    // The model is filled (channels, title, the document's settings) but not yet opened.
    CompoundTextDialog(std::unique_ptr<CompoundTextModel> model, QWidget* parent = nullptr);
    ~CompoundTextDialog() override;

    CompoundTextModel& Model() { return *model_; }
    CZunDoc& Document() const { return model_->Document(); }
    CompoundGraph* Graph() const;
    AttenMatrixDialog* Matrix() const;

    // The document's calls.
    void RenameChannel(const std::string& oldName, const std::string& newName);
    void UpdateChannel(int sampleIndex);
    // The matrix window closes: its rows are kept for the next opening.
    void CloseMatrixWindow();
    // The graph window closes.
    void GraphClosed();

    void Recalculate();
    void SaveAs();
    void ShowGraph();
    void ShowMatrix();
    void SetDefaultFormat();

    // The file the table is saved to (tests replace the system's dialog); empty when cancelled.
    std::function<std::string(const QString& caption, const QString& folder)> chooseFile;

    QLineEdit* minEnergy;
    QLineEdit* maxEnergy;
    QLineEdit* interval;
    QRadioButton* normNone;
    QRadioButton* normEnergy;
    QRadioButton* normChannel;
    QLineEdit* normEnergyEdit;
    QComboBox* normSeries;
    QCheckBox* penetration;
    QLineEdit* transmission;
    QCheckBox* markEdges;
    QCheckBox* wavelength;
    QRadioButton* linearKind;
    QRadioButton* massKind;
    QCheckBox* quantity[4];  // mu, beta, phi, delta
    QLineEdit* format;
    QPushButton* defaultFormat;
    QLabel* caption;
    QPlainTextEdit* table;
    QPushButton* matrixButton;
    QPushButton* recalculateButton;
    QPushButton* graphButton;
    QPushButton* saveButton;
    QPushButton* okButton;
    QPushButton* cancelButton;

    void accept() override;
    void reject() override;

private:
    void Build();
    QWidget* BuildOptions();
    void ShowFields();
    void FillSeriesCombo(int kind, const std::string& keep);
    CompoundTextFields Fields() const;
    void OnFieldChanged();
    void OnModeChanged();
    void OnKindChanged();
    void OnQuantityChanged();
    void ShowTable();
    void FillGraph();
    // Calculation and table after the opening or a channel update.
    bool CalculateAndShow();

    std::unique_ptr<CompoundTextModel> model_;
    QPointer<CompoundGraph> graph_;
    QPointer<AttenMatrixDialog> matrix_;
    int modeAtRead_ = 0;
    bool filling_ = false;
};

// The tree's "X-ray Attenuation Properties..." for the named composition channels: refuses
// elements the document's attenuation method has no data for (message shown) and opens the
// window modeless. Null when nothing opened.
CompoundTextDialog* ShowXrayAttenuationProperties(CZunDoc& doc, const std::vector<std::string>& channels,
                                                  const std::string& caption, QWidget* parent);
// The document's open attenuation window, null when none.
CompoundTextDialog* FindXrayAttenuationWindow(CZunDoc& doc);

}  // namespace zun
