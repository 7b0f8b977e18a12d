// The program's own controls, drawn with QPainter in the panel's style: the slider, the buttons, the
// group box and the filtered entry fields. Their behaviour lives in ControlLogic.
#pragma once

#include "panel/ControlLogic.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace quellmarin::ui {

class SkinSlider : public QWidget {
    Q_OBJECT
  public:
    explicit SkinSlider(Qt::Orientation orientation = Qt::Vertical, QWidget* parent = nullptr);
    SliderModel& Model() { return model_; }
    const SliderModel& Model() const { return model_; }
    void SetRange(int minimum, int maximum);
    void SetPageSize(int page) { model_.SetPageSize(page); }
    void SetPosition(int position);
    int Position() const { return model_.Position(); }
    QSize sizeHint() const override;

  signals:
    void moving(int position);  // during a drag
    void changed(int position); // a complete change: release, key, wheel

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void leaveEvent(QEvent*) override;
    void resizeEvent(QResizeEvent*) override;

  private:
    int Along(const QPointF& p) const { return int(orientation_ == Qt::Vertical ? p.y() : p.x()); }
    void UpdateGeometry();

    Qt::Orientation orientation_;
    SliderModel model_;
    bool hover_ = false;
    int wheelRemainder_ = 0;
};

// A rounded button with a gradient face, orange frame on hover and blue frame with the focus.
class CMyButton : public QPushButton {
    Q_OBJECT
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

  private:
    bool hover_ = false;
};

// A latching round button with a short highlight animation (timer 20). The click that latches it
// is not passed on; the one that releases it is.
class CMyMacBTN : public QAbstractButton {
    Q_OBJECT
  public:
    explicit CMyMacBTN(const QString& text = {}, QWidget* parent = nullptr);
    bool Latched() const { return latched_; }
    int AnimationStep() const { return step_; }
    QSize sizeHint() const override { return {110, 34}; }

  signals:
    void released_(); // the click that releases the latch, passed on to the owner

  protected:
    void paintEvent(QPaintEvent*) override;
    void nextCheckState() override {}
    void mouseReleaseEvent(QMouseEvent*) override;

  private:
    bool latched_ = false;
    int step_ = 0, direction_ = 1, length_ = 5;
    QTimer animation_;
};

// A group frame with 15 x 15 rounded corners and the caption at the left, centre or right.
class CMyGroupBox : public QWidget {
    Q_OBJECT
  public:
    explicit CMyGroupBox(const QString& caption = {}, QWidget* parent = nullptr);
    void SetCaption(const QString& c) {
        caption_ = c;
        update();
    }
    void SetAlignment(Qt::Alignment a) {
        alignment_ = a;
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QString caption_;
    Qt::Alignment alignment_ = Qt::AlignLeft;
};

// A picture button with normal, pressed, hover, disabled and focus looks; push, check or radio
// style; and the two-state look flag that flips after the click handler ran.
class SkinButton : public QAbstractButton {
    Q_OBJECT
  public:
    explicit SkinButton(const QString& text = {}, SkinButtonState::Style style = SkinButtonState::Style::Push,
                        QWidget* parent = nullptr);
    SkinButtonState& State() { return state_; }
    int Look() const { return state_.Look(); }
    void SetLook(int look);
    bool CheckedFlag() const { return state_.Checked(); }
    void SetCheckedFlag(bool on);
    QSize sizeHint() const override { return {64, 28}; }

  signals:
    void skinClicked(); // the click notification; the look has not flipped yet

  protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void nextCheckState() override {}
    void ClearGroup();

    SkinButtonState state_;
    bool hover_ = false;
    bool mouseClick_ = false; // the mouse release is running the click itself
};

// A SkinButton that repeats while held: from the sixth 50 ms tick on, one `repeat` per tick; the
// release gives the ordinary click.
class RepeatButton : public SkinButton {
    Q_OBJECT
  public:
    explicit RepeatButton(const QString& text = {}, QWidget* parent = nullptr);
    QTimer& Timer() { return timer_; }
    // One tick of the repeat timer (the timer calls it; tests call it directly).
    void TickOnce();

  signals:
    void repeat();

  protected:
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

  private:
    RepeatTicker ticker_;
    QTimer timer_;
};

// Value fields: digits, ".", k, K, z, Z and (when allowed) "-"; Enter hands the focus to the parent.
class CMyNumEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit CMyNumEdit(QWidget* parent = nullptr);
    void SetNegativeAllowed(bool on) { negative_ = on; }

  protected:
    void keyPressEvent(QKeyEvent*) override;
    void keyReleaseEvent(QKeyEvent*) override;
    void mousePressEvent(QMouseEvent*) override;

  private:
    bool negative_ = false;
};

class CMyIntEdit : public QLineEdit {
    Q_OBJECT
  public:
    using QLineEdit::QLineEdit;

  protected:
    void keyPressEvent(QKeyEvent*) override;
};

// Text fields with one of ten filter modes; Enter or Escape hands the focus to the main window, a
// right click selects the whole text.
class CMyTextEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit CMyTextEdit(int mode = 0, QWidget* parent = nullptr);
    void SetMode(int mode) { mode_ = mode; }

  protected:
    void keyPressEvent(QKeyEvent*) override;
    void keyReleaseEvent(QKeyEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void contextMenuEvent(QContextMenuEvent*) override {}

  private:
    int mode_;
};

} // namespace quellmarin::ui
