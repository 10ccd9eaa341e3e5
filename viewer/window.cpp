// GLFW 3 in the place of GLFW 2: the same effects through the newer interface.
#include "viewer/window.h"

#include <GLFW/glfw3.h>
#include <dlfcn.h>
#include <link.h>

#include <cstdlib>
#include <cstring>

#include "input/input.h"
#include "render/render_state.h"
#include "system/files.h"
#include "viewer/drop.h"

WindowRequest windowRequest;
VideoMode videoModeTable[VIDEO_MODE_COUNT] = {
    {0, 640, 480}, {0, 800, 600}, {0, 1024, 768}, {0, 1280, 960}, {0, 1600, 1200}};

namespace {
struct WindowState {
    bool libraryStarted = false;
    GLFWwindow* window = nullptr;
    uint32_t events = 0;  // every callback counts one
    void* preloaded[2] = {nullptr, nullptr};  // Mesa's GLX library and driver, held until the stop
};
WindowState glue;

}  // namespace

// GLFW 3 key numbers to the engine's key codes (the older numbering, which vorinput.stf stores).
int32_t engineKey(int key) {
    if (key >= 32 && key <= 126) return key;  // printable keys keep their character codes
    if (key >= GLFW_KEY_F1 && key <= GLFW_KEY_F25) return KEY_F1 + (key - GLFW_KEY_F1);
    if (key >= GLFW_KEY_KP_0 && key <= GLFW_KEY_KP_9) return KEY_KP_0 + (key - GLFW_KEY_KP_0);
    switch (key) {
        case GLFW_KEY_ESCAPE: return KEY_ESC;
        case GLFW_KEY_UP: return KEY_UP;
        case GLFW_KEY_DOWN: return KEY_DOWN;
        case GLFW_KEY_LEFT: return KEY_LEFT;
        case GLFW_KEY_RIGHT: return KEY_RIGHT;
        case GLFW_KEY_LEFT_SHIFT: return KEY_LSHIFT;
        case GLFW_KEY_RIGHT_SHIFT: return KEY_RSHIFT;
        case GLFW_KEY_LEFT_CONTROL: return KEY_LCTRL;
        case GLFW_KEY_RIGHT_CONTROL: return KEY_RCTRL;
        case GLFW_KEY_LEFT_ALT: return KEY_LALT;
        case GLFW_KEY_RIGHT_ALT: return KEY_RALT;
        case GLFW_KEY_TAB: return KEY_TAB;
        case GLFW_KEY_ENTER: return KEY_ENTER;
        case GLFW_KEY_BACKSPACE: return KEY_BACKSPACE;
        case GLFW_KEY_INSERT: return KEY_INSERT;
        case GLFW_KEY_DELETE: return KEY_DEL;
        case GLFW_KEY_PAGE_UP: return KEY_PAGEUP;
        case GLFW_KEY_PAGE_DOWN: return KEY_PAGEDOWN;
        case GLFW_KEY_HOME: return KEY_HOME;
        case GLFW_KEY_END: return KEY_END;
        case GLFW_KEY_KP_DIVIDE: return KEY_KP_DIVIDE;
        case GLFW_KEY_KP_MULTIPLY: return KEY_KP_MULTIPLY;
        case GLFW_KEY_KP_SUBTRACT: return KEY_KP_SUBTRACT;
        case GLFW_KEY_KP_ADD: return KEY_KP_ADD;
        case GLFW_KEY_KP_DECIMAL: return KEY_KP_DECIMAL;
        case GLFW_KEY_KP_EQUAL: return KEY_KP_EQUAL;
        case GLFW_KEY_KP_ENTER: return KEY_KP_ENTER;
        default: return -1;
    }
}

