#pragma once
// The modeless "Channel Information" window: a channel's information text, read-only, with
// "Export..." and "Close".

#include <QDialog>
#include <functional>

#include "plot/channelinfo.h"

class QPlainTextEdit;
class QPushButton;

namespace zun {

class CZunDoc;

class ChannelInfoDialog : public QDialog {
    Q_OBJECT
public:
    CZunDoc& Document() const { return doc_; }
    ChannelInfoDialog(CZunDoc& doc, int channel, QWidget* parent = nullptr);
    ~ChannelInfoDialog() override;

    ChannelInfoModel& Model() { return model_; }
    void RenameChannel(const std::string& oldName, const std::string& newName);

    // Chooses the export file (tests replace the system's dialog); empty when cancelled.
    std::function<std::string(const QString& caption, const QString& startPath)> chooseFile;

    QPlainTextEdit* text;
    QPushButton* exportButton;
    QPushButton* closeButton;

    void Export();

private:
    CZunDoc& doc_;
    ChannelInfoModel model_;
};

// Opens the window over the channel (at most one per document); null when one is open already.
ChannelInfoDialog* ShowChannelInformation(CZunDoc& doc, int channel, QWidget* parent);

}  // namespace zun
