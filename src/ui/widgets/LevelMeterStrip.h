// A level-meter strip of the front panel: one column of 52 segments per channel, a decibel scale at
// its left, a peak line held for 1.5 s, and each channel's level and peak in its tooltip and in the
// strip's accessible description ("Input 3 level −12 dB, peak −6 dB").
#pragma once

#include "model/DeviceModel.h"
#include "panel/PanelLogic.h"

#include <QPixmap>
#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

namespace quellmarin::ui {

class LevelMeterStrip : public QWidget {
    Q_OBJECT
  public:
    LevelMeterStrip(bool inputStrip, DeviceModel model, QWidget* parent = nullptr);
    // Eight display levels (0 empty .. 96 full); repaints only when they changed.
    void SetLevels(const std::array<std::uint8_t, 8>& levels);
    void Reset();
    const std::vector<int>& Columns() const { return columns_; }
    int LitSegmentsOf(int column) const;
    const std::vector<int>& Peaks() const { return peaks_.Peaks(); }
    // "Input 3 level −12 dB, peak −6 dB".
    QString ColumnText(int column) const;
    QSize sizeHint() const override { return {260, 180}; }

  protected:
    void paintEvent(QPaintEvent*) override;
    bool event(QEvent* e) override;

  private:
    // Draws every column with all segments lit, or all unlit, at the widget's size.
    QPixmap Paint(bool lit) const;
    // The area of the columns, right of the scale.
    QRectF Bars() const;
    QString ColumnName(int column) const;
    void Describe();

    bool input_;
    DeviceModel model_;
    std::vector<int> columns_;
    PeakHold peaks_;
    // The strip fully lit and fully dark, made once a size; a repaint copies from them.
    QPixmap lit_, unlit_;
};

} // namespace quellmarin::ui
