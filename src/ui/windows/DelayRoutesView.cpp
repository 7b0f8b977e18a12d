#include "windows/DelayRoutesView.h"

#include "panel/GraphModel.h"

#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QTableWidget>

namespace quellmarin::ui {

namespace {
const QColor kOutputColors[8] = {{255, 120, 90},  {120, 210, 120}, {90, 170, 255},  {240, 200, 80},
                                 {200, 120, 240}, {90, 220, 220},  {255, 150, 200}, {180, 190, 120}};
} // namespace

DelayRoutesView::DelayRoutesView(const QTableWidget* table, QWidget* parent)
    : QWidget(parent), table_(table) {
    setMinimumWidth(80);
    setAccessibleName("Outputs the input reaches");
}

void DelayRoutesView::SetRoutes(const std::array<bool, 8>& routed) {
    routed_ = routed;
    update();
}

void DelayRoutesView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // Each output's end sits level with its row of the table.
    const int offset =
        table_->viewport()->mapTo(window(), QPoint(0, 0)).y() - mapTo(window(), QPoint(0, 0)).y();
    const double start = height() / 2.0;
    const QPointF from(8, start);
    for (int k = 0; k < 8; ++k) {
        const double y = offset + table_->rowViewportPosition(k) + table_->rowHeight(k) / 2.0;
        const QPointF to(width() - 6, y);
        if (!routed_[k]) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(60, 68, 80));
            p.drawEllipse(to, 2.5, 2.5);
            continue;
        }
        // A cardinal spline through the input, two bends and the output, as Bezier segments.
        const std::vector<Point2> points{{from.x(), from.y()},
                                         {width() * 0.35, start + (y - start) * 0.15},
                                         {width() * 0.65, y - (y - start) * 0.15},
                                         {to.x(), to.y()}};
        QPainterPath path(from);
        for (const BezierSegment& s : CardinalToBezier(points, 0.3))
            path.cubicTo(QPointF(s.c1.x, s.c1.y), QPointF(s.c2.x, s.c2.y), QPointF(s.end.x, s.end.y));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(10, 12, 16), 2.5)); // a dark edge under the coloured line
        p.drawPath(path);
        p.setPen(QPen(kOutputColors[k], 1.8));
        p.drawPath(path);
        p.setPen(Qt::NoPen);
        p.setBrush(kOutputColors[k]);
        p.drawEllipse(to, 3, 3);
    }
    p.setBrush(QColor(255, 196, 64));
    p.drawEllipse(from, 4, 4);
}

} // namespace quellmarin::ui
