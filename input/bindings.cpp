#include "input/bindings.h"

#include <cmath>
#include <cstring>

#include "input/input.h"
#include "system/files.h"
#include "system/memory.h"

static const char* const kModule = "vorinput_1_11";

namespace {

const char* const kSettingsFile = "vorinput.stf";

// File layout of the record.
enum {
    OFFSET_CAPTURE_SLOT = 0,
    OFFSET_CAPTURE_ACTION = 1,
    OFFSET_CAPTURE_STATE = 2,
    OFFSET_RESERVED0 = 3,
    OFFSET_PLAYERS = 4,
    PLAYER_BLOCK_SIZE = 216,
    OFFSET_INPUT_MODE = 868,
    OFFSET_TEXT_EDIT_SEEN = 869,
    OFFSET_RESUME_FLAG = 870,
    OFFSET_RESERVED1 = 871,
};
// Offsets inside a player block.
enum {
    BLOCK_PRIMARY_KIND = 0,
    BLOCK_PRIMARY_JOYSTICK = 8,
    BLOCK_PRIMARY_CODE = 40,
    BLOCK_ACTION_STATE = 72,
    BLOCK_SECONDARY_KIND = 80,
    BLOCK_SECONDARY_JOYSTICK = 88,
    BLOCK_SECONDARY_CODES = 120,
    BLOCK_RESERVED = 184,
};
static_assert(OFFSET_PLAYERS + INPUT_PLAYERS * PLAYER_BLOCK_SIZE == OFFSET_INPUT_MODE, "player blocks");
static_assert(BLOCK_RESERVED + 32 == PLAYER_BLOCK_SIZE, "player block size");

// One physical input, whatever slot it is bound in.
enum InputKind { IN_KEY, IN_MOUSE_BUTTON, IN_JOYSTICK_BUTTON, IN_STICK_AXIS, IN_JOYSTICK_AXIS };
struct InputId {
    InputKind kind;
    int32_t joystick;  // joystick buttons and axes, else -1
    int32_t code;
};

// Everything the bindings remember between calls.
struct BindingModule {
    InputSettings settings;
    int32_t capturePlayer;
    uint8_t stickDirection[2];  // mouse-stick x and y directions last seen by the capture
    uint8_t stickChanges[2];    // their changes since the capture started
};

void unbindAll(InputSettings* s) {
    *s = InputSettings{};
    for (PlayerBindings& p : s->players) {
        for (int32_t a = 0; a < INPUT_ACTIONS; a++) {
            p.primaryJoystick[a] = -1;
            p.primaryCode[a] = -1;
            p.secondaryJoystick[a] = -1;
            p.secondaryCode[a][0] = -1;
            p.secondaryCode[a][1] = -1;
        }
    }
}

BindingModule initialState() {
    BindingModule b{};
    unbindAll(&b.settings);
    b.capturePlayer = -1;
    return b;
}
BindingModule bind_ = initialState();

void put32(uint8_t* p, int32_t v) {
    uint32_t u = (uint32_t)v;
    p[0] = (uint8_t)u;
    p[1] = (uint8_t)(u >> 8);
    p[2] = (uint8_t)(u >> 16);
    p[3] = (uint8_t)(u >> 24);
}

int32_t get32(const uint8_t* p) {
    return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
}

uint8_t stickDirection(float v) {
    if (v >= 0.8f) return AXIS_POSITIVE;
    if (v <= -0.8f) return AXIS_NEGATIVE;
    return AXIS_CENTRE;
}

void clearActionStates() {
    for (PlayerBindings& p : bind_.settings.players) std::memset(p.actionState, 0, sizeof p.actionState);
}

uint8_t primaryActive(const PlayerBindings& p, int32_t action) {
    int32_t code = p.primaryCode[action];
    if (code < 0) return 0;
    switch (p.primaryKind[action]) {
    case BIND_KEY: return keyDown(code) ? 1 : 0;
    case BIND_MOUSE_BUTTON: return mouseButtonDown(code) ? 1 : 0;
    case BIND_JOYSTICK_BUTTON: {
        const Joystick& js = joystick(p.primaryJoystick[action]);
        return (js.present && code < js.buttonCount && js.buttons[code]) ? 1 : 0;
    }
    default: return 0;
    }
}

bool sameInput(const InputId& a, const InputId& b) {
    if (a.kind != b.kind || a.code != b.code) return false;
    bool onJoystick = a.kind == IN_JOYSTICK_BUTTON || a.kind == IN_JOYSTICK_AXIS;
    return !onJoystick || a.joystick == b.joystick;
}

// The input a primary binding names; false when unbound or of an unknown kind.
bool primaryInput(const PlayerBindings& p, int32_t action, InputId* out) {
    int32_t code = p.primaryCode[action];
    if (code < 0) return false;
    switch (p.primaryKind[action]) {
    case BIND_KEY: *out = {IN_KEY, -1, code}; return true;
    case BIND_MOUSE_BUTTON: *out = {IN_MOUSE_BUTTON, -1, code}; return true;
    case BIND_JOYSTICK_BUTTON: *out = {IN_JOYSTICK_BUTTON, p.primaryJoystick[action], code}; return true;
    default: return false;
    }
}

// The input one secondary code (0 first, 1 second) names; false when none.
bool secondaryInput(const PlayerBindings& p, int32_t action, int32_t which, InputId* out) {
    int32_t code = p.secondaryCode[action][which];
    if (code < 0) return false;
    switch (p.secondaryKind[action]) {
    case BIND_KEYS: *out = {IN_KEY, -1, code}; return true;
    case BIND_MOUSE_STICK: *out = {IN_STICK_AXIS, -1, code}; return true;
    case BIND_JOYSTICK_AXIS: *out = {IN_JOYSTICK_AXIS, p.secondaryJoystick[action], code}; return true;
    default: return false;
    }
}

// Removes the input from every slot except (player, action, slot).
void removeElsewhere(const InputId& input, int32_t player, int32_t action, int32_t slot) {
    for (int32_t p = 0; p < INPUT_PLAYERS; p++) {
        PlayerBindings& pb = bind_.settings.players[p];
        for (int32_t a = 0; a < INPUT_ACTIONS; a++) {
            bool here = p == player && a == action;
            InputId other;
            bool keep = here && slot == CAPTURE_PRIMARY;
            if (!keep && primaryInput(pb, a, &other) && sameInput(other, input)) {
                pb.primaryCode[a] = -1;
                pb.primaryJoystick[a] = -1;
            }
            for (int32_t w = 0; w < 2; w++) {
                if (here && slot == w + 1) continue;
                if (secondaryInput(pb, a, w, &other) && sameInput(other, input)) pb.secondaryCode[a][w] = -1;
            }
            if (pb.secondaryCode[a][0] < 0 && pb.secondaryCode[a][1] < 0) pb.secondaryJoystick[a] = -1;
        }
    }
}

void bindPrimary(PlayerBindings& pb, int32_t action, const InputId& input) {
    switch (input.kind) {
    case IN_KEY: pb.primaryKind[action] = BIND_KEY; break;
    case IN_MOUSE_BUTTON: pb.primaryKind[action] = BIND_MOUSE_BUTTON; break;
    default: pb.primaryKind[action] = BIND_JOYSTICK_BUTTON; break;
    }
    pb.primaryJoystick[action] = input.kind == IN_JOYSTICK_BUTTON ? input.joystick : -1;
    pb.primaryCode[action] = input.code;
}

void bindSecondary(PlayerBindings& pb, int32_t action, int32_t slot, const InputId& input) {
    int32_t which = slot - 1, other = 1 - which;
    uint8_t kind = input.kind == IN_KEY ? BIND_KEYS
                   : input.kind == IN_STICK_AXIS ? BIND_MOUSE_STICK : BIND_JOYSTICK_AXIS;
    // Two keys make one binding; an axis is a binding on its own. The other code means something
    // else once the kind changes, so it goes.
    if (kind != BIND_KEYS || pb.secondaryKind[action] != BIND_KEYS) pb.secondaryCode[action][other] = -1;
    pb.secondaryKind[action] = kind;
    pb.secondaryJoystick[action] = input.kind == IN_JOYSTICK_AXIS ? input.joystick : -1;
    pb.secondaryCode[action][which] = input.code;
}

// Follows the mouse stick and every joystick axis, counting direction changes.
void trackAxes() {
    mouseStick();
    const MouseState& m = mouseState();
    float stick[2] = {m.stickX, m.stickY};
    for (int32_t axis = 0; axis < 2; axis++) {
        uint8_t d = stickDirection(stick[axis]);
        if (d != bind_.stickDirection[axis] && bind_.stickChanges[axis] < 255) bind_.stickChanges[axis]++;
        bind_.stickDirection[axis] = d;
    }
    for (int32_t j = 0; j < JOYSTICK_COUNT; j++) readJoystickAxes(j);
}

// The first held key of keyTable other than Esc, or -1.
int32_t firstBindableKey() {
    for (int32_t i = 0; i < KEY_TABLE_SIZE; i++)
        if (keyTable[i] != KEY_ESC && keyDown(keyTable[i])) return keyTable[i];
    return -1;
}

// An axis pushed and let go (or pushed both ways) since the capture started.
bool movedAxis(InputId* out) {
    for (int32_t axis = 0; axis < 2; axis++) {
        if (bind_.stickChanges[axis] > 1) {
            *out = {IN_STICK_AXIS, -1, axis};
            return true;
        }
    }
    for (int32_t j = 0; j < JOYSTICK_COUNT; j++) {
        const Joystick& js = joystick(j);
        if (!js.present) continue;
        for (int32_t a = 0; a < js.axisCount; a++) {
            if (js.axisChanges[a] > 1) {
                *out = {IN_JOYSTICK_AXIS, j, a};
                return true;
            }
        }
    }
    return false;
}

void runCapture() {
    InputSettings& s = bind_.settings;
    int32_t player = bind_.capturePlayer, slot = s.captureSlot, action = s.captureAction;
    if (s.captureState == CAPTURE_DONE) return;
    if (player < 0 || player >= INPUT_PLAYERS || slot > CAPTURE_SECONDARY_SECOND || action >= INPUT_ACTIONS ||
        s.captureState > CAPTURE_DONE) {
        s.captureState = CAPTURE_IDLE;  // nothing sensible to capture into
        return;
    }
    trackAxes();
    if (s.captureState == CAPTURE_WAIT_RELEASE) {
        if (!anyInputHeld()) s.captureState = CAPTURE_WAIT_INPUT;
        return;
    }

    InputId input;
    int32_t key = firstBindableKey();
    int32_t joy = -1, button = -1;
    if (key >= 0) {
        input = {IN_KEY, -1, key};
    } else if (keyDown(KEY_ESC)) {
        s.captureState = CAPTURE_IDLE;
        return;
    } else if (slot == CAPTURE_PRIMARY) {
        int32_t mouseButton = firstMouseButtonDown();
        if (mouseButton >= 0) input = {IN_MOUSE_BUTTON, -1, mouseButton};
        else if (firstJoystickButtonDown(&joy, &button)) input = {IN_JOYSTICK_BUTTON, joy, button};
        else return;
    } else if (!movedAxis(&input)) {
        return;
    }

    PlayerBindings& pb = s.players[player];
    if (slot == CAPTURE_PRIMARY) bindPrimary(pb, action, input);
    else bindSecondary(pb, action, slot, input);
    removeElsewhere(input, player, action, slot);
    s.captureState = CAPTURE_DONE;
}

}  // namespace

