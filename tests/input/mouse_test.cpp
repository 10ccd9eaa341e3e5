#include <cmath>

#include "input_fixture.h"

using Mouse = InputTest;
using Joysticks = InputTest;

TEST_F(Mouse, SecondPressWithin500MsIsADoubleClick) {
    const MouseState& m = mouseState();
    // Press to press: 400 ms (a double click), then 600 ms (not one).
    for (int gap : {2, 5}) {
        mouseState().doubleClick = 0;
        inputMouseButtonEvent(MOUSE_LEFT, 1);
        frame(100);
        inputMouseButtonEvent(MOUSE_LEFT, 0);
        for (int i = 0; i < gap; i++) frame(100);
        inputMouseButtonEvent(MOUSE_LEFT, 1);
        frame(100);
        EXPECT_EQ(m.doubleClick, gap == 2) << gap;
        inputMouseButtonEvent(MOUSE_LEFT, 0);
        frame(100);
    }
    // Two clicks with a rest of the main loop between them (no frames, the clock reset after).
    frame(1000);
    mouseState().doubleClick = 0;
    inputMouseButtonEvent(MOUSE_LEFT, 1);
    frame(100);
    inputMouseButtonEvent(MOUSE_LEFT, 0);
    frame(100);
    inputTimePassed(3000);
    inputMouseButtonEvent(MOUSE_LEFT, 1);
    frame(0);
    EXPECT_EQ(m.doubleClick, 0);
    inputMouseButtonEvent(MOUSE_LEFT, 0);
    frame(1000);
    // Three clicks during one slow frame are still a double click.
    for (int press : {1, 0, 1, 0, 1, 0}) inputMouseButtonEvent(MOUSE_LEFT, press);
    frame(300);
    EXPECT_EQ(m.doubleClick, 1);
}

TEST_F(Mouse, ButtonStateAndEvents) {
    const MouseState& m = mouseState();
    inputMouseButtonEvent(MOUSE_RIGHT, 1);
    frame();
    EXPECT_TRUE(m.mouseButtonState == 1 && m.mouseEvent == 1 && m.heldRight == 1);
    mouseState().mouseEvent = 0;  // a widget took it
    frame();
    EXPECT_EQ(m.mouseEvent, 0);
    inputMouseButtonEvent(MOUSE_RIGHT, 0);
    frame();
    EXPECT_TRUE(m.mouseButtonState == 0 && m.mouseEvent == 2);
    // Press and release inside one event poll still click once.
    inputMouseButtonEvent(MOUSE_MIDDLE, 1);
    inputMouseButtonEvent(MOUSE_MIDDLE, 0);
    frame();
    EXPECT_TRUE(m.mouseButtonState == 3 && m.mouseEvent == 1);
    frame();
    EXPECT_TRUE(m.mouseButtonState == 0 && m.mouseEvent == 2);
    inputMouseButtonEvent(7, 1);  // beyond the three buttons
    EXPECT_FALSE(mouseButtonDown(7));
    inputMouseButtonEvent(MOUSE_MIDDLE, 1);
    inputFocusEvent(0);
    EXPECT_EQ(firstMouseButtonDown(), -1);
}

TEST_F(Mouse, CanvasPositionDeltasClampingAndWheel) {
    const MouseState& m = mouseState();
    inputCursorEvent(400, 300);
    frame();
    EXPECT_FLOAT_EQ(m.canvasX, 2000.0f);
    EXPECT_FLOAT_EQ(m.mouseDx, 0.0f);  // the pointer started at the centre
    inputCursorEvent(500, 330);
    frame();
    EXPECT_FLOAT_EQ(m.mouseDx, -500.0f);
    EXPECT_FLOAT_EQ(m.mouseDy, -150.0f);
    inputCursorEvent(-50.7, 900);  // dragged out of the window
    frame();
    EXPECT_TRUE(m.x == 0.0f && m.y == 600.0f);
    EXPECT_FLOAT_EQ(m.canvasY, 3000.0f);
    fake.height = 0;  // minimised
    inputCursorEvent(NAN, 1e300);
    frame();
    EXPECT_FLOAT_EQ(m.canvasX, 0.0f);
    EXPECT_TRUE(std::isfinite(m.canvasY));
    // A wheel step counts for exactly one frame.
    inputWheelEvent(-1);
    inputWheelEvent(-1);
    frame();
    EXPECT_FLOAT_EQ(m.wheelDelta, 2.0f);
    frame();
    EXPECT_FLOAT_EQ(m.wheelDelta, 0.0f);
}

TEST_F(Joysticks, DetectionCapsCountsAndReadsStates) {
    fake.present[3] = fake.present[5] = 1;
    fake.buttonCount[3] = 200;
    fake.axisCount[3] = 40;
    fake.buttonCount[5] = 4;
    fake.axisCount[5] = 2;
    fake.axes[5][0] = -0.9f;
    fake.axes[5][1] = 7.0f;
    detectJoysticks();
    EXPECT_EQ(joystick(3).buttonCount, JOYSTICK_MAX_BUTTONS);
    EXPECT_EQ(joystick(3).axisCount, JOYSTICK_MAX_AXES);
    EXPECT_EQ(joystick(4).present, 0);
    EXPECT_EQ(joystick(16).present, 0);
    EXPECT_EQ(joystick(-1).buttonCount, 0);
    EXPECT_EQ(joystick(5).axisDirection[0], AXIS_NEGATIVE);
    EXPECT_FLOAT_EQ(joystick(5).axes[1], 1.0f);
    int32_t j = -1, b = -1;
    fake.buttons[3][127] = 1;
    fake.buttons[3][150] = 1;  // past the cap: never read
    EXPECT_TRUE(firstJoystickButtonDown(&j, &b));
    EXPECT_TRUE(j == 3 && b == 127);
    fake.buttons[5][2] = 1;
    fake.present[3] = 0;  // unplugged: the reads come back empty
    readJoystickButtons(3);
    EXPECT_EQ(joystick(3).buttonCount, 0);
    EXPECT_EQ(joystick(3).buttons[127], 0);
    EXPECT_TRUE(firstJoystickButtonDown(&j, &b));
    EXPECT_TRUE(j == 5 && b == 2);
}
