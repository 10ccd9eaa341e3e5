#include <vector>

#include "input_fixture.h"

namespace {
PlayerBindings& player(int32_t p) { return inputSettings().players[p]; }

void bind(int32_t p, int32_t action, uint8_t kind, int32_t joystick, int32_t code) {
    player(p).primaryKind[action] = kind;
    player(p).primaryJoystick[action] = joystick;
    player(p).primaryCode[action] = code;
}

void expectAllUnbound() {
    for (int32_t p = 0; p < INPUT_PLAYERS; p++)
        for (int32_t a = 0; a < INPUT_ACTIONS; a++)
            EXPECT_TRUE(player(p).primaryCode[a] == -1 && player(p).secondaryCode[a][0] == -1 &&
                        player(p).secondaryCode[a][1] == -1) << p << " " << a;
    EXPECT_TRUE(inputSettings().inputMode == INPUT_MODE_NORMAL && inputSettings().captureState == CAPTURE_IDLE);
}

}  // namespace

using Actions = InputTest;
using Capture = InputTest;
using Settings = InputTest;

TEST_F(Actions, EvaluatedInActionModeForKeysMouseAndJoystickButtons) {
    fake.present[2] = 1;
    fake.buttonCount[2] = 8;
    // Every button held and axis 0 pushed: a button one past the last must not read what follows.
    fake.present[3] = 1;
    fake.buttonCount[3] = JOYSTICK_MAX_BUTTONS;
    std::memset(fake.buttons[3], 1, JOYSTICK_MAX_BUTTONS);
    fake.axisCount[3] = 1;
    fake.axes[3][0] = 0.3f;
    detectJoysticks();
    player(0).primaryCode[0] = 'W';
    bind(0, 1, BIND_MOUSE_BUTTON, -1, MOUSE_RIGHT);
    bind(3, 2, BIND_JOYSTICK_BUTTON, 2, 5);
    bind(1, 3, BIND_JOYSTICK_BUTTON, 99, 5);  // a file can hold nonsense
    bind(1, 4, 9, -1, 1);
    bind(1, 5, BIND_JOYSTICK_BUTTON, 3, JOYSTICK_MAX_BUTTONS);

    inputKeyEvent('W', 1);
    inputMouseButtonEvent(MOUSE_RIGHT, 1);
    fake.buttons[2][5] = 1;
    frame();
    EXPECT_EQ(player(0).actionState[0], 0);  // mode 0: not evaluated
    enterActionMode();
    frame();
    EXPECT_TRUE(player(0).actionState[0] && player(0).actionState[1] && player(3).actionState[2]);
    EXPECT_FALSE(player(1).actionState[3] || player(1).actionState[4] || player(1).actionState[5]);
    inputKeyEvent('W', 0);
    fake.buttons[2][5] = 0;
    frame();
    EXPECT_FALSE(player(0).actionState[0] || player(3).actionState[2]);
    EXPECT_EQ(player(0).actionState[1], 1);
}

