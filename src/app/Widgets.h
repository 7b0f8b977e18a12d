// The front panel's own drawn widgets: the level-meter strip, the status and link indicators, and
// the response view of the selected channel.
#pragma once

#include "model/DeviceModel.h"

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
    bool input_;
    DeviceModel model_;
    std::vector<int> columns_;
};

// A small round lamp; `kind` picks the lit colour (status red, link cyan).
class Lamp : public QWidget {
    Q_OBJECT
  public:
    enum Kind { Status, Link };
    Lamp(Kind kind, QWidget* parent = nullptr);
    void SetLit(bool lit);
    bool Lit() const { return lit_; }
    QSize sizeHint() const override { return {18, 14}; }

  signals:
    void clicked();

  protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

  private:
    Kind kind_;
    bool lit_ = false;
};

} // namespace quellmarin::ui
