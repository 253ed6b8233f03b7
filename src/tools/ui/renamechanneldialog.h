#pragma once
// "Rename Channel": the new name of a channel, checked by RenameChannelForm.

#include <QDialog>

#include "tools/channelname.h"

class QLineEdit;
class QPushButton;

namespace zun {

class Prompt;

class RenameChannelDialog : public QDialog {
    Q_OBJECT
public:
    RenameChannelDialog(const RenameChannelForm& form, Prompt& prompt, QWidget* parent = nullptr);

    QLineEdit* NameEdit() const { return edit_; }
    QPushButton* UseDefaultButton() const { return useDefault_; }
    // The accepted name (the old one when nothing changes).
    const std::string& NewName() const { return name_; }

    void accept() override;

private:
    const RenameChannelForm& form_;
    Prompt& prompt_;
    QLineEdit* edit_;
    QPushButton* useDefault_;
    std::string name_;
};

// Runs the dialog over the channel at that index; the new name, or nothing on Cancel.
std::optional<std::string> RunRenameChannelDialog(const CZunDoc& doc, int index, Prompt& prompt,
                                                  QWidget* parent);

}  // namespace zun
