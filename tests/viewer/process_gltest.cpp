// The vcv program as a user starts it, under the test's X display.
#include <gtest/gtest.h>

#include <IL/il.h>

#include <chrono>
#include <filesystem>
#include <set>
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
        // Leak checking stays with the in-process tests of the same start-up, frames and import: once
        // the program closes its window the driver is unloaded, and the few allocations it never
        // frees can no longer be named, so they could not be told apart from ours.
        child = startProcess(args, {"VCV_HOME=" + home.path(), "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1"});
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
    std::string png = v.home.path() + "quit.png";
    v.start({"--screenshot", png});
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
    // The picture of a quit typed between frames is the last frame shown.
    ilInit();
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    ASSERT_EQ(ilLoadImage(png.c_str()), IL_TRUE);
    ilConvertImage(IL_RGB, IL_UNSIGNED_BYTE);
    const uint8_t* p = ilGetData();
    EXPECT_EQ(p[0], 96);
    EXPECT_EQ(p[1], 136);
    EXPECT_EQ(p[2], 176);
    ilDeleteImages(1, &image);
}

TEST(Program, WithoutADisplayItSaysSoAndFails) {
    TempDir home;
    int code = -1;
    std::string out = runCommand("env -u DISPLAY VCV_HOME='" + home.path() + "' LSAN_OPTIONS=suppressions=" +
                                     sourceDirectory() + "scripts/lsan.supp '" + builtProgram("viewer/vcv") +
                                     "' 2>&1",
                                 &code);
    EXPECT_EQ(code, 1) << out;
    EXPECT_NE(out.find("the OpenGL window cannot be opened"), std::string::npos) << out;
    EXPECT_EQ(std::filesystem::file_size(home.path() + "save/vcv.cfg"), 2048u);
}

TEST(Program, HelpAndBadArguments) {
    int code = -1;
    std::string out = runCommand(builtProgram("viewer/vcv") + " --help", &code);
    EXPECT_EQ(code, 0);
    EXPECT_NE(out.find("--screenshot"), std::string::npos);
    runCommand(builtProgram("viewer/vcv") + " --frames 2>/dev/null", &code);
    EXPECT_EQ(code, 2);
}

namespace {
// Pixels of a PNG as RGB bytes (empty when it cannot be read).
std::vector<uint8_t> loadPng(const std::string& path, int* width, int* height) {
    ilInit();
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    std::vector<uint8_t> rgb;
    if (ilLoadImage(path.c_str()) == IL_TRUE && ilConvertImage(IL_RGB, IL_UNSIGNED_BYTE) == IL_TRUE) {
        *width = ilGetInteger(IL_IMAGE_WIDTH);
        *height = ilGetInteger(IL_IMAGE_HEIGHT);
        const uint8_t* p = ilGetData();
        rgb.assign(p, p + (size_t)*width * *height * 3);
    }
    ilDeleteImages(1, &image);
    return rgb;
}

// Share of pixels that are not the background colour.
double modelShare(const std::vector<uint8_t>& rgb) {
    size_t model = 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        if (rgb[i] != 96 || rgb[i + 1] != 136 || rgb[i + 2] != 176) model++;
    return rgb.empty() ? 0.0 : (double)model / (double)(rgb.size() / 3);
}

// Runs vcv on a model for a few frames and returns the last frame.
std::vector<uint8_t> showModel(Viewer& v, const std::string& model, int* width, int* height) {
    std::string png = v.home.path() + "model.png";
    v.start({"--frames", "4", "--screenshot", png, model});
    EXPECT_EQ(waitProcess(v.child, 120000), 0) << model;
    return loadPng(png, width, height);
}
}  // namespace

TEST(Program, TheBundledSampleShowsATexturedLitModel) {
    Viewer v;
    int w = 0, h = 0;
    std::vector<uint8_t> rgb = showModel(v, sourceDirectory() + "assets/sample/sample.dae", &w, &h);
    ASSERT_EQ(w, 800);
    EXPECT_GT(modelShare(rgb), 0.08);
    // The wood texture gives many distinct warm tones; a flat colour would give a handful.
    std::set<uint32_t> warm;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        if (rgb[i] > rgb[i + 2] + 40 && rgb[i + 1] > rgb[i + 2]) warm.insert(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
    EXPECT_GT(warm.size(), 200u);
    // The model's directory becomes the browse directory, as a pick in the file dialog makes it.
    std::vector<uint8_t> cfg = readBytes(v.config());
    ASSERT_EQ(cfg.size(), 2048u);
    EXPECT_EQ(std::string((const char*)cfg.data()),
              std::filesystem::canonical(sourceDirectory() + "assets/sample").string() + "/");
}

TEST(Program, SharedSamplesShowOnScreen) {
    std::string shared = sharedDirectory();
    if (shared.empty()) GTEST_SKIP() << "no shared samples beside the checkout";
    for (const char* name : {"cart-collada131-baked-matrix.dae", "humanoid-collada131-baked-matrix.dae"}) {
        Viewer v;
        int w = 0, h = 0;
        std::vector<uint8_t> rgb = showModel(v, shared + "samples/collada13/" + name, &w, &h);
        EXPECT_GT(modelShare(rgb), 0.03) << name;
    }
}

TEST(Program, ScriptedRunsThatFailSayWhyAndExitWithOne) {
    TempDir home;
    auto run = [&](const std::string& args, int* code) {
        return runCommand("VCV_HOME='" + home.path() + "' ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 '" +
                              builtProgram("viewer/vcv") + "' " + args + " 2>&1",
                          code);
    };
    // A model that gives nothing: the reason, and no picture of an empty window.
    writeText(home.file("broken.dae"), "<COLLADA>\n<library");
    int code = -1;
    std::string png = home.file("broken.png");
    std::string out = run("--frames 4 --screenshot '" + png + "' '" + home.file("broken.dae") + "'", &code);
    EXPECT_EQ(code, 1) << out;
    EXPECT_NE(out.find("broken.dae is not well-formed XML: "), std::string::npos) << out;
    EXPECT_NE(out.find("(line 2, column"), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(png));
    out = run("--frames 2 '" + home.file("missing.dae") + "'", &code);
    EXPECT_EQ(code, 1) << out;
    EXPECT_NE(out.find("missing.dae does not exist."), std::string::npos) << out;

    // A screenshot that cannot be written, into a missing folder or onto a full device.
    out = run("--frames 2 --screenshot /no/such/folder/x.png", &code);
    EXPECT_EQ(code, 1) << out;
    EXPECT_NE(out.find("cannot write the screenshot /no/such/folder/x.png: No such file or directory"),
              std::string::npos)
        << out;
    out = run("--frames 2 --screenshot /dev/full", &code);
    EXPECT_EQ(code, 1) << out;
    EXPECT_NE(out.find("cannot write the screenshot /dev/full: No space left on device"), std::string::npos) << out;
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));  // a failed write removes only its own files

    // A data folder that cannot be written is named at start; the viewer still runs.
    TempDir other;
    writeText(other.file("data"), "a file where the data folder belongs");
    out = runCommand("VCV_HOME='" + other.path() + "' ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 '" +
                         builtProgram("viewer/vcv") + "' --frames 2 2>&1",
                     &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("cannot write in " + other.path() + "data/texture_import/ (Not a directory): "
                       "models will show without their textures"),
              std::string::npos)
        << out;
}
