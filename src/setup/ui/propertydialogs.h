#pragma once
// The property-method dialogs: "Parameters for Scalar Analytic Map", "Parameters for Scalar
// Extrapolation" and "Parameters for Linked Clusters Analysis". Each edits a copy of one record
// through its presenter (setup/propertymethods.h).

#include <functional>
#include <string>
#include <vector>

#include <QDialog>

#include "setup/propertymethods.h"
#include "setup/ui/setupwidgets.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zun {

class Prompt;

// Opens the dialog of the record's kind; on OK the record takes the edits. False on Cancel and
// for a kind that has no dialog.
bool EditPropertyMethod(PropertyMethodSettings& rec, Prompt& prompt, QWidget* parent,
                        const DialogRunner& run);

class ScalarAnalyticDialog : public QDialog {
    Q_OBJECT
public:
    ScalarAnalyticDialog(const PropertyMethodSettings& rec, Prompt& prompt, QWidget* parent = nullptr);
    const PropertyMethodSettings& Record() const { return model_.Record(); }
    ListGridWidget* Inputs() const { return inputs_; }
    QComboBox* Output() const { return output_; }
    QRadioButton* Isotropic() const { return iso_; }
    void accept() override;

private:
    ScalarAnalyticModel model_;
    Prompt& prompt_;
    ListGridWidget* inputs_;
    QComboBox* output_;
    QRadioButton *iso_, *aniso_, *parallel_, *perpendicular_;
};

class ScalarExtrapDialog : public QDialog {
    Q_OBJECT
public:
    ScalarExtrapDialog(const PropertyMethodSettings& rec, Prompt& prompt, QWidget* parent = nullptr);
    const PropertyMethodSettings& Record() const { return model_.Record(); }
    ScalarExtrapModel& Model() { return model_; }
    ListGridWidget* Data() const { return data_; }
    QLineEdit* WeightEdit(int col) const { return weights_[static_cast<std::size_t>(col)]; }
    QPushButton* Button(const char* text) const;
    // The file the Import and Export buttons use (empty: the user cancelled); a file dialog
    // unless set.
    std::function<std::string(bool save)> chooseFile;
    void Import();
    void Export();
    void CalcWeight();
    void Clear();
    void accept() override;

private:
    void Rebuild();
    bool CheckWeights(bool computingWeights = false);
    void Say(const std::string& text);

    ScalarExtrapModel model_;
    Prompt& prompt_;
    ListGridWidget* data_;
    QComboBox* output_;
    std::vector<QLineEdit*> weights_;
    QWidget* weightRow_;
    std::vector<QPushButton*> buttons_;
};

class LinkedClusterDialog : public QDialog {
    Q_OBJECT
public:
    LinkedClusterDialog(const PropertyMethodSettings& rec, Prompt& prompt, QWidget* parent = nullptr);
    const PropertyMethodSettings& Record() const { return model_.Record(); }
    // The controls as one set of fields, and back.
    LinkedClusterFields Fields() const;
    void SetFields(const LinkedClusterFields& f);
    QComboBox* Bound() const { return bound_; }
    void accept() override;

private:
    void UpdateEnabling();

    LinkedClusterModel model_;
    Prompt& prompt_;
    QComboBox *input_, *bound_, *output_, *sort_, *filter_;
    QLineEdit *threshold_, *first_, *last_, *low_, *high_;
    QRadioButton *ge_, *le_;
    QCheckBox* details_;
    QCheckBox* axis_[3];
    QLineEdit *plane1_[3], *plane2_[3];
    QComboBox* op_[3];
};

}  // namespace zun
