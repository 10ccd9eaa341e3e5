#include "viewer/scene.h"

#include <cmath>
#include <cstring>

#include "gui/canvas.h"
#include "input/input.h"
#include "math/quat.h"
#include "object/node.h"
#include "object/scene.h"
#include "render/view.h"
#include "strings/string_table.h"
#include "system/clock.h"

ViewerScene viewerScene = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 16.0f, 1.0f, 0.0f};

namespace {
// Wheel motion closer together than this accelerates the zoom.
constexpr float kZoomIdleLimitMs = 400.0f;
// Edge of the box a model is fitted into.
constexpr float kFitSize = 10.0f;
// The wheel keeps the camera between these distances from the origin: beyond the near plane (0.01),
// so that it never passes through the point it orbits and turns round, and well inside the far
// plane (1400) with the whole fitted model.
constexpr float kMinCameraDistance = 0.5f;
constexpr float kMaxCameraDistance = 1000.0f;
// A bounding box is never thinner than twice APPROX_EPSILON; an extent up to this counts as flat
// and takes no part in the fit.
constexpr float kFlatExtent = 4.0f * APPROX_EPSILON;

// Moves the rig's centre against the pointer's canvas motion (dx, dy: previous minus current), so
// that the point under the pointer at the centre's distance stays under it. The camera looks along
// the rig's -X with the rig's Z up, so the rig's Y is the screen's right.
void pan(float dx, float dy) {
    ViewerScene& vs = viewerScene;
    const Camera* camera = cameraGet(nodeGet(vs.cameraNode) ? nodeGet(vs.cameraNode)->attachment : -1);
    float fov = camera ? camera->fov : 50.0f;
    // The canvas's height spans the camera's vertical field of view.
    float unitsPerCanvas = 2.0f * vs.cameraDistance * std::tan(fov * DEG_TO_HALF_RAD) / (float)CANVAS_HEIGHT;
    Vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    sceneAxes(vs.scene, vs.rootCopy, axes);
    float x = 0.0f, y = 0.0f, z = 0.0f;
    sceneGetPosition(vs.scene, vs.rootCopy, &x, &y, &z);
    float right = dx * unitsPerCanvas, up = -dy * unitsPerCanvas;
    x += axes[1].x * right + axes[2].x * up;
    y += axes[1].y * right + axes[2].y * up;
    z += axes[1].z * right + axes[2].z * up;
    if (std::isfinite(x) && std::isfinite(y) && std::isfinite(z)) sceneSetPosition(vs.scene, vs.rootCopy, x, y, z);
}

void placeCamera() {
    ViewerScene& vs = viewerScene;
    sceneSetLookAt(vs.scene, vs.cameraCopy, Vec3{vs.cameraDistance, 0.0f, 0.0f}, Vec3{0.0f, 0.0f, 0.0f},
                   Vec3{0.0f, 0.0f, 1.0f});
}
}  // namespace

void createViewerScene() {
    ViewerScene& vs = viewerScene;
    vs.scene = sceneCreate(-1);
    vs.view = view_create(-1);
    view_get(vs.view)->scene = vs.scene;

    vs.rootNode = emptyCreate(-1);
    Camera camera;
    std::memset(&camera, 0, sizeof camera);
    cameraInit(&camera);
    mat4_identity(&camera.view);
    mat4_identity(&camera.orientation);
    vs.cameraNode = cameraCreate(-1, &camera);
    nodeSetParent(vs.rootNode, vs.cameraNode);
    vs.rootCopy = sceneAddCopy(vs.scene, -1, vs.rootNode);
    vs.cameraCopy = sceneFindKind(vs.scene, NODE_CAMERA, 0);
    view_get(vs.view)->cameraNode = vs.cameraCopy;
    vs.cameraDistance = 16.0f;
    placeCamera();

    Light light;
    std::memset(&light, 0, sizeof light);
    for (float& c : light.colour) c = 1.0f;
    vs.lightNode = lightCreate(-1, &light);
    vs.lightCopy = sceneAddCopy(vs.scene, -1, vs.lightNode);
    sceneSetPosition(vs.scene, vs.lightCopy, 16.0f, -14.0f, 12.0f);

    vs.modelRoot = -1;
    vs.modelCopy = -1;
    vs.importMessages = stringTableCreate(-1);
    vs.zoomSpeed = 1.0f;
    vs.zoomIdleMs = 0.0f;
    std::memset(renderDebug, 0, sizeof renderDebug);
}