InputSettings& inputSettings() { return bind_.settings; }

// ---- Input mode -----------------------------------------------------------------------------------

void enterActionMode() {
    bind_.settings.inputMode = INPUT_MODE_ACTION;
    int32_t x = 0, y = 0;
    float wheel = 0.0f;
    readMouse(&x, &y, &wheel);
    MouseState& m = mouseState();
    m.savedX = x;
    m.savedY = y;
    m.savedWheel = std::isfinite(wheel) && std::fabs(wheel) < 1e9f ? (int32_t)wheel : 0;
    int32_t width = 0, height = 0;
    inputWindowSize(&width, &height);
    moveMouse(width / 2, height / 2);
}

void leaveActionMode() {
    bind_.settings.inputMode = INPUT_MODE_LEAVING;
    bind_.settings.textEditSeen = 0;
    bind_.settings.resumeFlag = 0;
}

bool anyInputHeld() {
    return firstKeyDown() != -1 || firstMouseButtonDown() != -1 || firstJoystickButtonDown(nullptr, nullptr);
}

void evaluateActions() {
    InputSettings& s = bind_.settings;
    // Typing suspended the action mode: come back once the text field has stopped taking keys for a
    // whole frame and nothing is held.
    if (s.resumeFlag && s.inputMode != INPUT_MODE_LEAVING) {
        if (s.textEditSeen) {
            s.textEditSeen = 0;
        } else if (!anyInputHeld()) {
            s.resumeFlag = 0;
            s.inputMode = INPUT_MODE_ACTION;
        }
    }
    // A state left at 1 outside the action mode (or by a binding removed while held) would fire
    // the action for ever.
    if (s.inputMode != INPUT_MODE_ACTION) clearActionStates();
    if (s.inputMode == INPUT_MODE_NORMAL) return;

    if (s.inputMode == INPUT_MODE_ACTION) {
        for (int32_t j = 0; j < JOYSTICK_COUNT; j++) readJoystickButtons(j);
        for (PlayerBindings& p : s.players)
            for (int32_t a = 0; a < INPUT_ACTIONS; a++) p.actionState[a] = primaryActive(p, a);
    }

    if (s.captureState != CAPTURE_IDLE) runCapture();

    if (s.inputMode == INPUT_MODE_LEAVING && !anyInputHeld()) {
        s.inputMode = INPUT_MODE_NORMAL;
        if (!s.resumeFlag) {
            const MouseState& m = mouseState();
            moveMouse(m.savedX, m.savedY);
        }
    }
}

