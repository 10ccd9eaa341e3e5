// Node trees: creation and reference counting, rotations, world matrices and the scene update.
#include <utility>
#include <vector>

#include "object_fixture.h"

using Nodes = ObjectModelTest;
using Transforms = ObjectModelTest;

namespace {
float angleOf(const Quat& q) { return 2.0f * std::acos(std::fmin(1.0f, std::fabs(q.w))) * RAD_TO_DEG; }

Light whiteLight() {
    Light l;
    std::memset(&l, 0, sizeof l);
    for (float& c : l.colour) c = 1.0f;
    l.refCount = 99;  // creation counts from zero whatever the caller leaves here
    return l;
}
}  // namespace

TEST_F(Nodes, CreateSetsDefaultsAndCountsTheAttachment) {
    int32_t o = triangleObject();
    int32_t a = nodeCreate(-1, NODE_OBJECT, o);
    int32_t b = nodeCreate(-1, NODE_OBJECT, o);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(objectGet(o)->refCount, 2);
    const Node* n = nodeGet(a);
    EXPECT_EQ(n->scale.x, 1.0f);
    EXPECT_EQ(n->rotation.w, 1.0f);
    EXPECT_EQ(n->matrix.m[0], 1.0f);
    EXPECT_EQ(n->transformMode, MODE_TRS);
    EXPECT_EQ(n->dirty, 0);
    EXPECT_EQ(n->parent, -1);

    EXPECT_EQ(nodeCreate(b, NODE_EMPTY, -1), b);  // drops the old node's reference first
    EXPECT_EQ(objectGet(o)->refCount, 1);
    EXPECT_EQ(nodeDestroy(a), -1);
    EXPECT_EQ(objectGet(o), nullptr);  // last holder gone: destroyed at once
    EXPECT_EQ(meshesInUse(), 0);
    EXPECT_EQ(nodeDestroy(a), -1);
    EXPECT_EQ(nodeDestroy(-1), -1);
    EXPECT_EQ(nodeGet(b)->kind, NODE_EMPTY);
}

TEST_F(Nodes, DestroyingAParentTakesTheSubtreeAndASharedObjectSurvives) {
    int32_t shared = triangleObject(), own = triangleObject();
    int32_t root = emptyCreate(-1);
    int32_t child = nodeCreate(-1, NODE_OBJECT, shared);
    int32_t grandChild = nodeCreate(-1, NODE_OBJECT, own);
    int32_t elsewhere = nodeCreate(-1, NODE_OBJECT, shared);
    nodeSetParent(root, child);
    nodeSetParent(child, grandChild);
    nodeDestroy(root);
    EXPECT_EQ(nodeGet(child), nullptr);
    EXPECT_EQ(nodeGet(grandChild), nullptr);
    EXPECT_EQ(objectGet(own), nullptr);
    ASSERT_NE(objectGet(shared), nullptr);
    EXPECT_EQ(objectGet(shared)->refCount, 1);
    nodeDestroy(elsewhere);
    EXPECT_EQ(objectGet(shared), nullptr);
    EXPECT_EQ(meshesInUse(), 0);
}