TEST_F(Capture, BindsWhatIsPressedIntoEachSlotAndTakesItFromOtherPlayers) {
    fake.present[1] = 1;
    fake.axisCount[1] = 4;
    fake.axes[1][2] = 0.5f;  // resting off-centre but inside the dead zone throughout
    fake.present[4] = 1;
    fake.buttonCount[4] = 16;
    detectJoysticks();
    // Bindings the rows below take over, and lookalikes that must stay.
    player(1).primaryCode[5] = 'K';
    player(2).secondaryCode[3][1] = 'K';
    player(0).primaryCode[6] = 'K';  // the capturing player's other action
    player(3).primaryCode[0] = 'L';
    bind(2, 1, BIND_JOYSTICK_BUTTON, 4, 9);
    bind(2, 2, BIND_JOYSTICK_BUTTON, 3, 9);  // same button, other joystick
    player(3).secondaryKind[0] = BIND_JOYSTICK_AXIS;
    player(3).secondaryJoystick[0] = 1;
    player(3).secondaryCode[0][0] = 2;
    enterActionMode();

    // A capture starts only once what is held is let go, and one at a time.
    inputKeyEvent('Q', 1);
    ASSERT_EQ(startBindingCapture(0, CAPTURE_PRIMARY, 2), 0);
    EXPECT_EQ(startBindingCapture(1, CAPTURE_PRIMARY, 0), -1);
    frame();
    EXPECT_EQ(inputSettings().captureState, CAPTURE_WAIT_RELEASE);
    inputKeyEvent('Q', 0);
    frame();
    EXPECT_EQ(inputSettings().captureState, CAPTURE_WAIT_INPUT);

    // Rows run in order: the secondary rows build on each other and Esc keeps the row before it.
    // Triggers press, run frames until the capture ends and let go.
    struct {
        const char* trigger;
        int32_t player, slot, action;
        void (*press)();
        uint8_t state, kind;
        int32_t joystick, code0, code1;  // code1: the secondary slots' second code
    } const rows[] = {
        {"key K", 0, CAPTURE_PRIMARY, 2, [] { inputKeyEvent('K', 1), frame(), inputKeyEvent('K', 0); },
         CAPTURE_DONE, BIND_KEY, -1, 'K', -1},
        {"joystick 4 button 9", 1, CAPTURE_PRIMARY, 6, [] { fake.buttons[4][9] = 1, frame(), fake.buttons[4][9] = 0; },
         CAPTURE_DONE, BIND_JOYSTICK_BUTTON, 4, 9, -1},
        {"Esc cancels", 1, CAPTURE_PRIMARY, 6, [] { inputKeyEvent(KEY_ESC, 1), frame(), inputKeyEvent(KEY_ESC, 0); },
         CAPTURE_IDLE, BIND_JOYSTICK_BUTTON, 4, 9, -1},
        {"key A first", 0, CAPTURE_SECONDARY_FIRST, 4, [] { inputKeyEvent('A', 1), frame(), inputKeyEvent('A', 0); },
         CAPTURE_DONE, BIND_KEYS, -1, 'A', -1},
        {"key D second keeps A", 0, CAPTURE_SECONDARY_SECOND, 4,
         [] { inputKeyEvent('D', 1), frame(), inputKeyEvent('D', 0); }, CAPTURE_DONE, BIND_KEYS, -1, 'A', 'D'},
        {"axis pushed, then back: A means nothing next to it", 0, CAPTURE_SECONDARY_SECOND, 4,
         [] {
             fake.axes[1][2] = -0.95f;
             frame();
             EXPECT_EQ(inputSettings().captureState, CAPTURE_WAIT_INPUT);  // one way only is not enough
             fake.axes[1][2] = 0.1f;
             frame();
         },
         CAPTURE_DONE, BIND_JOYSTICK_AXIS, 1, -1, 2},
        {"mouse up and back: the y axis", 2, CAPTURE_SECONDARY_FIRST, 0,
         [] {
             inputCursorEvent(400, 100);
             frame();
             EXPECT_EQ(inputSettings().captureState, CAPTURE_WAIT_INPUT);
             inputCursorEvent(400, 300);
             frame();
         },
         CAPTURE_DONE, BIND_MOUSE_STICK, -1, 1, -1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.trigger);
        endBindingCapture();
        ASSERT_EQ(startBindingCapture(r.player, r.slot, r.action), 0);
        frame();
        EXPECT_EQ(inputSettings().captureState, CAPTURE_WAIT_INPUT);
        r.press();
        EXPECT_EQ(inputSettings().captureState, r.state);
        const PlayerBindings& b = player(r.player);
        if (r.slot == CAPTURE_PRIMARY) {
            EXPECT_EQ(b.primaryKind[r.action], r.kind);
            EXPECT_EQ(b.primaryJoystick[r.action], r.joystick);
            EXPECT_EQ(b.primaryCode[r.action], r.code0);
        } else {
            EXPECT_EQ(b.secondaryKind[r.action], r.kind);
            EXPECT_EQ(b.secondaryJoystick[r.action], r.joystick);
            EXPECT_EQ(b.secondaryCode[r.action][0], r.code0);
            EXPECT_EQ(b.secondaryCode[r.action][1], r.code1);
        }
        if (r.state == CAPTURE_DONE) {
            EXPECT_EQ(capturePlayer(), r.player);
        }
    }
    for (int32_t taken : {player(1).primaryCode[5], player(2).secondaryCode[3][1], player(0).primaryCode[6],
                          player(2).primaryCode[1], player(3).secondaryCode[0][0], player(3).secondaryJoystick[0]})
        EXPECT_EQ(taken, -1);
    EXPECT_EQ(player(3).primaryCode[0], 'L');
    EXPECT_EQ(player(2).primaryCode[2], 9);

    endBindingCapture();
    EXPECT_EQ(startBindingCapture(4, CAPTURE_PRIMARY, 0), -1);
    EXPECT_EQ(startBindingCapture(0, 3, 0), -1);
    EXPECT_EQ(startBindingCapture(0, CAPTURE_PRIMARY, 8), -1);
}

