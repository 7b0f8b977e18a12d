#include "widgets/Controls.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QSignalBlocker>
#include <QPainterPath>
#include <QStyle>
#include <QWheelEvent>

namespace quellmarin::ui {

namespace {

// Drops what a filter refuses from pasted or otherwise inserted text.
template <class Accept> void FilterText(QLineEdit* edit, Accept accept) {
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit, accept](const QString& text) {
        QString kept;
        for (QChar c : text)
            if (c.unicode() < 0x80 && accept(static_cast<char>(c.unicode()))) kept += c;
        if (kept != text) {
            const int cursor = edit->cursorPosition() - int(text.size() - kept.size());
            edit->setText(kept);
            edit->setCursorPosition(std::max(0, cursor));
        }
    });
}

// A typed character that the filter refuses is dropped; keys without text pass.
template <class Accept> bool Refused(QKeyEvent* e, Accept accept) {
    const QString t = e->text();
    if (t.isEmpty()) return false;
    const QChar c = t.front();
    if (c.unicode() >= 0x80) return true;
    return !accept(static_cast<char>(c.unicode()));
}

const QColor kFace(35, 43, 54), kFaceHi(48, 60, 76), kAccent(255, 196, 64), kBlue(110, 170, 240);

} // namespace

SkinSlider::SkinSlider(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), orientation_(orientation) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    model_.moving = [this](int p) {
        update();
        emit moving(p);
    };
    model_.changed = [this](int p) {
        update();
        emit changed(p);
    };
    UpdateGeometry();
}

QSize SkinSlider::sizeHint() const {
    return orientation_ == Qt::Vertical ? QSize(36, 220) : QSize(220, 36);
}

void SkinSlider::SetRange(int minimum, int maximum) {
    model_.SetRange(minimum, maximum);
    update();
}

void SkinSlider::SetPosition(int position) {
    model_.SetPosition(position);
    update();
}

void SkinSlider::UpdateGeometry() {
    const int length = orientation_ == Qt::Vertical ? height() : width();
    model_.SetGeometry(length, 4, 4, 18);
}

void SkinSlider::resizeEvent(QResizeEvent*) {
    UpdateGeometry();
}

void SkinSlider::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool vertical = orientation_ == Qt::Vertical;
    const QRectF r = rect();
    // Channel.
    const QRectF channel = vertical ? QRectF(r.center().x() - 3, 4, 6, r.height() - 8)
                                    : QRectF(4, r.center().y() - 3, r.width() - 8, 6);
    p.setPen(QPen(QColor(60, 70, 84), 1));
    p.setBrush(QColor(10, 13, 18));
    p.drawRoundedRect(channel, 3, 3);
    // Thumb.
    const int c = model_.ThumbCenter(model_.Position());
    const QRectF thumb =
        vertical ? QRectF(r.center().x() - 14, c - 9, 28, 18) : QRectF(c - 9, r.center().y() - 14, 18, 28);
    QLinearGradient g(thumb.topLeft(), vertical ? thumb.bottomLeft() : thumb.topRight());
    g.setColorAt(0, hover_ || model_.Dragging() ? QColor(110, 124, 142) : QColor(88, 100, 116));
    g.setColorAt(1, QColor(44, 52, 64));
    p.setBrush(g);
    p.setPen(QPen(hasFocus() ? kAccent : QColor(130, 140, 155), hasFocus() ? 2 : 1));
    p.drawRoundedRect(thumb, 4, 4);
    p.setPen(QPen(kAccent, 1.5));
    if (vertical)
        p.drawLine(QPointF(thumb.left() + 5, c), QPointF(thumb.right() - 5, c));
    else
        p.drawLine(QPointF(c, thumb.top() + 5), QPointF(c, thumb.bottom() - 5));
}

void SkinSlider::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    setFocus();
    if (model_.BeginDrag(Along(e->position()))) grabMouse();
    update();
}

void SkinSlider::mouseMoveEvent(QMouseEvent* e) {
    const bool over = model_.OverThumb(Along(e->position()));
    if (over != hover_) {
        hover_ = over;
        update();
    }
    if (model_.Dragging()) model_.DragTo(Along(e->position()));
}

void SkinSlider::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !model_.Dragging()) return;
    releaseMouse();
    model_.EndDrag();
}

void SkinSlider::wheelEvent(QWheelEvent* e) {
    wheelRemainder_ += e->angleDelta().y();
    const int notches = wheelRemainder_ / 120;
    wheelRemainder_ -= notches * 120;
    for (int i = 0; i < std::abs(notches); ++i) model_.OnWheel(notches > 0 ? 1 : -1);
    e->accept();
}

