#include "viewer/app.h"

#include "import/scene_import.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

#include "gui/canvas.h"
#include "gui/draw.h"
#include "gui/edit_field.h"
#include "gui/font.h"
#include "gui/gui.h"
#include "input/input.h"
#include "net/net.h"
#include "object/object_model.h"
#include "render/frame.h"
#include "render/render_state.h"
#include "render/view.h"
#include "strings/string_table.h"
#include "system/clock.h"
#include "system/files.h"
#include "system/messages.h"
#include "system/system.h"
#include "texsets/interface_sets.h"
#include "texture/texture_manager.h"
#include "viewer/config.h"
#include "viewer/drop.h"
#include "viewer/keys.h"
#include "viewer/model_load.h"
#include "viewer/scene.h"
#include "viewer/screens.h"
#include "viewer/screenshot.h"
#include "viewer/window.h"

int8_t appState = appStopped;
char imageImportDirectory[2048];
int32_t viewerStrings = -1;
int32_t interfaceSet = -1;
int32_t appFrameCount = 0;

namespace {
// A paced frame lasts at least this long while nothing changes (about 60 frames a second).
constexpr double kIdleFrameSeconds = 1.0 / 60.0;
// Quiet frames before the loop rests, and how long one wait of a rest lasts at most.
constexpr int32_t kQuietFramesBeforeRest = 30;
constexpr double kRestWaitSeconds = 0.5;

struct AppRun {
    AppOptions options;
    bool scripted;           // --frames or --screenshot: failures end the run with a non-zero status
    int32_t exitStatus;      // what main returns
    uint32_t eventsSeen;     // window events counted when the last frame was paced
    double frameStart;       // seconds, when the last frame began
    int32_t quietFrames;     // frames in a row during which nothing changed
};
AppRun run;

void fail(int32_t status) {
    if (run.exitStatus == 0) run.exitStatus = status;
}

// The frame is kept before every swap, so that the picture of a quit that comes later (Ctrl+Q, a
// close request) is still the last frame shown.
void keepFrameForScreenshot() {
    if (run.options.screenshot[0] != '\0' && windowIsOpen()) captureFrame(windowRequest.width, windowRequest.height);
}

void writeScreenshot() {
    if (run.options.screenshot[0] == '\0') return;
    char reason[256];
    if (writeCapturedFrame(run.options.screenshot, reason, sizeof reason) != 0) {
        std::fprintf(stderr, "vcv: cannot write the screenshot %s: %s\n", run.options.screenshot, reason);
        fail(1);
    }
    releaseCapturedFrame();
}

// Directories the viewer writes into; a user is told at start when one cannot be written.
void checkWritable(const char* dir, const char* consequence) {
    char reason[256];
    if (directoryWritable(dir, reason, sizeof reason) != 0)
        std::fprintf(stderr, "vcv: cannot write in %s (%s): %s\n", dir, reason, consequence);
}
}  // namespace

namespace {
// The interface's files (font pages and metrics, the widget set) are read and decoded on a second
// thread while the window opens, the longest wait of start-up; the GL thread uploads them once it
// has a context. The JPEG decoder keeps one state, so nothing else decodes until they are joined.
struct StartupFiles {
    std::thread worker;
    bool started;
    char fontDir[PATH_CAPACITY];
    char setDir[PATH_CAPACITY];
    PreparedFont font;
    PreparedSet set;
    int32_t setRead;
};
StartupFiles startupFiles;

void prepareStartupFiles() {
    // First the GL driver, which the main thread is about to need for the window.
    windowPreloadDriver();
    prepareFont(&startupFiles.font, "font.sff", startupFiles.fontDir);
    startupFiles.setRead = prepareInterfaceSet(&startupFiles.set, "inter.stf", startupFiles.setDir);
}

void beginStartupFiles() {
    // An installed copy finds its read-only data under the shared prefix unless the user has own copies.
    dataFileDirectory("font.sff", dataDirectory, startupFiles.fontDir);
    dataFileDirectory("inter.stf", dataDirectory, startupFiles.setDir);
    startupFiles.started = true;
    try {
        startupFiles.worker = std::thread(prepareStartupFiles);
    } catch (const std::system_error&) {
        startupFiles.started = false;  // read them here instead
        prepareStartupFiles();
    }
}

// Waits for the files and installs them (uploads need the context), or frees them without a window.
void endStartupFiles(bool install) {
    if (startupFiles.started) startupFiles.worker.join();
    startupFiles.started = false;
    if (install) {
        installFont(&startupFiles.font);
        interfaceSet = startupFiles.setRead == 0 ? installPreparedSet(-1, &startupFiles.set) : -1;
    } else {
        freePreparedFont(&startupFiles.font);
        freePreparedSet(&startupFiles.set);
    }
}
}  // namespace

