#pragma once
// The modeless "Display Properties" dialog over the items selected in a document tree. It draws
// a DisplayPropsModel and forwards every click and text to it; each change reaches the items,
// the tree and the window's 3-D view at once. "Cancel" puts back what changed; "OK" checks the
// opacity fields and closes.

#include <array>
#include <memory>

#include <QDialog>

#include "document/changehints.h"
#include "tree/displayprops.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace zun {

class CZunDoc;
class ColorStatic;
class ZunTreeView;

class DisplayPropertiesDialog : public QDialog, public DisplayPropsSink, public DocView {
    Q_OBJECT
public:
    // Opens over the given items of the tree view; it goes when the view goes. The document
    // counts it as an open property dialog while it exists.
    DisplayPropertiesDialog(ZunTreeView& view, TreeItems items, const std::string& title);
    // Shows a model that the remote commands drive (it outlives the dialog); the dialog changes
    // nothing of it by itself, and closing it by deleting it puts nothing back.
    DisplayPropertiesDialog(ZunTreeView& view, DisplayPropsModel& driven);
    ~DisplayPropertiesDialog() override;

    DisplayPropsModel& Model() { return *model_; }
    ZunTreeView& TreeView() const { return view_; }

    // DisplayPropsSink
    void UpdateView(unsigned bits) override;
    void UpdateTreeStats(const std::set<TreeItemId>& items) override;
    // DocView: items the document deleted are dropped; with none left the dialog closes.
    void OnUpdate(DocView* sender, unsigned hint, const ChangeHint* hintObject) override;

    // Controls, for the remote commands and the tests.
    QCheckBox* DisplayBox(int i) const { return display_[static_cast<std::size_t>(i)]; }
    QCheckBox* StatsBox(int i) const { return stats_[static_cast<std::size_t>(i)]; }
    QLineEdit* OpacityField(int i) const { return fields_[static_cast<std::size_t>(i)]; }
    QCheckBox* IncLowerBox() const { return incLower_; }
    QCheckBox* IncUpperBox() const { return incUpper_; }
    QCheckBox* MaskBox() const { return maskBox_; }
    QComboBox* MaskCombo() const { return maskCombo_; }
    QPushButton* Button(const QString& text) const;

    // Opens the Data Colour dialog modally over the items (the "Data Colour..." button).
    void OpenDataColour();
    // Re-reads everything from the model.
    void Refresh();

public Q_SLOTS:
    void accept() override;
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void Open();
    void Build();
    QWidget* BuildItemsGroup();
    QWidget* BuildOpacityGroup();
    QWidget* BuildMaskGroup();
    QWidget* BuildStatsGroup();
    QPushButton* AddButton(const QString& text, void (DisplayPropsModel::*handler)());
    void ShowSwatch(int index);
    void ShowOpacity();
    void ShowMask();
    void Step(int field, int delta);
    void PickLayerColour(int index);
    void Run(const std::function<void()>& handler);

    ZunTreeView& view_;
    CZunDoc& doc_;
    std::unique_ptr<DisplayPropsModel> own_;
    DisplayPropsModel* model_ = nullptr;
    std::array<QCheckBox*, 3> display_{};
    std::array<ColorStatic*, 3> swatches_{};
    std::array<QPushButton*, 3> colourButtons_{};
    std::array<QCheckBox*, 5> stats_{};
    std::array<QLineEdit*, 4> fields_{};
    std::array<QToolButton*, 8> spins_{};
    QCheckBox* incLower_ = nullptr;
    QCheckBox* incUpper_ = nullptr;
    QCheckBox* maskBox_ = nullptr;
    QComboBox* maskCombo_ = nullptr;
    std::vector<QPushButton*> buttons_;
    bool refreshing_ = false;
    bool closing_ = false;
    friend DisplayPropertiesDialog* OpenDisplayProperties(const ZunTreeView& view);
};

// The view's open "Display Properties" dialog, or null.
DisplayPropertiesDialog* OpenDisplayProperties(const ZunTreeView& view);

// Opens "Display Properties" for the tree view's selection (the root when nothing is selected);
// an open one of the same view is raised instead. Null when there is nothing to show.
DisplayPropertiesDialog* ShowDisplayProperties(ZunTreeView& view, QWidget* parent = nullptr);

}  // namespace zun
