// The vcv program as a user starts it, under the test's X display: scripted runs and their pictures,
// real clicks and keys, and models standing upright.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "support/test_support.h"
#include "window_shot.h"

namespace {
const char* kTitle = "VORTEN COLLADA VIEWER v0.2";
// Leak checking stays with the in-process tests of the same start-up, frames and import: once the
// program closes its window the driver is unloaded, and the few allocations it never frees can no
// longer be named, so they could not be told apart from ours.
const char* kNoLeakCheck = "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1";

struct Viewer {
    TempDir home;
    ChildProcess child;
    void start(std::vector<std::string> args, std::vector<std::string> env = {}) {
        args.insert(args.begin(), builtProgram("viewer/vcv"));
        env.push_back("VCV_HOME=" + home.path());
        env.push_back(kNoLeakCheck);
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

// Runs vcv on a model for a few frames and returns the last frame.
Shot show(Viewer& v, const std::string& model, std::vector<std::string> extra = {}) {
    std::string png = v.home.file("shot.png");
    extra.insert(extra.begin(), {"--frames", "4", "--screenshot", png});
    extra.push_back(model);
    v.start(extra);
    EXPECT_EQ(waitProcess(v.child, 120000), 0) << model;
    return loadPicture(png);
}

bool background(const uint8_t* c) { return c[0] == 96 && c[1] == 136 && c[2] == 176; }

// Bounding box of the pixels that are not the background, below the menu bar.
void modelBox(const Shot& p, int* width, int* height) {
    int x0 = p.width, y0 = p.height, x1 = -1, y1 = -1;
    for (int y = 40; y < p.height; y++)
        for (int x = 0; x < p.width; x++) {
            if (background(p.at(x, y))) continue;
            x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    *width = x1 - x0 + 1;
    *height = y1 - y0 + 1;
}

}  // namespace

TEST(Program, BadArgumentsAndScriptedRunsThatFailSayWhy) {
    TempDir home, bare, other;
    writeText(home.file("broken.dae"), "<COLLADA>\n<library");
    writeText(other.file("data"), "a file where the data folder belongs");
    const std::string vcv = " '" + builtProgram("viewer/vcv") + "' ", png = home.file("broken.png");
    auto in = [&](const TempDir& h) { return "VCV_HOME='" + h.path() + "' " + kNoLeakCheck + vcv; };
    const struct {
        std::string command;
        int code;
        std::vector<std::string> says;
    } runs[] = {
        // Usage and bad arguments; no display at all (the settings are saved all the same).
        {in(home) + "--help", 0, {"--screenshot"}},
        {in(home) + "--frames", 2, {}},
        {"env -u DISPLAY VCV_HOME='" + bare.path() + "' LSAN_OPTIONS=suppressions=" + sourceDirectory() +
             "scripts/lsan.supp" + vcv,
         1, {"the OpenGL window cannot be opened"}},
        // A model that gives nothing: the reason, and no picture of an empty window.
        {in(home) + "--frames 4 --screenshot '" + png + "' '" + home.file("broken.dae") + "'", 1,
         {"broken.dae is not well-formed XML: ", "(line 2, column"}},
        {in(home) + "--frames 2 '" + home.file("missing.dae") + "'", 1, {"missing.dae does not exist."}},
        // A screenshot that cannot be written, into a missing folder or onto a full device.
        {in(home) + "--frames 2 --screenshot /no/such/folder/x.png", 1,
         {"cannot write the screenshot /no/such/folder/x.png: No such file or directory"}},
        {in(home) + "--frames 2 --screenshot /dev/full", 1,
         {"cannot write the screenshot /dev/full: No space left on device"}},
        // A data folder that cannot be written is named at start; the viewer still runs.
        {in(other) + "--frames 2", 0,
         {"cannot write in " + other.path() + "data/texture_import/ (Not a directory): models will show without their textures"}},
    };
    for (const auto& r : runs) {
        int code = -1;
        const std::string out = runCommand(r.command + " 2>&1", &code);
        EXPECT_EQ(code, r.code) << r.command << "\n" << out;
        for (const std::string& text : r.says) EXPECT_TRUE(has(out, text)) << r.command << "\n" << out;
    }
    EXPECT_EQ(std::filesystem::file_size(bare.path() + "save/vcv.cfg"), 2048u);
    EXPECT_FALSE(std::filesystem::exists(png));
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));  // a failed write removes only its own files
}

namespace {
// Pixels of the window rectangle (x0, y0)-(x1, y1) that are bright (text), and that differ between
// two shots.
int brightPixels(const Shot& s, int x0, int y0, int x1, int y1) {
    if (s.width < x1 || s.height < y1) return 0;  // the grab failed
    int n = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) n += s.at(x, y)[0] > 150 && s.at(x, y)[1] > 150 && s.at(x, y)[2] > 150;
    return n;
}
int changedPixels(const Shot& a, const Shot& b, int x0, int y0, int x1, int y1) {
    if (a.width < x1 || a.height < y1 || b.width < x1 || b.height < y1) return -1;  // a grab failed
    int n = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) n += std::memcmp(a.at(x, y), b.at(x, y), 3) != 0;
    return n;
}