int8_t requestQuit() {
    int8_t previous = appState;
    if (appState == appRunning) appState = appQuitRequested;
    return previous;
}

void engineStart() {
    appState = appStarting;
    systemStart();
    stringsInit();
    // The second thread starts after glfwInit: once a process has two threads, glibc locks every
    // stdio call, and Xlib reads its compose table with getc, a character at a time (10 ms more).
    if (windowLibraryStart() != 0) std::fprintf(stderr, "vcv: the window system cannot be started\n");
    beginStartupFiles();
    windowOpen();
    if (!windowIsOpen()) {
        std::fprintf(stderr, "vcv: the OpenGL window cannot be opened\n");
        fail(1);
    }
    inputInit();
    if (windowIsOpen()) {
        render_init();
        texture_init();
        guiInit();
    } else {
        view_table_init();  // no context to probe, but the viewer's scene still needs its view
    }
    net_init();
    objectModelInit();
    appState = appRunning;
}

void engineStop() {
    objectModelShutdown();
    if (windowIsOpen()) {
        guiShutdown();
        texture_shutdown();
        render_shutdown();
    } else {
        view_table_free();
    }
    inputShutdown();
    windowClose();
    windowLibraryStop();
    stringsShutdown();
    systemStop();
    net_shutdown();
    appState = appStopped;
}

// A frame drawn from inside an import: the window system is answered (a close request is kept for
// the main loop, which quits once the import is over), and the interface is shown as it stands with
// the loading box's progress bar. Nothing reacts to input until the import ends.
static void drawImportProgress(float done) {
    if (!windowIsOpen()) return;
    pollWindow();
    if (windowRequest.windowResized) {
        render_resize(windowRequest.width, windowRequest.height);
        windowRequest.windowResized = 0;
    }
    render_set_clear(96, 136, 176, 1, 1, 0);
    render_clear();
    begin2d((float)CANVAS_WIDTH, (float)CANVAS_HEIGHT);
    drawInterfaceStill();
    drawLoadingProgress(done);
    swapWindow();
}

void appInit(const AppOptions* options) {
    run.options = *options;
    run.scripted = options->frames > 0 || options->screenshot[0] != '\0';
    run.exitStatus = 0;
    appFrameCount = 0;
    importSetUpOverride(options->up);
    importSetProgressHook(drawImportProgress);
    joinPath(imageImportDirectory, dataDirectory, "texture_import" PATH_SEP_TEXT);
    makeDirectories(imageImportDirectory);
    checkWritable(imageImportDirectory, "models will show without their textures");
    checkWritable(saveDirectory, "the browse directory will not be remembered");

    std::memset(&windowRequest, 0, sizeof windowRequest);
    std::snprintf(windowRequest.title, sizeof windowRequest.title, "%s", "VORTEN COLLADA VIEWER v0.2");
    windowRequest.fullscreen = 0;
    windowRequest.width = options->width;
    windowRequest.height = options->height;
    windowRequest.colourBits = 32;
    windowRequest.depthBits = 32;
    windowRequest.stencilBits = 8;
    windowRequest.refreshRate = 0;

    TEXTURE_SIZE_LIMIT = 2048;
    TEXTURE_FILTER_MODE = 3;
    interfaceFilterMode = 2;
    interfaceSizeLimit = 2048;

    engineStart();
    loadViewerConfig();
    // An installed copy finds its read-only data under the shared prefix unless the user has own copies.
    char from[PATH_CAPACITY];
    viewerStrings = stringTableLoad("vorfre.txt", dataFileDirectory("vorfre.txt", languageDirectory, from));
    interfaceSet = -1;
    endStartupFiles(windowIsOpen());
    if (windowIsOpen()) {
        setupViewerStyle(interfaceSet);
        createViewerScreens();
    }
    viewerKeysInit();
    createViewerScene();
    if (options->model[0] && requestModelLoad(options->model) != 0)
        std::fprintf(stderr, "vcv: the model path is too long\n");
    clockReset();
}

