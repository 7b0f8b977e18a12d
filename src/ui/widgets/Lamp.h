// A small round lamp of the front panel; `kind` picks the lit colour (status red, link cyan).
#pragma once

#include <QWidget>

namespace quellmarin::ui {

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