TEST_F(Nodes, LinksThatMakeNoTreeAreWalkedOnceAndEveryPassEnds) {
    int32_t a = emptyCreate(-1), b = emptyCreate(-1);
    nodeSetParent(a, a);  // refused
    EXPECT_EQ(nodeGet(a)->parent, -1);
    EXPECT_EQ(nodeGet(a)->children.capacity, 0);
    nodeSetParent(-1, b);
    EXPECT_EQ(nodeGet(b)->parent, -1);
    nodeSetParent(a, b);
    nodeSetParent(b, a);  // a loop through re-parenting
    nodeDestroy(a);
    EXPECT_EQ(nodeGet(a), nullptr);
    EXPECT_EQ(nodeGet(b), nullptr);

    // r - c1 - c2, then r re-parented under its own descendant c2, and d listed under both r and
    // c1 (the old parent keeps it). d and c2 share an object.
    int32_t shared = triangleObject();
    int32_t r = emptyCreate(-1), c1 = emptyCreate(-1), c2 = nodeCreate(-1, NODE_OBJECT, shared);
    int32_t d = nodeCreate(-1, NODE_OBJECT, shared);
    nodeSetParent(r, c1);
    nodeSetParent(r, d);
    nodeSetParent(c1, c2);
    nodeSetParent(c1, d);
    nodeSetParent(c2, r);
    for (int32_t n : {r, c1, c2, d}) nodeSetPosition(nodeGet(n), 1, 0, 0);

    // Pre-order, each node once: d at its first place (under c1), r not again under c2.
    NodeWalk walk;
    nodeWalkBegin(&walk, &nodeTable);
    nodeWalkPush(&walk, r, 0, 0);
    NodeWalkStep step;
    std::vector<std::pair<int32_t, int32_t>> visits;
    while (nodeWalkNext(&walk, &step)) {
        visits.push_back({step.node, step.depth});
        nodeWalkChildren(&walk, nodeGet(step.node), &step, 0);
    }
    nodeWalkEnd(&walk);
    EXPECT_EQ(visits, (std::vector<std::pair<int32_t, int32_t>>{{r, 0}, {c1, 1}, {c2, 2}, {d, 2}}));

    nodeUpdateMatrices(r, true);
    for (int32_t n : {r, c1, c2, d}) EXPECT_EQ(nodeGet(n)->dirty, 0);
    EXPECT_FLOAT_EQ(nodeGet(d)->matrix.m[12], nodeGet(c1)->matrix.m[12] + 1.0f);  // under its last parent
    sceneUpdate(r, "");
    EXPECT_EQ(objectGet(shared)->texturesLoaded, 1);

    // The copy is a tree: one copy per node, d's under c1's.
    int32_t scene = sceneCreate(-1);
    int32_t top = sceneAddCopy(scene, -1, r);
    int32_t copies = 0;
    for (int32_t i = 0; i < sceneGet(scene)->copies.capacity; i++) copies += sceneCopy(scene, i) != nullptr;
    EXPECT_EQ(copies, 4);
    auto listed = [](const Node* n) {
        int32_t k = 0;
        for (int32_t i = 0; i < n->children.capacity; i++) k += slotUnits(&n->children, i) > 0;
        return k;
    };
    const Node* c1Copy = sceneCopy(scene, *slotGet<int32_t>(&sceneCopy(scene, top)->children, 0));
    ASSERT_NE(c1Copy, nullptr);
    EXPECT_EQ(listed(sceneCopy(scene, top)), 1);
    EXPECT_EQ(listed(c1Copy), 2);
    Vec3 lo, hi;
    sceneBounds(scene, top, &lo, &hi);
    EXPECT_LT(lo.x, hi.x);
    sceneRemoveCopy(scene, top);
    EXPECT_EQ(sceneCopy(scene, top), nullptr);

    nodeDestroy(r);  // every node once: the shared object loses exactly its two references
    for (int32_t n : {r, c1, c2, d}) EXPECT_EQ(nodeGet(n), nullptr);
    EXPECT_EQ(objectGet(shared), nullptr);
    EXPECT_EQ(meshesInUse(), 0);
}

TEST_F(Nodes, LightsAndCamerasAreCountedAndCollected) {
    Light l = whiteLight();
    int32_t ln = lightCreate(-1, &l);
    int32_t light = nodeGet(ln)->attachment;
    EXPECT_EQ(nodeGet(ln)->kind, NODE_LIGHT);
    EXPECT_EQ(lightGet(light)->refCount, 1);
    EXPECT_EQ(lightGet(light)->colour[2], 1.0f);
    Camera c;
    std::memset(&c, 0, sizeof c);
    cameraInit(&c);
    for (auto [value, expected] : {std::pair{c.fov, 50.0f}, {c.nearPlane, 0.01f}, {c.farPlane, 1400.0f},
                                   {c.aspectWidth, 4.0f}, {c.aspectHeight, 3.0f}}) {
        EXPECT_FLOAT_EQ(value, expected);
    }
    int32_t cn = cameraCreate(-1, &c);
    int32_t camera = nodeGet(cn)->attachment;
    EXPECT_EQ(cameraGet(camera)->refCount, 1);
    int32_t second = nodeCreate(-1, NODE_CAMERA, camera);  // shares the camera
    nodeDestroy(cn);
    EXPECT_NE(cameraGet(camera), nullptr);
    nodeDestroy(second);
    EXPECT_EQ(cameraGet(camera), nullptr);
    nodeDestroy(ln);
    EXPECT_EQ(lightGet(light), nullptr);

    // Records nobody attached go at the next scene update.
    int32_t spare = slotAdd(&lightTable, 1, -1);
    *lightGet(spare) = whiteLight();
    lightGet(spare)->refCount = 0;
    int32_t spareCamera = slotAdd(&cameraTable, 1, -1);
    *cameraGet(spareCamera) = c;
    cameraGet(spareCamera)->refCount = 0;
    sceneUpdate(-1, "");
    EXPECT_EQ(lightGet(spare), nullptr);
    EXPECT_EQ(cameraGet(spareCamera), nullptr);
    EXPECT_EQ(lightDestroy(-1), -1);
    EXPECT_EQ(cameraDestroy(spareCamera), -1);
    int32_t old = emptyCreate(-1);
    EXPECT_EQ(lightCreate(old, &l), old);
}

