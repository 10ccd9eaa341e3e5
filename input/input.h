// The input layer: keyboard state and the queue of typed keys, the text editor that drains it, the
// mouse in canvas units with clicks, double clicks and wheel steps, and up to 16 joysticks.
//
// No platform header comes in here. The window glue pushes events into the input*Event functions
// below and installs InputHooks for the few questions the input layer asks back (window size,
// joysticks); tests install their own. Key and button states are kept here. "Moving the mouse" only
// changes the stored pointer position (and clears the stored wheel): the system pointer is never
// warped, so the next cursor event from the glue replaces whatever was stored.
//
// Action bindings, the binding capture and vorinput.stf are in input/bindings.h.
#pragma once
#include <cstdint>

#include "input/keys.h"

// ---- Hooks installed by the window glue -----------------------------------------------------------

// Questions the input layer asks the platform. A null member gives the default answer: an 800 x 600
// window, no joysticks. The joystick members have the shapes of glfwJoystickPresent,
// glfwGetJoystickAxes and glfwGetJoystickButtons, so the glue may install those directly.
struct InputHooks {
    // Client size of the window in pixels.
    void (*windowSize)(int32_t* width, int32_t* height);
    // Non-zero when joystick 0 ... 15 is connected.
    int32_t (*joystickPresent)(int32_t joystick);
    // Axis positions (-1 ... 1) and their count, or null.
    const float* (*joystickAxes)(int32_t joystick, int32_t* count);
    // Button states (non-zero = held) and their count, or null.
    const uint8_t* (*joystickButtons)(int32_t joystick, int32_t* count);
};
// Copies the record; InputHooks{} restores every default. Stays in force across inputInit.
void inputInstallHooks(const InputHooks& hooks);
// Window size from the hook, each at least 1 (a minimised window reports 0).
void inputWindowSize(int32_t* width, int32_t* height);

// ---- Events from the window glue ------------------------------------------------------------------

// A key in the engine's numbering went down (pressed != 0, repeats included) or up. Codes outside
// 0 ... KEY_LAST keep no state but still reach onKey.
void inputKeyEvent(int32_t key, int32_t pressed);
// A typed character: code points 1 ... 255 are queued as one byte (through onChar); others dropped.
void inputCharEvent(uint32_t codepoint);
// Mouse button 0 left, 1 right, 2 middle went down or up; other buttons are ignored.
void inputMouseButtonEvent(int32_t button, int32_t pressed);
// Pointer position in window pixels (may lie outside the window while a button is held).
void inputCursorEvent(double x, double y);
// Wheel steps, +1 per step forward; added to the accumulated wheel position.
void inputWheelEvent(double steps);
// Focus change; losing the focus releases every held key and mouse button.
void inputFocusEvent(int32_t focused);

// ---- Keyboard -------------------------------------------------------------------------------------

// True while the key is held, and for the whole frame after a press that was released before the
// frame began (a quick tap during a slow frame still counts once); codes outside 0 ... KEY_LAST read
// as not held.
bool keyDown(int32_t code);
// The first code of keyTable whose key is held, or -1.
int32_t firstKeyDown();
// Queueing rule for keys (action INPUT_PRESS / INPUT_RELEASE): in input mode 0, a press of Backspace,
// Tab, Enter, Esc, Delete, Left or Right is queued while the queue has room.
void onKey(int32_t key, int32_t action);
// Queueing rule for characters: in input mode 0, a press is queued while the queue has room.
void onChar(int32_t character, int32_t action);

// ---- Key queue ------------------------------------------------------------------------------------

enum { KEY_QUEUE_CAPACITY = 256 };
// Typed characters and editing keys waiting for editText. Once full, further codes are dropped
// until a reader has drained it (nextQueued reports nothing left, which empties it).
struct KeyQueue {
    int32_t codes[KEY_QUEUE_CAPACITY];
    int32_t count;         // codes stored
    int32_t readPosition;  // next code to hand out
};
const KeyQueue& keyQueue();
// The next code into *code and true; when none is left, empties the queue and returns false.
bool nextQueued(int32_t* code);
// Empties the queue.
void clearQueue();

// ---- Text editing ---------------------------------------------------------------------------------

// Which characters editText inserts.
enum TextKind : int32_t {
    TEXT_ANY = 0,     // every byte 1 ... 255
    TEXT_NUMBER = 1,  // digits and '.'
    TEXT_NAME = 2,    // digits, A-Z, a-z, '_' and bytes 128 ... 255
};
// The edit cursor and the cursor blink timer (ms; the cursor shows while <= 500). Kept here until
// the 2D toolkit's text style takes them over; editText writes both, the toolkit reads them.
struct TextCursor {
    int32_t cursorPos;
    float blinkTimer;
};
TextCursor& textCursor();
// Applies queued codes to text, a buffer of `size` bytes holding a NUL-terminated text of at most
// size - 1 characters (a field of maxLength characters passes maxLength + 1); *cursor is the index
// the cursor stands before. Backspace, Delete, Left and Right edit in place; one accepted character
// is inserted per call and the call returns, so the rest stays queued for the next frame; Enter
// returns 1 and leaves later codes queued; otherwise the queue is drained and 0 returned. *changed
// becomes 1 with an insertion or editing key (even one with nothing to do, such as Backspace at 0),
// else 0. Every insertion and editing key (and Enter) resets textCursor().blinkTimer.
// Decisions where the rules are silent:
//  - Tab, Esc, 0 and any other code above 255 are taken from the queue and ignored.
//  - An insertion into a text that already holds size - 1 characters is dropped (the text keeps its
//    terminator; nothing is written at or past `size`).
//  - The cursor is first clamped into 0 ... text length; a text without a terminator inside `size`
//    bytes is cut to size - 1 characters. size < 1 or a null text does nothing and returns 0.
//  - A kind other than 0, 1, 2 accepts no character.
// Also marks text editing as seen this frame; in action mode it suspends that mode (mode 2 with the
// resume flag), so typing never triggers actions.
int32_t editText(int32_t kind, char* text, int32_t size, int32_t* cursor, uint8_t* changed);

