#include "viewer/app.h"

#include <cstdio>
#include <cstring>

#include "input/input.h"
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
#include "viewer/model_load.h"
#include "viewer/scene.h"
#include "viewer/screenshot.h"
#include "viewer/window.h"

int8_t appState = appStopped;
char imageImportDirectory[2048];
int32_t viewerStrings = -1;
int32_t interfaceSet = -1;
int32_t appFrameCount = 0;

namespace {
struct AppRun {
    AppOptions options;
};
AppRun run;

// The frame is kept before every swap, so that the picture of a quit that comes later (Ctrl+Q, a
// close request) is still the last frame shown.
void keepFrameForScreenshot() {
    if (run.options.screenshot[0] != '\0' && windowIsOpen()) captureFrame(windowRequest.width, windowRequest.height);
}

void writeScreenshot() {
    if (run.options.screenshot[0] == '\0') return;
    if (writeCapturedFrame(run.options.screenshot) != 0)
        std::fprintf(stderr, "vcv: cannot write the screenshot %s\n", run.options.screenshot);
    releaseCapturedFrame();
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
    if (windowLibraryStart() != 0) std::fprintf(stderr, "vcv: the window system cannot be started\n");
    windowOpen();
    if (!windowIsOpen()) std::fprintf(stderr, "vcv: the OpenGL window cannot be opened\n");
    inputInit();
    if (windowIsOpen()) {
        render_init();
        texture_init();
    } else {
        view_table_init();  // no context to probe, but the viewer's scene still needs its view
    }
    objectModelInit();
    appState = appRunning;
}

void engineStop() {
    objectModelShutdown();
    if (windowIsOpen()) {
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
    appState = appStopped;
}

void appInit(const AppOptions* options) {
    run.options = *options;
    appFrameCount = 0;
    joinPath(imageImportDirectory, dataDirectory, "texture_import" PATH_SEP_TEXT);
    makeDirectories(imageImportDirectory);

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
    viewerStrings = stringTableLoad("vorfre.txt", languageDirectory);
    interfaceSet = -1;
    if (windowIsOpen()) interfaceSet = loadInterfaceSet(-1, -1, "inter.stf", dataDirectory, 0);
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
        serviceModelLoad();
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
    releaseViewerScene();
    if (viewerStrings != -1) viewerStrings = stringTableDestroy(viewerStrings);
    saveViewerConfig();
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

void runMainLoop() {
    while (appState != appStopped) {
        pollWindow();
        mainLoopDispatch();
    }
}
