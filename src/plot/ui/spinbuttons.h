#pragma once
// A pair of small arrow buttons beside an edit: each press steps the edit's value by one.

#include <QWidget>

class QToolButton;

namespace zun {

class SpinButtons : public QWidget {
    Q_OBJECT
public:
    explicit SpinButtons(QWidget* parent = nullptr);
    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }

Q_SIGNALS:
    void stepped(int delta);

private:
    QToolButton* up_;
    QToolButton* down_;
};

}  // namespace zun
