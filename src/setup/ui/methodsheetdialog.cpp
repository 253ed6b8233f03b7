#include "setup/ui/methodsheetdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

#include "foundation/ui/dialoghelpers.h"
#include "platform/prompt.h"
#include "setup/setupmessages.h"

namespace zun {

MethodSheetDialog::MethodSheetDialog(MethodSheet& sheet, const std::string& documentTitle, Prompt& prompt,
                                     QWidget* parent)
    : QDialog(parent), sheet_(sheet), prompt_(prompt) {
    setWindowTitle(Q(sheet.Caption(documentTitle)));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    // The General page, the offsets, the self energies and the interaction tabs together may need
    // more height than a laptop's screen has: the interaction grid gives up rows first, and past
    // that they scroll as one page above the buttons.
    auto* body = new QWidget;
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(0, 0, 0, 0);
    general_ = new QWidget(body);
    general_->setObjectName("general");
    column->addWidget(general_);

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
    column->addWidget(tabsLabel_);
    column->addWidget(tabs_, 1);
    // Height the page has beyond what its controls ask for goes to the interaction grid when it
    // shows, else below the last control: never between the rows, which would spread them apart
    // when a section is hidden.
    general_->setSizePolicy(general_->sizePolicy().horizontalPolicy(), QSizePolicy::Maximum);
    column->addStretch(0);
    page_ = MakeScrollingPage(body, this);
    layout->addWidget(page_, 1);

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
    // Sized before it is placed, so it opens centred with its whole page where the screen has
    // room for it.
    ensurePolished();
    resize(FitClientSize(this, sizeHint()));
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
    const bool opening = opened_.isEmpty();
    if (opening) {
        // Shown, its controls have their style's sizes, which may differ a little from those it
        // was sized with; it takes them before it is placed. It never gets smaller than it
        // opened, which fits the screen.
        page_->updateGeometry();
        GrowWindowOnScreen(this, sizeHint());
        opened_ = size();
        setMinimumSize(opened_);
    }
    QDialog::showEvent(e);
    // The dialog's own placement centres the client area and leaves the window manager free to
    // put the window elsewhere: the sheet's frame goes over its window's, where a user expects it.
    if (opening) CenterWindowOver(this, parentWidget());
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
