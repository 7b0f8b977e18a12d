// Beside the input delay window's table: a smooth curve from the input to every output it reaches,
// one colour per output, ending level with that output's row.
#pragma once

#include <QWidget>
#include <array>

class QTableWidget;

namespace quellmarin::ui {

class DelayRoutesView : public QWidget {
    Q_OBJECT
  public:
    DelayRoutesView(const QTableWidget* table, QWidget* parent = nullptr);
    void SetRoutes(const std::array<bool, 8>& routed);
    const std::array<bool, 8>& Routes() const { return routed_; }
    QSize sizeHint() const override { return {90, 200}; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    const QTableWidget* table_;
    std::array<bool, 8> routed_{};
};

} // namespace quellmarin::ui