// ---- Binding capture ------------------------------------------------------------------------------

int32_t startBindingCapture(int32_t player, int32_t slot, int32_t action) {
    InputSettings& s = bind_.settings;
    if (s.captureState != CAPTURE_IDLE) return -1;
    if (player < 0 || player >= INPUT_PLAYERS || slot < CAPTURE_PRIMARY || slot > CAPTURE_SECONDARY_SECOND ||
        action < 0 || action >= INPUT_ACTIONS)
        return -1;
    bind_.capturePlayer = player;
    s.captureSlot = (uint8_t)slot;
    s.captureAction = (uint8_t)action;
    s.captureState = CAPTURE_WAIT_RELEASE;
    // Where the sticks rest now is neutral: only movement from here counts.
    mouseStick();
    const MouseState& m = mouseState();
    bind_.stickDirection[0] = stickDirection(m.stickX);
    bind_.stickDirection[1] = stickDirection(m.stickY);
    bind_.stickChanges[0] = bind_.stickChanges[1] = 0;
    for (int32_t j = 0; j < JOYSTICK_COUNT; j++) readJoystickAxes(j);
    clearAxisChanges();
    return 0;
}

void endBindingCapture() { bind_.settings.captureState = CAPTURE_IDLE; }

int32_t capturePlayer() { return bind_.capturePlayer; }