void updateViewerScene() {
    ViewerScene& vs = viewerScene;
    const MouseState& mouse = mouseState();
    float delta = frameDeltaMs;
    bool shift = keyDown(KEY_LSHIFT) || keyDown(KEY_RSHIFT);
    bool panning = mouse.mouseButtonState == 3 || (mouse.mouseButtonState == 1 && shift);
    if (panning) pan(mouse.mouseDx, mouse.mouseDy);
    if (mouse.mouseButtonState == 1 && !panning) {
        // Both turns are about the axes as they were before this frame's motion.
        Vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        sceneAxes(vs.scene, vs.rootCopy, axes);
        float aboutZ = rad_to_deg(mouse.mouseDx * delta * 0.002f);
        float aboutY = rad_to_deg(mouse.mouseDy * delta * 0.002f);
        sceneRotate(vs.scene, vs.rootCopy, aboutZ, axes[2].x, axes[2].y, axes[2].z);
        sceneRotate(vs.scene, vs.rootCopy, aboutY, axes[1].x, axes[1].y, axes[1].z);
    }
    if (mouse.wheelDelta != 0.0f) {
        if (vs.zoomIdleMs < kZoomIdleLimitMs) vs.zoomSpeed += delta * 0.2f;
        vs.zoomIdleMs = 0.0f;
        vs.cameraDistance += mouse.wheelDelta * delta * vs.zoomSpeed * 0.002f;
        if (!(vs.cameraDistance >= kMinCameraDistance)) vs.cameraDistance = kMinCameraDistance;  // NaN too
        if (vs.cameraDistance > kMaxCameraDistance) vs.cameraDistance = kMaxCameraDistance;
    }
    vs.zoomIdleMs += delta;
    if (vs.zoomIdleMs >= kZoomIdleLimitMs) {
        vs.zoomSpeed = 1.0f;
        vs.zoomIdleMs = kZoomIdleLimitMs;
    }
    placeCamera();
}

void resetViewerView() {
    ViewerScene& vs = viewerScene;
    if (Node* rig = sceneCopy(vs.scene, vs.rootCopy)) {
        quat_identity(&rig->rotation);
        nodeSetPosition(rig, 0.0f, 0.0f, 0.0f);
        rig->dirty = 1;
    }
    vs.cameraDistance = 16.0f;
    vs.zoomSpeed = 1.0f;
    vs.zoomIdleMs = kZoomIdleLimitMs;
    placeCamera();
}

void hideModel() {
    ViewerScene& vs = viewerScene;
    vs.modelCopy = sceneRemoveCopy(vs.scene, vs.modelCopy);
}

int32_t showModel(int32_t modelRoot) {
    ViewerScene& vs = viewerScene;
    hideModel();
    vs.modelRoot = modelRoot;
    vs.modelCopy = sceneAddCopy(vs.scene, -1, modelRoot);
    if (vs.modelCopy == -1) return -1;

    Vec3 lo, hi;
    sceneBounds(vs.scene, vs.modelCopy, &lo, &hi);
    if (lo.x > hi.x) return 0;  // no object in the tree: nothing to fit or centre
    const float extent[3] = {hi.x - lo.x, hi.y - lo.y, hi.z - lo.z};
    float factor = 0.0f;
    for (float e : extent)
        if (e > kFlatExtent && (factor == 0.0f || kFitSize / e < factor)) factor = kFitSize / e;
    if (factor > 0.0f) {
        float x = 1.0f, y = 1.0f, z = 1.0f;
        sceneGetScale(vs.scene, vs.modelCopy, &x, &y, &z);
        sceneSetScale(vs.scene, vs.modelCopy, x * factor, y * factor, z * factor);
    }

    sceneBounds(vs.scene, vs.modelCopy, &lo, &hi);
    float x = 0.0f, y = 0.0f, z = 0.0f;
    sceneGetPosition(vs.scene, vs.modelCopy, &x, &y, &z);
    sceneSetPosition(vs.scene, vs.modelCopy, x - (lo.x + hi.x) * 0.5f, y - (lo.y + hi.y) * 0.5f,
                     z - (lo.z + hi.z) * 0.5f);
    return 0;
}

void releaseViewerScene() {
    ViewerScene& vs = viewerScene;
    hideModel();
    vs.modelRoot = nodeDestroy(vs.modelRoot);
    vs.lightCopy = sceneRemoveCopy(vs.scene, vs.lightCopy);
    vs.lightNode = nodeDestroy(vs.lightNode);
    vs.rootCopy = sceneRemoveCopy(vs.scene, vs.rootCopy);
    vs.cameraCopy = -1;
    vs.rootNode = nodeDestroy(vs.rootNode);
    vs.cameraNode = -1;  // destroyed with the root
    vs.scene = sceneDestroy(vs.scene);
    vs.view = view_destroy(vs.view);
    if (vs.importMessages != -1) vs.importMessages = stringTableDestroy(vs.importMessages);
}
