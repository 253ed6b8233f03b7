#include "app/ui/pluginlist.h"

#include <QCheckBox>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimeZone>
#include <QVBoxLayout>

#include "foundation/ui/wheelguard.h"

namespace zun {

namespace {
QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
}  // namespace

PluginAbout::PluginAbout(const PluginRunEntry& entry, QWidget* parent) : QDialog(parent) {
    setWindowTitle(Q(PluginAboutCaption(entry)));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    description_ = new QPlainTextEdit(Q(entry.description));
    description_->setReadOnly(true);
    description_->setObjectName("description");
    layout->addWidget(description_, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Path:"));
    const QDateTime when =
        QDateTime::fromMSecsSinceEpoch(entry.fileTime / 1000000, QTimeZone::systemTimeZone());
    const QLocale locale;
    path_ = new QLineEdit(
        Q(PluginAboutPath(entry, locale.toString(when.date(), QLocale::ShortFormat).toStdString(),
                          locale.toString(when.time(), QLocale::ShortFormat).toStdString())));
    path_->setReadOnly(true);
    path_->setObjectName("path");
    path_->setCursorPosition(0);
    row->addWidget(path_, 1);
    layout->addLayout(row);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* close = new QPushButton("Close");
    close->setDefault(true);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    resize(540, 300);
}

PluginParams::PluginParams(const PluginRunEntry& entry, QWidget* parent) : QDialog(parent) {
    setWindowTitle(Q("Parameters of " + entry.name));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Parameters:"));
    edit_ = new QLineEdit(Q(entry.parameters));
    edit_->setObjectName("parameters");
    edit_->setMinimumWidth(360);
    layout->addWidget(edit_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new QPushButton("OK");
    auto* cancel = new QPushButton("Cancel");
    ok->setDefault(true);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::string PluginParams::Parameters() const {
    return edit_->text().toStdString();
}

PluginListWidget::PluginListWidget(std::vector<PluginRunEntry>& entries, bool job, QWidget* parent,
                                   DialogRunner run)
    : QWidget(parent), model_(entries, job), run_(std::move(run)) {
    if (!run_) run_ = [](QDialog& d) { return d.exec(); };
    auto* layout = new QVBoxLayout(this);
    job_ = new QCheckBox(Q(model_.Title()));
    job_->setObjectName("pluginJob");
    layout->addWidget(job_);
    // The rows scroll: sixteen plug-ins would otherwise make the Setup Computation dialog taller
    // than a laptop's screen.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("pluginRows");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* rows = new QWidget(scroll);
    auto* column = new QVBoxLayout(rows);
    column->setContentsMargins(0, 0, 0, 0);
    auto* grid = new QGridLayout;
    grid->setVerticalSpacing(2);
    grid->setColumnStretch(0, 1);
    for (int i = 0; i < model_.Shown(); ++i) {
        Row r{new QCheckBox(Q(model_.RowLabel(i))), new QPushButton("About..."),
              new QPushButton("Set Parameters...")};
        r.about->setAutoDefault(false);
        r.params->setAutoDefault(false);
        grid->addWidget(r.box, i, 0);
        grid->addWidget(r.about, i, 1);
        grid->addWidget(r.params, i, 2);
        connect(r.box, &QCheckBox::clicked, this, [this, i](bool on) {
            model_.SetSelected(i, on);
            Refresh();
        });
        connect(r.about, &QPushButton::clicked, this, [this, i] {
            PluginAbout about(model_.Entry(i), this);
            run_(about);
        });
        connect(r.params, &QPushButton::clicked, this, [this, i] {
            PluginParams params(model_.Entry(i), this);
            if (run_(params) == QDialog::Accepted) model_.SetParameters(i, params.Parameters());
        });
        rows_.push_back(r);
    }
    column->addLayout(grid);
    column->addStretch();
    scroll->setWidget(rows);
    ScrollAreaTakesWheel(scroll);
    scroll->setMinimumWidth(rows->minimumSizeHint().width() +
                            scroll->verticalScrollBar()->sizeHint().width());
    layout->addWidget(scroll, 1);
    connect(job_, &QCheckBox::clicked, this, [this](bool on) {
        model_.SetJob(on);
        Refresh();
    });
    Refresh();
}

void PluginListWidget::Refresh() {
    job_->setChecked(model_.Job());
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
        const Row& r = rows_[static_cast<std::size_t>(i)];
        r.box->setChecked(model_.Selected(i));
        r.box->setEnabled(model_.RowEnabled(i));
        r.about->setEnabled(model_.RowButtonsEnabled(i));
        r.params->setEnabled(model_.RowButtonsEnabled(i));
    }
}

}  // namespace zun
