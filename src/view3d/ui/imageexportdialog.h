#pragma once
// "Export 2D images": the options of the tree's slice-image export. The caller reads Options()
// after the dialog was accepted and writes the images itself.

#include <QDialog>
#include <functional>
#include <string>

#include "view3d/imageexportoptions.h"

class QLabel;
class QRadioButton;
class QPushButton;

namespace zun {

class Prompt;

class ImageExportDialog : public QDialog {
    Q_OBJECT
public:
    // prompt: where the refusals of "Export" are shown (a message box when null).
    ImageExportDialog(QWidget* parent, std::string directory, Prompt* prompt = nullptr);

    const ImageExportOptions& Options() const { return presenter_.Options(); }
    ImageExportPresenter& Presenter() { return presenter_; }

    // The folder browser; tests replace it. Returns the chosen folder or "" when cancelled.
    std::function<std::string(QWidget* owner, const std::string& title, const std::string& start)>
        browseFolder;

    QLabel* FolderText() const { return folder_; }
    QPushButton* BrowseButton() const { return browse_; }
    QPushButton* ExportButton() const { return export_; }
    QRadioButton* TypeRadio(int colourMode) const { return types_[colourMode - 1]; }
    QRadioButton* FormatRadio(int format) const { return formats_[format - 1]; }
    QRadioButton* PlaneRadio(int plane) const { return planes_[plane]; }

    void accept() override;

private:
    void Refresh();
    void OnBrowse();

    ImageExportPresenter presenter_;
    Prompt* prompt_;
    QLabel* folder_ = nullptr;
    QPushButton* browse_ = nullptr;
    QPushButton* export_ = nullptr;
    QRadioButton* types_[3] = {};
    QRadioButton* formats_[2] = {};
    QRadioButton* planes_[3] = {};
};

}  // namespace zun
