// Tests that draw 3D scenes: a real 800 x 600 window, the renderer and fresh object tables per
// test, a stage (scene, camera, view) and pixel read-back.
#pragma once
#include <gtest/gtest.h>

#include <cstring>

#include "object/mesh.h"
#include "object/node.h"
#include "object/object.h"
#include "object/object_model.h"
#include "object/scene.h"
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

// A flat-coloured square of side 2 * half in the z = 0 plane facing +Z; free with meshFreeBuffers.
inline Mesh squareTemplate(float half, float r, float g, float b, float a, uint8_t mode = MATERIAL_UNLIT) {
    Mesh m;
    std::memset(&m, 0, sizeof m);
    materialInit(&m.material);
    m.material.mode = mode;
    const float colour[4] = {r, g, b, a};
    std::memcpy(m.material.diffuse, colour, sizeof colour);
    m.vertexCount = 4;
    m.indexCount = 6;
    m.hasPositions = m.hasNormals = 1;
    meshInitBuffers(&m);
    const float p[12] = {-half, -half, 0, half, -half, 0, half, half, 0, -half, half, 0};
    for (int i = 0; i < 12; i++) m.positions[i] = p[i], m.normals[i] = (i % 3 == 2) ? 1.0f : 0.0f;
    const int32_t idx[6] = {0, 1, 2, 2, 3, 0};
    std::memcpy(m.indices, idx, sizeof idx);
    return m;
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
        mat4_identity(&c.view);
        mat4_identity(&c.orientation);
        cameraNode = cameraCreate(-1, &c);
        cameraCopy = sceneAddCopy(scene, -1, cameraNode);
        sceneSetLookAt(scene, cameraCopy, Vec3{0, 0, 5}, Vec3{0, 0, 0}, Vec3{0, 1, 0});
        view = view_create(-1);
        view_get(view)->scene = scene;
        view_get(view)->cameraNode = cameraCopy;
    }
    int32_t stageCameraIndex() { return nodeGet(cameraNode)->attachment; }
    Camera* stageCamera() { return cameraGet(stageCameraIndex()); }

    // Adds an object node holding the template's mesh to the stage at z; returns the mesh index.
    int32_t addMesh(const Mesh* t, float z = 0.0f, int32_t* objectOut = nullptr, int32_t* copyOut = nullptr) {
        int32_t object = objectCreate(-1);
        int32_t mesh = meshCreate(-1, t);
        objectAddMesh(object, mesh);
        int32_t node = nodeCreate(-1, NODE_OBJECT, object);
        sceneUpdate(node, "");
        int32_t copy = sceneAddCopy(scene, -1, node);
        sceneSetPosition(scene, copy, 0, 0, z);
        if (objectOut) *objectOut = object;
        if (copyOut) *copyOut = copy;
        return mesh;
    }

    // addMesh for a template that is freed afterwards.
    int32_t addSquare(Mesh t, float z = 0.0f, int32_t* objectOut = nullptr, int32_t* copyOut = nullptr) {
        int32_t mesh = addMesh(&t, z, objectOut, copyOut);
        meshFreeBuffers(&t);
        return mesh;
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
