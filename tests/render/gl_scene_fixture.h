// Tests that draw 3D scenes: a real 800 x 600 window, the renderer and fresh object tables per
// test, a stage (scene, camera, view) and pixel read-back.
#pragma once
#include <gtest/gtest.h>

#include "object/object_fixture.h"
#include "render/frame.h"
#include "render/gl.h"
#include "render/mesh_draw.h"
#include "render/render_state.h"
#include "render/view.h"
#include "support/gl_window.h"
#include "viewer/window.h"

struct Rgb {
    int r, g, b;
};

inline void expectPixel(Rgb p, int r, int g, int b, int tolerance = 0) {
    EXPECT_NEAR(p.r, r, tolerance);
    EXPECT_NEAR(p.g, g, tolerance);
    EXPECT_NEAR(p.b, b, tolerance);
}
inline void expectBackground(Rgb p) { expectPixel(p, 96, 136, 176); }

// Adds a light of the given colour (white by default) to scene at position; returns the copy.
inline int32_t addLight(int32_t scene, float x, float y, float z, const float* colour = nullptr) {
    Light l;
    std::memset(&l, 0, sizeof l);
    for (int i = 0; i < 4; i++) l.colour[i] = colour ? colour[i] : 1.0f;
    int32_t copy = sceneAddCopy(scene, -1, lightCreate(-1, &l));
    sceneSetPosition(scene, copy, x, y, z);
    return copy;
}

class GlSceneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(openTestWindow("scene test", 800, 600)); }
    static void TearDownTestSuite() { closeTestWindow(); }
    void SetUp() override {
        ASSERT_TRUE(windowIsOpen());
        render_init();
        render_resize(800, 600);
        objectModelInit();
        for (int i = 0; i < 8; i++) glDisable(GL_LIGHT0 + i);  // lights stay enabled once used
    }
    void TearDown() override {
        for (int32_t i = 0; i < objectTable.capacity; i++) objectDestroy(i);  // buffers go back via GL
        objectModelShutdown();
        render_shutdown();
        extensions.flag[EXT_VERTEX_BUFFER_OBJECT] = 1;
    }

    // A scene with a camera at (0, 0, 5) looking at the origin with +Y up, and a view on it.
    void makeStage() {
        scene = sceneCreate(-1);
        Camera c;
        std::memset(&c, 0, sizeof c);
        cameraInit(&c);
        cameraNode = cameraCreate(-1, &c);
        cameraCopy = sceneAddCopy(scene, -1, cameraNode);
        sceneSetLookAt(scene, cameraCopy, Vec3{0, 0, 5}, Vec3{0, 0, 0}, Vec3{0, 1, 0});
        view = view_create(-1);
        view_get(view)->scene = scene;
        view_get(view)->cameraNode = cameraCopy;
    }
    int32_t stageCameraIndex() { return nodeGet(cameraNode)->attachment; }
    Camera* stageCamera() { return cameraGet(stageCameraIndex()); }

    // Adds an object node holding the template's mesh to the stage at z and frees the template.
    struct Placed {
        int32_t mesh, object, node, copy;
    };
    Placed addSquare(Mesh t, float z = 0.0f) {
        Placed p;
        p.object = objectCreate(-1);
        p.mesh = meshCreate(-1, &t);
        meshFreeBuffers(&t);
        objectAddMesh(p.object, p.mesh);
        p.node = nodeCreate(-1, NODE_OBJECT, p.object);
        sceneUpdate(p.node, "");
        p.copy = sceneAddCopy(scene, -1, p.node);
        sceneSetPosition(scene, p.copy, 0, 0, z);
        return p;
    }

    static void drawFrame() {
        render_set_clear(96, 136, 176, 1, 1, 0);
        render_clear();
        render_views();
        glFinish();
    }
    static Rgb pixel(int x, int y) {
        uint8_t p[3] = {0, 0, 0};
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
        return Rgb{p[0], p[1], p[2]};
    }
    static float depth(int x, int y) {
        float d = -1.0f;
        glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &d);
        return d;
    }

    int32_t scene = -1, cameraNode = -1, cameraCopy = -1, view = -1;
};
