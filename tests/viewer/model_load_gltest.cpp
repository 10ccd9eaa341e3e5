// Loading models into the running viewer, in one process, and giving back what they took.
#include <cstring>
#include <filesystem>
#include <vector>

#include "object/scene.h"
#include "app_fixture.h"
#include "strings/string_table.h"
#include "texture/texture_manager.h"
#include "viewer/model_load.h"
#include "viewer/scene.h"
#include "viewer/screens.h"
#include "gui/gui.h"
#include "render/gl.h"
#include "render/render_state.h"
#include "system/memory.h"

namespace {
// GL names are handed out low and reused, so probing the first few thousand sees them all.
constexpr GLuint kNamesProbed = 4096;

// What the session holds: tracked memory blocks and bytes, GL buffers and textures.
std::vector<int64_t> held() {
    std::vector<int64_t> h{memLiveBlocks(), memLiveBytes(), 0, 0};
    for (GLuint name = 1; name <= kNamesProbed; name++) {
        h[2] += extensions.glIsBufferARB && extensions.glIsBufferARB(name) == GL_TRUE;
        h[3] += glIsTexture(name) == GL_TRUE;
    }
    return h;
}

class ModelLoad : public AppTest {
protected:
    int32_t copiesInScene() {
        Scene* s = sceneGet(viewerScene.scene);
        int32_t n = 0;
        for (int32_t i = 0; s && i < s->copies.capacity; i++) n += slotUnits(&s->copies, i) > 0;
        return n;
    }
    const std::string sample = sourceDirectory() + "assets/sample/";
};
}  // namespace

TEST_F(ModelLoad, ASecondImportReplacesTheFirstModelAndItsImages) {
    int32_t rig = copiesInScene();
    ASSERT_EQ(importModel("sample.dae", sample.c_str()), 0);
    int32_t withModel = copiesInScene();
    EXPECT_EQ(withModel, rig + 3);  // the automatic root and its two nodes
    int32_t set = texture_set_find("texture_import.stf");
    ASSERT_GE(set, 0);
    EXPECT_EQ(texture_set_get(set)->references, 1);
    writeText(std::string(imageImportDirectory) + "stale.png", "left by the first import");

    ASSERT_EQ(importModel("sample.dae", sample.c_str()), 0);
    EXPECT_EQ(copiesInScene(), withModel);
    EXPECT_FALSE(std::filesystem::exists(std::string(imageImportDirectory) + "stale.png"));
    set = texture_set_find("texture_import.stf");
    ASSERT_GE(set, 0);
    EXPECT_EQ(texture_set_get(set)->references, 1);  // the first model's set went with its meshes

    // A document that gives no model takes the shown one away and leaves none.
    writeText(home.file("broken.dae"), "<COLLADA>");
    EXPECT_EQ(importModel("broken.dae", home.path().c_str()), -1);
    EXPECT_EQ(copiesInScene(), rig);
    EXPECT_EQ(viewerScene.modelRoot, -1);
    EXPECT_EQ(texture_set_find("texture_import.stf"), -1);
}

TEST_F(ModelLoad, TheLoadingBoxShowsForAFrameAndProblemsOpenAMessageBox) {
    ASSERT_EQ(requestModelLoad((sample + "sample.dae").c_str()), 0);
    EXPECT_TRUE(modelLoadPending());
    appFrame();
    EXPECT_EQ(viewerScene.modelRoot, -1);  // the loading frame is drawn first
    EXPECT_TRUE(windowExists(viewerScreens.loadingBox));
    appFrame();
    EXPECT_GE(viewerScene.modelRoot, 0);
    appFrame();
    EXPECT_FALSE(modelLoadPending());
    EXPECT_FALSE(windowExists(viewerScreens.loadingBox));
    EXPECT_FALSE(windowExists(viewerScreens.messageBox));  // nothing to tell

    // Images the model has to do without are named; the model still shows.
    std::vector<uint8_t> bytes = readBytes(sample + "sample.dae");
    std::string doc(bytes.begin(), bytes.end());
    size_t at = doc.find("wood.png");
    ASSERT_NE(at, std::string::npos);
    writeText(home.file("lost.dae"), doc.replace(at, 8, "gone.png"));
    ASSERT_EQ(requestModelLoad(home.file("lost.dae").c_str()), 0);
    for (int i = 0; i < 3; i++) appFrame();
    EXPECT_GE(viewerScene.modelRoot, 0);
    ASSERT_TRUE(windowExists(viewerScreens.messageBox));
    char text[2048];
    importProblems(0, text, sizeof text);
    EXPECT_STREQ(text, "The model opened without 1 image: gone.png.");

    // A document that cannot be read: one line of what failed, and no model.
    writeText(home.file("empty.dae"), "");
    ASSERT_EQ(requestModelLoad(home.file("empty.dae").c_str()), 0);
    for (int i = 0; i < 3; i++) appFrame();
    EXPECT_EQ(viewerScene.modelRoot, -1);
    EXPECT_TRUE(windowExists(viewerScreens.messageBox));
    importProblems(-1, text, sizeof text);
    EXPECT_NE(std::string(text).find("empty.dae"), std::string::npos) << text;
    EXPECT_EQ(std::string(text).find("[ERROR]"), std::string::npos) << text;
    // A reason longer than the box (a deep path) is cut to fit, not lost.
    const uint8_t kNoValue[4] = {0, 0, 0, 0};
    stringTableClear(viewerScene.importMessages);
    stringTableAdd(viewerScene.importMessages, ("[ERROR] " + std::string(3000, 'x')).c_str(), kNoValue);
    importProblems(-1, text, sizeof text);
    EXPECT_EQ(std::strlen(text), sizeof text - 1);
}

// A long session: the same textured model replaced again and again must give back everything it
// took, both tracked memory and GL objects.
TEST_F(ModelLoad, AHundredReplacementsHoldWhatTheFirstHeld) {
    // One cycle: the model replaces the last one and is drawn, so its meshes go to GL buffers and
    // its images to textures.
    auto cycle = [&] {
        ASSERT_EQ(importModel("sample.dae", sample.c_str()), 0);
        appFrame();
    };
    cycle();
    const std::vector<int64_t> first = held();
    EXPECT_GT(first[2], 0);
    EXPECT_GT(first[3], 0);
    ASSERT_GE(texture_set_find("texture_import.stf"), 0);
    for (int i = 2; i <= 100 && !HasFailure(); i++) {
        cycle();
        // Checked early too, so that a leak names the first cycle that shows it.
        if (i == 2 || i == 10 || i == 100) {
            std::vector<int64_t> now = held();
            EXPECT_EQ(now[0], first[0]) << "blocks after cycle " << i;
            EXPECT_EQ(now[2], first[2]) << "GL buffers after cycle " << i;
            EXPECT_EQ(now[3], first[3]) << "GL textures after cycle " << i;
            // Bytes are the allocator's usable sizes: glibc hands out a whole free chunk when the
            // rest would be too small to keep, so the same blocks can weigh a few dozen bytes more
            // or less from cycle to cycle (under ASan they weigh exactly what was asked). A block
            // that grows by three bytes or more a cycle still goes past the slack by the hundredth.
            EXPECT_NEAR((double)now[1], (double)first[1], 256.0) << "bytes after cycle " << i;
        }
    }
}