// ---- Mouse ----------------------------------------------------------------------------------------

// The mouse as the interface sees it, refreshed by updateMouse once per frame. Widgets consume
// mouseEvent and doubleClick by setting them to 0.
struct MouseState {
    uint8_t heldLeft, heldRight, heldMiddle;  // held this frame (a press released before the frame
                                              // was seen still counts once, so short taps click)
    uint8_t mouseButtonState;  // 0 none, 1 right, 2 left, 3 middle: the button whose press came last
    int32_t mouseEvent;        // 1 after a press, 2 after all buttons were released, 0 consumed
    uint8_t clickCount;        // presses counted towards a double click
    float clickTimerMs;        // time since the first press of a possible double click
    int32_t doubleClick;       // 1 once a double click happened
    float x, y, wheel;         // window position and wheel read this frame
    float canvasX, canvasY;    // position on the 4000 x 3000 canvas
    float mouseDx, mouseDy;    // previous canvas position minus the current one
    float previousWheel;       // 0 after every update
    float wheelDelta;          // previous wheel - wheel: minus the wheel steps of this frame
    int32_t savedX, savedY, savedWheel;  // pointer saved on entering the action mode
    float stickX, stickY;      // the mouse as a virtual stick, -1 ... 1 (mouseStick)
};
MouseState& mouseState();
// True while the button (0 left, 1 right, 2 middle) is held; others read as not held.
bool mouseButtonDown(int32_t button);
// 0, 1 or 2 for the first held of left, right, middle; -1 when none is.
int32_t firstMouseButtonDown();
// The stored pointer position (window pixels) and accumulated wheel; any pointer may be null.
void readMouse(int32_t* x, int32_t* y, float* wheel);
// Sets the stored pointer position and resets the accumulated wheel to 0.
void moveMouse(int32_t x, int32_t y);
// Buttons, clicks, double clicks (500 ms, timed with frameDeltaMs), canvas position, deltas and
// wheel steps. Outside input mode 0 only the buttons are followed and clicks are discarded.
void updateMouse();
// Time that passed without frames (the main loop rested): a pending first click ages by it, so two
// clicks seconds apart never make a double click, and the cursor blink timer advances by it.
void inputTimePassed(float ms);
// The mouse as a stick: the pointer is clamped into a box of +-width/6, +-height/6 around the window
// centre, stickX/stickY become its offset scaled to -1 ... 1 (y up). Since the system pointer is
// not warped, the stick stays at its limit until the real pointer comes back inside the box.
void mouseStick();

// ---- Joysticks ------------------------------------------------------------------------------------

enum { JOYSTICK_COUNT = 16, JOYSTICK_MAX_BUTTONS = 128, JOYSTICK_MAX_AXES = 32 };
// Axis direction values.
enum { AXIS_CENTRE = 0, AXIS_POSITIVE = 1, AXIS_NEGATIVE = 255 };
// One joystick as last read.
struct Joystick {
    uint8_t present;      // reported at detectJoysticks
    int32_t buttonCount;  // at most 128
    int32_t axisCount;    // at most 32
    uint8_t buttons[JOYSTICK_MAX_BUTTONS];     // 1 = held
    float axes[JOYSTICK_MAX_AXES];             // -1 ... 1
    uint8_t axisDirection[JOYSTICK_MAX_AXES];  // 1 at >= 0.8, 255 at <= -0.8, else 0
    uint8_t axisChanges[JOYSTICK_MAX_AXES];    // direction changes since clearAxisChanges (max 255)
};
// Joystick 0 ... 15; any other index gives an absent, empty record.
const Joystick& joystick(int32_t index);
// Asks the hooks which joysticks are present and how many buttons (<= 128) and axes (<= 32) each has.
void detectJoysticks();
// Reads a present joystick's buttons / axes into its record, counts included (an unanswered read
// gives none). Reading the axes updates their directions and counts direction changes.
void readJoystickButtons(int32_t index);
void readJoystickAxes(int32_t index);
// Reads the buttons of every present joystick; the first held (joystick, button) into the outputs
// (either may be null) and true, or false.
bool firstJoystickButtonDown(int32_t* joystickOut, int32_t* buttonOut);
// Zeroes the direction-change counts of every joystick axis.
void clearAxisChanges();

// ---- Lifecycle ------------------------------------------------------------------------------------

// Start-up: empties the queue, forgets held keys and buttons, clears the mouse and puts the pointer
// at the window centre with wheel 0 (the canvas position matches it, so the first frame reads no
// jump), detects joysticks, loads vorinput.stf from saveDirectory and starts in input mode 0.
void inputInit();
// Nothing to release.
void inputShutdown();
// Frame prologue: updateMouse, then evaluateActions.
void inputFrame();
