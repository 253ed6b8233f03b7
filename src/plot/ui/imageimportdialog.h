#pragma once
// The image-import file dialog: an open-file dialog that chooses a channel's slice images, with an
// options panel below it (pixel scale, zero offset, crop, retain; for X-ray CT channels also the
// energy rescaling and the attenuation range limits). ImageImportOptions decides and checks.

#include <QFileDialog>
#include <string>
#include <vector>

#include "plot/imageimport.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace zun {

class Prompt;

class ImageImportDialog : public QFileDialog {
    Q_OBJECT
public:
    // The options must have been opened.
    ImageImportDialog(ImageImportOptions& options, Prompt* prompt, QWidget* parent = nullptr);

    QCheckBox* applyScale;
    QLineEdit* scale;
    QCheckBox* applyOffset;
    QLineEdit* offset;
    QCheckBox* crop;
    QLineEdit* cropX;
    QLineEdit* cropY;
    QCheckBox* retain;
    // CT channels only (null otherwise).
    QCheckBox* rescale = nullptr;
    QLineEdit* energy = nullptr;
    QRadioButton* autoGenerate = nullptr;
    QRadioButton* manual = nullptr;
    QLineEdit* lacZero = nullptr;
    QLineEdit* lacOne = nullptr;
    QLabel* note = nullptr;

    void accept() override;

private:
    QWidget* BuildCommon(QWidget* parent);
    QWidget* BuildCt(QWidget* parent);
    void ShowStates();
    void ReadBack();

    ImageImportOptions& options_;
    Prompt* prompt_;
};

// The files chosen (sorted by name) and the options accepted; no files when cancelled.
struct ImageImportChoice {
    std::vector<std::string> files;
    ImageImportOptions options;
};
ImageImportChoice RunImageImportDialog(CZunDoc& doc, int channel, bool limitsEditable, QWidget* parent);

}  // namespace zun
