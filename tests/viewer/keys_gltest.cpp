// The viewer's key table in the running viewer, in one process: the help overlay shows exactly the
// table, each key does its job (the folder walk, reloads and screenshots included), and keys stay
// text in a field and wait behind a message box.
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "gui/edit_field.h"
#include "gui/file_dialog.h"
#include "gui/gui.h"
#include "gui/widgets.h"
#include "input/input.h"
#include "object/scene.h"
#include "render/view.h"
#include "viewer/keys.h"
#include "viewer/model_load.h"
#include "viewer/scene.h"
#include "viewer/screens.h"
#include "window_shot.h"

namespace {
class Keys : public AppTest {
protected:
    // Keys held for one frame and released in the next, as a quick tap arrives.
    void tap(const std::vector<int32_t>& codes) {
        for (int32_t c : codes) inputKeyEvent(c, 1);
        appFrame();
        for (int32_t c : codes) inputKeyEvent(c, 0);
        appFrame();
    }
    // A drag with the button from the window centre, a few frames long.
    void drag(int32_t button, double dx, double dy) {
        inputCursorEvent(400, 300);
        appFrame();
        inputMouseButtonEvent(button, 1);
        appFrame();
        for (int i = 1; i <= 4; i++) {
            inputCursorEvent(400 + dx * i / 4, 300 + dy * i / 4);
            appFrame();
        }
        inputMouseButtonEvent(button, 0);
        appFrame();
    }
    Node* rig() { return sceneCopy(viewerScene.scene, viewerScene.rootCopy); }
    // How far the rig is moved (pan) and turned (turn) from where R puts it.
    template <typename V>
    static float away(const V& v) { return std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z); }
    float pan() { return away(rig()->position); }
    float turn() { return away(rig()->rotation); }
    std::string labelText(int32_t label) {
        const Label* l = labelGet(label);
        return l && l->text ? l->text : "";
    }
    // What the switches and small windows show, to see whether a tap changed anything.
    std::string state() {
        std::string s;
        for (uint8_t d : renderDebug) s += char('0' + d);
        s += char('0' + renderWireframe);
        s += helpOverlayWindow() >= 0 ? 'H' : '-';
        s += noticeLabel() >= 0 ? 'N' : '-';
        s += frameTimeLabel() >= 0 ? 'Z' : '-';
        return s;
    }
};
}  // namespace

TEST_F(Keys, TheHelpOverlayListsTheTableAndNoOtherKeyDoesAnything) {
    // One binding per key and modifier; none over Ctrl+Q, the font page's Enter or a field's keys.
    std::set<std::pair<int32_t, int32_t>> bound;
    for (int32_t i = 0; i < viewerKeyCount; i++) {
        const ViewerKey& k = viewerKeys[i];
        for (auto b : {std::make_pair(k.key, k.modifiers), std::make_pair(k.altKey, k.altModifiers)}) {
            if (b.first < 0) continue;
            EXPECT_TRUE(bound.insert(b).second) << i;
            EXPECT_FALSE(b.first == 'Q' && b.second == KEYMOD_CTRL) << i;
            for (int32_t used : {KEY_ENTER, KEY_ESC, KEY_TAB, KEY_BACKSPACE, KEY_DEL}) EXPECT_NE(b.first, used) << i;
        }
    }

    tap({'H'});
    ASSERT_GE(helpOverlayWindow(), 0);
    int32_t keysLabel = -1, helpLabel = -1;
    for (int32_t row = 0; row < viewerKeyCount + otherInputCount; row++) {
        ASSERT_TRUE(helpOverlayRow(row, &keysLabel, &helpLabel)) << row;
        char names[128];
        viewerKeyNames(row, names, sizeof names);
        bool key = row < viewerKeyCount;
        EXPECT_EQ(labelText(keysLabel), key ? names : otherInputs[row - viewerKeyCount].keys) << row;
        EXPECT_EQ(labelText(helpLabel), key ? viewerKeys[row].help : otherInputs[row - viewerKeyCount].help) << row;
    }
    EXPECT_FALSE(helpOverlayRow(viewerKeyCount + otherInputCount, &keysLabel, &helpLabel));
    char names[128];
    viewerKeyNames(2, names, sizeof names);
    EXPECT_STREQ(names, "F5 / Ctrl+R");

    // Every key of the engine that no entry binds, all at once (the modifiers apart): nothing.
    std::string before = state();
    std::vector<int32_t> others;
    for (int32_t code : keyTable) {
        bool modifier = code >= KEY_LSHIFT && code <= KEY_RALT;
        bool isBound = bound.count({code, KEYMOD_NONE}) > 0;
        if (!modifier && !isBound && code != KEY_ENTER && code != 'Q') others.push_back(code);
    }
    tap(others);
    EXPECT_EQ(state(), before);

    // F1 closes what H opened; the switches follow their keys.
    tap({KEY_F1});
    EXPECT_EQ(helpOverlayWindow(), -1);
    tap({'1', '3', '5', 'W', 'Z'});
    EXPECT_EQ(state(), "10101" "1" "-" "-" "Z");
    tap({'1', '2', '4'});
    EXPECT_EQ(state(), "01111" "1" "-" "-" "Z");
}

