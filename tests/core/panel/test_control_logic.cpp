#include "panel/ControlLogic.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace quellmarin;

TEST(SliderModel, KeysWheelAndGeometry) {
    SliderModel s;
    std::vector<int> changed, moving;
    s.changed = [&](int p) { changed.push_back(p); };
    s.moving = [&](int p) { moving.push_back(p); };
    s.SetRange(1, 103);
    s.SetPageSize(10);
    s.SetPosition(50);
    s.OnKey(SliderModel::Key::Home);
    EXPECT_EQ(s.Position(), 1);
    s.OnKey(SliderModel::Key::End);
    EXPECT_EQ(s.Position(), 103);
    s.SetPosition(100);
    s.OnKey(SliderModel::Key::PageDown);
    EXPECT_EQ(s.Position(), 103) << "page down stops at the maximum";
    s.OnKey(SliderModel::Key::PageUp);
    EXPECT_EQ(s.Position(), 93);
    s.OnKey(SliderModel::Key::Up);
    s.OnKey(SliderModel::Key::Left);
    EXPECT_EQ(s.Position(), 91);
    s.OnKey(SliderModel::Key::Down);
    EXPECT_EQ(s.Position(), 92);
    s.SetPosition(1);
    changed.clear();
    s.OnWheel(1);
    EXPECT_EQ(s.Position(), 1);
    EXPECT_EQ(changed, std::vector<int>{1}) << "a wheel notch forward at the minimum still reports";
    s.OnWheel(-1);
    EXPECT_EQ(s.Position(), 2);
    EXPECT_TRUE(moving.empty());

    s.SetGeometry(220, 4, 4, 18);
    EXPECT_EQ(s.ThumbCenter(1), 9 + 4);
    EXPECT_EQ(s.ThumbCenter(103), 9 + 4 + (220 - 8 - 18));
    EXPECT_EQ(s.ThumbCenter(13), 13 + 22) << "t/2 + start + trunc(12 / 102 x 194)";
    EXPECT_EQ(s.PositionAt(35), 12) << "trunc((35 - 9 - 4) / 194 x 102 + 1)";
    for (int p : {1, 13, 52, 103}) EXPECT_LE(std::abs(s.PositionAt(s.ThumbCenter(p)) - p), 1) << p;
}

TEST(SliderModel, DragKeepsTheGrabOffsetAndStopsAtTheEnds) {
    SliderModel s;
    std::vector<int> changed, moving;
    s.changed = [&](int p) { changed.push_back(p); };
    s.moving = [&](int p) { moving.push_back(p); };
    s.SetRange(1, 103);
    s.SetGeometry(220, 4, 4, 18);
    s.SetPosition(13);
    const int c = s.ThumbCenter(13);
    ASSERT_TRUE(s.BeginDrag(c + 3));
    s.DragTo(c + 3);
    EXPECT_TRUE(moving.empty()) << "no jump by the grab offset";
    s.DragTo(-500);
    EXPECT_EQ(s.Position(), 1);
    s.DragTo(5000);
    EXPECT_EQ(s.Position(), 103);
    EXPECT_FALSE(moving.empty());
    EXPECT_TRUE(changed.empty());
    s.EndDrag();
    EXPECT_EQ(changed, std::vector<int>{103});
}

TEST(SliderModel, APressOnTheTrackMovesOnePageTowardsThePointerAndDragsNothing) {
    SliderModel s;
    std::vector<int> changed, moving;
    s.changed = [&](int p) { changed.push_back(p); };
    s.moving = [&](int p) { moving.push_back(p); };
    s.SetRange(1, 103);
    s.SetPageSize(10);
    s.SetGeometry(220, 4, 4, 18);
    s.SetPosition(13);
    // Far below the thumb (a gain of +3 dB would have jumped to about -37 dB): one page down.
    EXPECT_FALSE(s.BeginDrag(s.ThumbCenter(63)));
    EXPECT_EQ(s.Position(), 23);
    EXPECT_FALSE(s.Dragging());
    s.DragTo(s.ThumbCenter(80));
    EXPECT_EQ(s.Position(), 23) << "moving the pointer after a track press drags nothing";
    EXPECT_FALSE(s.BeginDrag(2)); // above it: one page up
    EXPECT_EQ(s.Position(), 13);
    EXPECT_EQ(changed, (std::vector<int>{23, 13})) << "each page is a complete change";
    EXPECT_TRUE(moving.empty());
    // At the end it stops there, as the page keys do.
    s.SetPosition(98);
    EXPECT_FALSE(s.BeginDrag(219));
    EXPECT_EQ(s.Position(), 103);
}

TEST(ControlLogic, EntryFilters) {
    EXPECT_FALSE(NumEditAccepts('-', false));
    EXPECT_TRUE(NumEditAccepts('-', true));
    for (char c : std::string("0123456789.kKzZ\b\x1b")) EXPECT_TRUE(NumEditAccepts(c, false)) << c;
    for (char c : std::string("aHx ,+")) EXPECT_FALSE(NumEditAccepts(c, false)) << c;
    EXPECT_TRUE(IntEditAccepts('-'));
    EXPECT_TRUE(IntEditAccepts('7'));
    EXPECT_FALSE(IntEditAccepts('.'));
    EXPECT_TRUE(TextEditAccepts(5, 'A'));
    EXPECT_TRUE(TextEditAccepts(5, '!'));
    EXPECT_TRUE(TextEditAccepts(5, ' '));
    EXPECT_FALSE(TextEditAccepts(5, '('));
    EXPECT_FALSE(TextEditAccepts(5, ')'));
    EXPECT_FALSE(TextEditAccepts(5, '\xe9')) << "names on the wire are printable ASCII";
    EXPECT_TRUE(TextEditAccepts(0, 'O'));
    EXPECT_TRUE(TextEditAccepts(0, 'f'));
    EXPECT_FALSE(TextEditAccepts(1, 'f'));
    EXPECT_TRUE(TextEditAccepts(3, '-'));
    EXPECT_FALSE(TextEditAccepts(2, '-'));
    for (int mode = 0; mode < 10; ++mode) EXPECT_TRUE(TextEditAccepts(mode, '\b')) << mode;
}

TEST(ControlLogic, RepeatTicksAndButtonLook) {
    RepeatTicker t;
    t.Press();
    int repeats = 0;
    for (int tick = 0; tick < 8; ++tick) repeats += t.Tick(); // 400 ms
    EXPECT_EQ(repeats, 3) << "ticks 6, 7 and 8";
    t.Press();
    repeats = 0;
    for (int tick = 0; tick < 7; ++tick) repeats += t.Tick(); // 350 ms
    EXPECT_EQ(repeats, 2);

    SkinButtonState push;
    push.SetLook(1);
    int seen = -1;
    push.Click([&] { seen = push.Look(); }, true);
    EXPECT_EQ(seen, 1) << "the handler sees the look that was clicked";
    EXPECT_EQ(push.Look(), 0);
    push.Click({}, false);
    EXPECT_EQ(push.Look(), 0) << "the look flips only with the pointer over the button";

    SkinButtonState check(SkinButtonState::Style::Check);
    EXPECT_FALSE(check.Click({}, true));
    EXPECT_TRUE(check.Checked());
    check.Space();
    EXPECT_FALSE(check.Checked());
    SkinButtonState radio(SkinButtonState::Style::Radio);
    EXPECT_TRUE(radio.Click({}, true)) << "a radio click clears its group";
    EXPECT_TRUE(radio.Checked());
    EXPECT_TRUE(radio.Space());
}
