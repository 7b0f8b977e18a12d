#include "graph/ResponseGraph.h"

#include "widgets/QText.h"
#include "dsp/Scales.h"
#include "edit/CrossoverEditor.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <QWheelEvent>

namespace quellmarin::ui {

namespace {
const QColor kBandColors[7] = {{255, 120, 90},  {120, 210, 120}, {90, 170, 255}, {240, 200, 80},
                               {200, 120, 240}, {90, 220, 220},  {255, 150, 200}};
} // namespace

ResponseGraph::ResponseGraph(DeviceModel model, QWidget* parent) : QWidget(parent), model_(model) {
    setMinimumSize(340, 220);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    animation_.setInterval(20); // timer 50 of the page
    connect(&animation_, &QTimer::timeout, this, [this] {
        model_.Tick();
        update(HandleArea());
        UpdateAnimation();
    });
    clock_.start();
    model_.SetPlot(PlotRect());
}

PlotGeometry ResponseGraph::PlotRect() const {
    return {50, 26, std::clamp(width() - 50 - 30, 2, ResponseCurves::kMaxColumns),
            std::max(18, height() - 26 - 24)};
}

void ResponseGraph::resizeEvent(QResizeEvent*) {
    model_.SetPlot(PlotRect());
    backgroundDirty_ = true;
}

void ResponseGraph::Invalidate() {
    backgroundDirty_ = true;
    update();
    UpdateAnimation();
}

bool ResponseGraph::AnySelected() const {
    return model_.SelectedBand() || model_.Crossover().hpf.selected || model_.Crossover().lpf.selected;
}

void ResponseGraph::HoldAnimation(bool held) {
    animationHeld_ = held;
    UpdateAnimation();
}

void ResponseGraph::enterEvent(QEnterEvent*) {
    pointerOver_ = true;
    UpdateAnimation();
}

void ResponseGraph::leaveEvent(QEvent*) {
    pointerOver_ = false;
    UpdateAnimation();
}

void ResponseGraph::focusInEvent(QFocusEvent* e) {
    QWidget::focusInEvent(e);
    UpdateAnimation();
}

void ResponseGraph::focusOutEvent(QFocusEvent* e) {
    QWidget::focusOutEvent(e);
    UpdateAnimation();
}

void ResponseGraph::UpdateAnimation() {
    // Nothing moves while nobody looks at the graph: no timer, no repaint.
    const bool attended = pointerOver_ || hasFocus() || model_.Dragging();
    const bool wanted = !animationHeld_ && AnySelected() && attended;
    if (wanted == animation_.isActive()) return;
    if (wanted) {
        animation_.start();
    } else {
        animation_.stop();
        model_.Tick(); // the handles go back to their size at rest
        update();
    }
}

QRect ResponseGraph::HandleArea() const {
    QRectF area;
    if (const auto sel = model_.SelectedBand()) {
        const QPointF c = BandPoint(*sel);
        area = QRectF(c.x() - 20, c.y() - 20, 40, 40);
    }
    for (bool hp : {true, false}) {
        const CrossoverCorner& k = hp ? model_.Crossover().hpf : model_.Crossover().lpf;
        if (!k.selected) continue;
        const QPointF c = CornerPoint(hp);
        area = area.united(QRectF(c.x() - 22, c.y() - 22, 44, 44));
    }
    return area.toAlignedRect();
}

QPointF ResponseGraph::BandPoint(int index) const {
    const EqBand& b = model_.Band(index);
    return {model_.BandX(b), model_.BandY(b)};
}

QPointF ResponseGraph::CornerPoint(bool highPass) const {
    const auto& x = model_.Crossover();
    return {model_.CornerX(highPass ? x.hpf : x.lpf), model_.CornerY()};
}

void ResponseGraph::paintEvent(QPaintEvent*) {
    if (backgroundDirty_ || background_.size() != size() * devicePixelRatioF()) {
        background_ = QPixmap(size() * devicePixelRatioF());
        background_.setDevicePixelRatio(devicePixelRatioF());
        QPainter bp(&background_);
        PaintBackground(bp);
        backgroundDirty_ = false;
    }
    QPainter p(this);
    p.drawPixmap(0, 0, background_);
    p.setRenderHint(QPainter::Antialiasing);
    const PlotGeometry g = model_.Plot();
    const QRectF plot(g.left, g.top, g.width - 1, g.height);
    QFont small = font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() - 1.5));
    p.setFont(small);
    // The crossover corners, then the band handles with the selected one on top of everything.
    if (!model_.InputSection()) {
        for (bool hp : {true, false}) {
            const CrossoverCorner& k = hp ? model_.Crossover().hpf : model_.Crossover().lpf;
            const QPointF c = CornerPoint(hp);
            const double d = k.diameter;
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(QColor(90, 200, 255, 140), 1));
            p.drawEllipse(c, (d + 6) / 2, (d + 6) / 2);
            p.setPen(QPen(QColor(90, 200, 255), 2));
            p.drawArc(QRectF(c.x() - d / 2, c.y() - d / 2, d, d), 30 * 16, 120 * 16);
            p.drawArc(QRectF(c.x() - d / 2, c.y() - d / 2, d, d), 210 * 16, 120 * 16);
            if (!k.selected) {
                p.setBrush(QColor(90, 200, 255, k.off ? 60 : 150));
                p.setPen(Qt::NoPen);
                p.drawEllipse(QRectF(c.x() - d / 2 + 2.2, c.y() - d / 2 + 2.2, d - 4.4, d - 4.4));
            }
            p.setPen(Qt::white);
            p.drawText(QRectF(c.x() - d / 2, c.y() - d / 2, d, d), Qt::AlignCenter, hp ? "HP" : "LP");
        }
    }
    // Labels of the bands above their handles, on dark plates so that the curve does not run through
    // the text; plates that would meet stack above one another, clear of every handle, the selected
    // band's first. They go under the handles, so no handle is ever hidden.
    const int first = model_.FirstBand();
    const QFontMetrics fm(small);
    {
        std::vector<int> labelled;
        if (const auto sel = model_.SelectedBand()) labelled.push_back(*sel);
        for (int i = first; i < first + model_.BandCount(); ++i)
            if (model_.Band(i).type != kEqNone && !model_.Band(i).selected) labelled.push_back(i);
        std::vector<LabelBox> handles;
        for (int i = first; i < first + model_.BandCount(); ++i) {
            const QPointF c = BandPoint(i);
            handles.push_back({c.x() - kBandHandle / 2, c.y() - kBandHandle / 2, kBandHandle, kBandHandle});
        }
        if (!model_.InputSection())
            for (bool hp : {true, false}) {
                const QPointF c = CornerPoint(hp);
                handles.push_back({c.x() - kCornerHandle / 2, c.y() - kCornerHandle / 2, kCornerHandle, kCornerHandle});
            }
        std::vector<std::vector<std::string>> texts;
        std::vector<LabelRequest> wanted;
        for (const int i : labelled) {
            texts.push_back(model_.BandLabels(i));
            const QPointF c = BandPoint(i);
            const double clearance = (model_.Band(i).selected ? 16 : kBandHandle / 2) + 3;
            int widest = 0;
            for (const std::string& l : texts.back())
                widest = std::max(widest, fm.horizontalAdvance(QString::fromStdString(l)));
            const double h = fm.height() * double(texts.back().size());
            wanted.push_back({{c.x() - widest / 2.0 - 3, c.y() - clearance - h, widest + 6.0, h}, c.y() + clearance});
        }
        const std::vector<double> tops = StackLabels(wanted, handles, 0, height());
        for (std::size_t k = 0; k < labelled.size(); ++k) {
            const QRectF plate(wanted[k].above.left, tops[k], wanted[k].above.width, wanted[k].above.height);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(10, 13, 18, 200));
            p.drawRoundedRect(plate, 3, 3);
            p.setPen(model_.Band(labelled[k]).selected ? QColor(255, 255, 255) : QColor(200, 208, 220));
            double y = plate.top();
            for (const std::string& l : texts[k]) {
                p.drawText(QRectF(plate.left(), y, plate.width(), fm.height()), Qt::AlignCenter,
                           QString::fromStdString(l));
                y += fm.height();
            }
        }
    }
    const bool eqOn = model_.EqOn();
    std::vector<int> order;
    for (int i = first; i < first + model_.BandCount(); ++i)
        if (!model_.Band(i).selected) order.push_back(i);
    if (const auto sel = model_.SelectedBand()) order.push_back(*sel);
    for (const int i : order) {
        const EqBand& b = model_.Band(i);
        const QPointF c = BandPoint(i);
        QColor color = kBandColors[(i - first) % 7];
        // A band of type OFF is a hollow grey ring: it stands at its stored gain but shapes nothing. With
        // the channel's equaliser off every handle is dimmed.
        const bool shaping = b.type != kEqNone;
        if (!eqOn) color.setAlpha(110);
        if (b.selected) {
            p.setPen(QPen(color, 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(c, b.ring / 2, b.ring / 2);
        }
        if (shaping) {
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(color);
        } else {
            p.setPen(QPen(QColor(120, 128, 140, eqOn ? 255 : 120), 1.5));
            p.setBrush(QColor(16, 20, 27));
        }
        p.drawEllipse(c, kBandHandle / 2, kBandHandle / 2);
        p.setPen(shaping ? QColor(Qt::black) : QColor(150, 158, 170));
        p.drawText(QRectF(c.x() - 7, c.y() - 7, 14, 14), Qt::AlignCenter, QString::number(b.band + 1));
    }
    // The channel shown, in the plot's top right corner, and the EQ-off mark on the same row to its left
    // when the longest wording that fits leaves room for it, else on a row of its own under it.
    {
        QFont bold = small;
        bold.setBold(true);
        p.setFont(bold);
        const QFontMetrics bm(bold);
        const QString name = QString::fromStdString(model_.ShownChannel());
        const double nameWidth = bm.horizontalAdvance(name);
        p.setPen(QColor(200, 208, 220));
        p.drawText(QRectF(plot.right() - nameWidth - 10, plot.top() + 6, nameWidth + 4, bm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, name);
        if (!eqOn) {
            const auto fitting = [&](double room) {
                for (const char* mark : {"EQ off \u2014 double-click the graph to switch it on",
                                         "EQ off \u2014 double-click to switch on", "EQ off"})
                    if (bm.horizontalAdvance(QString::fromUtf8(mark)) + 12 <= room) return QString::fromUtf8(mark);
                return QString();
            };
            // Beside the name when the wording that fits the whole plot fits there too.
            QString mark = fitting(plot.width() - 16);
            if (mark.isEmpty()) mark = "EQ off";
            double top = plot.top() + 6;
            if (fitting(plot.width() - nameWidth - 34) != mark) top += bm.height() + 4;
            const QRectF plate(plot.left() + 8, top, bm.horizontalAdvance(mark) + 12, bm.height() + 4);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(60, 24, 20, 220));
            p.drawRoundedRect(plate, 3, 3);
            p.setPen(QColor(255, 150, 120));
            p.drawText(plate, Qt::AlignCenter, mark);
        }
        p.setFont(small);
    }
    // Dragging a band of type OFF changes nothing in the sound: say so while it lasts.
    if (const std::string hint = model_.DragHint(); !hint.empty()) {
        const QString text = QString::fromStdString(hint);
        const QRectF plate(plot.left() + 8, plot.bottom() - fm.height() - 10, fm.horizontalAdvance(text) + 12,
                           fm.height() + 4);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 48, 12, 230));
        p.drawRoundedRect(plate, 3, 3);
        p.setPen(QColor(255, 220, 130));
        p.drawText(plate, Qt::AlignCenter, text);
    }

    if (!model_.InputSection()) {
        for (bool hp : {true, false}) {
            const QString t = QString::fromStdString(model_.CornerLabel(hp));
            const QPointF c = CornerPoint(hp);
            p.setPen(QColor(150, 215, 255));
            p.drawText(QPointF(c.x() - fm.horizontalAdvance(t) / 2.0, c.y() + 30), t);
        }
    }
}