TEST_F(Keys, DragsPanOrOrbitAndRPutsTheRigBack) {
    // The pointer moving right drags the scene right: the rig moves to the screen's left (its -Y
    // before any orbit). Shift with the right button pans too; without it the right button orbits.
    drag(MOUSE_MIDDLE, 100, 0);
    EXPECT_LT(rig()->position.y, -0.5f);
    EXPECT_EQ(turn(), 0.0f);
    resetViewerView();
    inputKeyEvent(KEY_LSHIFT, 1);
    drag(MOUSE_RIGHT, 80, 0);
    inputKeyEvent(KEY_LSHIFT, 0);
    EXPECT_GT(pan(), 0.5f);
    EXPECT_EQ(turn(), 0.0f);
    float panned = pan();
    drag(MOUSE_RIGHT, 80, 40);
    EXPECT_GT(turn(), 0.01f);
    EXPECT_FLOAT_EQ(pan(), panned);

    viewerScene.cameraDistance = 30.0f;
    tap({'R'});
    EXPECT_EQ(pan(), 0.0f);
    EXPECT_EQ(turn(), 0.0f);
    EXPECT_EQ(viewerScene.cameraDistance, 16.0f);
    EXPECT_EQ(viewerScene.zoomSpeed, 1.0f);

    // Ctrl+R is the reload, not the reset; with no model yet it says so (a test run before in this
    // process may have left a document to reload).
    bool opened = modelLoadName()[0] != '\0';
    drag(MOUSE_MIDDLE, 80, 0);
    tap({KEY_RCTRL, 'R'});
    EXPECT_GT(pan(), 0.5f);
    if (opened) {
        EXPECT_TRUE(modelLoadPending());
    } else {
        ASSERT_GE(noticeLabel(), 0);
        EXPECT_EQ(labelText(noticeLabel()), "No model has been opened yet.");
    }
}

TEST_F(Keys, AFieldTakesKeysAsTextAndAMessageBoxLetsOnlyTheHelpThrough) {
    showMessageBox("Something to read first.");
    std::string before = state();
    tap({'1', 'W', KEY_F12});
    EXPECT_EQ(state(), before);
    tap({'H'});
    EXPECT_GE(helpOverlayWindow(), 0);
    tap({'H'});
    closeViewerScreens();
    createViewerScreens();

    // The name field of the file dialog, opened from the menu, has the keyboard: even H is text.
    buttonGet(viewerScreens.menuFileButton)->clicked = 1;
    appFrame();
    buttonGet(viewerScreens.openButton)->clicked = 1;
    appFrame();
    const FileDialog* dialog = fileDialogGet(viewerScreens.fileBrowser);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(editCursorShown());
    before = state();
    for (int32_t c : {'h', '1', 'w'}) {
        inputKeyEvent(c >= 'a' ? c - 32 : c, 1);
        inputCharEvent((uint32_t)c);
        appFrame();
        inputKeyEvent(c >= 'a' ? c - 32 : c, 0);
        appFrame();
    }
    EXPECT_EQ(state(), before);
    EXPECT_STREQ(editFieldGet(dialog->nameField)->text, "h1w");
}

TEST_F(Keys, TheFolderWalkReloadAndScreenshotKeys) {
    // A folder of three documents and a text file; the viewer shows the middle one.
    TempDir models;
    const std::string sample = sourceDirectory() + "assets/sample/";
    writeBytes(models.file("wood.png"), readBytes(sample + "wood.png"));
    for (const char* name : {"a.dae", "b.dae", "c.dae"}) writeBytes(models.file(name), readBytes(sample + "sample.dae"));
    writeText(models.file("notes.txt"), "not a model");
    auto settle = [&] {
        for (int i = 0; i < 10 && modelLoadPending(); i++) appFrame();
        EXPECT_FALSE(modelLoadPending());
        EXPECT_GE(viewerScene.modelRoot, 0);
    };
    testing::internal::CaptureStdout();
    ASSERT_EQ(startModelLoad("b.dae", models.path().c_str()), 0);
    settle();
    // Next and previous walk a, b, c in the dialog's order and wrap round; other files are passed by.
    const std::pair<int32_t, const char*> walk[] = {
        {KEY_PAGEDOWN, "c.dae"}, {KEY_RIGHT, "a.dae"}, {KEY_PAGEUP, "c.dae"}, {KEY_LEFT, "b.dae"}};
    for (const auto& [key, name] : walk) {
        tap({key});
        settle();
        EXPECT_STREQ(modelLoadName(), name) << key;
    }
    // F5 and Ctrl+R read the document again; F12 saves the frame in screenshots/.
    tap({KEY_F5});
    settle();
    tap({KEY_LCTRL, 'R'});
    settle();
    tap({KEY_F12});
    const std::string out = testing::internal::GetCapturedStdout();
    size_t opened = 0;
    for (size_t at = out.find("Open " + models.file("b.dae") + "."); at != std::string::npos;
         at = out.find("Open " + models.file("b.dae") + ".", at + 1))
        opened++;
    EXPECT_EQ(opened, 4u) << out;
    const size_t saved = out.find("Screenshot saved: " + std::string(screenshotsDirectory) + "vcv-");
    ASSERT_NE(saved, std::string::npos) << out;
    const std::string png = out.substr(saved + 18, out.find('\n', saved) - saved - 18);
    EXPECT_EQ(loadPicture(png).width, 800) << png;
}
