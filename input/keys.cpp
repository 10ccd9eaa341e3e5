#include "input/keys.h"

// Written out rather than built at start-up so that the table is valid before inputInit.
const int32_t keyTable[KEY_TABLE_SIZE] = {
    KEY_SPACE,
    KEY_ESC,
    KEY_F1, KEY_F2, KEY_F3, KEY_F4, KEY_F5, KEY_F6, KEY_F7, KEY_F8, KEY_F9, KEY_F10, KEY_F11, KEY_F12,
    KEY_F13, KEY_F14, KEY_F15, KEY_F16, KEY_F17, KEY_F18, KEY_F19, KEY_F20, KEY_F21, KEY_F22, KEY_F23,
    KEY_F24, KEY_F25,
    KEY_UP, KEY_DOWN, KEY_LEFT, KEY_RIGHT, KEY_LSHIFT, KEY_RSHIFT, KEY_LCTRL, KEY_RCTRL, KEY_LALT,
    KEY_RALT, KEY_TAB, KEY_ENTER, KEY_BACKSPACE, KEY_INSERT, KEY_DEL, KEY_PAGEUP, KEY_PAGEDOWN,
    KEY_HOME, KEY_END,
    KEY_KP_0, KEY_KP_1, KEY_KP_2, KEY_KP_3, KEY_KP_4, KEY_KP_5, KEY_KP_6, KEY_KP_7, KEY_KP_8, KEY_KP_9,
    KEY_KP_DIVIDE, KEY_KP_MULTIPLY, KEY_KP_SUBTRACT, KEY_KP_ADD, KEY_KP_DECIMAL, KEY_KP_EQUAL,
    KEY_KP_ENTER,
    // '^' stands where the apostrophe would be: the apostrophe is never reported by firstKeyDown
    // and cannot be bound.
    '!', '"', '#', '$', '%', '&', '^', '(', ')', '*', '+', ',', '-', '.', '/', '0',
    '1', '2', '3', '4', '5', '6', '7', '8', '9', ':', ';', '<', '=', '>', '?', '@',
    'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P',
    'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z', '[', '\\', ']', '^', '_', '`',
    'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p',
    'q', 'r', 's', 't', 'u', 'v', 'w', 'x', 'y', 'z', '{', '|', '}', '~',
};

int32_t keyIndex(int32_t code) {
    for (int32_t i = 0; i < KEY_TABLE_SIZE; i++)
        if (keyTable[i] == code) return i;
    return -1;
}
