// The viewer's keys in the real program, driven by xdotool under the test's X display.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "support/test_support.h"
#include "window_shot.h"

namespace {
// Pixels that differ above the bottom strip where notices show; -1 when the sizes differ.
int changedPixels(const Shot& a, const Shot& b, int bottom = 560) {
    if (a.width != b.width || a.height != b.height || a.rgb.empty()) return -1;
    int n = 0;
    for (int y = 0; y < bottom && y < a.height; y++)
        for (int x = 0; x < a.width; x++)
            if (std::memcmp(a.at(x, y), b.at(x, y), 3) != 0) n++;
    return n;
}

// Pixels where blue leads red clearly: the pyramid once it is painted blue.
int bluePixels(const Shot& s) {
    int n = 0;
    for (size_t i = 0; i + 2 < s.rgb.size(); i += 3)
        if (s.rgb[i + 2] > s.rgb[i] + 60 && s.rgb[i + 2] > 190) n++;
    return n;
}

// A key held long enough for any frame to see it.
void press(const std::string& id, const std::string& key) {
    runCommand("xdotool windowfocus --sync " + id + " keydown " + key + " sleep 0.2 keyup " + key);
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

// Waits up to 20 s for `done`; its last answer.
template <typename F>
bool await(F done) {
    for (int i = 0; i < 80; i++) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return done();
}
}  // namespace

TEST(KeysProgram, ScreenshotHelpResetTheFolderWalkAndReload) {
    // A folder of three documents; the viewer starts on the middle one.
    TempDir models;
    std::string sample = sourceDirectory() + "assets/sample/";
    std::filesystem::copy_file(sample + "wood.png", models.file("wood.png"));
    for (const char* name : {"a.dae", "b.dae", "c.dae"}) std::filesystem::copy_file(sample + "sample.dae", models.file(name));
    writeText(models.file("notes.txt"), "not a model");

    TempDir home;
    installViewerData(home.path());
    std::string out = home.file("out.txt");
    ChildProcess child = startProcess(
        {"/bin/sh", "-c", "exec \"$0\" \"$@\" > '" + out + "'", builtProgram("viewer/vcv"), models.file("b.dae")},
        {"VCV_HOME=" + home.path(), "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1"});
    std::string id = runCommand("timeout 30 xdotool search --sync --onlyvisible --name '^VORTEN COLLADA VIEWER v0.2$'"
                                " | head -n 1");
    ASSERT_FALSE(id.empty());
    auto stdoutText = [&] {
        std::vector<uint8_t> b = readBytes(out);
        return std::string(b.begin(), b.end());
    };
    ASSERT_TRUE(await([&] { return count(stdoutText(), "Done.") == 1; })) << stdoutText();
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    Shot first = grab(id);
    ASSERT_EQ(first.width, 800);

    // F12: a PNG in screenshots/ with the window's pixels, and its name on screen for a while.
    std::string shots = home.path() + "screenshots";
    press(id, "F12");
    std::string png;
    ASSERT_TRUE(await([&] {
        for (const auto& e : std::filesystem::directory_iterator(shots)) png = e.path().string();
        return !png.empty();
    }));
    EXPECT_EQ(std::filesystem::path(png).filename().string().rfind("vcv-", 0), 0u) << png;
    EXPECT_NE(stdoutText().find("Screenshot saved: " + png), std::string::npos) << stdoutText();
    Shot saved = loadPng(png);
    ASSERT_EQ(saved.width, 800);
    EXPECT_EQ(changedPixels(first, saved, 600), 0);
    EXPECT_GT(changedPixels(first, grab(id), 600), 100);  // the notice
    ASSERT_TRUE(await([&] { return changedPixels(first, grab(id), 600) == 0; }));  // gone after a few seconds

    // H shows the overlay, H again hides it.
    press(id, "h");
    EXPECT_GT(changedPixels(first, grab(id)), 100000);
    press(id, "h");
    EXPECT_EQ(changedPixels(first, grab(id)), 0);

    // An orbit and a pan move the picture; R brings the first one back.
    runCommand("xdotool mousemove --window " + id + " 400 300 mousedown 3 sleep 0.1 mousemove --window " + id +
               " 460 330 sleep 0.1 mousemove --window " + id + " 520 360 sleep 0.1 mouseup 3");
    runCommand("xdotool mousemove --window " + id + " 400 300 mousedown 2 sleep 0.1 mousemove --window " + id +
               " 440 280 sleep 0.1 mousemove --window " + id + " 480 260 sleep 0.1 mouseup 2");
    runCommand("xdotool mousemove --window " + id + " 400 300");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_GT(changedPixels(first, grab(id)), 10000);
    press(id, "r");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(changedPixels(first, grab(id)), 0);

    // Next and previous walk a, b, c in the dialog's order and wrap round; other files are passed by.
    const char* walk[][2] = {{"Next", "c.dae"}, {"Right", "a.dae"}, {"Prior", "c.dae"}, {"Left", "b.dae"}};
    for (int step = 0; step < 4; step++) {
        size_t done = count(stdoutText(), "Done.");
        press(id, walk[step][0]);
        ASSERT_TRUE(await([&] { return count(stdoutText(), "Done.") == done + 1; })) << walk[step][0];
        std::string text = stdoutText();
        std::string opened = text.substr(text.rfind("Open "));
        EXPECT_EQ(opened.substr(0, opened.find('\n')), "Open " + models.file(walk[step][1]) + ".") << walk[step][0];
    }

    // The file changes on disk: F5 shows the new content, Ctrl+R too.
    std::vector<uint8_t> bytes = readBytes(models.file("b.dae"));
    std::string doc(bytes.begin(), bytes.end());
    for (auto swap : {std::make_pair("0.3 0.1 0.08", "0.08 0.1 0.3"), std::make_pair("0.8 0.25 0.2", "0.2 0.25 0.8")}) {
        size_t at = doc.find(swap.first);
        ASSERT_NE(at, std::string::npos);
        doc.replace(at, std::strlen(swap.first), swap.second);
    }
    writeText(models.file("b.dae"), doc);
    EXPECT_LT(bluePixels(grab(id)), 100);
    for (const char* key : {"F5", "ctrl+r"}) {
        size_t done = count(stdoutText(), "Done.");
        press(id, key);
        ASSERT_TRUE(await([&] { return count(stdoutText(), "Done.") == done + 1; })) << key;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_GT(bluePixels(grab(id)), 1000) << key;
    }
    EXPECT_EQ(count(stdoutText(), "Open " + models.file("b.dae") + "."), 4u);

    press(id, "ctrl+q");
    EXPECT_EQ(waitProcess(child, 20000), 0);
}
