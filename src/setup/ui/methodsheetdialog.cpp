#include "setup/ui/methodsheetdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "platform/prompt.h"
#include "setup/setupmessages.h"

namespace zun {

MethodSheetDialog::MethodSheetDialog(MethodSheet& sheet, const std::string& documentTitle, Prompt& prompt,
                                     QWidget* parent)
    : QDialog(parent), sheet_(sheet), prompt_(prompt) {
    setWindowTitle(Q(sheet.Caption(documentTitle)));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    general_ = new QWidget(this);
    general_->setObjectName("general");
    layout->addWidget(general_);

    tabs_ = new QTabWidget(this);
    for (int i = 0; i < sheet.ShellCount(); ++i) {
        ListGridWidget* g = MakeSheetGrid(this);
        g->hide();  // until its tab shows it
        std::vector<std::string> names = sheet.CompositionNames();
        FillSheetGrid(
            *g, names, names, [&sheet, i](int r, int c) { return sheet.Shell(i).Text(r, c); },
            [](int r, int c) { return ShellGrid::ReadOnly(r, c); });
        FitGridHeight(*g, false);
        FitGridWidth(*g);
        connect(g, &ListGridWidget::cellEdited, this,
                [this, i](int r, int c, const QString& text) { ShellEdited(i, r, c, text); });
        grids_.push_back(g);
    }

    if (sheet.Kind() == SheetKind::Linear)
        BuildLinear(general_);
    else if (sheet.Kind() == SheetKind::Nonlinear)
        BuildNonlinear(general_);
    else
        BuildSegmentation(general_);
    layout->addWidget(tabsLabel_);
    layout->addWidget(tabs_, 1);

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    apply_ = buttons->button(QDialogButtonBox::Apply);
    apply_->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &MethodSheetDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });
    layout->addWidget(buttons);

    UpdatePages();
    tabs_->setCurrentIndex(0);
    UpdateGeneral();
}

QLineEdit* MethodSheetDialog::Edit(const char* label) const {
    for (const auto& [name, w] : controls_)
        if (name == label)
            if (auto* e = qobject_cast<QLineEdit*>(w)) return e;
    return nullptr;
}

QCheckBox* MethodSheetDialog::Check(const char* label) const {
    for (const auto& [name, w] : controls_)
        if (name == label)
            if (auto* e = qobject_cast<QCheckBox*>(w)) return e;
    return nullptr;
}

ListGridWidget* MethodSheetDialog::Grid(const char* label) const {
    for (const auto& [name, w] : controls_)
        if (name == label)
            if (auto* e = qobject_cast<ListGridWidget*>(w)) return e;
    return nullptr;
}

void MethodSheetDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (opened_.isEmpty()) {
        resize(size().expandedTo(minimumSizeHint()));
        opened_ = size();
        setMinimumSize(opened_);  // never smaller than it opened
    }
}

void MethodSheetDialog::RangeChosen(int sel) {
    sheet_.SetRangeSelection(sel);
    UpdatePages();
    UpdateGeneral();
    Modified();
}

// The tabs follow the pages present; the active page stays where it was, or the last one.
void MethodSheetDialog::UpdatePages() {
    const int active = tabs_->currentIndex();
    const int want = sheet_.PagesPresent();
    while (tabs_->count() > want) tabs_->removeTab(tabs_->count() - 1);
    for (int i = tabs_->count(); i < want; ++i) {
        tabs_->addTab(grids_[static_cast<std::size_t>(i)], Q(sheet_.ShellTitle(i)));
        tabs_->setCurrentIndex(i);
    }
    if (active >= 0) tabs_->setCurrentIndex(active < want ? active : want - 1);
    tabs_->setVisible(sheet_.TabsVisible());
}

void MethodSheetDialog::ShellEdited(int shell, int row, int col, const QString& text) {
    ListGridWidget* g = grids_[static_cast<std::size_t>(shell)];
    if (!sheet_.Shell(shell).Edit(row, col, S(text))) {
        Refuse(g);
        return;
    }
    GridSetCellText(*g, row, col, S(text), false);
    GridSetCellText(*g, col, row, S(text), false);
    Modified();
}

void MethodSheetDialog::Refuse(QWidget* page) {
    const int i = tabs_->indexOf(page);
    if (i >= 0) tabs_->setCurrentIndex(i);
    prompt_.Tell(setupmsg::kInvalidNumericEntry, PromptIcon::Warning);
}

void MethodSheetDialog::Modified() {
    apply_->setEnabled(true);
}

bool MethodSheetDialog::Apply() {
    if (sheet_.ApplyOrRevert() == 1) {
        apply_->setEnabled(false);
        return true;
    }
    prompt_.Tell(sheet_.Message(), PromptIcon::Warning);
    return false;
}

void MethodSheetDialog::accept() {
    if (Apply()) QDialog::accept();
}

}  // namespace zun
