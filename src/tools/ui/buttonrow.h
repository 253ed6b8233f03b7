#pragma once
// The Apply and Close buttons the tool windows end with, on the right of their own row.

#include <QHBoxLayout>
#include <QPushButton>

namespace zun {

inline QHBoxLayout* ApplyCloseRow(QWidget* parent, QPushButton*& apply, QPushButton*& close) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    apply = new QPushButton("Apply", parent);
    close = new QPushButton("Close", parent);
    row->addWidget(apply);
    row->addWidget(close);
    return row;
}

}  // namespace zun
