// The frequency-response graph of the selected channel: grid and labels, the summed curve as a
// smooth spline, the band handles and crossover corners, dragging, the right-click type menu, the
// wheel for Q and the pulsing handle of the selected band or corner (20 ms timer).
#pragma once

#include "panel/GraphModel.h"

#include <QElapsedTimer>
#include <QMenu>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace quellmarin::ui {

class ResponseGraph : public QWidget {
    Q_OBJECT
  public:
    explicit ResponseGraph(DeviceModel model, QWidget* parent = nullptr);
    GraphModel& Model() { return model_; }
    // The handle animation of the selected band or corner: it runs while the pointer is over the
    // graph, the graph has the keyboard focus or a drag runs; it is held for the time of a scan, and
    // idle (no timer) otherwise. At rest the selected handle keeps its larger size.
    void HoldAnimation(bool held);
    bool Animating() const { return animation_.isActive(); }
    QSize sizeHint() const override { return {620, 280}; }
    QPointF BandPoint(int index) const;
    QPointF CornerPoint(bool highPass) const;
    // The curve changed (a load from the record): redraw the grid and curve layer too.
    void Invalidate();

    // How a context menu is shown; tests answer it instead of a person.
    using MenuSeam = std::function<QAction*(QMenu& menu, const QPoint& globalPos)>;
    void SetMenuSeam(MenuSeam seam) { menuSeam_ = std::move(seam); }

  signals:
    void bandSelected(int index);
    void cornerSelected(bool highPass);
    void changed();
    // A double-click on empty graph space while the shown channel's equaliser is off.
    void eqSwitchRequested();

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void contextMenuEvent(QContextMenuEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void focusInEvent(QFocusEvent*) override;
    void focusOutEvent(QFocusEvent*) override;

  private:
    PlotGeometry PlotRect() const;
    void PaintBackground(QPainter& p);
    QRect HandleArea() const;
    void ShowTypeMenu(int band, const QPoint& globalPos);
    void ShowSlopeMenu(bool highPass, const QPoint& globalPos);
    QAction* PopupMenu(QMenu& menu, const QPoint& globalPos) {
        return menuSeam_ ? menuSeam_(menu, globalPos) : menu.exec(globalPos);
    }

    GraphModel model_;
    void UpdateAnimation();
    bool AnySelected() const;

    QTimer animation_;
    bool animationHeld_ = false;
    bool pointerOver_ = false;
    QElapsedTimer clock_;
    int wheelRemainder_ = 0;
    // Grid and curve, drawn again only when the curve or the size changes; the pulsing handles are
    // painted over it every animation tick.
    QPixmap background_;
    bool backgroundDirty_ = true;
    MenuSeam menuSeam_;
};

} // namespace quellmarin::ui
