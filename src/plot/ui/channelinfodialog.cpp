#include "plot/ui/channelinfodialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "document/zundoc.h"
#include "platform/prompt.h"

namespace zun {

ChannelInfoDialog::ChannelInfoDialog(CZunDoc& doc, int channel, QWidget* parent)
    : QDialog(parent), doc_(doc), model_(doc, channel) {
    setWindowTitle(QString::fromStdString(model_.title));
    setAttribute(Qt::WA_DeleteOnClose);
    text = new QPlainTextEdit(this);
    text->setReadOnly(true);
    text->setPlainText(QString::fromStdString(model_.DisplayText()));
    exportButton = new QPushButton(tr("Export..."), this);
    closeButton = new QPushButton(tr("Close"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(exportButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text, 1);
    layout->addLayout(buttons);
    resize(640, 300);
    setMinimumSize(sizeHint().boundedTo(QSize(640, 300)));
    connect(exportButton, &QPushButton::clicked, this, &ChannelInfoDialog::Export);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    doc_.propertyDialogOpen[CZunDoc::kChannelInformationDialog] = true;
}

ChannelInfoDialog::~ChannelInfoDialog() {
    doc_.propertyDialogOpen[CZunDoc::kChannelInformationDialog] = false;
}

void ChannelInfoDialog::RenameChannel(const std::string& oldName, const std::string& newName) {
    if (model_.RenameChannel(oldName, newName)) setWindowTitle(QString::fromStdString(model_.title));
}

void ChannelInfoDialog::Export() {
    const QString caption = QString::fromStdString(model_.ExportCaption());
    QString start = QString::fromStdString(model_.DefaultFileName());
    if (!doc_.textExportFolder.empty())
        start = QString::fromStdString(doc_.textExportFolder) + "/" + QFileInfo(start).fileName();
    std::string path;
    if (chooseFile) {
        path = chooseFile(caption, start);
    } else {
        QFileDialog dialog(this, caption, start, tr("Text files (*.txt)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            path = dialog.selectedFiles().front().toStdString();
    }
    if (path.empty()) return;
    doc_.textExportFolder = QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
    std::string error;
    if (!model_.Export(path, &error)) {
        if (Prompt* p = doc_.GetPromptSink())
            p->Tell(error, PromptIcon::Warning);
        else
            QMessageBox::warning(this, windowTitle(), QString::fromStdString(error));
    }
}

ChannelInfoDialog* ShowChannelInformation(CZunDoc& doc, int channel, QWidget* parent) {
    if (doc.propertyDialogOpen[CZunDoc::kChannelInformationDialog]) return nullptr;
    auto* dialog = new ChannelInfoDialog(doc, channel, parent);
    dialog->setWindowFlag(Qt::Window);
    dialog->show();
    return dialog;
}

}  // namespace zun
