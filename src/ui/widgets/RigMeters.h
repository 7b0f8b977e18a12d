// A processor's meters as one row of the rig view: its inputs' and outputs' levels as thin bars, with
// a red mark over a bar whose clip (inputs) or limit (outputs) lamp is lit. Its description names the
// lit lamps, so a screen reader hears what the colours say.
#pragma once

#include "model/Records.h"
#include "protocol/Frames.h"

#include <QWidget>
#include <vector>

namespace quellmarin::ui {

class RigMeters : public QWidget {
    Q_OBJECT
  public:
    explicit RigMeters(DeviceModel model, QWidget* parent = nullptr);
    void SetFrame(const LevelFrame& frame);
    void Reset();
    const std::vector<int>& InputLevels() const { return in_; }
    const std::vector<int>& OutputLevels() const { return out_; }
    // "Clip: input 2. Limit: outputs 3, 4." or "No clip or limit".
    QString LampText() const;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    DeviceModel model_;
    std::vector<int> in_, out_;
    std::vector<bool> clip_, limit_;
};

} // namespace quellmarin::ui
