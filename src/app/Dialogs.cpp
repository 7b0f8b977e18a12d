#include "app/Dialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quellmarin::ui {

namespace {

// PC and processor with an arrow in the direction of the transfer.
class DirectionPicture : public QWidget {
  public:
    explicit DirectionPicture(const bool* download, QWidget* parent) : QWidget(parent), download_(download) {
        setMinimumSize(230, 70);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF pc(10, 14, 70, 42), dev(width() - 100, 22, 90, 26);
        p.setPen(QPen(QColor(150, 170, 190), 1.5));
        p.setBrush(QColor(30, 38, 48));
        p.drawRoundedRect(pc, 5, 5);
        p.drawRoundedRect(dev, 4, 4);
        p.setPen(QColor(220, 228, 238));
        p.drawText(pc, Qt::AlignCenter, "PC");
        p.drawText(dev, Qt::AlignCenter, "DEVICE");
        const double y = height() / 2.0, x1 = pc.right() + 10, x2 = dev.left() - 10;
        p.setPen(QPen(QColor(255, 196, 64), 3));
        p.drawLine(QPointF(x1, y), QPointF(x2, y));
        QPainterPath head;
        if (*download_) {
            head.moveTo(x2, y);
            head.lineTo(x2 - 12, y - 7);
            head.lineTo(x2 - 12, y + 7);
        } else {
            head.moveTo(x1, y);
            head.lineTo(x1 + 12, y - 7);
            head.lineTo(x1 + 12, y + 7);
        }
        head.closeSubpath();
        p.fillPath(head, QColor(255, 196, 64));
    }

  private:
    const bool* download_;
};

} // namespace

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

ConnectDialog::ConnectDialog(const QString& line, QWidget* parent) : QDialog(parent) {
    setObjectName("connectDialog");
    setWindowTitle("Connect..");
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* radios = new QVBoxLayout;
    downloadButton_ = new QRadioButton("Download data from PC to DEVICE", this);
    uploadButton_ = new QRadioButton("Upload data from DEVICE to PC", this);
    downloadButton_->setObjectName("downloadRadio");
    uploadButton_->setObjectName("uploadRadio");
    uploadButton_->setChecked(true);
    radios->addWidget(uploadButton_);
    radios->addWidget(downloadButton_);
    row->addLayout(radios);
    picture_ = new DirectionPicture(&download_, this);
    row->addWidget(picture_);
    layout->addLayout(row);
    auto* connect = new QPushButton("Connect to " + line, this);
    connect->setObjectName("connectButton");
    connect->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(connect);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    QObject::connect(connect, &QPushButton::clicked, this, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    QObject::connect(downloadButton_, &QRadioButton::toggled, this, [this](bool on) { SetDownload(on); });
}

void ConnectDialog::SetDownload(bool download) {
    download_ = download;
    downloadButton_->setChecked(download);
    uploadButton_->setChecked(!download);
    picture_->update();
}

WarningDialog::WarningDialog(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint) {
    setObjectName("warningDialog");
    setWindowTitle("Warning");
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel("Has been disconnect to DEVICE!", this);
    text->setObjectName("warningText");
    layout->addWidget(text);
    auto* ok = new QPushButton("OK", this);
    layout->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, [this] {
        emit dismissed();
        hide();
    });
}

AboutDialog::AboutDialog(const QString& versionLine, QWidget* parent) : QDialog(parent) {
    setObjectName("aboutDialog");
    setWindowTitle("About Quellmarin");
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(versionLine, this);
    title->setObjectName("aboutVersion");
    QFont f = title->font();
    f.setPointSizeF(f.pointSizeF() + 3);
    f.setBold(true);
    title->setFont(f);
    layout->addWidget(title);
    layout->addWidget(new QLabel("Control program of the Quellmarin loudspeaker processor.", this));
    auto* ok = new QPushButton("OK", this);
    layout->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace quellmarin::ui