// Where things are at 800 x 600 (canvas / 5): the menu, the info box, and the file dialog under the
// menu bar.
struct At {
    int x, y;
};
constexpr At kFileButton{60, 20}, kInfoButton{188, 20}, kOpenItem{104, 52}, kQuitItem{104, 76}, kInfoOk{400, 358};
constexpr At kNameField{250, 404}, kAccept{364, 430}, kCancel{464, 430};
At row(int i) { return At{60, 102 + 16 * i}; }

// A user's click (or double click), paced as a user acts: the viewer sees each press and release
// in frames of their own.
void clickAt(const std::string& id, At at, int clicks = 1) {
    runCommand("xdotool mousemove --window " + id + " " + std::to_string(at.x) + " " + std::to_string(at.y) +
               " click --repeat " + std::to_string(clicks) + " --delay 80 1");
    std::this_thread::sleep_for(std::chrono::milliseconds(clicks == 1 ? 700 : 1500));
}

// The text of a list row / the name field / the dialog title / the message box.
int rowText(const Shot& s, int i) { return brightPixels(s, 18, row(i).y - 6, 140, row(i).y + 6); }
int nameText(const Shot& s) { return brightPixels(s, 20, 394, 510, 414); }
bool dialogShown(const Shot& s) { return brightPixels(s, 220, 42, 310, 60) > 10; }
bool modelShown(const Shot& s) {
    int model = 0;
    for (int y = 120; y < 600 && y < s.height; y++)
        for (int x = 0; x < 800 && x < s.width; x++)
            model += s.at(x, y)[0] > s.at(x, y)[2] + 40;  // the warm wood and red, not the blue-grey
    return model > 10000;
}
// Grabs until what the window shows gives `want` (an import under the sanitizers takes its time),
// for at most 10 s; the last grab either way.
Shot awaitShot(const std::string& id, std::function<bool(const Shot&)> shows, bool want = true) {
    Shot s = grab(id);
    for (int i = 0; i < 20 && !(s.width == 800 && shows(s) == want); i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        s = grab(id);
    }
    return s;
}
// A double click, repeated (at most three times) until the window shows what it should: under a
// heavy load the viewer may see its two clicks too far apart and take them for single ones.
Shot doubleClick(const std::string& id, At at, std::function<bool(const Shot&)> shows) {
    Shot s;
    for (int i = 0; i < 3 && !(s.width == 800 && shows(s)); i++) {
        clickAt(id, at, 2);
        s = awaitShot(id, shows);
    }
    return s;
}
}  // namespace

