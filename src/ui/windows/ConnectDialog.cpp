#include "windows/ConnectDialog.h"

#include "widgets/DirectionPicture.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quellmarin::ui {

ConnectDialog::ConnectDialog(const QString& line, QWidget* parent) : QDialog(parent) {
    setObjectName("connectDialog");
    setWindowTitle("Connect..");
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* radios = new QVBoxLayout;
    downloadButton_ = new QRadioButton("Download data from PC to DEVICE", this);
    uploadButton_ = new QRadioButton("Upload data from DEVICE to PC", this);
    downloadButton_->setObjectName("downloadRadio");
    downloadButton_->setAccessibleName("Download data from PC to DEVICE");
    uploadButton_->setAccessibleName("Upload data from DEVICE to PC");
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
    connect->setAccessibleName("Connect to " + line);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setAccessibleName("Cancel the connection");
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

} // namespace quellmarin::ui
