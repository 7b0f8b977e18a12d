// The small window that shows the progress of a device scan.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

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

} // namespace quellmarin::ui