void appFrame() {
    clockTick();
    if (windowRequest.windowResized) {
        render_resize(windowRequest.width, windowRequest.height);
        windowRequest.windowResized = 0;
    }
    inputFrame();
    bool drawing = windowIsOpen();
    if (drawing) {
        render_set_clear(96, 136, 176, 1, 1, 0);
        render_clear();
    }
    updateViewerScene();
    if (drawing) {
        render_views();
        begin2d((float)CANVAS_WIDTH, (float)CANVAS_HEIGHT);
        serviceDrop();
        // A script that asked for a model gets no picture of an empty scene: the run ends here.
        if (runScreens() < 0 && run.scripted) {
            fail(1);
            run.options.screenshot[0] = '\0';
            requestQuit();
        }
        drawInterface();
        // The font page, while Enter is held.
        if (keyDown(KEY_ENTER)) drawImage(0, 0, 200, 200, 2000, 2000, 255, 255, 255, 255);
        runViewerKeys();
    }
    appFrameCount++;
    if (drawing) keepFrameForScreenshot();
    swapWindow();
    if (keyDown('Q') && keyDown(KEY_LCTRL)) requestQuit();
    if (run.options.frames > 0 && appFrameCount >= run.options.frames) requestQuit();
    if (appState == appQuitRequested) {
        writeScreenshot();
        appQuit();
    }
}

void appQuit() {
    importSetProgressHook(nullptr);
    releaseViewerScene();
    if (viewerStrings != -1) viewerStrings = stringTableDestroy(viewerStrings);
    saveViewerConfig();
    if (windowIsOpen()) {
        viewerKeysClose();
        closeViewerScreens();
    }
    engineStop();
}

int32_t mainLoopDispatch() {
    if (windowRequest.windowCloseRequested) {
        requestQuit();
        appFrame();
        return 1;
    }
    if (windowRequest.windowActive) {
        appFrame();
        return 1;
    }
    sleepMs(1);
    return 0;
}

int32_t appExitStatus() { return run.exitStatus; }

// Pacing. While something changes (input arrived, a load is under way, a button is held, the zoom
// has not settled) frames run as fast as they can. When nothing changed during a frame, the next
// one waits for an event or for the end of its 1/60 s; after half a second of such frames the loop
// rests: no frame is drawn until an event arrives, since the picture would be the same. Scripted
// runs are never paced: they exist to finish.
static bool viewerChanging() {
    uint32_t events = windowEventCount();
    bool changing = events != run.eventsSeen || modelLoadPending() || mouseState().mouseButtonState != 0 ||
                    viewerScene.zoomIdleMs < 400.0f;
    run.eventsSeen = events;
    return changing;
}

static void paceFrame() {
    if (run.options.frames != 0) return;
    if (viewerChanging()) {
        run.quietFrames = 0;
    } else if (++run.quietFrames < kQuietFramesBeforeRest || viewerKeysTimerRunning()) {
        double remaining = run.frameStart + kIdleFrameSeconds - clockSeconds();
        if (remaining > 0.0) waitWindowEvents(remaining);
    }
    run.frameStart = clockSeconds();
}

// Seconds until a focused field's cursor next shows or hides (it shows while the blink timer, which
// wraps at 1200 ms, is at most 500).
static double secondsToBlink() {
    float t = textCursor().blinkTimer;
    float ms = t <= 500.0f ? 500.5f - t : 1200.0f - t;
    return (ms > 1.0f ? ms : 1.0f) / 1000.0;
}

// True while the loop rests: waits for an event without drawing. When one arrives the clock is
// reset, so that the first frame after the rest does not scale its motion by the whole pause. A
// blinking cursor wakes the loop for the one frame that shows or hides it.
static bool resting() {
    // A notice on screen must go on time, so the loop does not rest before.
    if (run.quietFrames < kQuietFramesBeforeRest || appState != appRunning || viewerKeysTimerRunning())
        return false;
    bool blinking = editCursorShown();
    waitWindowEvents(blinking ? std::min(kRestWaitSeconds, secondsToBlink()) : kRestWaitSeconds);
    bool event = windowEventCount() != run.eventsSeen || windowRequest.windowCloseRequested;
    if (!event && !blinking) return true;
    if (event) run.quietFrames = 0;
    // The pause does not move the camera, but it counts for the double click and the blink.
    inputTimePassed((float)((clockSeconds() - run.frameStart) * 1000.0));
    clockReset();
    return false;
}

void runMainLoop() {
    run.frameStart = clockSeconds();
    run.quietFrames = 0;
    while (appState != appStopped) {
        pollWindow();
        if (resting()) continue;
        if (mainLoopDispatch() == 1) paceFrame();
    }
}
