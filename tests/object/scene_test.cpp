// Scene copies: duplication of trees, independence from the sources, matrices, bounds and search.
#include <vector>

#include "object_fixture.h"

using SceneCopies = ObjectModelTest;

namespace {
int32_t childAt(const Node* n, int32_t k) { return *slotGet<int32_t>(&n->children, k); }

void expectBox(int32_t scene, int32_t copy, float lo, float hi, float tolerance) {
    Vec3 l, h;
    sceneBounds(scene, copy, &l, &h);
    for (float v : {l.x, l.y, l.z}) EXPECT_NEAR(v, lo, tolerance);
    for (float v : {h.x, h.y, h.z}) EXPECT_NEAR(v, hi, tolerance);
}
}  // namespace

TEST_F(SceneCopies, ThreeLevelTreeIsLinkedBySceneSlots) {
    for (int i = 0; i < 5; i++) emptyCreate(-1);  // source indices differ from the copies' slots
    int32_t top = emptyCreate(-1), mid = emptyCreate(-1), leafA = emptyCreate(-1);
    int32_t leafB = nodeCreate(-1, NODE_CAMERA, -1);
    nodeSetParent(top, mid);
    nodeSetParent(mid, leafA);
    nodeSetParent(mid, leafB);
    nodeSetPosition(nodeGet(mid), 3, 0, 0);

    int32_t scene = sceneCreate(-1);
    int32_t copy = sceneAddCopy(scene, -1, top);
    EXPECT_EQ(copy, 0);
    EXPECT_EQ(copiesInUse(scene), 4);
    std::vector<int32_t> parents;  // slots in pre-order, children in the source order
    for (int32_t i = 0; i < 4; i++) parents.push_back(sceneCopy(scene, i)->parent);
    EXPECT_EQ(parents, (std::vector<int32_t>{-1, 0, 1, 1}));
    const Node* midCopy = sceneCopy(scene, childAt(sceneCopy(scene, copy), 0));
    EXPECT_EQ(midCopy->position.x, 3.0f);
    EXPECT_EQ(childAt(midCopy, 0), 2);
    EXPECT_EQ(childAt(midCopy, 1), 3);
    EXPECT_EQ(sceneCopy(scene, 3)->kind, NODE_CAMERA);

    // A second tree copied at the same index replaces the first completely.
    EXPECT_EQ(sceneAddCopy(scene, copy, emptyCreate(-1)), copy);
    EXPECT_EQ(sceneCopy(scene, 0)->children.capacity, 0);
    EXPECT_EQ(copiesInUse(scene), 1);
    EXPECT_EQ(sceneAddCopy(scene, -1, 1000), -1);  // no such node
    sceneRemoveCopy(scene, copy);
    EXPECT_EQ(sceneCopy(scene, copy), nullptr);
    sceneDestroy(scene);
    EXPECT_EQ(sceneGet(scene), nullptr);
}

TEST_F(SceneCopies, ACopysChangeNeverTouchesItsSource) {
    int32_t parent = emptyCreate(-1), child = emptyCreate(-1);
    nodeSetParent(parent, child);
    int32_t scene = sceneCreate(-1);
    int32_t copy = sceneAddCopy(scene, -1, parent);
    sceneSetPosition(scene, copy, 0, 2, 0);
    sceneRotate(scene, copy, 45.0f, 0, 0, 1);
    sceneSetScale(scene, copy, 2, 2, 2);
    int32_t childCopy = childAt(sceneCopy(scene, copy), 0);
    sceneSetPosition(scene, childCopy, 1, 0, 0);
    sceneUpdateMatrices(scene);
    const Node* src = nodeGet(parent);
    EXPECT_EQ(src->position.y, 0.0f);
    EXPECT_EQ(src->rotation.w, 1.0f);
    EXPECT_EQ(src->scale.x, 1.0f);
    EXPECT_EQ(nodeGet(child)->position.x, 0.0f);
    // The child copy's world matrix: (1,0,0) scaled by 2, turned 45 degrees, lifted by 2.
    const Mat4& m = sceneCopy(scene, childCopy)->matrix;
    EXPECT_NEAR(m.m[12], std::sqrt(2.0f), 1e-5);
    EXPECT_NEAR(m.m[13], 2.0f + std::sqrt(2.0f), 1e-5);
    Vec3 axes[3];
    sceneAxes(scene, copy, axes);
    EXPECT_NEAR(axes[0].y, std::sqrt(0.5f), 1e-6);
    float x = -7, y, z;
    sceneGetPosition(scene, 99, &x, &y, &z);  // no such copy: outputs untouched
    EXPECT_EQ(x, -7.0f);
    sceneSetLookAt(scene, childCopy, Vec3{0, 0, 5}, Vec3{0, 0, 0}, Vec3{0, 1, 0});
    EXPECT_EQ(sceneCopy(scene, childCopy)->transformMode, MODE_LOOK_AT);
    EXPECT_EQ(nodeGet(child)->transformMode, MODE_TRS);
}

TEST_F(SceneCopies, BoundsAreWorldBoxesOfTheObjectCopiesAndFindKindFindsTheRigsCamera) {
    int32_t top = emptyCreate(-1);
    nodeSetParent(top, boxObjectCreate(2, 2, 2));
    int32_t scene = sceneCreate(-1);
    int32_t copy = sceneAddCopy(scene, -1, top);
    sceneSetScale(scene, copy, 2, 2, 2);
    expectBox(scene, copy, -2.0f, 2.0f, 1e-5);
    sceneRotate(scene, copy, 45.0f, 0, 0, 1);  // the axis-aligned box around the turned corners
    Vec3 lo, hi;
    sceneBounds(scene, copy, &lo, &hi);
    EXPECT_NEAR(hi.x, 2.0f * std::sqrt(2.0f), 1e-4);
    EXPECT_NEAR(hi.z, 2.0f, 1e-5);
    expectBox(scene, sceneAddCopy(scene, -1, emptyCreate(-1)), FAR_VALUE, -FAR_VALUE, 0);

    Camera c;
    std::memset(&c, 0, sizeof c);
    cameraInit(&c);
    int32_t rig = emptyCreate(-1), camera = cameraCreate(-1, &c);
    nodeSetParent(rig, camera);
    EXPECT_EQ(sceneFindKind(scene, NODE_CAMERA, 0), -1);
    int32_t rigCopy = sceneAddCopy(scene, -1, rig);
    int32_t found = sceneFindKind(scene, NODE_CAMERA, 0);
    EXPECT_EQ(found, childAt(sceneCopy(scene, rigCopy), 0));
    EXPECT_EQ(sceneCopy(scene, found)->attachment, nodeGet(camera)->attachment);
    EXPECT_EQ(sceneFindKind(scene, NODE_CAMERA, 1), -1);
    EXPECT_EQ(sceneFindKind(scene, NODE_LIGHT, 0), -1);
    EXPECT_EQ(cameraGet(nodeGet(camera)->attachment)->refCount, 1);  // copies take no reference
}
