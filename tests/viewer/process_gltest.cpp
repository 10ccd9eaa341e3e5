// The vcv program as a user starts it, under the test's X display.
#include <gtest/gtest.h>

#include <IL/il.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/test_support.h"

namespace {
const char* kTitle = "VORTEN COLLADA VIEWER v0.2";

struct Viewer {
    TempDir home;
    ChildProcess child;
    void start(std::vector<std::string> args) {
        args.insert(args.begin(), builtProgram("viewer/vcv"));
        child = startProcess(args, {"VCV_HOME=" + home.path()});
    }
    // X id of the viewer's window, "" when it did not appear within 30 s.
    std::string window() {
        return runCommand(std::string("timeout 30 xdotool search --sync --onlyvisible --name '^") + kTitle +
                          "$' | head -n 1");
    }
    std::string config() { return home.path() + "save/vcv.cfg"; }
};

void closeWindow(const std::string& id) {
    int code = -1;
    runCommand("/usr/bin/python3 " + sourceDirectory() + "tests/viewer/send_close.py " + id, &code);
    ASSERT_EQ(code, 0);
}
}  // namespace

TEST(Program, FramesAndScreenshotShowTheClearedWindow) {
    Viewer v;
    std::string png = v.home.path() + "out.png";
    v.start({"--frames", "3", "--screenshot", png});
    ASSERT_EQ(waitProcess(v.child, 60000), 0);
    ilInit();
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    ASSERT_EQ(ilLoadImage(png.c_str()), IL_TRUE);
    ASSERT_EQ(ilGetInteger(IL_IMAGE_WIDTH), 800);
    ASSERT_EQ(ilGetInteger(IL_IMAGE_HEIGHT), 600);
    ilConvertImage(IL_RGB, IL_UNSIGNED_BYTE);
    const uint8_t* p = ilGetData();
    for (int i = 0; i < 800 * 600; i += 997) {
        ASSERT_EQ(p[3 * i], 96) << i;
        ASSERT_EQ(p[3 * i + 1], 136) << i;
        ASSERT_EQ(p[3 * i + 2], 176) << i;
    }
    ilDeleteImages(1, &image);
    EXPECT_EQ(std::filesystem::file_size(v.config()), 2048u);
}

TEST(Program, AWindowManagerCloseIsRefusedThenTheProgramSavesAndExits) {
    Viewer v;
    v.start({});
    std::string id = v.window();
    ASSERT_FALSE(id.empty());
    EXPECT_FALSE(std::filesystem::exists(v.config()));
    closeWindow(id);
    EXPECT_EQ(waitProcess(v.child, 20000), 0);
    ASSERT_TRUE(std::filesystem::exists(v.config()));
    EXPECT_EQ(std::filesystem::file_size(v.config()), 2048u);
}

TEST(Program, LeftControlQQuitsRightControlQDoesNot) {
    Viewer v;
    v.start({});
    std::string id = v.window();
    ASSERT_FALSE(id.empty());
    runCommand("xdotool windowfocus --sync " + id);
    // xdotool presses Control_L for any Control modifier, so the right-hand chord goes through XTEST
    // with raw key codes.
    runCommand("/usr/bin/python3 " + sourceDirectory() + "tests/viewer/type_keys.py Control_R q");
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    ASSERT_TRUE(processRunning(v.child)) << "exit code " << waitProcess(v.child, 1000);
    runCommand("xdotool windowfocus --sync " + id);
    runCommand("xdotool key ctrl+q");
    EXPECT_EQ(waitProcess(v.child, 20000), 0);
    EXPECT_EQ(std::filesystem::file_size(v.config()), 2048u);
}

TEST(Program, HelpAndBadArguments) {
    int code = -1;
    std::string out = runCommand(builtProgram("viewer/vcv") + " --help", &code);
    EXPECT_EQ(code, 0);
    EXPECT_NE(out.find("--screenshot"), std::string::npos);
    runCommand(builtProgram("viewer/vcv") + " --frames 2>/dev/null", &code);
    EXPECT_EQ(code, 2);
}