TEST_F(Settings, SaveWritesTheRecordAtItsOffsets) {
    bind(1, 3, BIND_JOYSTICK_BUTTON, 7, 0x01020304);
    player(2).secondaryKind[5] = BIND_KEYS;
    player(2).secondaryCode[5][0] = KEY_LEFT;
    player(2).secondaryCode[5][1] = KEY_RIGHT;
    player(0).reserved[31] = 0xAB;
    inputSettings().inputMode = INPUT_MODE_LEAVING;
    ASSERT_EQ(saveInputSettings(), 0);
    std::vector<uint8_t> b = readBytes(dir.file("vorinput.stf"));
    ASSERT_EQ(b.size(), (size_t)INPUT_SETTINGS_SIZE);
    const size_t p1 = 4 + 216, p2 = 4 + 2 * 216;
    EXPECT_EQ(b[p1 + 3], BIND_JOYSTICK_BUTTON);
    EXPECT_EQ(getLe32(b, p1 + 8 + 12), 7);
    EXPECT_EQ(getLe32(b, p1 + 40 + 12), 0x01020304);
    EXPECT_EQ(getLe32(b, p2 + 120 + 40), KEY_LEFT);
    EXPECT_EQ(getLe32(b, p2 + 124 + 40), KEY_RIGHT);
    EXPECT_EQ(getLe32(b, 4 + 40), -1);  // unbound
    EXPECT_EQ(b[4 + 215], 0xAB);
    EXPECT_EQ(b[868], INPUT_MODE_LEAVING);

    inputInit();  // loads the file back, in the normal mode
    EXPECT_EQ(player(1).primaryCode[3], 0x01020304);
    EXPECT_EQ(player(2).secondaryCode[5][1], KEY_RIGHT);
    EXPECT_EQ(inputSettings().inputMode, INPUT_MODE_NORMAL);
}

TEST_F(Settings, FilesOfAnyOtherSizeLeaveEverythingUnbound) {
    EXPECT_EQ(loadInputSettings(), -1);  // missing
    expectAllUnbound();
    for (size_t size : {0, 871, 873, 100000}) {
        SCOPED_TRACE(size);
        writeBytes(dir.file("vorinput.stf"), std::vector<uint8_t>(size, 0x05));
        EXPECT_EQ(loadInputSettings(), -1);
        expectAllUnbound();
    }
    // The right size with nonsense in it loads, and evaluating it stays in bounds: huge codes and
    // joystick numbers with a joystick-button, key, mouse-button and unknown kind per player.
    std::vector<uint8_t> junk(INPUT_SETTINGS_SIZE, 0x7F);
    const uint8_t kinds[4] = {BIND_JOYSTICK_BUTTON, BIND_KEY, BIND_MOUSE_BUTTON, 0x7F};
    for (size_t p = 0; p < 4; p++)
        for (size_t a = 0; a < 8; a++) junk[4 + 216 * p + a] = kinds[p];
    writeBytes(dir.file("vorinput.stf"), junk);
    EXPECT_EQ(loadInputSettings(), 0);
    enterActionMode();
    frame();
    for (int32_t p = 0; p < INPUT_PLAYERS; p++) EXPECT_EQ(player(p).actionState[0], 0);
}
