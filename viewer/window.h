// The window glue over GLFW 3: the window request the application fills before start-up, the one
// OpenGL window, and the flags that the main loop and the frame prologue read.
#pragma once
#include <cstdint>

struct WindowRequest {
    char title[256];
    uint8_t fullscreen;
    int32_t width;        // requested; replaced by the real size on every size notification
    int32_t height;
    int32_t colourBits;   // stored only: GLFW chooses the colour bits
    int32_t depthBits;
    int32_t stencilBits;
    int32_t refreshRate;  // 0 leaves GLFW's default
    uint8_t windowActive;          // focused and not iconified, refreshed by every poll
    uint8_t windowResized;         // set by a size notification until the frame prologue took the size
    uint8_t windowCloseRequested;  // the user asked to close, or the window is gone; never cleared
};
extern WindowRequest windowRequest;

// Which standard display sizes the primary monitor offers: 640x480, 800x600, 1024x768, 1280x960, 1600x1200.
struct VideoMode {
    uint8_t available;
    int32_t width, height;
};
enum { VIDEO_MODE_COUNT = 5 };
extern VideoMode videoModeTable[VIDEO_MODE_COUNT];

// Loads the system's OpenGL driver ahead of the first window, from any thread: start-up calls it
// on its second thread while the main thread opens the window. No effect where the driver is not
// Mesa's; windowLibraryStop lets it go again.
void windowPreloadDriver();
// glfwInit and the video-mode table. 0, or -1 when GLFW cannot start (no display).
int32_t windowLibraryStart();
// Opens the window from the request with a fixed-function context made current, installs the
// callbacks (handing the current size to onWindowSize at once) and the renderer's and input layer's
// platform answers. A window that cannot be opened is reported by the next poll as a close request.
void windowOpen();
// Installs the answers the renderer and the input layer ask of the window layer (windowOpen does).
void windowInstallAnswers();
// Polls events; refreshes windowActive; a missing window sets windowCloseRequested.
void pollWindow();
// Waits up to the given time for an event and handles what arrives (as pollWindow does).
void waitWindowEvents(double seconds);
// Events the window delivered since it opened (input, focus, size, close): a change of the count
// means something happened.
uint32_t windowEventCount();
// Shows the frame.
void swapWindow();
// True while a window with its context exists.
bool windowIsOpen();
void windowClose();
void windowLibraryStop();
// Size notification and close request, as GLFW delivers them (the close is refused).
void onWindowSize(int32_t width, int32_t height);
void onWindowClose();
// Files dropped on the window (paths as the window system gives them); the viewer's drop queue keeps
// them for the next frame.
void onWindowDrop(int32_t count, const char* const* paths);
// Asks the window system for a new client size (the notification follows in a later poll).
void windowRequestSize(int32_t width, int32_t height);
// GLFW 3 key number to the engine's key code; -1 for a key the engine has no code for.
int32_t engineKey(int glfwKey);
// Fills the video-mode table from a list of (width, height) pairs.
void fillVideoModes(const int32_t* sizes, int32_t count);
