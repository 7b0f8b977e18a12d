#include "windows/ScanWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
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
    bar_->setAccessibleName("Scan progress");
    bar_->setMinimumWidth(320);
    problems_ = new QLabel(this);
    problems_->setObjectName("scanProblems");
    problems_->setAccessibleName("Ports that could not be opened");
    problems_->setWordWrap(true);
    problems_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    problems_->setMinimumWidth(420);
    close_ = new QPushButton("Close", this);
    close_->setObjectName("scanClose");
    close_->setAccessibleName("Close the scan window");
    connect(close_, &QPushButton::clicked, this, &QDialog::hide);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    layout->addWidget(problems_);
    layout->addWidget(close_, 0, Qt::AlignRight);
    problems_->hide();
    close_->hide();
}

void ScanWindow::Place() {
    if (!parentWidget()) return;
    const QRect r = parentWidget()->window()->frameGeometry();
    adjustSize();
    move(r.center() - rect().center());
}

void ScanWindow::Begin() {
    bar_->setRange(0, 0);
    bar_->setValue(1);
    label_->setText("Looking for processors on the serial ports...");
    problems_->hide();
    close_->hide();
    Place();
    show();
    raise();
}

void ScanWindow::SetProgress(int done, int planned) {
    bar_->setRange(0, std::max(1, planned));
    bar_->setValue(done);
    // Every port is asked for device IDs 1 to 50: the count is of those questions over all ports.
    label_->setText(QString("Probing device IDs 1 to 50 on every port: %1 of %2").arg(done).arg(planned));
}

void ScanWindow::Finish(const QStringList& problems) {
    if (problems.isEmpty()) {
        hide();
        return;
    }
    bar_->setRange(0, 1);
    bar_->setValue(1);
    label_->setText(problems.size() == 1
                        ? "The scan ended. One port could not be opened:"
                        : QString("The scan ended. %1 ports could not be opened:").arg(problems.size()));
    problems_->setText(problems.join("\n"));
    problems_->show();
    close_->show();
    close_->setDefault(true);
    Place();
    show();
    raise();
}

QString ScanWindow::ProblemText() const {
    return problems_->isVisible() ? problems_->text() : QString();
}

} // namespace quellmarin::ui