namespace {

void keyCallback(GLFWwindow*, int key, int, int action, int) {
    glue.events++;
    int32_t code = engineKey(key);
    if (code < 0) return;
    inputKeyEvent(code, action != GLFW_RELEASE ? 1 : 0);
}

void charCallback(GLFWwindow*, unsigned int codepoint) {
    glue.events++;
    inputCharEvent(codepoint);
}

void buttonCallback(GLFWwindow*, int button, int action, int) {
    glue.events++;
    if (button >= 0 && button <= 2) inputMouseButtonEvent(button, action == GLFW_PRESS ? 1 : 0);
}

void cursorCallback(GLFWwindow*, double x, double y) {
    glue.events++;
    inputCursorEvent(x, y);
}

void scrollCallback(GLFWwindow*, double, double y) {
    glue.events++;
    inputWheelEvent(y);
}

void focusCallback(GLFWwindow*, int focused) {
    glue.events++;
    inputFocusEvent(focused ? 1 : 0);
}

void sizeCallback(GLFWwindow*, int width, int height) {
    glue.events++;
    onWindowSize(width, height);
}

// The window system asks for the picture again (uncovered, exposed): that counts as a change.
void refreshCallback(GLFWwindow*) { glue.events++; }

void closeCallback(GLFWwindow*) {
    glue.events++;
    onWindowClose();
}

void dropCallback(GLFWwindow*, int count, const char** paths) {
    glue.events++;
    onWindowDrop(count, paths);
}

bool extensionSupported(const char* name) { return glfwExtensionSupported(name) == GLFW_TRUE; }

void* procAddress(const char* name) { return (void*)glfwGetProcAddress(name); }

void windowSize(int32_t* width, int32_t* height) {
    *width = windowRequest.width;
    *height = windowRequest.height;
}

int32_t joystickPresent(int32_t joystick) { return glfwJoystickPresent(joystick) == GLFW_TRUE ? 1 : 0; }

const float* joystickAxes(int32_t joystick, int32_t* count) {
    int n = 0;
    const float* axes = glfwGetJoystickAxes(joystick, &n);
    *count = axes ? n : 0;
    return axes;
}

const uint8_t* joystickButtons(int32_t joystick, int32_t* count) {
    int n = 0;
    const unsigned char* buttons = glfwGetJoystickButtons(joystick, &n);
    *count = buttons ? n : 0;
    return buttons;
}
}  // namespace

void fillVideoModes(const int32_t* sizes, int32_t count) {
    for (VideoMode& m : videoModeTable) m.available = 0;
    for (int32_t i = 0; i < count; i++)
        for (VideoMode& m : videoModeTable)
            if (sizes[2 * i] == m.width && sizes[2 * i + 1] == m.height) m.available = 1;
}

