#include "viewer/keys.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "gui/edit_field.h"
#include "gui/file_dialog.h"
#include "gui/gui.h"
#include "gui/text_layout.h"
#include "gui/widgets.h"
#include "input/input.h"
#include "render/view.h"
#include "strings/string_table.h"
#include "strings/text.h"
#include "system/clock.h"
#include "system/files.h"
#include "viewer/model_load.h"
#include "viewer/scene.h"
#include "viewer/screens.h"
#include "viewer/screenshot.h"
#include "viewer/window.h"

namespace {
// How long a notice stays, and how often the frame-time readout changes (ms).
constexpr float kNoticeMs = 3000.0f;
constexpr float kReadoutPeriodMs = 500.0f;
// Rows of the help overlay, in canvas units.
constexpr float kRowHeight = 96.0f;
constexpr float kOverlayX0 = 600.0f, kOverlayX1 = 3400.0f, kOverlayMargin = 80.0f, kTitleHeight = 130.0f;
constexpr float kHelpColumn = 1080.0f;  // where the descriptions start, inside the overlay
enum { MAX_HELP_ROWS = 64 };

struct KeysModule {
    uint8_t wasDown[KEY_LAST + 1];  // keyDown as the last frame saw it
    int32_t overlay;                // help overlay window
    int32_t rowKeys[MAX_HELP_ROWS], rowHelp[MAX_HELP_ROWS];
    int32_t rows;
    int32_t notice, noticeText;  // notice window and label
    float noticeMs;              // time left before the notice goes
    uint8_t noticeGone;          // the notice went in this frame, after the interface was drawn
    int32_t readout, readoutText;  // frame-time window and label
    float readoutMs;                // time summed since the readout last changed
    int32_t readoutFrames;          // frames in that time
};
KeysModule keys;

void closeNotice() {
    keys.notice = freeWindow(keys.notice);
    keys.noticeText = -1;
    keys.noticeMs = 0.0f;
}

// One line at the bottom left for a few seconds, replacing the one shown.
void showNotice(const char* text) {
    closeNotice();
    keys.notice = openScreenWindow(-1, 0, 20, 2820, 2800, 2980);
    keys.noticeText = addScreenLabel(keys.notice, text, LAYOUT_LEFT, 40, 20, 2740, 140);
    keys.noticeMs = kNoticeMs;
}

void closeOverlay() {
    keys.overlay = freeWindow(keys.overlay);
    keys.rows = 0;
}

// ---- Actions -------------------------------------------------------------------------------------

void toggleHelp() {
    if (windowExists(keys.overlay)) {
        closeOverlay();
        return;
    }
    int32_t rows = viewerKeyCount + otherInputCount;
    float y0 = (3000.0f - (2 * kOverlayMargin + kTitleHeight + rows * kRowHeight)) / 2.0f;
    float y1 = 3000.0f - y0;
    // Above everything shown, the message box and the file dialog included.
    keys.overlay = openScreenWindow(-1, topVisibleLayer() + 1, kOverlayX0, y0, kOverlayX1, y1);
    float right = kOverlayX1 - kOverlayX0 - kOverlayMargin;
    addScreenLabel(keys.overlay, "Keys and mouse", LAYOUT_LEFT, kOverlayMargin, kOverlayMargin, right,
                   kOverlayMargin + kRowHeight);
    keys.rows = 0;
    for (int32_t row = 0; row < rows && row < MAX_HELP_ROWS; row++) {
        char names[128];
        const char* help;
        if (row < viewerKeyCount) {
            viewerKeyNames(row, names, sizeof names);
            help = viewerKeys[row].help;
        } else {
            textCopy(names, otherInputs[row - viewerKeyCount].keys, sizeof names);
            help = otherInputs[row - viewerKeyCount].help;
        }
        float y = kOverlayMargin + kTitleHeight + row * kRowHeight;
        keys.rowKeys[row] =
            addScreenLabel(keys.overlay, names, LAYOUT_LEFT, kOverlayMargin, y, kHelpColumn - 40, y + kRowHeight);
        keys.rowHelp[row] = addScreenLabel(keys.overlay, help, LAYOUT_LEFT, kHelpColumn, y, right, y + kRowHeight);
        keys.rows = row + 1;
    }
}

// Copies of the last document's name and directory; false (with a notice) before the first.
bool currentDocument(char* name, char* directory) {
    if (modelLoadName()[0] == '\0') {
        showNotice("No model has been opened yet.");
        return false;
    }
    textCopy(name, modelLoadName(), PATH_CAPACITY);
    textCopy(directory, modelLoadDirectory(), PATH_CAPACITY);
    return true;
}

void reloadFile() {
    char name[PATH_CAPACITY], directory[PATH_CAPACITY];
    if (modelLoadPending() || !currentDocument(name, directory)) return;
    startModelLoad(name, directory);
}

// The model `step` places after the current one (before it when negative) among the folder's
// documents as the file dialog lists them, wrapping round. A current document that has gone since
// counts as standing before the first.
void openNeighbour(int32_t step) {
    char name[PATH_CAPACITY], directory[PATH_CAPACITY];
    if (modelLoadPending() || !currentDocument(name, directory)) return;
    int32_t files = fileDialogFiles("*.dae", directory);
    int32_t count = stringTableCount(files);
    if (count > 0) {
        int32_t at = -1;
        for (int32_t i = 0; i < count && at < 0; i++)
            if (std::strcmp(stringTableText(files, i), name) == 0) at = i;
        int32_t pick = at >= 0 ? ((at + step) % count + count) % count : (step > 0 ? 0 : count - 1);
        textCopy(name, stringTableText(files, pick), PATH_CAPACITY);
    }
    stringTableDestroy(files);
    if (count == 0) {
        showNotice("The model's folder holds no .dae file any more.");
        return;
    }
    startModelLoad(name, directory);
}

void nextFile() { openNeighbour(1); }
void previousFile() { openNeighbour(-1); }

// The frame just drawn, as vcv-<date>-<time>.png in the screenshots directory (a second one in the
// same second gets -2, -3, ...).
void saveScreenshot() {
    char stamp[32] = "unknown-time";
    std::time_t now = std::time(nullptr);
    if (const std::tm* local = std::localtime(&now)) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", local);
    char name[64];
    for (int32_t n = 1; n < 1000; n++) {
        if (n == 1) std::snprintf(name, sizeof name, "vcv-%s.png", stamp);
        else std::snprintf(name, sizeof name, "vcv-%s-%d.png", stamp, n);
        if (!fileExistsIn(name, screenshotsDirectory)) break;
    }
    makeDirectories(screenshotsDirectory);  // in case it was removed while the viewer ran
    char path[PATH_CAPACITY], reason[256], text[512];
    joinPath(path, screenshotsDirectory, name);
    captureFrame(windowRequest.width, windowRequest.height);
    int32_t written = path[0] != '\0' ? writeCapturedFrame(path, reason, sizeof reason) : -1;
    if (path[0] == '\0') textCopy(reason, "the path is too long", sizeof reason);
    releaseCapturedFrame();
    if (written == 0) {
        std::printf("Screenshot saved: %s\n", path);
        std::fflush(stdout);
        std::snprintf(text, sizeof text, "Screenshot saved: %s", name);
    } else {
        std::fprintf(stderr, "vcv: cannot write the screenshot %s: %s\n", path, reason);
        std::snprintf(text, sizeof text, "Screenshot not saved: %s", reason);
    }
    showNotice(text);
}

void toggleDebug(int32_t which) { renderDebug[which] = renderDebug[which] ? 0 : 1; }
void toggleLights() { toggleDebug(DEBUG_LIGHTS); }
void toggleEmptyNodes() { toggleDebug(DEBUG_EMPTY_NODES); }
void toggleCameras() { toggleDebug(DEBUG_CAMERAS); }
void toggleSpheres() { toggleDebug(DEBUG_SPHERES); }
void toggleBoxes() { toggleDebug(DEBUG_BOXES); }
void toggleWireframe() { renderWireframe = renderWireframe ? 0 : 1; }

void toggleFrameTime() {
    if (windowExists(keys.readout)) {
        keys.readout = freeWindow(keys.readout);
        keys.readoutText = -1;
        return;
    }
    keys.readout = openScreenWindow(-1, 0, 3040, 2820, 3980, 2980);
    keys.readoutText = addScreenLabel(keys.readout, "-- ms", LAYOUT_LEFT, 40, 20, 900, 140);
    keys.readoutMs = 0.0f;
    keys.readoutFrames = 0;
}

// ---- Dispatch ------------------------------------------------------------------------------------

int32_t heldModifiers() {
    int32_t m = KEYMOD_NONE;
    if (keyDown(KEY_LCTRL) || keyDown(KEY_RCTRL)) m |= KEYMOD_CTRL;
    if (keyDown(KEY_LSHIFT) || keyDown(KEY_RSHIFT)) m |= KEYMOD_SHIFT;
    if (keyDown(KEY_LALT) || keyDown(KEY_RALT)) m |= KEYMOD_ALT;
    return m;
}

void appendKeyName(char* out, int32_t cap, int32_t key, int32_t modifiers) {
    char name[48];
    if (key >= KEY_F1 && key <= KEY_F25) {
        std::snprintf(name, sizeof name, "F%d", key - KEY_F1 + 1);
    } else if (key > KEY_SPACE && key < 127) {
        std::snprintf(name, sizeof name, "%c", (char)key);
    } else {
        const char* text = "?";
        switch (key) {
            case KEY_PAGEDOWN: text = "Page Down"; break;
            case KEY_PAGEUP: text = "Page Up"; break;
            case KEY_RIGHT: text = "Right"; break;
            case KEY_LEFT: text = "Left"; break;
            case KEY_UP: text = "Up"; break;
            case KEY_DOWN: text = "Down"; break;
            case KEY_HOME: text = "Home"; break;
            case KEY_END: text = "End"; break;
            case KEY_SPACE: text = "Space"; break;
            default: break;
        }
        textCopy(name, text, sizeof name);
    }
    size_t used = std::strlen(out);
    if (used >= (size_t)cap) return;
    std::snprintf(out + used, (size_t)cap - used, "%s%s%s%s", (modifiers & KEYMOD_CTRL) ? "Ctrl+" : "",
                  (modifiers & KEYMOD_ALT) ? "Alt+" : "", (modifiers & KEYMOD_SHIFT) ? "Shift+" : "", name);
}

void countDown() {
    float delta = frameDeltaMs > 0.0f ? frameDeltaMs : 0.0f;
    keys.noticeGone = 0;
    if (windowExists(keys.notice)) {
        keys.noticeMs -= delta;
        if (keys.noticeMs <= 0.0f) {
            closeNotice();
            keys.noticeGone = 1;
        }
    }
    if (windowExists(keys.readout)) {
        keys.readoutMs += delta;
        keys.readoutFrames++;
        if (keys.readoutMs >= kReadoutPeriodMs) {
            float ms = keys.readoutMs / (float)keys.readoutFrames;
            char text[64];
            std::snprintf(text, sizeof text, "%.1f ms  %.0f fps", ms, ms > 0.0f ? 1000.0f / ms : 0.0f);
            setLabelText(keys.readoutText, text);
            keys.readoutMs = 0.0f;
            keys.readoutFrames = 0;
        }
    }
}
}  // namespace

