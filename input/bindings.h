// Action bindings for up to four players, the input mode that switches them on, the binding capture
// and the settings file vorinput.stf (872 bytes, little-endian, in saveDirectory).
//
// Each player has 8 actions. An action has a primary binding (a key, a mouse button or a joystick
// button: what evaluateActions follows) and a secondary one (two keys, a mouse-stick axis or a
// joystick axis: stored for the application to read). Input modes: 0 normal (keys are queued,
// actions are not evaluated), 1 action mode (actions are evaluated, nothing is queued), 2 leaving
// the action mode until every key, mouse button and joystick button is released.
#pragma once
#include <cstdint>

enum { INPUT_PLAYERS = 4, INPUT_ACTIONS = 8, INPUT_SETTINGS_SIZE = 872 };
enum { INPUT_MODE_NORMAL = 0, INPUT_MODE_ACTION = 1, INPUT_MODE_LEAVING = 2 };
// Device kinds of a primary binding.
enum { BIND_KEY = 0, BIND_MOUSE_BUTTON = 1, BIND_JOYSTICK_BUTTON = 3 };
// Device kinds of a secondary binding.
enum { BIND_KEYS = 0, BIND_MOUSE_STICK = 2, BIND_JOYSTICK_AXIS = 4 };
// Capture slots and states.
enum { CAPTURE_PRIMARY = 0, CAPTURE_SECONDARY_FIRST = 1, CAPTURE_SECONDARY_SECOND = 2 };
enum { CAPTURE_IDLE = 0, CAPTURE_WAIT_RELEASE = 1, CAPTURE_WAIT_INPUT = 2, CAPTURE_DONE = 3 };

// One player's bindings; offsets are those of the player block in the file (block at 4 + 216 p).
struct PlayerBindings {
    uint8_t primaryKind[INPUT_ACTIONS];            // +0: BIND_KEY, BIND_MOUSE_BUTTON, BIND_JOYSTICK_BUTTON
    int32_t primaryJoystick[INPUT_ACTIONS];        // +8: joystick of a joystick button, else -1
    int32_t primaryCode[INPUT_ACTIONS];            // +40: key, mouse button or joystick button; -1 unbound
    uint8_t actionState[INPUT_ACTIONS];            // +72: 1 = active this frame
    uint8_t secondaryKind[INPUT_ACTIONS];          // +80: BIND_KEYS, BIND_MOUSE_STICK, BIND_JOYSTICK_AXIS
    int32_t secondaryJoystick[INPUT_ACTIONS];      // +88: joystick of a joystick axis, else -1
    int32_t secondaryCode[INPUT_ACTIONS][2];       // +120: first and second code (key or axis); -1 none
    uint8_t reserved[32];                          // +184
};

// The whole settings record; file offsets in the comments.
struct InputSettings {
    uint8_t captureSlot;    // 0: capture slot (CAPTURE_PRIMARY ...)
    uint8_t captureAction;  // 1: action being captured, 0 ... 7
    uint8_t captureState;   // 2: CAPTURE_IDLE ... CAPTURE_DONE
    uint8_t reserved0;      // 3
    PlayerBindings players[INPUT_PLAYERS];  // 4 + 216 p
    uint8_t inputMode;      // 868: INPUT_MODE_NORMAL, _ACTION or _LEAVING
    uint8_t textEditSeen;   // 869: editText ran since the last evaluateActions looked
    uint8_t resumeFlag;     // 870: return to the action mode once everything is released
    uint8_t reserved1;      // 871
};
InputSettings& inputSettings();

// ---- Input mode -----------------------------------------------------------------------------------

// Mode 1; saves the pointer and puts it at the window centre with wheel 0.
void enterActionMode();
// Mode 2 with both flags cleared; mode 0 follows once nothing is held.
void leaveActionMode();
// Every frame after updateMouse: resumes a mode suspended by typing, computes the action states in
// mode 1 (outside mode 1 every action state is 0; an unbound action is 0), runs the capture, and
// ends mode 2 once nothing is held (restoring the saved pointer unless resuming).
void evaluateActions();
// True while any key of keyTable, mouse button or joystick button is held.
bool anyInputHeld();

// ---- Binding capture ------------------------------------------------------------------------------
// The capture runs inside evaluateActions, so only in input modes 1 and 2. It first waits until
// nothing is held, then binds the first input that arrives:
//  - primary slot: a key of keyTable other than Esc, else a mouse button, else a joystick button;
//  - secondary slots: a key of keyTable other than Esc as the slot's code, else a mouse-stick axis
//    or joystick axis whose direction changed more than once since the capture started (pushed and
//    let go). An axis binding has one code: it goes into the capture slot and the other code
//    becomes -1; so does the other code when a key replaces an axis binding.
//  - Esc alone cancels: state back to idle, bindings unchanged.
// Conflicts: an input drives one binding only. The captured input is removed from every other slot
// of every player, the capturing player's other actions and other secondary code included.

// Starts a capture for player 0 ... 3, slot 0 ... 2, action 0 ... 7 when the capture is idle: state
// 1, the mouse stick and joystick axes read as the neutral reference. 0, or -1 when not started.
int32_t startBindingCapture(int32_t player, int32_t slot, int32_t action);
// Back to idle (after reading a finished capture, or to abandon one).
void endBindingCapture();
// The player of the running or last capture, or -1.
int32_t capturePlayer();

// ---- Settings file --------------------------------------------------------------------------------

// The 872 file bytes of a record, field by field, little-endian.
void encodeInputSettings(const InputSettings& settings, uint8_t out[INPUT_SETTINGS_SIZE]);
void decodeInputSettings(const uint8_t in[INPUT_SETTINGS_SIZE], InputSettings* settings);
// Every binding unbound (codes and joysticks -1, kinds 0), then vorinput.stf from saveDirectory when
// it is exactly 872 bytes long; a file of any other size is ignored as a whole (it is not ours, or
// cut short), leaving every binding unbound. Afterwards the capture state, action states, input
// mode and both flags are 0. 0 when the file was taken, -1 otherwise.
int32_t loadInputSettings();
// Writes the record as vorinput.stf in saveDirectory. 0, or -1 when it cannot be written.
int32_t saveInputSettings();
