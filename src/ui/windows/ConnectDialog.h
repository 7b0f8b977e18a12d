// The connect dialog: which way the state goes (upload from the device, the default, or download).
#pragma once

#include <QDialog>

class QRadioButton;

namespace quellmarin::ui {

class ConnectDialog : public QDialog {
    Q_OBJECT
  public:
    ConnectDialog(const QString& line, QWidget* parent = nullptr);
    bool Download() const { return download_; }
    void SetDownload(bool download);

  private:
    bool download_ = false;
    QRadioButton* downloadButton_;
    QRadioButton* uploadButton_;
    QWidget* picture_;
};

} // namespace quellmarin::ui
