#pragma once
// "Channel Properties": the name of a channel about to be inserted.

#include <optional>
#include <string>

#include <QDialog>

class QLineEdit;

namespace zun {

class Prompt;

class ChanPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    ChanPropertiesDialog(const std::string& caption, const std::string& name, Prompt& prompt,
                         QWidget* parent = nullptr);

    QLineEdit* NameEdit() const { return edit_; }
    std::string Name() const;

    void accept() override;

private:
    Prompt& prompt_;
    QLineEdit* edit_;
};

// Runs the dialog; the typed name, or nothing on Cancel.
std::optional<std::string> RunChanPropertiesDialog(const std::string& caption, const std::string& name,
                                                   Prompt& prompt, QWidget* parent);

}  // namespace zun
