// The behaviour of the program's own controls without widgets: the slider's position and pixel
// mapping, keys, wheel and drag; the entry fields' character filters; the repeat button's ticks;
// and the two-state picture button's check, radio and look flags.
#pragma once

#include <functional>
#include <optional>
#include <vector>

namespace quellmarin {

// A stepped slider: an integer position between two limits, the minimum at the top (or left).
class SliderModel {
  public:
    enum class Key { PageUp, PageDown, End, Home, Left, Up, Right, Down };
    // "moving" during a drag, "changed" when a change is complete (release, key, wheel).
    std::function<void(int position)> moving, changed;

    void SetRange(int minimum, int maximum);
    void SetPageSize(int page) { page_ = page; }
    void SetPosition(int position); // clamped; no notification
    int Position() const { return position_; }
    int Minimum() const { return min_; }
    int Maximum() const { return max_; }

    // Geometry along the axis: client length, a margin at each end and the thumb size.
    void SetGeometry(int length, int marginStart, int marginEnd, int thumb);
    int ThumbCenter(int position) const;
    int PositionAt(int pixel) const;
    bool OverThumb(int pixel) const;

    void OnKey(Key key);
    // One notch forward (positive) moves towards the minimum.
    void OnWheel(int notches);
    // Drag: starting on the thumb keeps the grab offset; the pointer may leave the control. A press on
    // the track beside the thumb moves one page towards the pointer instead and starts no drag (false).
    bool BeginDrag(int pixel);
    void DragTo(int pixel);
    void EndDrag();
    bool Dragging() const { return dragging_; }

  private:
    int Clamp(int p) const { return p < min_ ? min_ : p > max_ ? max_ : p; }

    int min_ = 0, max_ = 100, page_ = 10, position_ = 0;
    int length_ = 100, start_ = 0, end_ = 100, thumb_ = 10;
    bool dragging_ = false;
    int grab_ = 0;
    int pressPixel_ = 0;
};

// Character filters of the entry fields (control characters always pass).
bool NumEditAccepts(char c, bool negativeAllowed);
bool IntEditAccepts(char c);
bool TextEditAccepts(int mode, char c);

// The repeat button's 50 ms timer: from the sixth tick on, one repeat per tick; the release clicks.
class RepeatTicker {
  public:
    static constexpr int kTickMs = 50;
    static constexpr int kFirstRepeatTick = 6;
    void Press() { ticks_ = 0; }
    // True when this tick sends a repeat.
    bool Tick() { return ++ticks_ > kFirstRepeatTick - 1; }
    int Ticks() const { return ticks_; }

  private:
    int ticks_ = 0;
};

// The picture button's flags: push, check or radio style; the checked flag; the two-state look that
// flips after the owner's click handler has run (so the handler sees the look that was clicked).
class SkinButtonState {
  public:
    enum class Style { Push = 0, Check = 2, Radio = 4 };
    explicit SkinButtonState(Style style = Style::Push) : style_(style) {}
    Style GetStyle() const { return style_; }
    bool Checked() const { return checked_; }
    void SetChecked(bool on) { checked_ = on; }
    int Look() const { return look_; }
    void SetLook(int look) { look_ = look; }
    // A release over the button: the click handler runs first, then the flags change. Returns true
    // when the other buttons of a radio group are to be cleared.
    bool Click(const std::function<void()>& handler, bool pointerOver);
    // The space key: toggles a check button, sets a radio button.
    bool Space();

  private:
    Style style_;
    bool checked_ = false;
    int look_ = 0;
};

} // namespace quellmarin