// ---- Settings file --------------------------------------------------------------------------------

void encodeInputSettings(const InputSettings& s, uint8_t out[INPUT_SETTINGS_SIZE]) {
    out[OFFSET_CAPTURE_SLOT] = s.captureSlot;
    out[OFFSET_CAPTURE_ACTION] = s.captureAction;
    out[OFFSET_CAPTURE_STATE] = s.captureState;
    out[OFFSET_RESERVED0] = s.reserved0;
    for (int32_t p = 0; p < INPUT_PLAYERS; p++) {
        const PlayerBindings& pb = s.players[p];
        uint8_t* block = out + OFFSET_PLAYERS + PLAYER_BLOCK_SIZE * p;
        for (int32_t a = 0; a < INPUT_ACTIONS; a++) {
            block[BLOCK_PRIMARY_KIND + a] = pb.primaryKind[a];
            put32(block + BLOCK_PRIMARY_JOYSTICK + 4 * a, pb.primaryJoystick[a]);
            put32(block + BLOCK_PRIMARY_CODE + 4 * a, pb.primaryCode[a]);
            block[BLOCK_ACTION_STATE + a] = pb.actionState[a];
            block[BLOCK_SECONDARY_KIND + a] = pb.secondaryKind[a];
            put32(block + BLOCK_SECONDARY_JOYSTICK + 4 * a, pb.secondaryJoystick[a]);
            put32(block + BLOCK_SECONDARY_CODES + 8 * a, pb.secondaryCode[a][0]);
            put32(block + BLOCK_SECONDARY_CODES + 8 * a + 4, pb.secondaryCode[a][1]);
        }
        std::memcpy(block + BLOCK_RESERVED, pb.reserved, sizeof pb.reserved);
    }
    out[OFFSET_INPUT_MODE] = s.inputMode;
    out[OFFSET_TEXT_EDIT_SEEN] = s.textEditSeen;
    out[OFFSET_RESUME_FLAG] = s.resumeFlag;
    out[OFFSET_RESERVED1] = s.reserved1;
}