TEST(Program, AUserClicksThroughTheInfoBoxAndOpensModelsThroughTheFileDialog) {
    // A user's folder: a model, a sub-folder with a model, hidden and other files.
    TempDir user;
    std::filesystem::create_directory(user.path() + "sub");
    std::filesystem::create_directory(user.path() + ".cache");
    for (const char* dir : {"", "sub/"})
        std::filesystem::copy_file(sourceDirectory() + "assets/sample/wood.png", user.path() + dir + "wood.png");
    std::filesystem::copy_file(sourceDirectory() + "assets/sample/sample.dae", user.file("sample.dae"));
    std::filesystem::copy_file(sourceDirectory() + "assets/sample/sample.dae", user.file("sub/b.dae"));
    writeText(user.file("notes.txt"), "not a model");
    // Rows of the folder: ".", "..", "sub", "sample.dae"; of sub/: ".", "..", "b.dae".

    Viewer v;
    installViewerData(v.home.path());
    std::string id;
    auto startViewer = [&] {
        v.start({}, {"HOME=" + user.path()});
        id = v.window();
        runCommand("xdotool windowfocus --sync " + id);
        return !id.empty();
    };
    auto openDialog = [&] {
        clickAt(id, kFileButton);
        clickAt(id, kOpenItem);
        return awaitShot(id, dialogShown);
    };
    ASSERT_TRUE(startViewer());
    // The first run opens at home, with the models listed and nothing picked.
    Shot dialog = openDialog();
    ASSERT_TRUE(dialogShown(dialog));
    for (int i = 2; i < 4; i++) EXPECT_GT(rowText(dialog, i), 5) << i;
    EXPECT_EQ(rowText(dialog, 4), 0);  // hidden folders and other files are not listed
    EXPECT_EQ(nameText(dialog), 0);

    // A double click on a model opens it at once.
    Shot model = doubleClick(id, row(3), modelShown);
    EXPECT_FALSE(dialogShown(model));
    EXPECT_TRUE(modelShown(model));

    // One click on a folder leaves the name alone; a double click enters it; one click on a file
    // takes its name; OK opens it.
    openDialog();
    clickAt(id, row(2));
    EXPECT_EQ(nameText(grab(id)), 0);
    auto inSub = [](const Shot& s) { return rowText(s, 2) > 5 && rowText(s, 3) == 0; };  // one file listed
    EXPECT_TRUE(inSub(doubleClick(id, row(2), inSub)));
    clickAt(id, row(2));
    const int picked = nameText(awaitShot(id, [](const Shot& s) { return nameText(s) > 5; }));
    EXPECT_GT(picked, 5);
    clickAt(id, kAccept);
    EXPECT_TRUE(modelShown(awaitShot(id, dialogShown, false)));

    // Cancel leaves the model as it was; File, Quit ends the program.
    openDialog();
    clickAt(id, kCancel);
    Shot cancelled = awaitShot(id, dialogShown, false);
    EXPECT_FALSE(dialogShown(cancelled));
    EXPECT_TRUE(modelShown(cancelled));
    clickAt(id, kFileButton);
    clickAt(id, kQuitItem);
    EXPECT_EQ(waitProcess(v.child, 20000), 0);
    std::vector<uint8_t> cfg = readBytes(v.config());
    ASSERT_EQ(cfg.size(), 2048u);
    EXPECT_EQ(std::string((const char*)cfg.data()), user.path() + "sub/");

    // The next run: the menu bar and the info box answer; the dialog opens where the last model was
    // picked; typed keys reach the name field; Ctrl+Q (held long enough for a frame to see it) quits.
    ASSERT_TRUE(startViewer());
    // "File" and "Info" in white over their buttons (canvas (40, 40)-(640, 160) and (640, 40)-(1240, 160)),
    // the pointer where the info box's OK button will be.
    runCommand("xdotool mousemove --window " + id + " 400 358");
    const Shot before = awaitShot(id, [](const Shot& s) { return brightPixels(s, 128, 8, 248, 32) > 15; });
    EXPECT_GT(brightPixels(before, 8, 8, 128, 32), 15);
    EXPECT_GT(brightPixels(before, 128, 8, 248, 32), 15);
    EXPECT_EQ(brightPixels(before, 260, 214, 540, 386), 0);

    // Info: the box at canvas (1300, 1070)-(2700, 1930) with its picture and its OK button; OK
    // leaves the window as it was.
    clickAt(id, kInfoButton);
    Shot info = awaitShot(id, [](const Shot& s) { return brightPixels(s, 340, 346, 460, 370) > 15; });
    EXPECT_GT(changedPixels(before, info, 260, 214, 540, 386), 280 * 172 * 9 / 10);
    EXPECT_GT(brightPixels(info, 276, 230, 524, 338), 100);
    EXPECT_EQ(changedPixels(before, info, 0, 400, 800, 600), 0);
    clickAt(id, kInfoOk);
    auto asBefore = [&](const Shot& s) { return changedPixels(before, s, 0, 0, 800, 600) == 0; };
    EXPECT_TRUE(asBefore(awaitShot(id, asBefore)));

    EXPECT_TRUE(inSub(openDialog()));
    clickAt(id, kNameField);
    runCommand("xdotool type --delay 60 b.dae");
    // The typed name shows as the picked one did, within a few pixels (the focused field draws it
    // a little differently) and without the cursor's bar, which blinks.
    auto typed = [&](const Shot& s) { return std::abs(nameText(s) - picked) <= picked / 10; };
    EXPECT_TRUE(typed(awaitShot(id, typed)));
    clickAt(id, kAccept);
    EXPECT_TRUE(modelShown(awaitShot(id, modelShown)));
    runCommand("xdotool keydown ctrl+q sleep 0.2 keyup ctrl+q");
    EXPECT_EQ(waitProcess(v.child, 20000), 0);
}