const ViewerKey viewerKeys[] = {
    {'H', KEYMOD_NONE, KEY_F1, KEYMOD_NONE, 1, "show or hide this help", toggleHelp},
    {'R', KEYMOD_NONE, -1, 0, 0, "reset the view", resetViewerView},
    {KEY_F5, KEYMOD_NONE, 'R', KEYMOD_CTRL, 0, "reload the model", reloadFile},
    {KEY_PAGEDOWN, KEYMOD_NONE, KEY_RIGHT, KEYMOD_NONE, 0, "next model of the folder", nextFile},
    {KEY_PAGEUP, KEYMOD_NONE, KEY_LEFT, KEYMOD_NONE, 0, "previous model of the folder", previousFile},
    {KEY_F12, KEYMOD_NONE, -1, 0, 0, "save a screenshot in screenshots/", saveScreenshot},
    {'1', KEYMOD_NONE, -1, 0, 0, "lights on / off", toggleLights},
    {'2', KEYMOD_NONE, -1, 0, 0, "empty nodes on / off", toggleEmptyNodes},
    {'3', KEYMOD_NONE, -1, 0, 0, "cameras on / off", toggleCameras},
    {'4', KEYMOD_NONE, -1, 0, 0, "bounding spheres on / off", toggleSpheres},
    {'5', KEYMOD_NONE, -1, 0, 0, "bounding boxes on / off", toggleBoxes},
    {'W', KEYMOD_NONE, -1, 0, 0, "wireframe on / off", toggleWireframe},
    {'Z', KEYMOD_NONE, -1, 0, 0, "frame time and FPS on / off", toggleFrameTime},
};
const int32_t viewerKeyCount = (int32_t)(sizeof viewerKeys / sizeof viewerKeys[0]);

