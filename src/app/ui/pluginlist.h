#pragma once
// The plug-in list of the computation set-up (one row per plug-in with its switch, "About..." and
// "Set Parameters..."), a plug-in's About box and its parameter editor.

#include <functional>
#include <string>
#include <vector>

#include <QDialog>
#include <QWidget>

#include "app/pluginlist.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace zun {

class PluginAbout : public QDialog {
    Q_OBJECT
public:
    explicit PluginAbout(const PluginRunEntry& entry, QWidget* parent = nullptr);
    QPlainTextEdit* Description() const { return description_; }
    QLineEdit* PathField() const { return path_; }

private:
    QPlainTextEdit* description_;
    QLineEdit* path_;
};

// Edits one plug-in's parameter string.
class PluginParams : public QDialog {
    Q_OBJECT
public:
    PluginParams(const PluginRunEntry& entry, QWidget* parent = nullptr);
    std::string Parameters() const;
    QLineEdit* Edit() const { return edit_; }

private:
    QLineEdit* edit_;
};

class PluginListWidget : public QWidget {
    Q_OBJECT
public:
    // Runs a dialog modally; tests answer it without a window.
    using DialogRunner = std::function<int(QDialog&)>;
    PluginListWidget(std::vector<PluginRunEntry>& entries, bool job, QWidget* parent = nullptr,
                     DialogRunner run = {});
    PluginListModel& Model() { return model_; }
    QCheckBox* JobBox() const { return job_; }
    QCheckBox* RowBox(int row) const { return rows_[static_cast<std::size_t>(row)].box; }
    QPushButton* AboutButton(int row) const { return rows_[static_cast<std::size_t>(row)].about; }
    QPushButton* ParamsButton(int row) const { return rows_[static_cast<std::size_t>(row)].params; }
    void Refresh();

private:
    struct Row {
        QCheckBox* box;
        QPushButton* about;
        QPushButton* params;
    };
    PluginListModel model_;
    DialogRunner run_;
    QCheckBox* job_;
    std::vector<Row> rows_;
};

}  // namespace zun
