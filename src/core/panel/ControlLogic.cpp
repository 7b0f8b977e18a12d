#include "panel/ControlLogic.h"

#include <cmath>

namespace quellmarin {

void SliderModel::SetRange(int minimum, int maximum) {
    min_ = minimum;
    max_ = maximum < minimum ? minimum : maximum;
    position_ = Clamp(position_);
}

void SliderModel::SetPosition(int position) {
    position_ = Clamp(position);
}

void SliderModel::SetGeometry(int length, int marginStart, int marginEnd, int thumb) {
    length_ = length;
    start_ = marginStart;
    end_ = length - marginEnd;
    thumb_ = thumb;
}

int SliderModel::ThumbCenter(int p) const {
    const int span = end_ - start_ - thumb_;
    if (max_ == min_ || span <= 0) return thumb_ / 2 + start_;
    return thumb_ / 2 + start_ + static_cast<int>(std::trunc(double(p - min_) / (max_ - min_) * span));
}

int SliderModel::PositionAt(int c) const {
    const int span = end_ - start_ - thumb_;
    if (span <= 0) return min_;
    return static_cast<int>(std::trunc(double(c - thumb_ / 2 - start_) / span * (max_ - min_) + min_));
}

bool SliderModel::OverThumb(int pixel) const {
    return std::abs(pixel - ThumbCenter(position_)) <= thumb_ / 2;
}

void SliderModel::OnKey(Key key) {
    int p = position_;
    switch (key) {
    case Key::PageUp:
        p -= page_;
        break;
    case Key::PageDown:
        p += page_;
        break;
    case Key::End:
        p = max_;
        break;
    case Key::Home:
        p = min_;
        break;
    case Key::Left:
    case Key::Up:
        p -= 1;
        break;
    case Key::Right:
    case Key::Down:
        p += 1;
        break;
    }
    position_ = Clamp(p);
    if (changed) changed(position_);
}

void SliderModel::OnWheel(int notches) {
    if (notches > 0 && position_ > min_) position_ = Clamp(position_ - notches);
    if (notches < 0 && position_ < max_) position_ = Clamp(position_ - notches);
    if (changed) changed(position_);
}

bool SliderModel::BeginDrag(int pixel) {
    if (!OverThumb(pixel)) {
        // A press on the track moves one page towards the pointer, as desktop sliders do; only the
        // thumb is dragged. A gain never jumps to where the pointer happened to land.
        const int towards = pixel < ThumbCenter(position_) ? -page_ : page_;
        const int p = Clamp(position_ + towards);
        if (p != position_) {
            position_ = p;
            if (changed) changed(position_);
        }
        return false;
    }
    grab_ = pixel - ThumbCenter(position_);
    pressPixel_ = pixel;
    dragging_ = true;
    return true;
}

void SliderModel::DragTo(int pixel) {
    // Until the pointer moves the thumb stays: the pixel mapping does not invert exactly.
    if (!dragging_ || pixel == pressPixel_) return;
    int c = pixel - grab_;
    const int lo = start_ + thumb_ / 2, hi = end_ - thumb_ + thumb_ / 2;
    c = c < lo ? lo : c > hi ? hi : c;
    const int p = Clamp(PositionAt(c));
    if (p != position_) {
        position_ = p;
        if (moving) moving(position_);
    }
}

void SliderModel::EndDrag() {
    if (!dragging_) return;
    dragging_ = false;
    if (changed) changed(position_);
}

namespace {
bool Digit(char c) {
    return c >= '0' && c <= '9';
}
bool Control(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}
} // namespace

bool NumEditAccepts(char c, bool negativeAllowed) {
    if (Control(c)) return true;
    if (c == '-') return negativeAllowed;
    return Digit(c) || c == '.' || c == 'k' || c == 'K' || c == 'z' || c == 'Z';
}

bool IntEditAccepts(char c) {
    return Control(c) || Digit(c) || c == '-';
}

bool TextEditAccepts(int mode, char c) {
    if (Control(c)) return true;
    switch (mode) {
    case 0:
        return c == ' ' || c == '.' || Digit(c) || c == 'f' || c == 'k' || c == 'o' || c == 'F' || c == 'K' ||
               c == 'O';
    case 1:
        return c == ' ' || c == '.' || Digit(c) || c == 'k' || c == 'K';
    case 3:
    case 6:
        return c == ' ' || c == '-' || c == '.' || Digit(c);
    case 5:
        return c != '(' && c != ')' && static_cast<unsigned char>(c) >= 0x20 &&
               static_cast<unsigned char>(c) < 0x7F;
    default:
        return c == ' ' || c == '.' || Digit(c);
    }
}

bool SkinButtonState::Click(const std::function<void()>& handler, bool pointerOver) {
    if (handler) handler();
    bool clearGroup = false;
    if (style_ == Style::Check) checked_ = !checked_;
    if (style_ == Style::Radio) {
        checked_ = true;
        clearGroup = true;
    }
    if (pointerOver) look_ = look_ ? 0 : 1;
    return clearGroup;
}

bool SkinButtonState::Space() {
    if (style_ == Style::Check) checked_ = !checked_;
    if (style_ == Style::Radio) {
        checked_ = true;
        return true;
    }
    return false;
}

} // namespace quellmarin
