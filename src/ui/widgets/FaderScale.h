// The decibel marks beside a gain fader, drawn level with the fader's own positions.
#pragma once

#include <QWidget>

namespace quellmarin::ui {

class SkinSlider;

class FaderScale : public QWidget {
    Q_OBJECT
  public:
    explicit FaderScale(const SkinSlider* fader, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {34, 180}; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    const SkinSlider* fader_;
};

} // namespace quellmarin::ui
