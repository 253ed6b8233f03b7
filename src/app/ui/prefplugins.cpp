// The "Plugins" and "Cluster" pages of the preference sheet.
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/prefsheet.h"

namespace zun {

PluginPrefs::PluginPrefs(PrefsSheetModel& sheet, FolderBrowser browse, QWidget* parent)
    : PrefsPage("Plugins", sheet, parent), model_(sheet), browse_(std::move(browse)) {
    auto* layout = new QVBoxLayout(this);
    enabled_ = new QCheckBox("Enable Plugins for Computation");
    enabled_->setObjectName("pluginsEnabled");
    layout->addWidget(enabled_);
    auto* group = new QGroupBox("Plugin Dll Search Locations");
    auto* g = new QHBoxLayout(group);
    list_ = new QListWidget;
    list_->setObjectName("folderList");
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setMinimumWidth(260);
    g->addWidget(list_, 1);
    auto* buttons = new QVBoxLayout;
    add_ = new QPushButton("Add...");
    add_->setObjectName("add");
    remove_ = new QPushButton("Remove Selected...");
    remove_->setObjectName("remove");
    restore_ = new QPushButton("Restore");
    restore_->setObjectName("restore");
    defaults_ = new QPushButton("Include Defaults");
    defaults_->setObjectName("includeDefaults");
    for (QPushButton* b : {add_, remove_, restore_, defaults_}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch();
    g->addLayout(buttons);
    layout->addWidget(group, 1);

    connect(enabled_, &QCheckBox::clicked, this, [this](bool on) { model_.SetEnabled(on); });
    connect(add_, &QPushButton::clicked, this, [this] {
        if (model_.AddFolder(browse_(this))) Refresh();
    });
    connect(remove_, &QPushButton::clicked, this, [this] {
        std::vector<int> rows;
        for (QListWidgetItem* item : list_->selectedItems()) rows.push_back(list_->row(item));
        if (rows.empty()) return;
        model_.RemoveRows(rows);
        Refresh();
    });
    connect(restore_, &QPushButton::clicked, this, [this] {
        model_.Restore();
        Refresh();
    });
    connect(defaults_, &QPushButton::clicked, this, [this] {
        model_.IncludeDefaults();
        Refresh();
    });
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
}

void PluginPrefs::Refresh() {
    enabled_->setChecked(model_.Enabled());
    list_->clear();
    for (const std::string& f : model_.Folders()) list_->addItem(QString::fromStdString(f));
    UpdateButtons();
}

void PluginPrefs::UpdateButtons() {
    remove_->setEnabled(!list_->selectedItems().isEmpty());
    restore_->setEnabled(model_.CanRestore());
    defaults_->setEnabled(model_.CanIncludeDefaults());
}

// ---------------------------------------------------------------------------------------------

ClusterPrefs::ClusterPrefs(PrefsSheetModel& sheet, QWidget* parent)
    : PrefsPage("Cluster", sheet, parent), model_(sheet) {
    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* search = new QPushButton("Search clusters");
    search->setObjectName("searchClusters");
    search->setAutoDefault(false);
    left->addWidget(search);
    found_ = new QListWidget;
    found_->setObjectName("foundClusters");
    found_->setMaximumWidth(180);
    left->addWidget(found_, 1);
    layout->addLayout(left);

    auto* right = new QGroupBox("Cluster");
    auto* grid = new QGridLayout(right);
    auto field = [&](int row, const char* label, const char* name) {
        grid->addWidget(new QLabel(label), row, 0);
        auto* e = new QLineEdit;
        e->setObjectName(name);
        e->setMinimumWidth(200);
        grid->addWidget(e, row, 1, 1, 4);
        return e;
    };
    name_ = field(0, "Name", "name");
    name_->setReadOnly(true);
    dns_ = field(1, "File DNS", "fileDns");
    ip_ = field(2, "File IPAdd", "fileIp");
    bin_ = field(3, "BinDir", "binDir");
    for (QLineEdit* e : {dns_, ip_, bin_}) e->installEventFilter(this);
    asDefault_ = new QCheckBox("Set as default");
    asDefault_->setObjectName("setAsDefault");
    grid->addWidget(asDefault_, 4, 1, 1, 2);
    position_ = new QLabel;
    position_->setObjectName("position");
    grid->addWidget(position_, 4, 3, 1, 2, Qt::AlignRight);
    prev_ = new QPushButton("Prev");
    next_ = new QPushButton("Next");
    del_ = new QPushButton("Del");
    delAll_ = new QPushButton("Del All");
    save_ = new QPushButton("Save");
    int col = 0;
    for (auto [b, name] : {std::pair{prev_, "prev"}, std::pair{next_, "next"}, std::pair{del_, "del"},
                           std::pair{delAll_, "delAll"}, std::pair{save_, "save"}}) {
        b->setObjectName(name);
        b->setAutoDefault(false);
        grid->addWidget(b, 5, col++);
    }
    grid->setRowStretch(6, 1);
    layout->addWidget(right, 1);

    connect(search, &QPushButton::clicked, this, [this] { model_.SearchClusters(); });
    connect(found_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        model_.SelectOrAdd(item ? item->text().toStdString() : std::string());
        Refresh();
    });
    connect(prev_, &QPushButton::clicked, this, [this] {
        model_.Prev();
        Refresh();
    });
    connect(next_, &QPushButton::clicked, this, [this] {
        model_.Next();
        Refresh();
    });
    connect(del_, &QPushButton::clicked, this, [this] {
        model_.Delete();
        Refresh();
    });
    connect(delAll_, &QPushButton::clicked, this, [this] {
        model_.DeleteAll();
        Refresh();
    });
    connect(save_, &QPushButton::clicked, this, [this] {
        model_.Save(dns_->text().toStdString(), ip_->text().toStdString(), bin_->text().toStdString(),
                    asDefault_->isChecked());
        Refresh();
    });
    connect(asDefault_, &QCheckBox::clicked, this, [this](bool on) { model_.SetAsDefault(on); });
}

void ClusterPrefs::Refresh() {
    const ClusterInfo* r = model_.Record();
    name_->setText(r ? QString::fromStdString(r->name) : QString());
    dns_->setText(r ? QString::fromStdString(r->dnsName) : QString());
    ip_->setText(r ? QString::fromStdString(r->ipAddress) : QString());
    bin_->setText(r ? QString::fromStdString(r->binFolder) : QString());
    asDefault_->setChecked(r && model_.PendingDefault() == model_.Current());
    position_->setText(model_.Count() == 0
                           ? QString("No cluster")
                           : QString("%1 of %2").arg(model_.Current() + 1).arg(model_.Count()));
    prev_->setEnabled(model_.Current() > 0);
    next_->setEnabled(model_.Current() < model_.Count() - 1);
    for (QWidget* w : std::initializer_list<QWidget*>{del_, delAll_, save_, asDefault_})
        w->setEnabled(model_.Count() > 0);
}

// Enter in the three record fields stays in the page.
bool ClusterPrefs::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == dns_ || watched == ip_ || watched == bin_) &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            event->accept();
            return true;
        }
    }
    return PrefsPage::eventFilter(watched, event);
}

}  // namespace zun