const HelpLine otherInputs[] = {
    {"Right drag", "orbit round the model"},
    {"Wheel", "zoom in / out"},
    {"Middle drag", "pan"},
    {"Shift+right drag", "pan"},
    {"Left click", "menus, lists and buttons"},
    {"Left Ctrl+Q", "quit"},
    {"Enter (held)", "show the font page"},
};
const int32_t otherInputCount = (int32_t)(sizeof otherInputs / sizeof otherInputs[0]);

void viewerKeyNames(int32_t entry, char* out, int32_t cap) {
    if (cap < 1) return;
    out[0] = '\0';
    if (entry < 0 || entry >= viewerKeyCount) return;
    const ViewerKey& k = viewerKeys[entry];
    appendKeyName(out, cap, k.key, k.modifiers);
    if (k.altKey < 0) return;
    size_t used = std::strlen(out);
    if (used + 3 < (size_t)cap) std::memcpy(out + used, " / ", 4);
    appendKeyName(out, cap, k.altKey, k.altModifiers);
}

void viewerKeysInit() {
    std::memset(&keys, 0, sizeof keys);
    keys.overlay = keys.notice = keys.noticeText = keys.readout = keys.readoutText = -1;
}

void runViewerKeys() {
    countDown();
    uint8_t tapped[KEY_LAST + 1];
    for (int32_t code = 0; code <= KEY_LAST; code++) {
        uint8_t down = keyDown(code) ? 1 : 0;
        tapped[code] = down && !keys.wasDown[code];
        keys.wasDown[code] = down;
    }
    // Keys typed into a field are text.
    if (editCursorShown()) return;
    bool modal = windowExists(viewerScreens.messageBox) || fileDialogGet(viewerScreens.fileBrowser) != nullptr;
    int32_t held = heldModifiers();
    for (int32_t i = 0; i < viewerKeyCount; i++) {
        const ViewerKey& k = viewerKeys[i];
        if (modal && !k.overModal) continue;
        bool first = tapped[k.key] && held == k.modifiers;
        bool second = k.altKey >= 0 && tapped[k.altKey] && held == k.altModifiers;
        if (first || second) k.action();
    }
}

void viewerKeysClose() {
    closeOverlay();
    closeNotice();
    keys.readout = freeWindow(keys.readout);
    keys.readoutText = -1;
}

bool viewerKeysTimerRunning() { return windowExists(keys.notice) || keys.noticeGone; }

int32_t helpOverlayWindow() { return windowExists(keys.overlay) ? keys.overlay : -1; }

bool helpOverlayRow(int32_t row, int32_t* keysLabel, int32_t* helpLabel) {
    if (!windowExists(keys.overlay) || row < 0 || row >= keys.rows) return false;
    *keysLabel = keys.rowKeys[row];
    *helpLabel = keys.rowHelp[row];
    return true;
}

int32_t noticeLabel() { return windowExists(keys.notice) ? keys.noticeText : -1; }

int32_t frameTimeLabel() { return windowExists(keys.readout) ? keys.readoutText : -1; }
