#include "plot/ui/attenmatrixdialog.h"
#include "foundation/ui/numberfield.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

namespace zun {

namespace {

// The type column is chosen from the two types only.
class TypeDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override {
        auto* combo = new QComboBox(parent);
        for (const std::string& t : AttenMatrixModel::TypeChoices())
            combo->addItem(QString::fromStdString(t));
        return combo;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* combo = static_cast<QComboBox*>(editor);
        const int at = combo->findText(index.data().toString());
        combo->setCurrentIndex(at >= 0 ? at : 0);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        model->setData(index, static_cast<QComboBox*>(editor)->currentText());
    }
};

QColor FromColourRef(std::uint32_t c) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}

}  // namespace

AttenMatrixDialog::AttenMatrixDialog(std::unique_ptr<AttenMatrixModel> model, QWidget* parent)
    : QDialog(parent), model_(std::move(model)) {
    setWindowTitle(QString::fromStdString(model_->caption));
    setSizeGripEnabled(true);
    table = new QTableWidget(this);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::DoubleClicked |
                           QAbstractItemView::EditKeyPressed);
    table->verticalHeader()->setVisible(false);
    table->setShowGrid(true);
    table->setItemDelegateForColumn(1, new TypeDelegate(table));
    condition = RealField(new QLineEdit(this));
    condition->setReadOnly(true);
    closeButton = new QPushButton(tr("Close"), this);

    auto* labels = new QHBoxLayout;
    labels->addWidget(new QLabel(tr("Beam Energies"), this));
    labels->addSpacing(40);
    labels->addWidget(new QLabel(tr("Coefficients Matrix"), this));
    labels->addStretch(1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(tr("Matrix Condition Number:"), this));
    bottom->addWidget(condition, 1);
    bottom->addSpacing(20);
    bottom->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(labels);
    layout->addWidget(table, 1);
    layout->addLayout(bottom);

    model_->Initialize();
    ShowCells();
    connect(table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (filling_) return;
        // The items are rebuilt after the edit: not while the edited one is still setting its data.
        const int row = item->row(), column = item->column();
        const QString text = item->text();
        QMetaObject::invokeMethod(
            this,
            [this, row, column, text] {
                if (column == 0)
                    CommitEnergy(row, text);
                else if (column == 1)
                    CommitType(row, text);
            },
            Qt::QueuedConnection);
    });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    resize(std::max(420, table->horizontalHeader()->length() + 40), 300);
    setMinimumSize(size());
}

AttenMatrixDialog::~AttenMatrixDialog() {
    HandBack();
}

void AttenMatrixDialog::HandBack() {
    if (handedBack_) return;
    handedBack_ = true;
    if (onClosed) onClosed(model_->Rows());
}

void AttenMatrixDialog::ShowCells() {
    filling_ = true;
    const std::vector<std::string> headers = model_->ColumnHeaders();
    table->setColumnCount(static_cast<int>(headers.size()));
    QStringList h;
    for (const std::string& s : headers) h << QString::fromStdString(s);
    table->setHorizontalHeaderLabels(h);
    table->setRowCount(model_->RowCount());
    for (int r = 0; r < model_->RowCount(); ++r)
        for (int c = 0; c < static_cast<int>(headers.size()); ++c) {
            auto* item = new QTableWidgetItem(QString::fromStdString(model_->CellText(r, c)));
            Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
            if (AttenMatrixModel::IsCellEditable(r, c)) flags |= Qt::ItemIsEditable;
            item->setFlags(flags);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (const std::uint32_t bg = AttenMatrixModel::CellBackground(r, c)) {
                item->setBackground(FromColourRef(bg));
                item->setForeground(Qt::black);
            }
            table->setItem(r, c, item);
        }
    table->resizeColumnsToContents();
    condition->setText(QString::fromStdString(model_->ConditionText()));
    filling_ = false;
}

void AttenMatrixDialog::CommitEnergy(int row, const QString& text) {
    model_->EditEnergy(row, text.toStdString());
    ShowCells();
}

void AttenMatrixDialog::CommitType(int row, const QString& type) {
    model_->EditType(row, type.toStdString());
    ShowCells();
}

void AttenMatrixDialog::closeEvent(QCloseEvent* e) {
    e->accept();
    HandBack();
    deleteLater();
}

void AttenMatrixDialog::reject() {
    close();
}

}  // namespace zun
