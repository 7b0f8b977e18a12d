// The test tone seen from the main window: while the processor's generator runs, a lit lamp, what it
// plays ("Test tone 1 kHz −20 dB") and a Stop button, whether the generator window is open or not.
// Hidden while the tone is off.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace quellmarin::ui {

class Lamp;

class ToneIndicator : public QWidget {
    Q_OBJECT
  public:
    explicit ToneIndicator(QWidget* parent = nullptr);
    // The text of the running tone; empty hides the indicator.
    void Show(const QString& tone);
    QString Text() const;
    QPushButton* StopButton() const { return stop_; }

  signals:
    void stopRequested();

  private:
    Lamp* lamp_;
    QLabel* text_;
    QPushButton* stop_;
};

} // namespace quellmarin::ui
