// The picture of the connect dialog: PC and processor with an arrow in the direction of the transfer.
#pragma once

#include <QWidget>

namespace quellmarin::ui {

class DirectionPicture : public QWidget {
  public:
    // `download` is read at every paint.
    DirectionPicture(const bool* download, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    const bool* download_;
};

} // namespace quellmarin::ui