void decodeInputSettings(const uint8_t in[INPUT_SETTINGS_SIZE], InputSettings* s) {
    s->captureSlot = in[OFFSET_CAPTURE_SLOT];
    s->captureAction = in[OFFSET_CAPTURE_ACTION];
    s->captureState = in[OFFSET_CAPTURE_STATE];
    s->reserved0 = in[OFFSET_RESERVED0];
    for (int32_t p = 0; p < INPUT_PLAYERS; p++) {
        PlayerBindings& pb = s->players[p];
        const uint8_t* block = in + OFFSET_PLAYERS + PLAYER_BLOCK_SIZE * p;
        for (int32_t a = 0; a < INPUT_ACTIONS; a++) {
            pb.primaryKind[a] = block[BLOCK_PRIMARY_KIND + a];
            pb.primaryJoystick[a] = get32(block + BLOCK_PRIMARY_JOYSTICK + 4 * a);
            pb.primaryCode[a] = get32(block + BLOCK_PRIMARY_CODE + 4 * a);
            pb.actionState[a] = block[BLOCK_ACTION_STATE + a];
            pb.secondaryKind[a] = block[BLOCK_SECONDARY_KIND + a];
            pb.secondaryJoystick[a] = get32(block + BLOCK_SECONDARY_JOYSTICK + 4 * a);
            pb.secondaryCode[a][0] = get32(block + BLOCK_SECONDARY_CODES + 8 * a);
            pb.secondaryCode[a][1] = get32(block + BLOCK_SECONDARY_CODES + 8 * a + 4);
        }
        std::memcpy(pb.reserved, block + BLOCK_RESERVED, sizeof pb.reserved);
    }
    s->inputMode = in[OFFSET_INPUT_MODE];
    s->textEditSeen = in[OFFSET_TEXT_EDIT_SEEN];
    s->resumeFlag = in[OFFSET_RESUME_FLAG];
    s->reserved1 = in[OFFSET_RESERVED1];
}

int32_t loadInputSettings() {
    InputSettings& s = bind_.settings;
    unbindAll(&s);
    int32_t result = -1;
    // The size is checked before reading so that a stray huge file is not read whole, and again
    // after, in case the file changed in between.
    if (fileSize(kSettingsFile, saveDirectory) == INPUT_SETTINGS_SIZE) {
        uint8_t* buffer = nullptr;
        int32_t size = 0;
        if (readWholeFile(kSettingsFile, saveDirectory, &buffer, &size) == 0 && size == INPUT_SETTINGS_SIZE) {
            decodeInputSettings(buffer, &s);
            result = 0;
        }
        buffer = (uint8_t*)MEM_FREE(buffer);
    }
    s.captureState = CAPTURE_IDLE;
    clearActionStates();
    s.inputMode = INPUT_MODE_NORMAL;
    s.textEditSeen = 0;
    s.resumeFlag = 0;
    bind_.capturePlayer = -1;
    return result;
}

int32_t saveInputSettings() {
    uint8_t bytes[INPUT_SETTINGS_SIZE];
    encodeInputSettings(bind_.settings, bytes);
    return writeWholeFile(kSettingsFile, saveDirectory, bytes, INPUT_SETTINGS_SIZE) == 0 ? 0 : -1;
}