void SkinSlider::keyPressEvent(QKeyEvent* e) {
    using K = SliderModel::Key;
    switch (e->key()) {
    case Qt::Key_PageUp:
        model_.OnKey(K::PageUp);
        break;
    case Qt::Key_PageDown:
        model_.OnKey(K::PageDown);
        break;
    case Qt::Key_End:
        model_.OnKey(K::End);
        break;
    case Qt::Key_Home:
        model_.OnKey(K::Home);
        break;
    case Qt::Key_Left:
        model_.OnKey(K::Left);
        break;
    case Qt::Key_Up:
        model_.OnKey(K::Up);
        break;
    case Qt::Key_Right:
        model_.OnKey(K::Right);
        break;
    case Qt::Key_Down:
        model_.OnKey(K::Down);
        break;
    default:
        QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
}

void SkinSlider::leaveEvent(QEvent*) {
    hover_ = false;
    update();
}

void CMyButton::enterEvent(QEnterEvent*) {
    hover_ = true;
    update();
}

void CMyButton::leaveEvent(QEvent*) {
    hover_ = false;
    update();
}

void CMyButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    // A vertical gradient in 64 bands, lighter on hover, darker while pressed.
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    const int lift = isDown() ? -14 : hover_ ? 16 : 0;
    g.setColorAt(0, QColor(90 + lift, 104 + lift, 124 + lift));
    g.setColorAt(1, QColor(36 + lift / 2, 44 + lift / 2, 56 + lift / 2));
    p.setBrush(g);
    if (hover_)
        p.setPen(QPen(QColor(250, 196, 88), 3));
    else if (hasFocus() || isDefault())
        p.setPen(QPen(QColor(153, 198, 252), 3));
    else
        p.setPen(QPen(QColor(70, 82, 98), 1));
    p.drawRoundedRect(r, 5, 5);
    p.setPen(isDown() ? QColor(0, 200, 200) : QColor(232, 238, 245));
    p.drawText(rect(), Qt::AlignCenter, text());
}

CMyMacBTN::CMyMacBTN(const QString& text, QWidget* parent) : QAbstractButton(parent) {
    setText(text);
    animation_.setInterval(20); // timer 20
    connect(&animation_, &QTimer::timeout, this, [this] {
        step_ += direction_;
        if (step_ >= length_ || step_ <= 0) direction_ = -direction_;
        if (!latched_ && step_ <= 0) animation_.stop();
        update();
    });
}

void CMyMacBTN::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !rect().contains(e->position().toPoint())) {
        QAbstractButton::mouseReleaseEvent(e);
        return;
    }
    setDown(false);
    latched_ = !latched_;
    if (latched_) {
        // The latching click stays with the button (it would play the click sound here).
        animation_.start();
    } else {
        step_ = 0;
        direction_ = 1;
        length_ = 5;
        emit released_();
        emit clicked();
    }
    update();
}

void CMyMacBTN::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(2, 2, -2, -2);
    const double glow = latched_ ? 0.5 + 0.1 * step_ : 0;
    p.setBrush(latched_ ? QColor(60 + int(60 * glow), 110 + int(50 * glow), 70) : kFace);
    p.setPen(QPen(latched_ ? QColor(120, 230, 140) : QColor(185, 185, 185), 1.5));
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    p.setPen(Qt::white);
    p.drawText(rect(), Qt::AlignCenter, text());
}

CMyGroupBox::CMyGroupBox(const QString& caption, QWidget* parent) : QWidget(parent), caption_(caption) {
    setContentsMargins(8, 22, 8, 8);
}

void CMyGroupBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(1, 9, -1, -1);
    p.setPen(QPen(QColor(60, 72, 88), 1));
    p.setBrush(QColor(22, 27, 34));
    p.drawRoundedRect(frame, 7.5, 7.5); // 15 x 15 corners
    const QFontMetrics fm(font());
    const int w = fm.horizontalAdvance(caption_) + 10;
    int x = 14;
    if (alignment_ & Qt::AlignHCenter) x = (width() - w) / 2;
    if (alignment_ & Qt::AlignRight) x = width() - w - 14;
    const QRect band(x, 0, w, fm.height() + 2);
    p.fillRect(band, palette().window());
    p.setPen(QColor(159, 179, 200));
    p.drawText(band, Qt::AlignCenter, caption_);
}

SkinButton::SkinButton(const QString& text, SkinButtonState::Style style, QWidget* parent)
    : QAbstractButton(parent), state_(style) {
    setText(text);
    setFocusPolicy(Qt::StrongFocus);
    // A click that did not come from the mouse (an assistive technology's press action, Enter, a
    // program's click()) does what a mouse click over the button does.
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (mouseClick_) return;
        if (state_.Click([this] { emit skinClicked(); }, true)) ClearGroup();
        update();
    });
}

void SkinButton::SetLook(int look) {
    state_.SetLook(look);
    update();
}

void SkinButton::SetCheckedFlag(bool on) {
    state_.SetChecked(on);
    update();
}

void SkinButton::ClearGroup() {
    if (!parentWidget()) return;
    for (SkinButton* other : parentWidget()->findChildren<SkinButton*>(QString(), Qt::FindDirectChildrenOnly))
        if (other != this && other->state_.GetStyle() == SkinButtonState::Style::Radio)
            other->SetCheckedFlag(false);
}

