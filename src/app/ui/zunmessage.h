#pragma once
// The program's resizable message box for messages with a long, line-oriented report: a caption,
// the report (one selectable, copyable row per line), an icon with a short text, and one to three
// buttons chosen by a message-box type code.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

namespace zun {

class ZunMessage : public QDialog {
    Q_OBJECT
public:
    ZunMessage(const std::string& caption, const std::string& text, const std::string& report, int type,
               QWidget* parent = nullptr);

    QPushButton* Button(int id) const;
    QListWidget* List() const { return list_; }
    QPushButton* DefaultButton() const { return default_; }
    // The selected rows' texts joined by line feeds.
    QString SelectedText() const;
    // Puts the selected rows on the clipboard.
    void CopySelection();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QListWidget* list_;
    QLabel* icon_;
    QLabel* text_;
    std::map<int, QPushButton*> buttons_;
    QPushButton* default_ = nullptr;
    bool sized_ = false;
};

// Shows the message dialog modally; returns the id of the button pressed (the Cancel id, or the
// only button's, when the window is closed). When `stillApplies` is given and turns false while
// the dialog is open, the dialog closes as if the window's close had been pressed.
int ZunMessageBox(const std::string& text, const std::string& report, const std::string& caption, int type,
                  QWidget* parent = nullptr, const std::function<bool()>& stillApplies = {});

}  // namespace zun
