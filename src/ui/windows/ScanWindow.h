// The small window that shows the progress of a device scan, and after it the ports that could not be
// opened, with the reason of each.
#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QProgressBar;
class QPushButton;

namespace quellmarin::ui {

class ScanWindow : public QDialog {
    Q_OBJECT
  public:
    explicit ScanWindow(QWidget* parent = nullptr);
    void Begin();
    void SetProgress(int done, int planned);
    // The scan ended: without port problems the window goes; with them it stays and lists them.
    void Finish(const QStringList& problems);
    QProgressBar* Bar() const { return bar_; }
    QString ProblemText() const;

  private:
    void Place();

    QProgressBar* bar_;
    QLabel* label_;
    QLabel* problems_;
    QPushButton* close_;
};

} // namespace quellmarin::ui