void ResponseGraph::PaintBackground(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(16, 20, 27));
    const PlotGeometry g = model_.Plot();
    const QRectF plot(g.left, g.top, g.width - 1, g.height);
    p.fillRect(plot, QColor(10, 13, 18));

    // Grid: 10..90 Hz, 100..900 Hz, 1..9 kHz, 10 and 20 kHz; a line every 3 dB.
    for (double decade : {10.0, 100.0, 1000.0})
        for (int m = 1; m <= 9; ++m) {
            const double x = g.FrequencyToColumn(decade * m);
            p.setPen(QPen(m == 1 ? QColor(58, 68, 82) : QColor(32, 38, 47), 1));
            p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        }
    for (double f : {10000.0, 20000.0}) {
        p.setPen(QPen(QColor(58, 68, 82), 1));
        const double x = g.FrequencyToColumn(f);
        p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    for (int u = 0; u <= 18; ++u) {
        const double y = g.top + u * g.Unit();
        QPen pen(QColor(34, 41, 51), 1);
        if (u == 8) pen = QPen(QColor(120, 132, 148), 1.2);
        if (u == 0 || u == 18) pen = QPen(QColor(70, 80, 95), 1);
        if (u == 4 || u == 12) pen = QPen(QColor(52, 62, 76), 1, Qt::DashLine);
        p.setPen(pen);
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }

    // The other outputs' responses, faint, behind the one shown.
    if (!model_.OtherOutputs().empty()) {
        p.save();
        p.setClipRect(plot);
        p.setPen(QPen(QColor(150, 170, 200, 70), 1.2));
        for (const auto& other : model_.OtherOutputs()) {
            QPainterPath faint;
            for (std::size_t i = 0; i < other.size(); ++i) {
                const QPointF pt(g.left + double(i), other[i]);
                if (i == 0)
                    faint.moveTo(pt);
                else
                    faint.lineTo(pt);
            }
            p.drawPath(faint);
        }
        p.restore();
    }

    // The summed response as a cardinal spline (tension 0.3) through the column points.
    const auto total = model_.Curves().Total();
    if (total.size() >= 2) {
        std::vector<Point2> pts;
        pts.reserve(total.size());
        for (std::size_t i = 0; i < total.size(); ++i) pts.push_back({double(g.left + int(i)), total[i]});
        QPainterPath path(QPointF(pts[0].x, pts[0].y));
        for (const BezierSegment& s : CardinalToBezier(pts, 0.3))
            path.cubicTo(QPointF(s.c1.x, s.c1.y), QPointF(s.c2.x, s.c2.y), QPointF(s.end.x, s.end.y));
        p.save();
        p.setClipRect(plot.adjusted(0, -1, 0, 1));
        QPainterPath fill = path;
        fill.lineTo(plot.right(), g.ZeroDbRow());
        fill.lineTo(plot.left(), g.ZeroDbRow());
        fill.closeSubpath();
        p.fillPath(fill, QColor(255, 196, 64, 28));
        p.setPen(QPen(QColor(255, 196, 64), 2.2));
        p.drawPath(path);
        p.restore();
    }

    QFont small = font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() - 1.5));
    p.setFont(small);
    // Frequency and level labels.
    p.setPen(QColor(150, 160, 175));
    // The decades first (20 Hz, 100 Hz, 1 kHz, 10 kHz, 20 kHz); the others where they fit.
    const QFontMetrics fm(small);
    std::vector<AxisLabel> axis;
    for (int i = 0; i < 10; ++i) {
        const double f = kGraphLabelFrequencies[std::size_t(i)];
        const bool decade = f == 20 || f == 100 || f == 1000 || f == 10000 || f == 20000;
        axis.push_back({g.FrequencyToColumn(f),
                        double(fm.horizontalAdvance(Q(kGraphFrequencyLabels[std::size_t(i)]))),
                        decade ? 1 : 0});
    }
    for (const int i : FittingLabels(axis, width(), 4))
        p.drawText(QPointF(axis[std::size_t(i)].centre - axis[std::size_t(i)].width / 2, plot.bottom() + 15),
                   Q(kGraphFrequencyLabels[std::size_t(i)]));
    for (int i = 0; i < 10; ++i)
        p.drawText(QRectF(0, g.top + 2 * i * g.Unit() - 8, g.left - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                   Q(kGraphLevelLabels[std::size_t(i)]).trimmed());
}

