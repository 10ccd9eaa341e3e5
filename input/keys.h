// Key codes of the engine and the key table. The numbering is the engine's own (it is stored in
// vorinput.stf, so it must never change): printable keys by their character code (space 32, then
// 33 ... 126; letters are held under their upper-case code), the other keys from 257. The window glue
// maps the window library's keys to these codes.
#pragma once
#include <cstdint>

enum KeyCode : int32_t {
    KEY_UNKNOWN = -1,
    KEY_SPACE = 32,
    KEY_ESC = 257,
    KEY_F1 = 258, KEY_F2, KEY_F3, KEY_F4, KEY_F5, KEY_F6, KEY_F7, KEY_F8, KEY_F9, KEY_F10, KEY_F11,
    KEY_F12, KEY_F13, KEY_F14, KEY_F15, KEY_F16, KEY_F17, KEY_F18, KEY_F19, KEY_F20, KEY_F21,
    KEY_F22, KEY_F23, KEY_F24, KEY_F25,  // 282
    KEY_UP = 283,
    KEY_DOWN = 284,
    KEY_LEFT = 285,
    KEY_RIGHT = 286,
    KEY_LSHIFT = 287,
    KEY_RSHIFT = 288,
    KEY_LCTRL = 289,
    KEY_RCTRL = 290,
    KEY_LALT = 291,
    KEY_RALT = 292,
    KEY_TAB = 293,
    KEY_ENTER = 294,
    KEY_BACKSPACE = 295,
    KEY_INSERT = 296,
    KEY_DEL = 297,
    KEY_PAGEUP = 298,
    KEY_PAGEDOWN = 299,
    KEY_HOME = 300,
    KEY_END = 301,
    KEY_KP_0 = 302, KEY_KP_1, KEY_KP_2, KEY_KP_3, KEY_KP_4, KEY_KP_5, KEY_KP_6, KEY_KP_7, KEY_KP_8,
    KEY_KP_9,  // 311
    KEY_KP_DIVIDE = 312,
    KEY_KP_MULTIPLY = 313,
    KEY_KP_SUBTRACT = 314,
    KEY_KP_ADD = 315,
    KEY_KP_DECIMAL = 316,
    KEY_KP_EQUAL = 317,
    KEY_KP_ENTER = 318,
    KEY_LAST = 318,  // highest code the input layer keeps a state for
};

// Mouse buttons by the window library's numbers.
enum MouseButton : int32_t { MOUSE_LEFT = 0, MOUSE_RIGHT = 1, MOUSE_MIDDLE = 2, MOUSE_BUTTON_COUNT = 3 };

// Event actions as onKey / onChar receive them.
enum { INPUT_RELEASE = 0, INPUT_PRESS = 1 };

// The keys that firstKeyDown scans and the binding capture accepts, in scan order: space; 257 ...
// 318; then 33 ... 126, except that the place of 39 (apostrophe) holds 94 ('^'), so 94 occurs twice
// and 39 not at all.
enum { KEY_TABLE_SIZE = 157 };
extern const int32_t keyTable[KEY_TABLE_SIZE];

// Position of code in keyTable (the first one for 94), or -1.
int32_t keyIndex(int32_t code);
