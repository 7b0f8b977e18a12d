// The small windows of the connection: the scan window with its progress bar, the connect dialog
// with its direction choice, the lost-device "Warning" and the About dialog.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QRadioButton;
class QPushButton;

namespace quellmarin::ui {

class ScanWindow : public QDialog {
    Q_OBJECT
  public:
    explicit ScanWindow(QWidget* parent = nullptr);
    void Begin();
    void SetProgress(int done, int planned);
    QProgressBar* Bar() const { return bar_; }

  private:
    QProgressBar* bar_;
    QLabel* label_;
};

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

class WarningDialog : public QDialog {
    Q_OBJECT
  public:
    explicit WarningDialog(QWidget* parent = nullptr);

  signals:
    void dismissed();
};

class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(const QString& versionLine, QWidget* parent = nullptr);
};

} // namespace quellmarin::ui
