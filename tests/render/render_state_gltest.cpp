// The renderer's start-up probe, clearing and the scissor mapping.
#include <cstring>
#include <string>
#include <vector>

#include "gl_scene_fixture.h"

using RenderState = GlSceneTest;

namespace {
const char* gVboMissing = "glGetBufferPointervARB";

bool listsEverything(const char*) { return true; }
void* resolvesAllButOne(const char* name) {
    if (std::strcmp(name, gVboMissing) == 0) return nullptr;
    return (void*)&listsEverything;  // any non-null address: these entry points are never called here
}

std::vector<GLint> glInts(GLenum which) {
    GLint v[4] = {0, 0, 0, 0};
    glGetIntegerv(which, v);
    return {v[0], v[1], v[2], v[3]};
}
}  // namespace

TEST_F(RenderState, AnExtensionWithoutAllItsEntryPointsStaysOff) {
    std::string renderer = renderCaps.renderer ? renderCaps.renderer : "";
    EXPECT_EQ(renderCaps.accelerated, renderer.find("llvmpipe") == std::string::npos ? 1 : 0);
    // Mesa offers every extension the renderer uses, with all its entry points.
    EXPECT_EQ(extensions.flag[EXT_VERTEX_BUFFER_OBJECT], 1);
    render_shutdown();
    RenderPlatform partial = {listsEverything, resolvesAllButOne};
    render_set_platform(&partial);
    render_init();
    EXPECT_EQ(extensions.flag[EXT_VERTEX_BUFFER_OBJECT], 0);
    EXPECT_EQ(extensions.glGetBufferPointervARB, nullptr);
    EXPECT_EQ(extensions.flag[EXT_MULTITEXTURE], 1);
    windowInstallAnswers();
}

TEST_F(RenderState, ClearTouchesOnlyTheChosenBuffersAndResizeMapsTheScissor) {
    glClearDepth(0.25);
    glClear(GL_DEPTH_BUFFER_BIT);
    glClearDepth(1.0);
    render_set_clear(255, 0, 0, 1, 0, 0);  // colour only
    render_clear();
    expectPixel(pixel(400, 300), 255, 0, 0);
    EXPECT_NEAR(depth(400, 300), 0.25f, 0.01f);
    render_set_clear(96, 136, 176, 1, 1, 0);
    render_clear();
    EXPECT_NEAR(depth(10, 10), 1.0f, 0.01f);

    render_scissor_virtual(400, 300, 2000, 1500);
    EXPECT_EQ(glInts(GL_SCISSOR_BOX), (std::vector<GLint>{80, 300, 320, 240}));
    int32_t r[4];
    render_scissor_rect(0, 0, 4000, 3000, r);
    EXPECT_EQ((std::vector<int32_t>(r, r + 4)), (std::vector<int32_t>{0, 0, 800, 600}));
    // An upside-down rectangle gives an empty scissor, not a negative size.
    render_scissor_virtual(2000, 1500, 400, 300);
    EXPECT_EQ(glInts(GL_SCISSOR_BOX)[2], 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}
