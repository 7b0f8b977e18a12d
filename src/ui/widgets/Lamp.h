// A small lamp of the front panel; `kind` picks the lit colour and the shape (status: a red dot, limit:
// a red square, link: two cyan chain links). A mark letter inside tells lamps apart without colour.
#pragma once

#include <QWidget>

namespace quellmarin::ui {

class Lamp : public QWidget {
    Q_OBJECT
  public:
    enum Kind { Status, Limit, Link };
    Lamp(Kind kind, QWidget* parent = nullptr);
    void SetLit(bool lit);
    void SetMark(const QString& mark) {
        mark_ = mark;
        update();
    }
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
    QString mark_;
};

} // namespace quellmarin::ui
