// A level-meter strip of the front panel: one column of 52 segments per channel.
#pragma once

#include "model/DeviceModel.h"

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
    QSize sizeHint() const override { return {260, 180}; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    // Draws every column with all segments lit, or all unlit, at the widget's size.
    QPixmap Paint(bool lit) const;

    bool input_;
    DeviceModel model_;
    std::vector<int> columns_;
    // The strip fully lit and fully dark, made once a size; a repaint copies from them.
    QPixmap lit_, unlit_;
};

} // namespace quellmarin::ui
