#include "input/input.h"

#include <cmath>
#include <cstring>

#include "input/bindings.h"
#include "strings/text.h"
#include "system/clock.h"

namespace {

// Everything the input layer remembers between calls.
struct InputModule {
    InputHooks hooks;
    uint8_t keyHeld[KEY_LAST + 1];
    // Keys pressed since the last frame, and those the current frame counts as held although they
    // were already released: a short tap during a slow frame would otherwise never be seen.
    uint8_t keyTapped[KEY_LAST + 1];
    uint8_t keyTappedThisFrame[KEY_LAST + 1];
    uint8_t buttonHeld[MOUSE_BUTTON_COUNT];
    // Pressed since the last updateMouse: a tap whose press and release arrive in the same event
    // poll would otherwise never be seen held, and the click would be lost.
    uint8_t buttonTapped[MOUSE_BUTTON_COUNT];
    // Presses since the last updateMouse: two of them in one frame are a double click however slow
    // the frame was.
    int32_t buttonPresses[MOUSE_BUTTON_COUNT];
    int32_t pointerX, pointerY;  // stored pointer, window pixels
    float pointerWheel;          // accumulated wheel since the last "move with wheel 0"
    KeyQueue queue;
    TextCursor text;
    MouseState mouse;
    Joystick joysticks[JOYSTICK_COUNT];
};
InputModule in_{};

// Handed out for joystick indices outside 0 ... 15.
const Joystick kNoJoystick{};

const int32_t kDefaultWidth = 800;
const int32_t kDefaultHeight = 600;
const float kDoubleClickMs = 500.0f;
const float kCanvasWidth = 4000.0f;
const float kCanvasHeight = 3000.0f;

int32_t clampInt(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Window coordinates arrive as doubles; anything beyond +-1e9 (or NaN) would not convert safely.
int32_t toPixel(double v) {
    if (!(v == v)) return 0;
    if (v < -1e9) v = -1e9;
    if (v > 1e9) v = 1e9;
    return (int32_t)std::floor(v);
}

void queueCode(int32_t code) {
    if (in_.queue.count < KEY_QUEUE_CAPACITY) in_.queue.codes[in_.queue.count++] = code;
}

bool isEditingKey(int32_t key) {
    return key == KEY_BACKSPACE || key == KEY_TAB || key == KEY_ENTER || key == KEY_ESC || key == KEY_DEL ||
           key == KEY_LEFT || key == KEY_RIGHT;
}

bool isDigit(int32_t c) { return c >= '0' && c <= '9'; }
bool isLetter(int32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Whether a text of the kind takes the code as a character. 0 would end the text early and codes
// above 255 are keys (Tab, Esc), not characters: no kind takes them.
bool kindAccepts(int32_t kind, int32_t code) {
    if (code < 1 || code > 255) return false;
    switch (kind) {
    case TEXT_ANY: return true;
    case TEXT_NUMBER: return isDigit(code) || code == '.';
    case TEXT_NAME: return isDigit(code) || isLetter(code) || code >= 128 || code == '_';
    default: return false;
    }
}

// Length of the text within its buffer; size when no terminator lies inside it.
int32_t boundedLength(const char* text, int32_t size) {
    const void* end = std::memchr(text, 0, (size_t)size);
    return end ? (int32_t)((const char*)end - text) : size;
}

void setPointer(int32_t x, int32_t y) {
    in_.pointerX = x;
    in_.pointerY = y;
}

uint8_t axisDirection(float v) {
    if (v >= 0.8f) return AXIS_POSITIVE;
    if (v <= -0.8f) return AXIS_NEGATIVE;
    return AXIS_CENTRE;
}

}  // namespace

// ---- Hooks ----------------------------------------------------------------------------------------

void inputInstallHooks(const InputHooks& hooks) { in_.hooks = hooks; }

void inputWindowSize(int32_t* width, int32_t* height) {
    int32_t w = kDefaultWidth, h = kDefaultHeight;
    if (in_.hooks.windowSize) in_.hooks.windowSize(&w, &h);
    // Every mapping divides by the size.
    *width = w < 1 ? 1 : w;
    *height = h < 1 ? 1 : h;
}

// ---- Events ---------------------------------------------------------------------------------------

void inputKeyEvent(int32_t key, int32_t pressed) {
    if (key >= 0 && key <= KEY_LAST) {
        in_.keyHeld[key] = pressed ? 1 : 0;
        if (pressed) in_.keyTapped[key] = 1;
    }
    onKey(key, pressed ? INPUT_PRESS : INPUT_RELEASE);
}

void inputCharEvent(uint32_t codepoint) {
    // Texts are single-byte; 0 is no character.
    if (codepoint == 0 || codepoint > 255) return;
    onChar((int32_t)codepoint, INPUT_PRESS);
}

void inputMouseButtonEvent(int32_t button, int32_t pressed) {
    if (button < 0 || button >= MOUSE_BUTTON_COUNT) return;
    in_.buttonHeld[button] = pressed ? 1 : 0;
    if (pressed) {
        in_.buttonTapped[button] = 1;
        if (in_.buttonPresses[button] < 2) in_.buttonPresses[button]++;
    }
}

void inputCursorEvent(double x, double y) { setPointer(toPixel(x), toPixel(y)); }

void inputWheelEvent(double steps) {
    if (std::isfinite(steps)) in_.pointerWheel += (float)steps;
}

void inputFocusEvent(int32_t focused) {
    if (focused) return;
    // The release events of keys held while the focus leaves go to another window.
    std::memset(in_.keyHeld, 0, sizeof in_.keyHeld);
    std::memset(in_.keyTapped, 0, sizeof in_.keyTapped);
    std::memset(in_.keyTappedThisFrame, 0, sizeof in_.keyTappedThisFrame);
    std::memset(in_.buttonHeld, 0, sizeof in_.buttonHeld);
    std::memset(in_.buttonTapped, 0, sizeof in_.buttonTapped);
    std::memset(in_.buttonPresses, 0, sizeof in_.buttonPresses);
}

// ---- Keyboard -------------------------------------------------------------------------------------

bool keyDown(int32_t code) {
    return code >= 0 && code <= KEY_LAST && (in_.keyHeld[code] || in_.keyTappedThisFrame[code]);
}

int32_t firstKeyDown() {
    for (int32_t i = 0; i < KEY_TABLE_SIZE; i++)
        if (keyDown(keyTable[i])) return keyTable[i];
    return -1;
}

void onKey(int32_t key, int32_t action) {
    if (inputSettings().inputMode != INPUT_MODE_NORMAL || action != INPUT_PRESS) return;
    if (isEditingKey(key)) queueCode(key);
}

void onChar(int32_t character, int32_t action) {
    if (inputSettings().inputMode != INPUT_MODE_NORMAL || action != INPUT_PRESS) return;
    queueCode(character);
}

// ---- Key queue ------------------------------------------------------------------------------------

const KeyQueue& keyQueue() { return in_.queue; }

bool nextQueued(int32_t* code) {
    KeyQueue& q = in_.queue;
    if (q.readPosition < q.count) {
        *code = q.codes[q.readPosition++];
        return true;
    }
    q.count = 0;
    q.readPosition = 0;
    return false;
}

void clearQueue() {
    in_.queue.count = 0;
    in_.queue.readPosition = 0;
}

// ---- Text editing ---------------------------------------------------------------------------------

TextCursor& textCursor() { return in_.text; }

int32_t editText(int32_t kind, char* text, int32_t size, int32_t* cursor, uint8_t* changed) {
    InputSettings& settings = inputSettings();
    settings.textEditSeen = 1;
    if (settings.inputMode == INPUT_MODE_ACTION) {
        settings.inputMode = INPUT_MODE_LEAVING;
        settings.resumeFlag = 1;
    }
    uint8_t unused = 0;
    if (!changed) changed = &unused;
    *changed = 0;
    if (!text || !cursor || size < 1) return 0;

    int32_t length = boundedLength(text, size);
    if (length == size) {
        text[size - 1] = '\0';
        length = size - 1;
    }
    int32_t& pos = in_.text.cursorPos;
    pos = clampInt(*cursor, 0, length);

    int32_t code = 0;
    while (nextQueued(&code)) {
        switch (code) {
        case KEY_BACKSPACE:
            if (pos > 0) {
                pos--;
                closeGap(text, pos, size - 1);  // closeGap writes at its size: keep it inside
                length--;
            }
            break;
        case KEY_DEL:
            if (pos < length) {
                closeGap(text, pos, size - 1);
                length--;
            }
            break;
        case KEY_RIGHT:
            if (pos < length) pos++;
            break;
        case KEY_LEFT:
            if (pos > 0) pos--;
            break;
        case KEY_ENTER:
            *cursor = pos;
            in_.text.blinkTimer = 0.0f;
            return 1;
        default:
            // A full text refuses the character: opening a gap would push the terminator out
            // of the buffer (openGap drops whatever stands at size - 1).
            if (!kindAccepts(kind, code) || length >= size - 1) continue;
            openGap(text, pos, size);
            text[pos] = (char)(uint8_t)code;
            pos++;
            *cursor = pos;
            *changed = 1;
            in_.text.blinkTimer = 0.0f;
            return 0;  // one character per call, so each shows for a frame
        }
        *cursor = pos;
        *changed = 1;
        in_.text.blinkTimer = 0.0f;
    }
    *cursor = pos;
    return 0;
}

// ---- Mouse ----------------------------------------------------------------------------------------

MouseState& mouseState() { return in_.mouse; }

bool mouseButtonDown(int32_t button) {
    return button >= 0 && button < MOUSE_BUTTON_COUNT && in_.buttonHeld[button];
}

int32_t firstMouseButtonDown() {
    // MOUSE_LEFT, MOUSE_RIGHT, MOUSE_MIDDLE are 0, 1, 2: their order is the scan order.
    for (int32_t b = 0; b < MOUSE_BUTTON_COUNT; b++)
        if (mouseButtonDown(b)) return b;
    return -1;
}

void readMouse(int32_t* x, int32_t* y, float* wheel) {
    if (x) *x = in_.pointerX;
    if (y) *y = in_.pointerY;
    if (wheel) *wheel = in_.pointerWheel;
}

void moveMouse(int32_t x, int32_t y) {
    setPointer(x, y);
    in_.pointerWheel = 0.0f;
}

void updateMouse() {
    MouseState& m = in_.mouse;
    uint8_t held[MOUSE_BUTTON_COUNT];
    for (int32_t b = 0; b < MOUSE_BUTTON_COUNT; b++) {
        held[b] = (in_.buttonHeld[b] || in_.buttonTapped[b]) ? 1 : 0;
        in_.buttonTapped[b] = 0;
    }
    m.heldLeft = held[MOUSE_LEFT];
    m.heldRight = held[MOUSE_RIGHT];
    m.heldMiddle = held[MOUSE_MIDDLE];

    static const struct {
        int32_t button;
        uint8_t state;
    } kOrder[] = {{MOUSE_RIGHT, 1}, {MOUSE_LEFT, 2}, {MOUSE_MIDDLE, 3}};
    for (const auto& o : kOrder) {
        if (held[o.button] && m.mouseButtonState != o.state) {
            m.mouseButtonState = o.state;
            m.mouseEvent = 1;
            m.clickCount++;
        }
    }
    for (int32_t b = 0; b < MOUSE_BUTTON_COUNT; b++) {
        if (in_.buttonPresses[b] == 2) m.clickCount++;
        in_.buttonPresses[b] = 0;
    }
    if (m.mouseButtonState != 0 && !held[0] && !held[1] && !held[2]) {
        m.mouseButtonState = 0;
        m.mouseEvent = 2;
    }

    if (m.clickCount == 1) {
        m.clickTimerMs += frameDeltaMs;
        if (m.clickTimerMs > kDoubleClickMs) {
            m.clickTimerMs = 0.0f;
            m.clickCount = 0;
        }
    } else if (m.clickCount >= 2) {
        m.doubleClick = 1;
        m.clickCount = 0;
        m.clickTimerMs = 0.0f;
    }

    if (inputSettings().inputMode != INPUT_MODE_NORMAL) {
        m.mouseEvent = 0;
        m.doubleClick = 0;
        m.clickCount = 0;
        return;
    }

    int32_t width = 0, height = 0;
    inputWindowSize(&width, &height);
    int32_t x = clampInt(in_.pointerX, 0, width);
    int32_t y = clampInt(in_.pointerY, 0, height);
    setPointer(x, y);

    m.x = (float)x;
    m.y = (float)y;
    m.wheel = in_.pointerWheel;
    float canvasX = m.x * kCanvasWidth / (float)width;
    float canvasY = m.y * kCanvasHeight / (float)height;
    m.mouseDx = m.canvasX - canvasX;
    m.mouseDy = m.canvasY - canvasY;
    m.canvasX = canvasX;
    m.canvasY = canvasY;

    m.wheelDelta = m.previousWheel - m.wheel;
    m.previousWheel = 0.0f;
    moveMouse(x, y);  // wheel back to 0: the next frame reads only its own steps
}

void mouseStick() {
    int32_t width = 0, height = 0;
    inputWindowSize(&width, &height);
    int32_t cx = width / 2, cy = height / 2;
    float rx = (float)width / 6.0f, ry = (float)height / 6.0f;
    int32_t reachX = (int32_t)rx, reachY = (int32_t)ry;
    int32_t x = clampInt(in_.pointerX, cx - reachX, cx + reachX);
    int32_t y = clampInt(in_.pointerY, cy - reachY, cy + reachY);
    in_.mouse.stickX = (float)(x - cx) / rx;
    in_.mouse.stickY = -(float)(y - cy) / ry;
    setPointer(x, y);
}

// ---- Joysticks ------------------------------------------------------------------------------------

const Joystick& joystick(int32_t index) {
    if (index < 0 || index >= JOYSTICK_COUNT) return kNoJoystick;
    return in_.joysticks[index];
}

void readJoystickButtons(int32_t index) {
    if (index < 0 || index >= JOYSTICK_COUNT || !in_.joysticks[index].present) return;
    Joystick& js = in_.joysticks[index];
    int32_t count = 0;
    const uint8_t* buttons = in_.hooks.joystickButtons ? in_.hooks.joystickButtons(index, &count) : nullptr;
    if (!buttons || count < 0) count = 0;
    if (count > JOYSTICK_MAX_BUTTONS) count = JOYSTICK_MAX_BUTTONS;
    for (int32_t i = 0; i < JOYSTICK_MAX_BUTTONS; i++) js.buttons[i] = (i < count && buttons[i]) ? 1 : 0;
    js.buttonCount = count;
}

void readJoystickAxes(int32_t index) {
    if (index < 0 || index >= JOYSTICK_COUNT || !in_.joysticks[index].present) return;
    Joystick& js = in_.joysticks[index];
    int32_t count = 0;
    const float* axes = in_.hooks.joystickAxes ? in_.hooks.joystickAxes(index, &count) : nullptr;
    if (!axes || count < 0) count = 0;
    if (count > JOYSTICK_MAX_AXES) count = JOYSTICK_MAX_AXES;
    for (int32_t i = 0; i < JOYSTICK_MAX_AXES; i++) {
        float v = i < count ? axes[i] : 0.0f;
        if (!(v == v)) v = 0.0f;
        v = v < -1.0f ? -1.0f : (v > 1.0f ? 1.0f : v);
        js.axes[i] = v;
        uint8_t d = axisDirection(v);
        if (d != js.axisDirection[i] && js.axisChanges[i] < 255) js.axisChanges[i]++;
        js.axisDirection[i] = d;
    }
    js.axisCount = count;
}

void detectJoysticks() {
    for (int32_t j = 0; j < JOYSTICK_COUNT; j++) {
        Joystick& js = in_.joysticks[j];
        js = Joystick{};
        js.present = (in_.hooks.joystickPresent && in_.hooks.joystickPresent(j)) ? 1 : 0;
        readJoystickButtons(j);
        readJoystickAxes(j);
    }
    clearAxisChanges();
}

bool firstJoystickButtonDown(int32_t* joystickOut, int32_t* buttonOut) {
    for (int32_t j = 0; j < JOYSTICK_COUNT; j++) readJoystickButtons(j);
    for (int32_t j = 0; j < JOYSTICK_COUNT; j++) {
        const Joystick& js = in_.joysticks[j];
        if (!js.present) continue;
        for (int32_t b = 0; b < js.buttonCount; b++) {
            if (!js.buttons[b]) continue;
            if (joystickOut) *joystickOut = j;
            if (buttonOut) *buttonOut = b;
            return true;
        }
    }
    return false;
}

void clearAxisChanges() {
    for (Joystick& js : in_.joysticks) std::memset(js.axisChanges, 0, sizeof js.axisChanges);
}

// ---- Lifecycle ------------------------------------------------------------------------------------

void inputInit() {
    InputHooks hooks = in_.hooks;
    in_ = InputModule{};
    in_.hooks = hooks;

    int32_t width = 0, height = 0;
    inputWindowSize(&width, &height);
    moveMouse(width / 2, height / 2);
    MouseState& m = in_.mouse;
    m.x = (float)in_.pointerX;
    m.y = (float)in_.pointerY;
    m.canvasX = m.x * kCanvasWidth / (float)width;
    m.canvasY = m.y * kCanvasHeight / (float)height;

    detectJoysticks();
    loadInputSettings();
}

void inputShutdown() {}

void inputTimePassed(float ms) {
    if (!(ms > 0.0f)) return;
    in_.text.blinkTimer += ms;
    MouseState& m = in_.mouse;
    if (m.clickCount != 1) return;
    m.clickTimerMs += ms;
    if (m.clickTimerMs > kDoubleClickMs) {
        m.clickTimerMs = 0.0f;
        m.clickCount = 0;
    }
}

void inputFrame() {
    std::memcpy(in_.keyTappedThisFrame, in_.keyTapped, sizeof in_.keyTapped);
    std::memset(in_.keyTapped, 0, sizeof in_.keyTapped);
    updateMouse();
    evaluateActions();
}
