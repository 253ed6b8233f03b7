#include "foundation/ui/listcontrols.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QVBoxLayout>
#include <filesystem>

#include "foundation/ui/colorstatic.h"
#include "foundation/ui/inplaceedit.h"
#include "uitest.h"

namespace zun {
namespace {

QApplication& App() {
    return test::UiApp();
}

std::string Screen(QWidget* w, const std::string& name) {
    const char* env = std::getenv("ZUN_SCREENS_DIR");
    const std::filesystem::path dir = env && *env ? env : "screens";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / (name + ".png")).string();
    QCoreApplication::processEvents();
    return w->grab().save(QString::fromStdString(path)) ? path : std::string();
}

// A dialog with a default button around a two-column table, shown and active.
struct TableDialog {
    struct AppFirst {
        AppFirst() { App(); }
    } appFirst;
    QDialog dialog;
    QTableWidget* table;
    QPushButton* ok;
    int okClicks = 0;
    explicit TableDialog(QTableWidget* t = nullptr) {
        App();
        auto* layout = new QVBoxLayout(&dialog);
        table = t ? t : new QTableWidget(3, 2);
        table->setParent(&dialog);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        layout->addWidget(table);
        ok = new QPushButton("OK", &dialog);
        ok->setDefault(true);
        layout->addWidget(ok);
        QObject::connect(ok, &QPushButton::clicked, [this] { ++okClicks; });
        QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        dialog.resize(320, 200);
        dialog.show();
        dialog.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
};

struct EditResult {
    int count = 0;
    int row = -1, column = -1;
    bool cancelled = false;
    QString text;
    void Connect(InPlaceEdit* e) {
        QObject::connect(e, &InPlaceEdit::editEnded, [this](int r, int c, bool x, const QString& t) {
            ++count;
            row = r;
            column = c;
            cancelled = x;
            text = t;
        });
    }
};

TEST(InPlaceEdit, EnterCommitsWithoutPressingTheDefaultButton) {
    TableDialog d;
    TableRowList rows(d.table);
    ListFillRows({{"10", "0.5"}, {"20", "0.7"}}, rows);
    InPlaceEdit* e = ListEditCell(1, 1, d.table);
    ASSERT_NE(e, nullptr);
    EditResult r;
    r.Connect(e);
    QPointer<InPlaceEdit> alive(e);
    EXPECT_TRUE(e->hasFocus());
    EXPECT_EQ(e->selectedText(), "0.7");  // the whole text selected: typing replaces it
    QTest::keyClicks(e, "0.9");
    QTest::keyClick(e, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(r.count, 1);
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(r.row, 1);
    EXPECT_EQ(r.column, 1);
    EXPECT_EQ(r.text, "0.9");
    EXPECT_EQ(d.okClicks, 0);
    EXPECT_TRUE(d.dialog.isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());  // the editor is gone after its report
}

TEST(InPlaceEdit, EscapeCancelsAndKeepsTheDialogOpen) {
    TableDialog d;
    TableRowList rows(d.table);
    ListFillRows({{"water", "1"}}, rows);
    InPlaceEdit* e = ListEditCell(0, 0, d.table);
    ASSERT_NE(e, nullptr);
    EditResult r;
    r.Connect(e);
    QTest::keyClicks(e, "oil");
    QTest::keyClick(e, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(r.count, 1);
    EXPECT_TRUE(r.cancelled);
    EXPECT_TRUE(r.text.isEmpty());
    EXPECT_TRUE(d.dialog.isVisible());
    EXPECT_EQ(d.table->item(0, 0)->text(), "water");
    // Beyond the table nothing opens.
    EXPECT_EQ(ListEditCell(5, 0, d.table), nullptr);
    EXPECT_EQ(ListEditCell(0, 2, d.table), nullptr);
}

TEST(InPlaceEdit, KeysStayInTheEditorAndItWidensToTheViewEdge) {
    TableDialog d;
    TableRowList rows(d.table);
    ListFillRows({{"abc", ""}}, rows);
    d.table->setColumnWidth(0, 40);
    InPlaceEdit* e = ListEditCell(0, 0, d.table);
    ASSERT_NE(e, nullptr);
    EditResult r;
    r.Connect(e);
    QTest::keyClick(e, Qt::Key_End);
    QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);  // select all
    QTest::keyClick(e, Qt::Key_Delete);
    EXPECT_EQ(e->text(), "");
    const int before = e->width();
    QTest::keyClicks(e, "a much longer text than the column");
    EXPECT_GT(e->width(), before);
    QTest::keyClicks(e, QString(200, 'x'));
    EXPECT_LE(e->geometry().right(), d.table->viewport()->width());
    EXPECT_EQ(r.count, 0);
    d.table->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(r.count, 1);  // leaving the cell commits
    EXPECT_FALSE(r.cancelled);
}

TEST(InPlaceCombo, ReportsOnlyASelectionAndEscapeCarriesItsData) {
    TableDialog d;
    auto* combo = new InPlaceCombo(0, 1, {"Raw", "Normalised"}, d.table,
                                   d.table->visualRect(d.table->model()->index(0, 1)));
    combo->setItemData(1, 42);
    int reports = 0;
    QObject::connect(combo, &InPlaceCombo::editEnded,
                     [&](int, int, bool, const QString&, const QVariant&) { ++reports; });
    d.table->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(reports, 0);  // nothing chosen: no report

    auto* second = new InPlaceCombo(1, 1, {"Raw", "Normalised"}, d.table,
                                    d.table->visualRect(d.table->model()->index(1, 1)));
    second->setItemData(1, 42);
    second->setCurrentIndex(1);
    bool cancelled = false;
    QVariant data;
    QString text = "x";
    QObject::connect(second, &InPlaceCombo::editEnded,
                     [&](int, int, bool c, const QString& t, const QVariant& v) {
                         cancelled = c;
                         text = t;
                         data = v;
                         ++reports;
                     });
    QTest::keyClick(second, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(reports, 1);
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(data.toInt(), 42);
    EXPECT_TRUE(d.dialog.isVisible());
}

TEST(ListGridWidget, SecondClickEditsAndAnotherCellCommitsTheFirst) {
    auto* grid = new ListGridWidget;
    TableDialog d(grid);
    GridSetColumnCount(*grid, 2);
    GridInsertRows(*grid, 2, 0);
    GridSetColumnHeader(*grid, 0, "Energy (keV)", true);
    GridSetRowLabel(*grid, 0, "Fe", true);
    GridSetCellFlag(*grid, 1, 1, true);
    QSignalSpy edits(grid, &ListGridWidget::cellEdited);

    const QPoint cell = grid->visualRect(grid->model()->index(0, 1)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);
    EXPECT_EQ(grid->viewport()->findChild<InPlaceEdit*>(), nullptr);  // first click selects
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);
    InPlaceEdit* first = grid->viewport()->findChild<InPlaceEdit*>();
    ASSERT_NE(first, nullptr);
    QTest::keyClicks(first, "30");
    InPlaceEdit* second = grid->GridBeginEdit(0, 2);
    ASSERT_NE(second, nullptr);
    QCoreApplication::processEvents();
    ASSERT_EQ(edits.count(), 1);  // the first cell was committed when the second opened
    EXPECT_EQ(edits[0][0].toInt(), 0);
    EXPECT_EQ(edits[0][1].toInt(), 0);
    EXPECT_EQ(edits[0][2].toString(), "30");
    QTest::keyClick(second, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(edits.count(), 1);

    // A read-only cell never opens an editor, whatever the clicks.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const QPoint ro = grid->visualRect(grid->model()->index(1, 2)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, ro);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, ro);
    EXPECT_EQ(grid->viewport()->findChild<InPlaceEdit*>(), nullptr);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, ro);
    EXPECT_EQ(grid->viewport()->findChild<InPlaceEdit*>(), nullptr);

    // A double click on an editable cell of another row edits it at once.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);  // the focus on row 0
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (InPlaceEdit* e : grid->viewport()->findChildren<InPlaceEdit*>()) QTest::keyClick(e, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const QPoint other = grid->visualRect(grid->model()->index(1, 1)).center();
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, other);
    InPlaceEdit* third = grid->viewport()->findChild<InPlaceEdit*>();
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(grid->currentRow(), 1);
}

TEST(CheckListCtrl, HeaderBoxesToggleAndFollowTheRows) {
    App();
    CheckListCtrl list;
    list.setColumnCount(4);
    list.setHorizontalHeaderLabels({"Device", "Use", "Fast", "Log"});
    list.setRowCount(3);
    for (int r = 0; r < 3; ++r) {
        auto* item = new QTableWidgetItem(QString("GPU %1").arg(r));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        list.setItem(r, 0, item);
    }
    EXPECT_TRUE(list.InitHeaderCheckBox());
    EXPECT_TRUE(list.InitHeaderCheckBox());
    std::vector<std::pair<int, bool>> calls;
    list.CheckHeader()->callback = [&](int column, bool checked) { calls.emplace_back(column, checked); };
    list.resize(360, 140);
    list.show();
    QCoreApplication::processEvents();
    CheckHeadCtrl* h = list.CheckHeader();
    EXPECT_EQ(h->ImageOf(0), CheckHeadCtrl::kNoImage);
    EXPECT_EQ(h->ImageOf(3), CheckHeadCtrl::kUnchecked);
    const int x3 = h->sectionViewportPosition(3) + 5;
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(x3, h->height() / 2));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], std::make_pair(2, true));
    EXPECT_EQ(h->ImageOf(3), CheckHeadCtrl::kChecked);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                      QPoint(h->sectionViewportPosition(0) + 5, h->height() / 2));
    EXPECT_EQ(calls.size(), 1u);  // the first column has no box
    h->SetImage(1, CheckHeadCtrl::kChecked);
    list.item(1, 0)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(h->ImageOf(0), CheckHeadCtrl::kUnchecked);
    list.item(1, 0)->setCheckState(Qt::Checked);
    EXPECT_EQ(h->ImageOf(0), CheckHeadCtrl::kChecked);
    EXPECT_FALSE(Screen(&list, "check-list").empty());
}