// Mesa's driver (one shared object for all its drivers, with LLVM inside) takes about 20 ms to
// load, relocate and construct, and GLX does that on the thread that opens the first window, after
// its own round trips to the X server. Loaded here with the flags Mesa's own loader uses, GLX finds
// it in place. glibc knows a file loaded twice under two names by its inode, so any of the
// driver's names serves.
void windowPreloadDriver() {
    const char* vendor = std::getenv("__GLX_VENDOR_LIBRARY_NAME");
    if (vendor && std::strcmp(vendor, "mesa") != 0) return;
    // Where NVIDIA's own driver runs, Mesa's is not the one GLX takes: loading it would only cost memory.
    if (!vendor && fileExists("/proc/driver/nvidia/version")) return;
    void* glx = dlopen("libGLX_mesa.so.0", RTLD_LAZY | RTLD_LOCAL);
    if (!glx) return;
    glue.preloaded[0] = glx;
    // Mesa's own search: the first folder of LIBGL_DRIVERS_PATH, else "dri" beside the GLX library
    // (/usr/lib/x86_64-linux-gnu/dri on Debian).
    char dir[PATH_CAPACITY];
    const char* list = std::getenv("LIBGL_DRIVERS_PATH");
    const char* from = list;
    size_t n = list && list[0] != '\0' ? std::strcspn(list, ":") : 0;
    const char* tail = "/";
    if (n == 0) {
        link_map* map = nullptr;
        if (dlinfo(glx, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return;
        const char* slash = std::strrchr(map->l_name, '/');
        if (!slash) return;
        from = map->l_name;
        n = (size_t)(slash - from) + 1;
        tail = "dri/";
    }
    if (n >= PATH_CAPACITY) return;
    std::memcpy(dir, from, n);
    dir[n] = '\0';
    char path[PATH_CAPACITY];
    if (joinPath(path, dir, tail) != 0 || joinPath(path, path, "swrast_dri.so") != 0) return;
    glue.preloaded[1] = dlopen(path, RTLD_NOW | RTLD_GLOBAL);
}

int32_t windowLibraryStart() {
    glue.libraryStarted = glfwInit() == GLFW_TRUE;
    if (!glue.libraryStarted) {
        fillVideoModes(nullptr, 0);
        return -1;
    }
    int count = 0;
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* modes = monitor ? glfwGetVideoModes(monitor, &count) : nullptr;
    if (!modes) count = 0;
    if (count > 256) count = 256;
    int32_t sizes[512];
    for (int i = 0; i < count; i++) {
        sizes[2 * i] = modes[i].width;
        sizes[2 * i + 1] = modes[i].height;
    }
    fillVideoModes(sizes, count);
    return 0;
}

void windowInstallAnswers() {
    static const RenderPlatform renderPlatform = {extensionSupported, procAddress};
    static const InputHooks inputHooks = {windowSize, joystickPresent, joystickAxes, joystickButtons};
    render_set_platform(&renderPlatform);
    inputInstallHooks(inputHooks);
}

void windowOpen() {
    windowInstallAnswers();
    if (!glue.libraryStarted) return;
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_DEPTH_BITS, windowRequest.depthBits);
    glfwWindowHint(GLFW_STENCIL_BITS, windowRequest.stencilBits);
    if (windowRequest.refreshRate != 0) glfwWindowHint(GLFW_REFRESH_RATE, windowRequest.refreshRate);
    GLFWmonitor* monitor = windowRequest.fullscreen ? glfwGetPrimaryMonitor() : nullptr;
    glue.window = glfwCreateWindow(windowRequest.width, windowRequest.height, windowRequest.title, monitor, nullptr);
    if (!glue.window) return;
    glfwMakeContextCurrent(glue.window);
    glfwSetWindowTitle(glue.window, windowRequest.title);
    windowRequest.windowResized = 0;
    glfwSetWindowSizeCallback(glue.window, sizeCallback);
    glfwSetWindowCloseCallback(glue.window, closeCallback);
    glfwSetWindowRefreshCallback(glue.window, refreshCallback);
    glfwSetKeyCallback(glue.window, keyCallback);
    glfwSetCharCallback(glue.window, charCallback);
    glfwSetMouseButtonCallback(glue.window, buttonCallback);
    glfwSetCursorPosCallback(glue.window, cursorCallback);
    glfwSetScrollCallback(glue.window, scrollCallback);
    glfwSetWindowFocusCallback(glue.window, focusCallback);
    glfwSetDropCallback(glue.window, dropCallback);
    // GLFW 3 does not report the size when the callback is installed; the first frame needs it.
    int width = 0, height = 0;
    glfwGetWindowSize(glue.window, &width, &height);
    onWindowSize(width, height);
}

static void refreshWindowFlags() {
    if (!glue.window) {
        windowRequest.windowActive = 0;
        windowRequest.windowCloseRequested = 1;
        return;
    }
    windowRequest.windowActive = (glfwGetWindowAttrib(glue.window, GLFW_FOCUSED) == GLFW_TRUE &&
                                  glfwGetWindowAttrib(glue.window, GLFW_ICONIFIED) == GLFW_FALSE)
                                     ? 1
                                     : 0;
}

void pollWindow() {
    if (glue.libraryStarted) glfwPollEvents();
    refreshWindowFlags();
}

void waitWindowEvents(double seconds) {
    if (glue.libraryStarted && seconds > 0.0) glfwWaitEventsTimeout(seconds);
    refreshWindowFlags();
}

uint32_t windowEventCount() { return glue.events; }

void swapWindow() {
    if (!glue.window) return;
    glfwSwapBuffers(glue.window);
}

bool windowIsOpen() { return glue.window != nullptr; }

void windowClose() {
    if (glue.window) glfwDestroyWindow(glue.window);
    glue.window = nullptr;
}

void windowLibraryStop() {
    // Dropped first, so that the driver is unloaded with GLX's context as it is without the preload.
    for (int32_t i = 1; i >= 0; i--) {
        if (glue.preloaded[i]) dlclose(glue.preloaded[i]);
        glue.preloaded[i] = nullptr;
    }
    if (glue.libraryStarted) glfwTerminate();
    glue.libraryStarted = false;
}

void onWindowSize(int32_t width, int32_t height) {
    windowRequest.windowResized = 1;
    windowRequest.width = width;
    windowRequest.height = height;
}

void onWindowClose() {
    windowRequest.windowCloseRequested = 1;
    if (glue.window) glfwSetWindowShouldClose(glue.window, GLFW_FALSE);
}

void onWindowDrop(int32_t count, const char* const* paths) { dropReceived(count, paths); }

void windowRequestSize(int32_t width, int32_t height) {
    if (glue.window) glfwSetWindowSize(glue.window, width, height);
}