void SkinButton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !isDown()) {
        QAbstractButton::mouseReleaseEvent(e);
        return;
    }
    setDown(false);
    const bool over = rect().contains(e->position().toPoint());
    if (!over) {
        update();
        return;
    }
    mouseClick_ = true;
    const bool clearGroup = state_.Click(
        [this] {
            emit skinClicked();
            emit clicked();
        },
        hover_ || over);
    mouseClick_ = false;
    if (clearGroup) ClearGroup();
    update();
}

void SkinButton::keyPressEvent(QKeyEvent* e) {
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && !e->isAutoRepeat()) {
        click(); // Enter presses the focused button, as a click does
        e->accept();
        return;
    }
    if (e->key() == Qt::Key_Space && !e->isAutoRepeat()) {
        if (state_.Space()) ClearGroup();
        update();
        e->accept();
        return;
    }
    QAbstractButton::keyPressEvent(e);
}

void SkinButton::enterEvent(QEnterEvent*) {
    hover_ = true;
    update();
}

void SkinButton::leaveEvent(QEvent*) {
    hover_ = false;
    update();
}

void SkinButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    const bool selectedLook = state_.Look() == 0 && state_.GetStyle() == SkinButtonState::Style::Push;
    QColor face = kFace;
    if (!isEnabled())
        face = QColor(28, 32, 38);
    else if (isDown() || state_.Checked())
        face = QColor(59, 110, 160);
    else if (hover_)
        face = kFaceHi;
    p.setBrush(face);
    p.setPen(QPen(hasFocus() ? kAccent : selectedLook ? kBlue : QColor(70, 82, 98), hasFocus() ? 2 : 1));
    p.drawRoundedRect(r, 4, 4);
    p.setPen(isEnabled() ? QColor(232, 238, 245) : QColor(110, 118, 128));
    p.drawText(rect(), Qt::AlignCenter, text());
}

RepeatButton::RepeatButton(const QString& text, QWidget* parent)
    : SkinButton(text, SkinButtonState::Style::Push, parent) {
    timer_.setInterval(RepeatTicker::kTickMs);
    connect(&timer_, &QTimer::timeout, this, &RepeatButton::TickOnce);
}

void RepeatButton::TickOnce() {
    if (ticker_.Tick()) emit repeat();
}

void RepeatButton::mousePressEvent(QMouseEvent* e) {
    SkinButton::mousePressEvent(e);
    if (e->button() == Qt::LeftButton) {
        ticker_.Press();
        timer_.start();
    }
}

void RepeatButton::mouseReleaseEvent(QMouseEvent* e) {
    timer_.stop();
    SkinButton::mouseReleaseEvent(e);
}

CMyNumEdit::CMyNumEdit(QWidget* parent) : QLineEdit(parent) {
    QPalette pal = palette();
    pal.setColor(QPalette::Text, QColor(255, 90, 80));
    setPalette(pal);
    FilterText(this, [this](char c) { return NumEditAccepts(c, negative_); });
}

void CMyNumEdit::keyPressEvent(QKeyEvent* e) {
    if (Refused(e, [this](char c) { return NumEditAccepts(c, negative_); })) return;
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) return; // acted on at release
    QLineEdit::keyPressEvent(e);
}

void CMyNumEdit::keyReleaseEvent(QKeyEvent* e) {
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && parentWidget()) {
        emit editingFinished();
        // The focus leaves without a second notice: one Enter, one value taken.
        const QSignalBlocker quiet(this);
        parentWidget()->setFocus();
        return;
    }
    QLineEdit::keyReleaseEvent(e);
}

void CMyNumEdit::mousePressEvent(QMouseEvent* e) {
    QLineEdit::mousePressEvent(e);
    if (e->button() == Qt::LeftButton) selectAll();
}

void CMyIntEdit::keyPressEvent(QKeyEvent* e) {
    if (Refused(e, IntEditAccepts)) return;
    QLineEdit::keyPressEvent(e);
}

CMyTextEdit::CMyTextEdit(int mode, QWidget* parent) : QLineEdit(parent), mode_(mode) {
    FilterText(this, [this](char c) { return TextEditAccepts(mode_, c); });
}

void CMyTextEdit::keyPressEvent(QKeyEvent* e) {
    if (Refused(e, [this](char c) { return TextEditAccepts(mode_, c); })) return;
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) return;
    QLineEdit::keyPressEvent(e);
}

void CMyTextEdit::keyReleaseEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) {
        emit editingFinished();
        // The focus leaves without a second notice: one Enter, one frame sent.
        const QSignalBlocker quiet(this);
        if (QWidget* main = window()) main->setFocus();
        return;
    }
    QLineEdit::keyReleaseEvent(e);
}

void CMyTextEdit::mousePressEvent(QMouseEvent* e) {
    QLineEdit::mousePressEvent(e);
    if (e->button() == Qt::RightButton) {
        setFocus();
        selectAll();
    }
}

} // namespace quellmarin::ui