void ResponseGraph::mousePressEvent(QMouseEvent* e) {
    const QPointF pos = e->position();
    if (e->button() == Qt::LeftButton) {
        if (model_.Press(pos.x(), pos.y())) {
            if (const auto sel = model_.SelectedBand()) emit bandSelected(*sel);
            if (model_.Crossover().hpf.selected || model_.Crossover().lpf.selected)
                emit cornerSelected(model_.Crossover().hpf.selected);
            Invalidate(); // a selected corner is drawn without its fill
        }
    } else if (e->button() == Qt::RightButton) {
        if (const auto hit = model_.RightPress(pos.x(), pos.y(), long(clock_.elapsed()))) {
            emit bandSelected(*hit);
            update();
            UpdateAnimation();
        }
    }
}

void ResponseGraph::mouseMoveEvent(QMouseEvent* e) {
    const QPointF pos = e->position();
    if (model_.Dragging() && model_.Move(pos.x(), pos.y())) {
        Invalidate();
        emit changed();
        if (const auto sel = model_.SelectedBand(); sel && model_.Band(*sel).dragging)
            QToolTip::showText(e->globalPosition().toPoint(),
                               QString::fromStdString(model_.BandTooltip(*sel)), this);
        return;
    }
    setCursor(model_.BandAt(pos.x(), pos.y()) ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void ResponseGraph::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && model_.Dragging()) {
        model_.Release();
        QToolTip::hideText();
        update();
        UpdateAnimation();
    }
}

