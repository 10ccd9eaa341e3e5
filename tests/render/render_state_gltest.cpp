#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "render/render_state.h"
#include "render/view.h"
#include "support/gl_window.h"
#include "viewer/window.h"

namespace {
// A real window and context from the viewer's glue; the renderer's answers are the real GLFW ones
// unless a test installs its own.
class RenderState : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(openTestWindow("render test", 800, 600)); }
    static void TearDownTestSuite() { closeTestWindow(); }
};

const char* gVboMissing = "glGetBufferPointervARB";

bool listsEverything(const char*) { return true; }
bool listsNothing(const char*) { return false; }
void* resolvesAllButOne(const char* name) {
    if (std::strcmp(name, gVboMissing) == 0) return nullptr;
    return (void*)&listsEverything;  // any non-null address: these entry points are never called here
}
}  // namespace

TEST_F(RenderState, ProbesTheContextAndSetsTheInitialState) {
    render_init();
    EXPECT_NE(renderCaps.vendor, nullptr);
    EXPECT_GE(renderCaps.versionMajor, 1);
    EXPECT_GE(renderCaps.maxTextureSize, 64);
    EXPECT_EQ(renderCaps.stencilBits, 8);
    std::string renderer = renderCaps.renderer ? renderCaps.renderer : "";
    EXPECT_EQ(renderCaps.accelerated, renderer.find("llvmpipe") == std::string::npos ? 1 : 0);
    // Mesa offers every extension the renderer uses, with all its entry points.
    EXPECT_EQ(extensions.flag[EXT_MULTITEXTURE], 1);
    EXPECT_EQ(extensions.flag[EXT_VERTEX_BUFFER_OBJECT], 1);
    EXPECT_NE(extensions.glMapBufferARB, nullptr);
    EXPECT_GE(renderCaps.maxTextureUnits, 2);
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_NORMALIZE));
    EXPECT_FALSE(glIsEnabled(GL_FOG));
    GLint v = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &v);
    EXPECT_EQ(v, GL_LESS);
    glGetIntegerv(GL_BLEND_DST, &v);
    EXPECT_EQ(v, GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(viewTable.capacity, 0);
    render_shutdown();
}

TEST_F(RenderState, AnExtensionWithoutAllItsEntryPointsStaysOff) {
    RenderPlatform partial = {listsEverything, resolvesAllButOne};
    render_set_platform(&partial);
    render_init();
    EXPECT_EQ(extensions.flag[EXT_VERTEX_BUFFER_OBJECT], 0);
    EXPECT_NE(extensions.glMapBufferARB, nullptr);  // looked-up pointers stay stored
    EXPECT_EQ(extensions.glGetBufferPointervARB, nullptr);
    EXPECT_EQ(extensions.flag[EXT_MULTITEXTURE], 1);
    EXPECT_EQ(extensions.flag[EXT_TEXTURE_EDGE_CLAMP], 1);
    render_shutdown();

    RenderPlatform none = {listsNothing, resolvesAllButOne};
    render_set_platform(&none);
    render_init();
    for (int e = 0; e < EXT_COUNT; e++) EXPECT_EQ(extensions.flag[e], 0) << e;
    EXPECT_EQ(renderCaps.maxTextureUnits, 0);
    render_shutdown();
    windowInstallAnswers();
}

TEST_F(RenderState, ClearTouchesOnlyTheChosenBuffers) {
    render_init();
    render_resize(800, 600);
    glClearDepth(0.25);
    glClear(GL_DEPTH_BUFFER_BIT);
    glClearDepth(1.0);
    render_set_clear(255, 0, 0, 1, 0, 0);
    render_clear();
    uint8_t rgb[3] = {0, 0, 0};
    float depth = 0;
    glReadPixels(400, 300, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    glReadPixels(400, 300, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_EQ(rgb[0], 255);
    EXPECT_EQ(rgb[1], 0);
    EXPECT_NEAR(depth, 0.25f, 0.01f);
    render_set_clear(96, 136, 176, 1, 1, 0);
    render_clear();
    glReadPixels(10, 10, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    glReadPixels(10, 10, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_EQ(rgb[0], 96);
    EXPECT_EQ(rgb[1], 136);
    EXPECT_EQ(rgb[2], 176);
    EXPECT_NEAR(depth, 1.0f, 0.01f);
    render_shutdown();
}

TEST_F(RenderState, ResizeAndScissorMapping) {
    render_init();
    render_resize(1024, 768);
    GLint box[4];
    glGetIntegerv(GL_VIEWPORT, box);
    EXPECT_EQ(box[2], 1024);
    EXPECT_EQ(box[3], 768);
    glGetIntegerv(GL_SCISSOR_BOX, box);
    EXPECT_EQ(box[0], 0);
    EXPECT_EQ(box[2], 1024);
    EXPECT_EQ(box[3], 768);
    render_resize(800, 600);
    render_scissor_virtual(400, 300, 2000, 1500);
    glGetIntegerv(GL_SCISSOR_BOX, box);
    EXPECT_EQ(box[0], 80);
    EXPECT_EQ(box[1], 300);
    EXPECT_EQ(box[2], 320);
    EXPECT_EQ(box[3], 240);
    int32_t r[4];
    render_scissor_rect(0, 0, 4000, 3000, r);
    EXPECT_EQ(r[0], 0);
    EXPECT_EQ(r[1], 0);
    EXPECT_EQ(r[2], 800);
    EXPECT_EQ(r[3], 600);
    // An upside-down rectangle gives an empty scissor, not a negative size.
    render_scissor_virtual(2000, 1500, 400, 300);
    glGetIntegerv(GL_SCISSOR_BOX, box);
    EXPECT_EQ(box[2], 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    render_shutdown();
}

TEST_F(RenderState, ViewsTakeSlotsAndReplaceInPlace) {
    render_init();
    int32_t a = view_create(-1);
    int32_t b = view_create(-1);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    view_get(b)->scene = 7;
    EXPECT_EQ(view_create(b), b);
    EXPECT_EQ(view_get(b)->scene, -1);
    EXPECT_EQ(view_get(b)->cameraNode, -1);
    EXPECT_EQ(view_destroy(a), -1);
    EXPECT_EQ(view_get(a), nullptr);
    EXPECT_EQ(view_destroy(-1), -1);
    EXPECT_EQ(view_create(-1), a);
    EXPECT_EQ(sizeof(View), 24u);
    render_shutdown();
}
