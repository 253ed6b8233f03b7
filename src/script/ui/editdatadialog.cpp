#include "script/ui/editdatadialog.h"

#include <QApplication>
#include <QFont>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "document/zundoc.h"
#include "script/docscript.h"
#include "script/messages.h"
#include "script/ui/cmdlineedit.h"

namespace zun::script {

EditDataDialog::EditDataDialog(CZunDoc& doc, QWidget* parent) : QDialog(parent), doc_(doc) {
    setWindowTitle("Edit Data");
    setSizeGripEnabled(true);
    console_ = new CmdLineEdit(this);
    QFont font("Courier New", 10);
    font.setStyleHint(QFont::Monospace);
    console_->setFont(font);
    close_ = new QPushButton("Close", this);
    close_->setAutoDefault(false);  // Enter belongs to the console
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(console_, 1);
    layout->addLayout(buttons);

    // The first line stays empty and the prompt stands on the second, as after every entry.
    console_->Reset();
    console_->SetListener([this](const std::string& line) { OnCommand(line); });
    resize(717, 509);
}

void EditDataDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (initialised_) return;
    // The window may grow but never shrink below the size it opened with.
    setMinimumSize(size());
    if (parentWidget()) move(parentWidget()->window()->geometry().center() - rect().center());
    console_->setFocus();
    initialised_ = true;
}

void EditDataDialog::OnCommand(const std::string& text) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::string out;
    size_t syntaxErrorAt = kNoSyntaxError;
    // Nothing may leave an event handler: the language catches its own failures, this is the
    // last guard that keeps the window and the document alive.
    try {
        out = ExecuteDocumentLine(doc_, text, {}, &syntaxErrorAt);
    } catch (const std::bad_alloc&) {
        out = std::string("\n") + msg::kOutOfMemory;
    } catch (const std::exception& e) {
        out = std::string("\n") + e.what();
    }
    QApplication::restoreOverrideCursor();
    // The caret stands right under the echoed line, above the messages.
    if (syntaxErrorAt != kNoSyntaxError) out = "\n" + console_->Model().CaretLine(syntaxErrorAt) + out;
    console_->Print(QString::fromStdString(out));
}

void RunEditData(CZunDoc& doc, QWidget* parent) {
    EditDataDialog dialog(doc, parent);
    dialog.exec();
}

}  // namespace zun::script
