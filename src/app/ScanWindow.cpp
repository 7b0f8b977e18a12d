#include "app/ScanWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace quellmarin::ui {

ScanWindow::ScanWindow(QWidget* parent) : QDialog(parent) {
    setObjectName("scanWindow");
    setWindowTitle("Scan");
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    label_ = new QLabel("Looking for processors on the serial ports...", this);
    bar_ = new QProgressBar(this);
    bar_->setObjectName("scanProgress");
    bar_->setMinimumWidth(320);
    layout->addWidget(label_);
    layout->addWidget(bar_);
}

void ScanWindow::Begin() {
    bar_->setRange(0, 0);
    bar_->setValue(1);
    if (parentWidget()) {
        const QRect r = parentWidget()->window()->frameGeometry();
        adjustSize();
        move(r.center() - rect().center());
    }
    show();
    raise();
}

void ScanWindow::SetProgress(int done, int planned) {
    bar_->setRange(0, std::max(1, planned));
    bar_->setValue(done);
    label_->setText(QString("Probing device IDs: %1 of %2").arg(done).arg(planned));
}

} // namespace quellmarin::ui
