#include "windows/CompareWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace quellmarin::ui {

CompareWindow::CompareWindow(const QStringList& lines, QWidget* parent) : QDialog(parent) {
    setObjectName("compareWindow");
    setWindowTitle("Compare with device");
    setModal(true);
    auto* root = new QVBoxLayout(this);
    root->addWidget(new QLabel(QString("%1 setting(s) differ. Each line reads: the device's value \u2192 the "
                                       "program's value.")
                                   .arg(lines.size()),
                               this));
    lines_ = new QListWidget(this);
    lines_->setObjectName("compareLines");
    lines_->setAccessibleName("Settings that differ");
    lines_->addItems(lines);
    lines_->setMinimumSize(560, 260);
    // A long line wraps inside the window instead of needing a sideways scroll.
    lines_->setWordWrap(true);
    lines_->setTextElideMode(Qt::ElideNone);
    lines_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lines_->setResizeMode(QListView::Adjust);
    root->addWidget(lines_, 1);
    auto* buttons = new QHBoxLayout;
    send_ = new QPushButton("Send to device", this);
    send_->setObjectName("compareSend");
    send_->setAccessibleName("Send the program's settings to the device");
    take_ = new QPushButton("Take the device's values", this);
    take_->setObjectName("compareTake");
    take_->setAccessibleName("Take the device's settings into the program");
    auto* close = new QPushButton("Close", this);
    close->setObjectName("compareClose");
    close->setAccessibleName("Close without changes");
    buttons->addStretch(1);
    buttons->addWidget(send_);
    buttons->addWidget(take_);
    buttons->addWidget(close);
    root->addLayout(buttons);
    connect(send_, &QPushButton::clicked, this, [this] {
        chosen_ = Send;
        accept();
    });
    connect(take_, &QPushButton::clicked, this, [this] {
        chosen_ = Take;
        accept();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

} // namespace quellmarin::ui