namespace {
// A COLLADA 1.4 document of 3 million triangles: six geometries, each a grid of 500 x 500 quads (an
// import of some seconds, so that even a loaded machine grabs several of its frames).
void writeBigDocument(const std::string& path) {
    const int side = 500, points = side + 1;
    std::string d = "<?xml version=\"1.0\"?>\n<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" "
                    "version=\"1.4.1\"><asset><up_axis>Z_UP</up_axis></asset><library_geometries>";
    char number[64];
    for (int g = 0; g < 6; g++) {
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
    for (int g = 0; g < 6; g++) d += "<node><instance_geometry url=\"#g" + std::to_string(g) + "\"/></node>";
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

TEST(Program, ABigImportShowsItsProgressAndAWindowManagerCloseEndsTheProgramAfterIt) {
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
        // A close request in the middle of the import is refused until the import is over; then
        // the settings are saved and the program ends.
        if (advances == 2 && !closeSent) {
            EXPECT_FALSE(std::filesystem::exists(v.config()));
            closeWindow(id);
            closeSent = true;
        }
        if (last > 0 && width == 0) break;  // the loading box has gone
    }
    EXPECT_GE(advances, 3);
    EXPECT_TRUE(closeSent);
    EXPECT_EQ(waitProcess(v.child, 120000), 0);
    EXPECT_EQ(std::filesystem::file_size(v.config()), 2048u);
}

TEST(UpAxis, TheHumanoidIsAFigureAndStandsWhenItsUpAxisIsGiven) {
    std::string shared = sharedDirectory();
    if (shared.empty()) GTEST_SKIP() << "no shared samples beside the checkout";
    std::string model = shared + "samples/collada13/humanoid-collada131-baked-matrix.dae";
    // Its parts in place make a figure as long as the window allows, not a pile at the origin. Its
    // writer declared Z_UP but laid the figure out along Y, so as declared it lies on its side.
    Viewer v;
    Shot p = show(v, model);
    ASSERT_EQ(p.width, 800);
    int w = 0, h = 0;
    modelBox(p, &w, &h);
    EXPECT_GT(w, 300) << "model box " << w << "x" << h;
    // Read as Y up, it stands.
    modelBox(show(v, model, {"--up", "Y"}), &w, &h);
    EXPECT_GT(h, 300);
    EXPECT_GT(h, 3 * w) << "model box " << w << "x" << h;
}