void ResponseGraph::contextMenuEvent(QContextMenuEvent* e) {
    const auto band = model_.MenuBand(e->pos().x(), e->pos().y(), long(clock_.elapsed()));
    if (band) {
        ShowTypeMenu(*band, e->globalPos());
        return;
    }
    if (const auto corner = model_.CornerAt(e->pos().x(), e->pos().y()))
        ShowSlopeMenu(*corner, e->globalPos());
}

void ResponseGraph::mouseDoubleClickEvent(QMouseEvent* e) {
    const QPointF pos = e->position();
    if (e->button() != Qt::LeftButton || model_.BandAt(pos.x(), pos.y()) || model_.CornerAt(pos.x(), pos.y()))
        return;
    if (!model_.EqOn()) emit eqSwitchRequested();
}

void ResponseGraph::ShowSlopeMenu(bool highPass, const QPoint& globalPos) {
    QMenu menu(highPass ? "High Pass:" : "Low Pass:", this);
    menu.setObjectName("slopeTypeMenu");
    const int current = highPass ? model_.Crossover().hpf.type : model_.Crossover().lpf.type;
    for (int t = 0; t < static_cast<int>(CrossoverEditor::kSlopeTexts.size()); ++t) {
        QAction* a = menu.addAction(QString::fromUtf8(CrossoverEditor::kSlopeTexts[t].data()));
        a->setCheckable(true);
        a->setChecked(current == t);
        a->setData(t);
    }
    if (QAction* chosen = PopupMenu(menu, globalPos)) {
        model_.SetCornerType(highPass, chosen->data().toInt());
        Invalidate();
        emit changed();
    }
}

void ResponseGraph::ShowTypeMenu(int band, const QPoint& globalPos) {
    QMenu menu("filter type", this);
    menu.setObjectName("filterTypeMenu");
    const auto texts = model_.TypeMenuTexts(band);
    for (int t = 0; t < kEqTypeCount; ++t) {
        QAction* a = menu.addAction(QString::fromStdString(texts[t]));
        a->setCheckable(true);
        a->setChecked(model_.Band(band).type == t);
        a->setData(t);
    }
    if (QAction* chosen = PopupMenu(menu, globalPos)) {
        model_.SetSelectedType(chosen->data().toInt());
        Invalidate();
        emit changed();
    }
}

void ResponseGraph::wheelEvent(QWheelEvent* e) {
    wheelRemainder_ += e->angleDelta().y();
    const int notches = wheelRemainder_ / 120;
    wheelRemainder_ -= notches * 120;
    const QPointF pos = e->position();
    if (notches != 0 && model_.Wheel(pos.x(), pos.y(), notches)) {
        Invalidate();
        emit changed();
    }
    e->accept();
}

} // namespace quellmarin::ui