TEST(ColorStatic, SystemColourMeansTheButtonFace) {
    App();
    ColorStatic s;
    s.SetBkColour(0x0000FF);
    EXPECT_EQ(s.BackgroundColour(), QColor(255, 0, 0));
    s.SetBkColour(kSystemFaceColour);
    EXPECT_EQ(s.BackgroundColour(), QApplication::palette().color(QPalette::Button));
    EXPECT_EQ(RefFromColor(ColorFromRef(0x123456)), 0x123456u);
}

TEST(EditDrop, ADroppedFileIsImported) {
    App();
    EditDrop edit;
    edit.setPlainText("notes");
    std::vector<std::string> imported;
    edit.importText = [&](const std::string& path) {
        imported.push_back(path);
        return 0;
    };
    auto drop = [&](const QList<QUrl>& urls) {
        QMimeData mime;
        mime.setUrls(urls);
        return edit.ImportDropped(&mime);
    };
    EXPECT_TRUE(drop({QUrl::fromLocalFile("/tmp/a.txt"), QUrl::fromLocalFile("/tmp/b.txt")}));
    EXPECT_EQ(imported, std::vector<std::string>{"/tmp/a.txt"});  // the first file only
    EXPECT_EQ(edit.toPlainText(), "notes");                       // the path is not typed into the text
    EXPECT_FALSE(drop({QUrl("ftp://localhost/x.txt")}));
    EXPECT_FALSE(drop({QUrl::fromLocalFile("/tmp/" + QString(1100, 'a'))}));
    EXPECT_EQ(imported.size(), 1u);
}

}  // namespace
}  // namespace zun
