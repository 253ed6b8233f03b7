#include "tools/ui/selectgpudialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "platform/prompt.h"

namespace zun {

SelectGpuDialog::SelectGpuDialog(DeviceSelection& selection, Prompt& prompt, QWidget* parent)
    : QDialog(parent), sel_(selection), prompt_(prompt) {
    setWindowTitle(QString::fromStdString(selection.caption));
    auto* layout = new QVBoxLayout(this);
    table_ = new QTableWidget(0, 2, this);
    table_->setHorizontalHeaderLabels({"Processor", "Threads"});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setShowGrid(true);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionsClickable(false);
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    // A click on the focused row's count starts editing it; elsewhere it selects the row.
    table_->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    layout->addWidget(table_);
    auto* buttons = new QDialogButtonBox(this);
    setDefault_ = buttons->addButton("Set Default", QDialogButtonBox::ResetRole);
    setDefault_->setAutoDefault(false);
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    buttons->addButton(QDialogButtonBox::Cancel);
    ok->setDefault(true);
    connect(setDefault_, &QPushButton::clicked, this, [this] {
        sel_.SetDefault();
        Fill();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(table_, &QTableWidget::cellChanged, this, &SelectGpuDialog::OnCellChanged);
    Fill();
    resize(380, 260);
}

void SelectGpuDialog::Fill() {
    filling_ = true;
    const auto& rows = sel_.Rows();
    table_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        auto* name = new QTableWidgetItem(QString::fromStdString(rows[static_cast<std::size_t>(r)].name));
        name->setFlags(name->flags() & ~Qt::ItemIsEditable);
        table_->setItem(r, 0, name);
        table_->setItem(r, 1,
                        new QTableWidgetItem(QString::number(rows[static_cast<std::size_t>(r)].threads)));
    }
    setDefault_->setEnabled(sel_.CanSetDefault());
    filling_ = false;
}

void SelectGpuDialog::OnCellChanged(int row, int column) {
    if (filling_ || column != 1) return;
    const std::string refusal =
        sel_.EditThreads(static_cast<std::size_t>(row), table_->item(row, 1)->text().toStdString());
    if (!refusal.empty()) prompt_.Tell(refusal, PromptIcon::Information);
    // The cell shows the count in force, refused or not.
    Fill();
}

void SelectGpuDialog::accept() {
    const std::string refusal = sel_.Ok();
    if (!refusal.empty()) {
        prompt_.Tell(refusal, PromptIcon::Warning);
        return;
    }
    QDialog::accept();
}

int RunSelectComputationDevices(CZunDoc& doc, Prompt& prompt, QWidget* parent) {
    return SelectComputationDevices(doc, [&](DeviceSelection& sel) {
        SelectGpuDialog dlg(sel, prompt, parent);
        return dlg.exec() == QDialog::Accepted;
    });
}

}  // namespace zun
