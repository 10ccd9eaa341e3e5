// A long session: the same textured model replaced again and again must give back everything it
// took, both tracked memory and GL objects.
#include <gtest/gtest.h>

#include "app_fixture.h"
#include "render/gl.h"
#include "render/render_state.h"
#include "system/memory.h"
#include "texture/texture_manager.h"
#include "viewer/model_load.h"
#include "viewer/scene.h"

namespace {
// GL names are handed out low and reused, so probing the first few thousand sees them all.
constexpr GLuint kNamesProbed = 4096;

struct Held {
    int64_t blocks, bytes;
    int32_t buffers, textures;
};

Held held() {
    Held h{memLiveBlocks(), memLiveBytes(), 0, 0};
    for (GLuint name = 1; name <= kNamesProbed; name++) {
        h.buffers += extensions.glIsBufferARB && extensions.glIsBufferARB(name) == GL_TRUE;
        h.textures += glIsTexture(name) == GL_TRUE;
    }
    return h;
}

void expectSame(const Held& now, const Held& first, int cycle) {
    EXPECT_EQ(now.blocks, first.blocks) << "after cycle " << cycle;
    EXPECT_EQ(now.bytes, first.bytes) << "after cycle " << cycle;
    EXPECT_EQ(now.buffers, first.buffers) << "after cycle " << cycle;
    EXPECT_EQ(now.textures, first.textures) << "after cycle " << cycle;
}
}  // namespace

TEST_F(AppTest, AHundredReplacementsHoldWhatTheFirstHeld) {
    std::string sample = sourceDirectory() + "assets/sample/";
    // One cycle: the model replaces the last one and is drawn, so its meshes go to GL buffers and
    // its images to textures.
    auto cycle = [&] {
        ASSERT_EQ(importModel("sample.dae", sample.c_str()), 0);
        appFrame();
    };
    cycle();
    Held first = held();
    EXPECT_GT(first.buffers, 0);
    EXPECT_GT(first.textures, 0);
    ASSERT_GE(texture_set_find("texture_import.stf"), 0);
    for (int i = 2; i <= 100 && !HasFailure(); i++) {
        cycle();
        // Checked early too, so that a leak names the first cycle that shows it.
        if (i == 2 || i == 10 || i == 100) expectSame(held(), first, i);
    }
}
