// The spine in one process: start-up, frames, resize, activity, quit.
#include <gtest/gtest.h>

#include <link.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "input/input.h"
#include "input/keys.h"
#include "render/gl.h"
#include "app_fixture.h"
#include "system/clock.h"

namespace {
class Spine : public AppTest {
protected:
    // Polls until the window system has delivered what `done` waits for.
    template <typename F>
    bool pollUntil(F done) {
        for (int i = 0; i < 200 && !done(); i++) {
            pollWindow();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return done();
    }
};
}  // namespace

TEST_F(Spine, StartUpAndAResizeHandTheRealSizeToTheNextFrame) {
    EXPECT_EQ(appState, appRunning);
    // Start-up loads the GL driver ahead of the window; GLX must have taken that copy, not a second.
    int32_t drivers = 0;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* count) {
            const size_t n = std::strlen(info->dlpi_name);
            if (n > 7 && std::strcmp(info->dlpi_name + n - 7, "_dri.so") == 0) ++*static_cast<int32_t*>(count);
            return 0;
        },
        &drivers);
    EXPECT_LE(drivers, 1);
    EXPECT_EQ(frameDeltaMs, 0.0f);
    for (const auto [width, height] : {std::pair{800, 600}, std::pair{1024, 700}}) {
        SCOPED_TRACE(width);
        windowRequestSize(width, height);
        ASSERT_TRUE(pollUntil([&] { return windowRequest.width == width && windowRequest.height == height; }));
        EXPECT_EQ(windowRequest.windowResized, 1);
        appFrame();
        EXPECT_EQ(windowRequest.windowResized, 0);
        GLint v[4];
        glGetIntegerv(GL_VIEWPORT, v);
        EXPECT_EQ(v[2], width);
        EXPECT_EQ(v[3], height);
        glGetIntegerv(GL_SCISSOR_BOX, v);
        EXPECT_EQ(v[2], width);
        EXPECT_EQ(v[3], height);
    }
}

TEST_F(Spine, AnInactiveWindowDrawsNothingAndTheNextFrameSeesTheWholePause) {
    appFrame();
    int32_t frames = appFrameCount;
    windowRequest.windowActive = 0;
    auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(250))
        EXPECT_EQ(mainLoopDispatch(), 0);
    EXPECT_EQ(appFrameCount, frames);
    windowRequest.windowActive = 1;
    EXPECT_EQ(mainLoopDispatch(), 1);
    EXPECT_EQ(appFrameCount, frames + 1);
    EXPECT_GE(frameDeltaMs, 250.0f);
}

TEST_F(Spine, OnlyLeftControlQQuitsAtTheEndOfTheFrameAndTheSettingsAreSaved) {
    // A quit request leaves only the running state, once.
    EXPECT_EQ(requestQuit(), appRunning);
    EXPECT_EQ(requestQuit(), appQuitRequested);
    EXPECT_EQ(appState, appQuitRequested);
    appState = appStarting;
    requestQuit();
    EXPECT_EQ(appState, appStarting);
    appState = appRunning;
    inputKeyEvent(KEY_RCTRL, 1);
    inputKeyEvent('Q', 1);
    appFrame();
    EXPECT_EQ(appState, appRunning);
    inputKeyEvent(KEY_RCTRL, 0);
    inputKeyEvent(KEY_LCTRL, 1);
    appFrame();
    EXPECT_EQ(appState, appStopped);
    EXPECT_FALSE(windowIsOpen());
    EXPECT_EQ(std::filesystem::file_size(std::string(saveDirectory) + "vcv.cfg"), 2048u);
}

TEST_F(Spine, ACloseRequestIsRefusedRunsOneMoreFrameAndStops) {
    int32_t frames = appFrameCount;
    onWindowClose();
    EXPECT_TRUE(windowIsOpen());
    EXPECT_EQ(windowRequest.windowCloseRequested, 1);
    EXPECT_EQ(mainLoopDispatch(), 1);
    EXPECT_EQ(appFrameCount, frames + 1);
    EXPECT_EQ(appState, appStopped);
    EXPECT_EQ(std::filesystem::file_size(std::string(saveDirectory) + "vcv.cfg"), 2048u);
}
