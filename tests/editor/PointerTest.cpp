// X pointer state to view button bits, and the double-click rule.
#include <gtest/gtest.h>

#include "editor/x11/X11Pointer.h"

using namespace x11_editor;

TEST(X11Pointer, ButtonsAndModifiersMapToViewBits) {
    EXPECT_EQ(viewButtons(0), 0);
    EXPECT_EQ(viewButtons(Button1Mask), kViewLeft);
    EXPECT_EQ(viewButtons(Button2Mask), kViewMiddle);
    EXPECT_EQ(viewButtons(Button3Mask), kViewRight);
    EXPECT_EQ(viewButtons(Button3Mask | ControlMask), 8 | 32);
    EXPECT_EQ(viewButtons(Button1Mask | ShiftMask | Mod1Mask), 2 | 16 | 64);
    // Caps lock, num lock (Mod2) and the wheel buttons' bits mean nothing to the view.
    EXPECT_EQ(viewButtons(LockMask | Mod2Mask | Button4Mask | Button5Mask), 0);

    EXPECT_EQ(buttonMask(Button1), static_cast<unsigned>(Button1Mask));
    EXPECT_EQ(buttonMask(Button3), static_cast<unsigned>(Button3Mask));
    EXPECT_EQ(buttonMask(8), 0u);
    EXPECT_EQ(extraButtonBit(8), kViewExtra1);
    EXPECT_EQ(extraButtonBit(9), kViewExtra2);
    EXPECT_EQ(extraButtonBit(1), 0);
    for (unsigned b : {4u, 5u, 6u, 7u}) EXPECT_TRUE(isWheel(b)) << b;
    for (unsigned b : {1u, 2u, 3u, 8u, 9u}) EXPECT_FALSE(isWheel(b)) << b;
}

TEST(X11Pointer, DoubleClickNeedsTheSameButtonCloseInTimeAndPlace) {
    ClickTracker clicks;
    EXPECT_FALSE(clicks.press(Button1, 1000, 100, 100));
    EXPECT_TRUE(clicks.press(Button1, 1300, 104, 96));  // 300 ms and 4 pixels are still close
    EXPECT_FALSE(clicks.press(Button1, 1400, 104, 96));  // a third press starts over
    EXPECT_TRUE(clicks.press(Button1, 1500, 104, 96));

    ClickTracker slow;
    slow.press(Button1, 1000, 10, 10);
    EXPECT_FALSE(slow.press(Button1, 1301, 10, 10));
    ClickTracker far;
    far.press(Button1, 1000, 10, 10);
    EXPECT_FALSE(far.press(Button1, 1010, 15, 10));
    ClickTracker other;
    other.press(Button1, 1000, 10, 10);
    EXPECT_FALSE(other.press(Button3, 1010, 10, 10));
    EXPECT_TRUE(other.press(Button3, 1020, 10, 10));

    // The server's millisecond time wraps at 32 bits.
    ClickTracker wrapping;
    wrapping.press(Button1, 0xFFFFFF00u, 0, 0);
    EXPECT_TRUE(wrapping.press(Button1, 0x00000010u, 0, 0));
}
