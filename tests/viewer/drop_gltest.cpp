// Files dropped on the viewer's window, delivered as the window system hands them to the glue.
#include <filesystem>
#include <string>

#include "app_fixture.h"
#include "gui/gui.h"
#include "gui/widgets.h"
#include "viewer/config.h"
#include "viewer/drop.h"
#include "viewer/model_load.h"
#include "viewer/scene.h"
#include "viewer/screens.h"

namespace {
class Drop : public AppTest {
protected:
    // Frames until the load (and any drop waiting for it) has ended; false when it never does.
    bool settle() {
        for (int i = 0; i < 20; i++) {
            if (!modelLoadPending() && !dropPending()) return true;
            appFrame();
        }
        return false;
    }
    void drop(std::initializer_list<std::string> paths) {
        std::vector<const char*> texts;
        for (const std::string& p : paths) texts.push_back(p.c_str());
        onWindowDrop((int32_t)texts.size(), texts.data());
    }
    // The text of the message box, or "" when it is closed.
    std::string messageText() {
        if (!windowExists(viewerScreens.messageBox)) return "";
        for (int32_t i = 0; i < 4096; i++) {
            Label* label = labelGet(i);
            if (label && label->header.window == viewerScreens.messageBox && label->text) return label->text;
        }
        return "";
    }
    // A copy of the sample model in a folder of its own, under the given name.
    std::string sampleIn(const std::string& folder, const std::string& name) {
        std::string dir = home.path() + folder + "/";
        std::filesystem::create_directories(dir);
        std::string sample = sourceDirectory() + "assets/sample/";
        std::filesystem::copy_file(sample + "sample.dae", dir + name);
        std::filesystem::copy_file(sample + "wood.png", dir + "wood.png");
        return dir;
    }
};
}  // namespace

TEST_F(Drop, TheFirstDocumentOfADropOpensAndTheBrowseDirectoryFollows) {
    std::string first = sampleIn("first", "Model.DAE");
    std::string second = sampleIn("second", "other.dae");
    writeText(home.file("notes.txt"), "not a model");
    drop({home.file("notes.txt"), first + "Model.DAE", second + "other.dae"});
    appFrame();
    EXPECT_TRUE(modelLoadPending());
    EXPECT_TRUE(windowExists(viewerScreens.loadingBox));
    EXPECT_EQ(std::string(browseDirectory), first);

    // A drop while that load runs waits for it, then opens in its turn.
    drop({second + "other.dae"});
    appFrame();
    EXPECT_GE(viewerScene.modelRoot, 0);
    EXPECT_EQ(std::string(browseDirectory), first);
    ASSERT_TRUE(settle());
    EXPECT_GE(viewerScene.modelRoot, 0);
    EXPECT_EQ(std::string(browseDirectory), second);
    EXPECT_FALSE(windowExists(viewerScreens.messageBox));
}

TEST_F(Drop, ADropWithoutADocumentOrOfABrokenOneIsToldInTheMessageBox) {
    writeText(home.file("picture.png"), "not a model");
    drop({home.file("picture.png")});
    appFrame();
    EXPECT_EQ(messageText(), "picture.png is not a COLLADA document (.dae).");
    EXPECT_FALSE(modelLoadPending());
    drop({home.file("picture.png"), home.path()});
    appFrame();
    EXPECT_EQ(messageText(), "None of the 2 dropped files is a COLLADA document (.dae).");

    // A dropped document that gives no model goes the dialog's way: the message box says why.
    writeText(home.file("broken.dae"), "<COLLADA>");
    drop({home.file("broken.dae")});
    ASSERT_TRUE(settle());
    EXPECT_EQ(viewerScene.modelRoot, -1);
    EXPECT_NE(messageText().find("broken.dae"), std::string::npos) << messageText();
    EXPECT_EQ(std::string(browseDirectory), home.path());
}
