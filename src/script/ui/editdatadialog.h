#pragma once
// The "Edit Data" window: a console over the channels of one document. Each entered line runs
// to completion against the document; its result or message is printed under it, and the
// document tells its views what may have changed.

#include <QDialog>
#include <string>

namespace zun {
class CZunDoc;
}

class QPushButton;

namespace zun::script {

class CmdLineEdit;

class EditDataDialog : public QDialog {
    Q_OBJECT
public:
    explicit EditDataDialog(CZunDoc& doc, QWidget* parent = nullptr);

    CmdLineEdit* Console() const { return console_; }
    // Runs one line against the document and prints what it printed.
    void OnCommand(const std::string& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    CZunDoc& doc_;
    CmdLineEdit* console_ = nullptr;
    QPushButton* close_ = nullptr;
    bool initialised_ = false;
};

// The document's "Edit Data..." command: the console, run modally.
void RunEditData(CZunDoc& doc, QWidget* parent);

}  // namespace zun::script
