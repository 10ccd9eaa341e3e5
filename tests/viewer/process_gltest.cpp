// The vcv program as a user starts it, under the test's X display.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "support/test_support.h"
#include "window_shot.h"

namespace {
const char* kTitle = "VORTEN COLLADA VIEWER v0.2";

struct Viewer {
    TempDir home;
    ChildProcess child;
    void start(std::vector<std::string> args, std::vector<std::string> env = {}) {
        args.insert(args.begin(), builtProgram("viewer/vcv"));
        env.push_back("VCV_HOME=" + home.path());
        env.push_back("ASAN_OPTIONS=detect_leaks=0:abort_on_error=1");
        // Leak checking stays with the in-process tests of the same start-up, frames and import: once
        // the program closes its window the driver is unloaded, and the few allocations it never
        // frees can no longer be named, so they could not be told apart from ours.
        child = startProcess(args, env);
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

TEST(Program, FramesAndScreenshotShowTheClearedWindowUnderTheMenuBar) {
    // Without its data files the viewer still runs: the menu bar is there, without texts or art.
    Viewer v;
    std::string png = v.home.path() + "out.png";
    v.start({"--frames", "3", "--screenshot", png});
    ASSERT_EQ(waitProcess(v.child, 60000), 0);
    const Shot shot = loadPng(png);
    ASSERT_EQ(shot.width, 800);
    ASSERT_EQ(shot.height, 600);
    const uint8_t* p = shot.rgb.data();
    int menuBarPixels = 0;
    for (int i = 0; i < 800 * 600; i += 997) {
        // The menu bar spans canvas (20, 20)-(3420, 180).
        int x = i % 800, y = i / 800;
        if (x >= 4 && x < 684 && y >= 4 && y < 36) {
            menuBarPixels++;
            EXPECT_NE(p[3 * i + 2], 176) << x << "," << y;
            continue;
        }
        ASSERT_EQ(p[3 * i], 96) << i;
        ASSERT_EQ(p[3 * i + 1], 136) << i;
        ASSERT_EQ(p[3 * i + 2], 176) << i;
    }
    EXPECT_GT(menuBarPixels, 10);
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

namespace {
// Pixels of a PNG as RGB bytes (empty when it cannot be read).
std::vector<uint8_t> pngPixels(const std::string& path, int* width, int* height) {
    Shot shot = ::loadPng(path);
    *width = shot.width;
    *height = shot.height;
    return shot.rgb;
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
    return pngPixels(png, width, height);
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

TEST(Program, BadArgumentsAndScriptedRunsThatFailSayWhy) {
    TempDir home;
    auto run = [&](const std::string& args, int* code) {
        return runCommand("VCV_HOME='" + home.path() + "' ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 '" +
                              builtProgram("viewer/vcv") + "' " + args + " 2>&1",
                          code);
    };
    // Usage and bad arguments; no display at all.
    int code = -1;
    EXPECT_NE(run("--help", &code).find("--screenshot"), std::string::npos);
    EXPECT_EQ(code, 0);
    run("--frames", &code);
    EXPECT_EQ(code, 2);
    std::string out = runCommand("env -u DISPLAY VCV_HOME='" + home.path() + "' LSAN_OPTIONS=suppressions=" +
                                     sourceDirectory() + "scripts/lsan.supp '" + builtProgram("viewer/vcv") + "' 2>&1",
                                 &code);
    EXPECT_EQ(code, 1) << out;
    EXPECT_NE(out.find("the OpenGL window cannot be opened"), std::string::npos) << out;
    EXPECT_EQ(std::filesystem::file_size(home.path() + "save/vcv.cfg"), 2048u);

    // A model that gives nothing: the reason, and no picture of an empty window.
    writeText(home.file("broken.dae"), "<COLLADA>\n<library");
    std::string png = home.file("broken.png");
    out = run("--frames 4 --screenshot '" + png + "' '" + home.file("broken.dae") + "'", &code);
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

namespace {
// Pixels of the window rectangle (x0, y0)-(x1, y1) that are bright (text) and that differ between
// two shots.
int brightPixels(const Shot& s, int x0, int y0, int x1, int y1) {
    if (s.width < x1 || s.height < y1) return 0;  // the grab failed
    int n = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            if (s.at(x, y)[0] > 150 && s.at(x, y)[1] > 150 && s.at(x, y)[2] > 150) n++;
    return n;
}
int changedPixels(const Shot& a, const Shot& b, int x0, int y0, int x1, int y1) {
    if (a.width < x1 || a.height < y1 || b.width < x1 || b.height < y1) return -1;  // a grab failed
    int n = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            if (std::memcmp(a.at(x, y), b.at(x, y), 3) != 0) n++;
    return n;
}

void clickAt(const std::string& id, int x, int y, int clicks = 1) {
    runCommand("xdotool mousemove --window " + id + " " + std::to_string(x) + " " + std::to_string(y) +
               " click --repeat " + std::to_string(clicks) + " --delay 80 1");
    std::this_thread::sleep_for(std::chrono::milliseconds(clicks == 1 ? 700 : 1500));
}

// A key chord held long enough for any frame to see it.
void chord(const std::string& keys) {
    runCommand("xdotool keydown " + keys + " sleep 0.2 keyup " + keys);
}
}  // namespace

TEST(Program, TheMenuBarAndTheInfoBoxAnswerRealClicks) {
    Viewer v;
    installViewerData(v.home.path());
    v.start({});
    std::string id = v.window();
    ASSERT_FALSE(id.empty());
    runCommand("xdotool windowfocus --sync " + id + " mousemove --window " + id + " 400 358");
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    Shot before = grab(id);
    ASSERT_EQ(before.width, 800);
    // "File" and "Info" in white over their buttons (canvas (40, 40)-(640, 160) and (640, 40)-(1240, 160)).
    EXPECT_GT(brightPixels(before, 8, 8, 128, 32), 15);
    EXPECT_GT(brightPixels(before, 128, 8, 248, 32), 15);
    EXPECT_EQ(brightPixels(before, 260, 214, 540, 386), 0);

    clickAt(id, 188, 20);  // Info
    Shot info = grab(id);
    ASSERT_EQ(info.width, 800);
    // The box at canvas (1300, 1070)-(2700, 1930) with its picture and its OK button.
    EXPECT_GT(changedPixels(before, info, 260, 214, 540, 386), 280 * 172 * 9 / 10);
    EXPECT_GT(brightPixels(info, 276, 230, 524, 338), 100);
    EXPECT_GT(brightPixels(info, 340, 346, 460, 370), 15);
    EXPECT_EQ(changedPixels(before, info, 0, 400, 800, 600), 0);

    clickAt(id, 400, 358);  // OK
    Shot after = grab(id);
    ASSERT_EQ(after.width, 800);
    EXPECT_EQ(changedPixels(before, after, 0, 0, 800, 600), 0);
    chord("ctrl+q");
    EXPECT_EQ(waitProcess(v.child, 20000), 0);
}

namespace {
// Where things are at 800 x 600 (canvas / 5): the menu, and the file dialog under the menu bar.
constexpr int kFileButton[2] = {60, 20}, kOpenItem[2] = {104, 52}, kQuitItem[2] = {104, 76};
constexpr int kNameField[2] = {250, 404}, kAccept[2] = {364, 430}, kCancel[2] = {464, 430};
constexpr int kMessageOk[2] = {400, 346};
// Centre line of list row i, and the text of a row / the name field / the dialog title.
int rowY(int i) { return 102 + 16 * i; }
int rowText(const Shot& s, int i) { return brightPixels(s, 18, rowY(i) - 6, 140, rowY(i) + 6); }
int nameText(const Shot& s) { return brightPixels(s, 20, 394, 510, 414); }
bool dialogShown(const Shot& s) { return brightPixels(s, 220, 42, 310, 60) > 10; }
bool messageShown(const Shot& s) { return brightPixels(s, 130, 236, 670, 260) > 30; }
bool modelShown(const Shot& s) {
    int model = 0;
    for (int y = 120; y < 600 && y < s.height; y++)
        for (int x = 0; x < 800 && x < s.width; x++)
            if (s.at(x, y)[0] > s.at(x, y)[2] + 40) model++;  // the warm wood and red, not the blue-grey
    return model > 10000;
}
// Grabs until the window shows what is awaited (an import under the sanitizers takes its time), for
// at most 10 s; the last grab either way.
Shot awaitShot(const std::string& id, bool (*shows)(const Shot&)) {
    Shot s = grab(id);
    for (int i = 0; i < 20 && !(s.width == 800 && shows(s)); i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        s = grab(id);
    }
    return s;
}
}  // namespace

TEST(Program, OpeningModelsThroughTheFileDialog) {
    // A user's folder: a model, one with an image gone wrong, a broken one, a sub-folder, other files.
    TempDir user;
    std::filesystem::create_directory(user.path() + "sub");
    std::filesystem::create_directory(user.path() + ".cache");
    for (const char* dir : {"", "sub/"})
        std::filesystem::copy_file(sourceDirectory() + "assets/sample/wood.png", user.path() + dir + "wood.png");
    std::filesystem::copy_file(sourceDirectory() + "assets/sample/sample.dae", user.file("sample.dae"));
    std::filesystem::copy_file(sourceDirectory() + "assets/sample/sample.dae", user.file("sub/b.dae"));
    writeText(user.file("broken.dae"), "<COLLADA>\n<library");
    writeText(user.file("notes.txt"), "not a model");
    // Rows of the folder: ".", "..", "sub", "broken.dae", "sample.dae"; of sub/: ".", "..", "b.dae".

    Viewer v;
    installViewerData(v.home.path());
    auto openDialog = [&](const std::string& id) {
        clickAt(id, kFileButton[0], kFileButton[1]);
        clickAt(id, kOpenItem[0], kOpenItem[1]);
        return awaitShot(id, dialogShown);
    };
    {
        v.start({}, {"HOME=" + user.path()});
        std::string id = v.window();
        ASSERT_FALSE(id.empty());
        runCommand("xdotool windowfocus --sync " + id);
        // The first run opens at home, with the models listed and nothing picked.
        Shot dialog = openDialog(id);
        ASSERT_TRUE(dialogShown(dialog));
        for (int row = 2; row < 5; row++) EXPECT_GT(rowText(dialog, row), 5) << row;
        EXPECT_EQ(rowText(dialog, 5), 0);  // hidden folders and other files are not listed
        EXPECT_EQ(nameText(dialog), 0);

        // A broken document: the dialog closes, a message says why, OK takes it away.
        clickAt(id, 60, rowY(3), 2);
        Shot message = awaitShot(id, messageShown);
        EXPECT_FALSE(dialogShown(message));
        EXPECT_TRUE(messageShown(message));
        EXPECT_FALSE(modelShown(message));
        clickAt(id, kMessageOk[0], kMessageOk[1]);
        EXPECT_FALSE(messageShown(grab(id)));

        // A double click on a model opens it at once.
        openDialog(id);
        clickAt(id, 60, rowY(4), 2);
        Shot model = awaitShot(id, modelShown);
        EXPECT_FALSE(dialogShown(model));
        EXPECT_TRUE(modelShown(model));

        // One click on a folder leaves the name alone; a double click enters it; one click on a file
        // takes its name; OK opens it.
        openDialog(id);
        clickAt(id, 60, rowY(2));
        EXPECT_EQ(nameText(grab(id)), 0);
        clickAt(id, 60, rowY(2), 2);
        Shot sub = awaitShot(id, [](const Shot& s) { return rowText(s, 2) > 5 && rowText(s, 3) == 0; });
        EXPECT_GT(rowText(sub, 2), 5);
        EXPECT_EQ(rowText(sub, 3), 0);
        clickAt(id, 60, rowY(2));
        EXPECT_GT(nameText(grab(id)), 5);
        clickAt(id, kAccept[0], kAccept[1]);
        EXPECT_TRUE(modelShown(awaitShot(id, modelShown)));

        // Cancel leaves the model as it was; File, Quit ends the program like Ctrl+Q.
        openDialog(id);
        clickAt(id, kCancel[0], kCancel[1]);
        Shot cancelled = grab(id);
        EXPECT_FALSE(dialogShown(cancelled));
        EXPECT_TRUE(modelShown(cancelled));
        clickAt(id, kFileButton[0], kFileButton[1]);
        clickAt(id, kQuitItem[0], kQuitItem[1]);
        EXPECT_EQ(waitProcess(v.child, 20000), 0);
    }
    std::vector<uint8_t> cfg = readBytes(v.config());
    ASSERT_EQ(cfg.size(), 2048u);
    EXPECT_EQ(std::string((const char*)cfg.data()), user.path() + "sub/");
    {
        // The next run opens where the last model was picked; a typed name opens too.
        v.start({}, {"HOME=" + user.path()});
        std::string id = v.window();
        ASSERT_FALSE(id.empty());
        runCommand("xdotool windowfocus --sync " + id);
        Shot dialog = openDialog(id);
        EXPECT_GT(rowText(dialog, 2), 5);
        EXPECT_EQ(rowText(dialog, 3), 0);
        clickAt(id, kNameField[0], kNameField[1]);
        runCommand("xdotool type --delay 60 b.dae");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        clickAt(id, kAccept[0], kAccept[1]);
        EXPECT_TRUE(modelShown(awaitShot(id, modelShown)));
        chord("ctrl+q");
        EXPECT_EQ(waitProcess(v.child, 20000), 0);
    }
}

namespace {
// A COLLADA 1.4 document of 2 million triangles: four geometries, each a grid of 500 x 500 quads.
void writeBigDocument(const std::string& path) {
    const int side = 500, points = side + 1;
    std::string d = "<?xml version=\"1.0\"?>\n<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" "
                    "version=\"1.4.1\"><asset><up_axis>Z_UP</up_axis></asset><library_geometries>";
    char number[64];
    for (int g = 0; g < 4; g++) {
        std::string id = "g" + std::to_string(g);
        d += "<geometry id=\"" + id + "\"><mesh><source id=\"" + id + "p\"><float_array count=\"" +
             std::to_string(points * points * 3) + "\">";
        for (int y = 0; y < points; y++)
            for (int x = 0; x < points; x++) {
                std::snprintf(number, sizeof number, "%d %d %d ", x + g * side, y, (x * y) % 7);
                d += number;
            }
        d += "</float_array><technique_common><accessor count=\"" + std::to_string(points * points) +
             "\" stride=\"3\"/></technique_common></source><source id=\"" + id +
             "n\"><float_array count=\"3\">0 0 1</float_array><technique_common><accessor count=\"1\" "
             "stride=\"3\"/></technique_common></source><vertices id=\"" + id + "v\"><input semantic=\"POSITION\" "
             "source=\"#" + id + "p\"/></vertices><polylist count=\"" + std::to_string(side * side) +
             "\"><input semantic=\"VERTEX\" source=\"#" + id + "v\" offset=\"0\"/><input semantic=\"NORMAL\" "
             "source=\"#" + id + "n\" offset=\"1\"/><vcount>";
        for (int q = 0; q < side * side; q++) d += "4 ";
        d += "</vcount><p>";
        for (int y = 0; y < side; y++)
            for (int x = 0; x < side; x++) {
                int a = y * points + x;
                std::snprintf(number, sizeof number, "%d 0 %d 0 %d 0 %d 0 ", a, a + 1, a + 1 + points, a + points);
                d += number;
            }
        d += "</p></polylist></mesh></geometry>";
    }
    d += "</library_geometries><library_visual_scenes><visual_scene id=\"s\">";
    for (int g = 0; g < 4; g++) d += "<node><instance_geometry url=\"#g" + std::to_string(g) + "\"/></node>";
    d += "</visual_scene></library_visual_scenes><scene><instance_visual_scene url=\"#s\"/></scene></COLLADA>";
    writeText(path, d);
}

// Width of the filled part of the loading box's progress bar, 0 when none shows.
int progressWidth(const Shot& s) {
    if (s.width != 800) return 0;
    int filled = 0;
    for (int x = 316; x < 484; x++) {
        const uint8_t* c = s.at(x, 318);
        filled += std::abs(c[0] - 150) < 8 && std::abs(c[1] - 200) < 8 && std::abs(c[2] - 240) < 8;
    }
    return filled;
}
}  // namespace

TEST(Program, ABigImportShowsItsProgressAndAnswersACloseRequest) {
    TempDir dir;
    writeBigDocument(dir.file("big.dae"));
    Viewer v;
    installViewerData(v.home.path());
    v.start({dir.file("big.dae")});
    std::string id = v.window();
    ASSERT_FALSE(id.empty());
    // While the import runs the window is drawn again and again, each time with more of the bar.
    int advances = 0, last = 0;
    bool closeSent = false;
    for (int i = 0; i < 600 && processRunning(v.child); i++) {
        int width = progressWidth(grab(id));
        if (width > last) {
            advances++;
            last = width;
        }
        // A close request in the middle of the import is answered once the import is over.
        if (advances == 3 && !closeSent) {
            closeWindow(id);
            closeSent = true;
        }
        if (last > 0 && width == 0) break;  // the loading box has gone
    }
    EXPECT_GE(advances, 5);
    EXPECT_TRUE(closeSent);
    EXPECT_EQ(waitProcess(v.child, 120000), 0);
}
