#pragma once
// The "Data Colour" dialog: the colour kind of the data layer and the values of each kind (one
// colour; a colour, on/off and opacity per data bit or per value with the value range; up to six
// spectrum stops). It draws a DatcolPropsModel and forwards every edit to it, which writes the
// items at once. Modal from the display dialog, modeless for the remote commands.

#include <functional>

#include <QDialog>

#include "document/datcolprops.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTableWidget;

namespace zun {

class ColorStatic;

// The picture of a colour kind (1 per data bit, 2 spectrum, 3 per value) for a swatch.
QPixmap DataColourKindPicture(int kind, const QSize& size);

class DatcolPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    DatcolPropertiesDialog(DatcolPropsModel& model, QWidget* parent = nullptr);

    DatcolPropsModel& Model() { return model_; }
    // Asks for a colour starting at the given one; false when the user cancelled. The colour
    // picker by default; tests put their own.
    std::function<bool(std::uint32_t& colour)> pickColour;

    // The remote commands' entry points: as the radio buttons and the swatch button do.
    void SetColourKind(std::int32_t kind);
    void UpdateSingleColourSwatch();
    void Refresh();

    QTableWidget* EntryTable(bool bits) const { return bits ? bitTable_ : valueTable_; }
    QTableWidget* StopTable() const { return stopTable_; }

public Q_SLOTS:
    void reject() override;

private:
    QWidget* MakeSinglePage();
    QTableWidget* MakeEntryTable(bool bits);
    QWidget* MakeValuePage();
    QWidget* MakeSpectrumPage();
    void FillEntries(bool bits);
    void FillLimits();
    void FillStops();
    void EntryChanged(bool bits, int row);
    void StopChanged(int row);
    void LimitsChanged();
    bool Pick(std::uint32_t& colour);

    DatcolPropsModel& model_;
    QButtonGroup* kinds_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    ColorStatic* single_ = nullptr;
    QTableWidget* bitTable_ = nullptr;
    QTableWidget* valueTable_ = nullptr;
    QTableWidget* stopTable_ = nullptr;
    QWidget* preview_ = nullptr;
    QCheckBox* fromOn_ = nullptr;
    QCheckBox* toOn_ = nullptr;
    QLineEdit* from_ = nullptr;
    QLineEdit* to_ = nullptr;
    QComboBox* format_ = nullptr;
    bool filling_ = false;
};

}  // namespace zun
