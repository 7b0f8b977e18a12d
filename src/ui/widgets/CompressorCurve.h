// The compressor's static curve: output level against input level from -40 to +24 dB, with the
// threshold marked, redrawn on every change.
#pragma once

#include <QWidget>

namespace quellmarin::ui {

class CompressorCurve : public QWidget {
    Q_OBJECT
  public:
    static constexpr double kLowDb = -40, kHighDb = 24;

    explicit CompressorCurve(QWidget* parent = nullptr);
    void SetCurve(double thresholdDb, int ratioCode);
    QSize sizeHint() const override { return {200, 200}; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    double threshold_ = 22;
    int ratio_ = 0;
};

} // namespace quellmarin::ui
