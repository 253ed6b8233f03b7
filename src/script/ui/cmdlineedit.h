#pragma once
// The console edit of the "Edit Data" window: output scrolls above, the last line is the prompt
// and the line being typed. All editing goes through CmdLineModel; the widget only redraws the
// last line from it, so clicks elsewhere or stray edit commands cannot change what is entered.

#include <QPlainTextEdit>
#include <functional>

#include "script/cmdline.h"

namespace zun::script {

class CmdLineEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CmdLineEdit(QWidget* parent = nullptr);

    // Receives every entered line (trimmed, never blank).
    void SetListener(std::function<void(const std::string&)> listener) { listener_ = std::move(listener); }
    const CmdLineModel& Model() const { return model_; }

    // A new line with the prompt.
    void Reset();
    // Appends text at the end of the output, whatever the caret and selection.
    void Print(const QString& text);
    void PasteText(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    int LineStart() const;  // where the typed line starts: after the prompt on the last line
    void PlaceCaret();
    void Redraw();
    bool Character(const QString& text);

    CmdLineModel model_;
    std::function<void(const std::string&)> listener_;
};

}  // namespace zun::script
