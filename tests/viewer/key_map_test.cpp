// The window glue's map from GLFW 3's key numbers to the engine's older numbering, which
// vorinput.stf stores: the stored numbers are written out here, not taken from the same enum.
#include <gtest/gtest.h>

#include <GLFW/glfw3.h>

#include "input/keys.h"
#include "viewer/window.h"

TEST(KeyMap, EveryGlfwKeyReachesItsEngineCodeAndOthersNone) {
    const int pairs[][2] = {
        {GLFW_KEY_SPACE, ' '}, {GLFW_KEY_A, 'A'}, {GLFW_KEY_Q, 'Q'}, {GLFW_KEY_Z, 'Z'}, {GLFW_KEY_0, '0'},
        {GLFW_KEY_GRAVE_ACCENT, '`'}, {GLFW_KEY_ESCAPE, 257}, {GLFW_KEY_F1, 258}, {GLFW_KEY_F2, 259},
        {GLFW_KEY_F12, 269}, {GLFW_KEY_F25, 282}, {GLFW_KEY_UP, KEY_UP}, {GLFW_KEY_DOWN, KEY_DOWN},
        {GLFW_KEY_LEFT, KEY_LEFT}, {GLFW_KEY_RIGHT, KEY_RIGHT}, {GLFW_KEY_LEFT_SHIFT, KEY_LSHIFT},
        {GLFW_KEY_RIGHT_SHIFT, KEY_RSHIFT}, {GLFW_KEY_LEFT_CONTROL, 289}, {GLFW_KEY_RIGHT_CONTROL, 290},
        {GLFW_KEY_LEFT_ALT, KEY_LALT}, {GLFW_KEY_RIGHT_ALT, KEY_RALT}, {GLFW_KEY_TAB, KEY_TAB},
        {GLFW_KEY_ENTER, KEY_ENTER}, {GLFW_KEY_BACKSPACE, KEY_BACKSPACE}, {GLFW_KEY_INSERT, KEY_INSERT},
        {GLFW_KEY_DELETE, KEY_DEL}, {GLFW_KEY_PAGE_UP, KEY_PAGEUP}, {GLFW_KEY_PAGE_DOWN, KEY_PAGEDOWN},
        {GLFW_KEY_HOME, KEY_HOME}, {GLFW_KEY_END, KEY_END}, {GLFW_KEY_KP_0, 302}, {GLFW_KEY_KP_9, 311},
        {GLFW_KEY_KP_DIVIDE, KEY_KP_DIVIDE}, {GLFW_KEY_KP_MULTIPLY, KEY_KP_MULTIPLY},
        {GLFW_KEY_KP_SUBTRACT, KEY_KP_SUBTRACT}, {GLFW_KEY_KP_ADD, KEY_KP_ADD},
        {GLFW_KEY_KP_DECIMAL, KEY_KP_DECIMAL}, {GLFW_KEY_KP_EQUAL, KEY_KP_EQUAL}, {GLFW_KEY_KP_ENTER, 318},
        {GLFW_KEY_UNKNOWN, -1}, {GLFW_KEY_CAPS_LOCK, -1}, {GLFW_KEY_PRINT_SCREEN, -1}, {GLFW_KEY_MENU, -1},
        {GLFW_KEY_LEFT_SUPER, -1}, {GLFW_KEY_WORLD_1, -1}};
    for (const auto& [glfw, engine] : pairs) EXPECT_EQ(engineKey(glfw), engine) << "GLFW key " << glfw;
}