TEST_F(Transforms, RotationsAccumulateAndTheAxisIsNotNormalised) {
    Node* node = nodeGet(emptyCreate(-1));
    nodeRotate(node, 90.0f, 0, 0, 1);
    nodeRotate(node, 90.0f, 0, 0, 1);
    EXPECT_EQ(node->dirty, 1);
    EXPECT_NEAR(angleOf(node->rotation), 180.0f, 1e-3);
    EXPECT_NEAR(std::fabs(node->rotation.z), 1.0f, 1e-6);
    Vec3 axes[3];
    nodeAxes(node, axes);
    EXPECT_NEAR(axes[0].x, -1.0f, 1e-6);
    EXPECT_NEAR(axes[1].y, -1.0f, 1e-6);

    Node* other = nodeGet(emptyCreate(-1));
    nodeRotate(other, 90.0f, 0, 0, 2);
    EXPECT_NEAR(angleOf(other->rotation), 126.87f, 0.05f);
    EXPECT_NEAR(quat_length(&other->rotation), 1.0f, 1e-6);

    Node* order = nodeGet(emptyCreate(-1));  // a new turn applies after the turns before it
    nodeRotate(order, 90.0f, 1, 0, 0);
    nodeRotate(order, 90.0f, 0, 0, 1);
    nodeAxes(order, axes);
    EXPECT_NEAR(axes[0].y, 1.0f, 1e-6);  // X: turned by Z only
    EXPECT_NEAR(axes[2].x, 1.0f, 1e-6);  // Z: to -Y by X, then to +X by Z
}

TEST_F(Transforms, WorldMatricesComposeParentTimesTRS) {
    int32_t parent = emptyCreate(-1), child = emptyCreate(-1);
    nodeSetParent(parent, child);
    nodeSetPosition(nodeGet(parent), 0, 2, 0);
    nodeSetPosition(nodeGet(child), 1, 0, 0);
    nodeUpdateMatrices(parent, true);
    const Mat4& m = nodeGet(child)->matrix;
    EXPECT_FLOAT_EQ(m.m[12], 1.0f);
    EXPECT_FLOAT_EQ(m.m[13], 2.0f);
    EXPECT_FLOAT_EQ(m.m[14], 0.0f);
    EXPECT_EQ(nodeGet(child)->dirty, 0);

    nodeSetScale(nodeGet(child), 2, 3, 4);  // scale, then rotation, then translation
    nodeRotate(nodeGet(child), 90.0f, 0, 0, 1);
    nodeUpdateMatrices(parent, false);  // the child is dirty on its own
    Vec3 p = {1, 0, 0};
    points_transform(&m, &p, &p, 1);
    EXPECT_NEAR(p.x, 1.0f, 1e-5);  // (2,0,0) turned to (0,2,0), plus (1,0,0) and (0,2,0)
    EXPECT_NEAR(p.y, 4.0f, 1e-5);
    float x, y, z;
    nodeGetScale(nodeGet(child), &x, &y, &z);
    EXPECT_EQ(y, 3.0f);
    nodeGetPosition(nodeGet(child), &x, &y, &z);
    EXPECT_EQ(x, 1.0f);

    nodeGet(child)->matrix.m[12] = 99.0f;  // a clean tree keeps its matrices unless forced
    nodeUpdateMatrices(parent, false);
    EXPECT_EQ(m.m[12], 99.0f);
    nodeSetPosition(nodeGet(parent), 0, 5, 0);  // a dirty parent forces its children
    nodeUpdateMatrices(parent, false);
    EXPECT_NEAR(m.m[12], 1.0f, 1e-5);
    EXPECT_NEAR(m.m[13], 5.0f, 1e-5);
}

TEST_F(Transforms, LookAtReplacesTheLocalTransform) {
    Node* n = nodeGet(emptyCreate(-1));
    nodeSetScale(n, 5, 5, 5);
    nodeSetLookAt(n, 16, 0, 0, 0, 0, 0, 0, 0, 1);
    EXPECT_EQ(n->transformMode, MODE_LOOK_AT);
    nodeComposeLocal(n);
    EXPECT_FLOAT_EQ(n->matrix.m[12], 16.0f);
    EXPECT_NEAR(n->matrix.m[8], 1.0f, 1e-6);  // local Z points from the target to the eye
    EXPECT_NEAR(n->matrix.m[6], 1.0f, 1e-6);  // local Y is world up
    EXPECT_NEAR(n->matrix.m[1], 1.0f, 1e-6);  // so local X is world +Y
    nodeSetPosition(n, 1, 2, 3);
    EXPECT_EQ(n->transformMode, MODE_TRS);
}

TEST_F(Nodes, SceneUpdateBoundsEveryObjectOnceAndLeavesUntexturedMaterials) {
    int32_t shared = triangleObject(0.5f);
    int32_t root = emptyCreate(-1);
    int32_t a = nodeCreate(-1, NODE_OBJECT, shared), b = nodeCreate(-1, NODE_OBJECT, shared);
    nodeSetParent(root, a);
    nodeSetParent(a, b);
    sceneUpdate(root, nullptr);
    EXPECT_EQ(objectGet(shared)->passes, PASS_OPAQUE | PASS_TRANSPARENT);
    EXPECT_EQ(objectGet(shared)->texturesLoaded, 1);
    EXPECT_FLOAT_EQ(nodeGet(b)->corners.p[0].x, 1.0f);
    EXPECT_FLOAT_EQ(nodeGet(a)->corners.p[0].y, 1.0f);
    const Mesh* m = meshGet(*slotGet<int32_t>(&objectGet(shared)->meshes, 0));
    EXPECT_EQ(m->material.mode, MATERIAL_LIT);
    EXPECT_EQ(m->material.textureSet, -1);
}
