#pragma once
// "Transform Boundary": rotation and translation of the regions of the selected boundaries.
// Every Apply moves them once more; Close ends the dialog.

#include <array>
#include <string>
#include <vector>

#include <QDialog>

#include "tools/boundarytransform.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zun {

class CZunDoc;

class TransBoundDialog : public QDialog {
    Q_OBJECT
public:
    TransBoundDialog(BoundaryTransform& transform, CZunDoc& doc, QWidget* parent = nullptr);

    QCheckBox* RotateCheck() const { return rotate_; }
    QCheckBox* TranslateCheck() const { return translate_; }
    QLineEdit* AngleEdit(int axis) const { return angles_[static_cast<std::size_t>(axis)]; }
    QLineEdit* OffsetEdit(int axis) const { return offsets_[static_cast<std::size_t>(axis)]; }
    QPushButton* ApplyButton() const { return apply_; }
    QPushButton* CloseButton() const { return close_; }

    // What Apply does: 0 done, non-zero when the transform did not complete.
    int Apply();

private:
    TransformFields Read() const;
    void EnableEdits();

    BoundaryTransform& transform_;
    CZunDoc& doc_;
    QCheckBox* rotate_;
    QCheckBox* translate_;
    std::array<QLineEdit*, 3> angles_;
    std::array<QLineEdit*, 3> offsets_;
    std::array<QLabel*, 3> angleLabels_;
    std::array<QLabel*, 3> offsetLabels_;
    QPushButton* apply_;
    QPushButton* close_;
};

// The "Transform Boundary..." command for the named boundaries, modally.
void RunTransformBoundary(CZunDoc& doc, const std::vector<std::string>& targets, QWidget* parent);

}  // namespace zun
