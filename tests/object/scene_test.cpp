// Scene copies: duplication of trees, independence from the sources, bounds and search.
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

    int32_t scene = sceneCreate(-1);
    int32_t copy = sceneAddCopy(scene, -1, top);
    EXPECT_EQ(slotsInUse(sceneGet(scene)->copies), 4);
    std::vector<int32_t> parents;  // slots in pre-order, children in the source order
    for (int32_t i = 0; i < 4; i++) parents.push_back(sceneCopy(scene, i)->parent);
    EXPECT_EQ(parents, (std::vector<int32_t>{-1, 0, 1, 1}));
    const Node* midCopy = sceneCopy(scene, childAt(sceneCopy(scene, copy), 0));
    EXPECT_EQ(childAt(midCopy, 0), 2);
    EXPECT_EQ(childAt(midCopy, 1), 3);
    sceneSetPosition(scene, childAt(sceneCopy(scene, copy), 0), 0, 2, 0);  // the source keeps its own
    EXPECT_EQ(nodeGet(mid)->position.y, 0.0f);

    // A second tree copied at the same index replaces the first completely.
    EXPECT_EQ(sceneAddCopy(scene, copy, emptyCreate(-1)), copy);
    EXPECT_EQ(sceneCopy(scene, 0)->children.capacity, 0);
    EXPECT_EQ(slotsInUse(sceneGet(scene)->copies), 1);
    EXPECT_EQ(sceneAddCopy(scene, -1, 1000), -1);  // no such node
    sceneDestroy(scene);
    EXPECT_EQ(sceneGet(scene), nullptr);
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
    EXPECT_EQ(sceneFindKind(scene, NODE_CAMERA, 1), -1);
    EXPECT_EQ(sceneFindKind(scene, NODE_LIGHT, 0), -1);
    EXPECT_EQ(cameraGet(nodeGet(camera)->attachment)->refCount, 1);  // copies take no reference
}
