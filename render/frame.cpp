#include "render/frame.h"

#include <cmath>

#include "object/mesh.h"
#include "object/node.h"
#include "object/object_model.h"
#include "object/scene.h"
#include "render/debug_draw.h"
#include "render/gl.h"
#include "render/mesh_draw.h"
#include "render/view.h"
#include "system/messages.h"

namespace {
// Lights beyond this many are not used; GL implementations offer 8.
enum { FRAME_LIGHT_CAPACITY = 64 };

// One GL light as the scene's light nodes give it: the colour, and the world direction (w = 0).
struct FrameLight {
    float colour[4];
    float position[4];
};

struct FrameState {
    GLint maxLights = 0;  // asked once; every GL has at least 8
    // The lights of the view being drawn, gathered once: every node's draw sets them again, and a
    // walk over the scene for each node would make a frame cost the square of the node count.
    FrameLight lights[FRAME_LIGHT_CAPACITY];
    int32_t lightCount = 0;
};
FrameState frame;

// The scene's light nodes, in slot order, as GL_LIGHT0, GL_LIGHT1, ...
void gatherLights(const Scene* s) {
    if (frame.maxLights == 0) glGetIntegerv(GL_MAX_LIGHTS, &frame.maxLights);
    int32_t limit = frame.maxLights < FRAME_LIGHT_CAPACITY ? frame.maxLights : FRAME_LIGHT_CAPACITY;
    frame.lightCount = 0;
    for (int32_t c = 0; c < s->copies.capacity && frame.lightCount < limit; c++) {
        const Node* node = slotGet<Node>(&s->copies, c);
        if (node == nullptr || node->kind != NODE_LIGHT) continue;
        const Light* light = lightGet(node->attachment);
        if (light == nullptr) continue;
        FrameLight* l = &frame.lights[frame.lightCount++];
        for (int i = 0; i < 4; i++) l->colour[i] = light->colour[i];
        l->position[0] = node->matrix.m[12];
        l->position[1] = node->matrix.m[13];
        l->position[2] = node->matrix.m[14];
        l->position[3] = 0.0f;
    }
}

// Sets the gathered lights; their positions go through the modelview matrix loaded now.
void setLights() {
    for (int32_t n = 0; n < frame.lightCount; n++) {
        const FrameLight* l = &frame.lights[n];
        GLenum id = GL_LIGHT0 + (GLenum)n;
        glLightfv(id, GL_AMBIENT, l->colour);
        glLightfv(id, GL_DIFFUSE, l->colour);
        glLightfv(id, GL_SPECULAR, l->colour);
        glLightfv(id, GL_POSITION, l->position);
        glEnable(id);
    }
}

// One node of the pass: its transform on the camera's view, the lights set again in that frame.
void beginNode(const Camera* k, const Node* node) {
    glPushMatrix();
    glLoadMatrixf(k->view.m);
    setLights();
    glMultMatrixf(node->matrix.m);
    glEnable(GL_LIGHTING);
}

void drawOverlays(const Node* node) {
    switch (node->kind) {
        case NODE_LIGHT:
            if (renderDebug[DEBUG_LIGHTS]) draw_point_marker();
            break;
        case NODE_EMPTY:
            if (renderDebug[DEBUG_EMPTY_NODES]) draw_axes();
            break;
        case NODE_CAMERA:
            if (renderDebug[DEBUG_CAMERAS]) draw_small_axes();
            break;
        case NODE_OBJECT:
            if (renderDebug[DEBUG_SPHERES]) draw_sphere(node->centre, node->radius, 255, 0, 0, 96);
            if (renderDebug[DEBUG_BOXES]) draw_box(&node->corners, 255, 0, 0, 96);
            break;
        default:
            break;
    }
}

void drawPass(int32_t camera, int32_t scene, int32_t pass) {
    Scene* s = sceneGet(scene);
    for (int32_t c = 0; c < s->copies.capacity; c++) {
        const Node* node = slotGet<Node>(&s->copies, c);
        const Camera* k = cameraGet(camera);
        if (node == nullptr) continue;
        beginNode(k, node);
        if (node->kind == NODE_OBJECT) render_object(node->attachment, pass);
        if (pass == PASS_OPAQUE) drawOverlays(node);
        glPopMatrix();
    }
}
}  // namespace

void render_views() {
    for (int32_t v = 0; v < viewTable.capacity; v++) {
        const View* view = view_get(v);
        if (view && view->scene != -1) render_view(v);
    }
}

void render_view(int32_t view) {
    const View* v = view_get(view);
    if (v == nullptr) return;
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_ALPHA_TEST);
    glDisable(GL_TEXTURE_2D);
    int32_t scene = v->scene;
    if (sceneGet(scene) == nullptr) return;
    sceneUpdateMatrices(scene);
    const Node* eye = sceneCopy(scene, v->cameraNode);
    int32_t camera = eye && eye->kind == NODE_CAMERA ? eye->attachment : -1;
    Camera* k = cameraGet(camera);
    if (k == nullptr) {
        showMessage("vor3d_render_1_11->VOR3DRENDER_VIEW->[ERROR] no camera");
        return;
    }
    render_projection(camera);
    // A singular camera matrix keeps last frame's view rather than a meaningless one.
    mat4_inverse_affine(&k->view, &eye->matrix);
    mat4_copy(&k->orientation, &eye->matrix);
    mat4_set_translation(&k->orientation, 0.0f, 0.0f, 0.0f);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 0);
    render_lights(view, camera);  // gathers the lights that every node's draw sets again
    drawPass(camera, scene, PASS_OPAQUE);
    glDepthMask(GL_FALSE);
    drawPass(camera, scene, PASS_TRANSPARENT);
    glDepthMask(GL_TRUE);
}

void render_projection(int32_t camera) {
    const Camera* k = cameraGet(camera);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (k != nullptr && k->aspectHeight != 0.0f) {
        float t = std::tan(k->fov * DEG_TO_HALF_RAD);
        float a = k->aspectWidth / k->aspectHeight;
        float top = t * k->nearPlane;
        float right = top * a;
        bool usable = std::isfinite(top) && std::isfinite(right) && top != 0.0f && right != 0.0f &&
                      k->nearPlane > 0.0f && k->farPlane > 0.0f && k->farPlane != k->nearPlane;
        if (usable) glFrustum(-right, right, -top, top, k->nearPlane, k->farPlane);
    }
    glMatrixMode(GL_MODELVIEW);
}

void render_lights(int32_t view, int32_t camera) {
    frame.lightCount = 0;
    const View* v = view_get(view);
    const Camera* k = cameraGet(camera);
    if (v == nullptr || k == nullptr) return;
    glLoadMatrixf(k->view.m);
    const Scene* s = sceneGet(v->scene);
    if (s == nullptr) return;
    gatherLights(s);
    setLights();
}
