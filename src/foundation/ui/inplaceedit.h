#pragma once
// Editors that open over one cell of a table so the user edits it in place: a one-line edit for
// typed values and a drop-down list for one of a set of texts. The editor takes the focus; Enter
// and leaving the cell commit, Escape cancels. Either way it reports once, through editEnded, and
// then deletes itself. Enter and Escape never reach the surrounding dialog, so they neither press
// its default button nor close it.

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QVariant>

class QAbstractItemView;

namespace zun {

class InPlaceEdit : public QLineEdit {
    Q_OBJECT
public:
    // The editor is a child of the view's viewport, over rect; the view gets the focus back.
    InPlaceEdit(int row, int column, const QString& initialText, QAbstractItemView* view, const QRect& rect,
                Qt::Alignment alignment = Qt::AlignLeft);
    int Row() const { return row_; }
    int Column() const { return column_; }
    bool Cancelled() const { return cancelled_; }

Q_SIGNALS:
    // cancelled: the cell keeps its value and text means nothing.
    void editEnded(int row, int column, bool cancelled, const QString& text);

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    void Widen();
    void End();

    int row_;
    int column_;
    bool cancelled_ = false;
    bool ended_ = false;
    QPointer<QAbstractItemView> view_;
};

class InPlaceCombo : public QComboBox {
    Q_OBJECT
public:
    // Entries in list order; the owner selects the current one and opens the list.
    InPlaceCombo(int row, int column, const QStringList& entries, QAbstractItemView* view, const QRect& rect);
    int Row() const { return row_; }
    int Column() const { return column_; }
    bool Cancelled() const { return cancelled_; }
    void hidePopup() override;

Q_SIGNALS:
    // Only sent when an entry is selected; data is that entry's item data.
    void editEnded(int row, int column, bool cancelled, const QString& text, const QVariant& data);

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void End();

    int row_;
    int column_;
    bool cancelled_ = false;
    bool ended_ = false;
    QPointer<QAbstractItemView> view_;
};

}  // namespace zun
