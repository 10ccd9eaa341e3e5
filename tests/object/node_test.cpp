// Node trees: creation and reference counting, rotations, world matrices and the scene update.
#include <utility>
#include <vector>

#include "object_fixture.h"

using Nodes = ObjectModelTest;
using Transforms = ObjectModelTest;

TEST_F(Nodes, ReferencesFollowTheNodesAndASubtreeGoesWithItsRoot) {
    int32_t shared = squareObject(), own = squareObject();
    int32_t root = emptyCreate(-1);
    int32_t child = nodeCreate(-1, NODE_OBJECT, shared);
    int32_t grandChild = nodeCreate(-1, NODE_OBJECT, own);
    int32_t elsewhere = nodeCreate(-1, NODE_OBJECT, shared);
    EXPECT_EQ(objectGet(shared)->refCount, 2);

    Light l{};
    l.refCount = 99;  // creation counts from zero whatever the caller leaves here
    int32_t lightNode = lightCreate(-1, &l), light = nodeGet(lightNode)->attachment;
    EXPECT_EQ(lightGet(light)->refCount, 1);
    nodeSetParent(root, child);
    nodeSetParent(child, grandChild);
    nodeSetParent(grandChild, lightNode);
    nodeDestroy(root);
    EXPECT_EQ(nodeGet(child), nullptr);
    EXPECT_EQ(objectGet(own), nullptr);  // the grandchild was its last holder: destroyed at once
    EXPECT_EQ(lightGet(light), nullptr);
    ASSERT_NE(objectGet(shared), nullptr);
    EXPECT_EQ(objectGet(shared)->refCount, 1);
    nodeDestroy(elsewhere);
    EXPECT_EQ(objectGet(shared), nullptr);
    EXPECT_EQ(slotsInUse(meshTable), 0);
}

TEST_F(Nodes, LinksThatMakeNoTreeAreWalkedOnceAndEveryPassEnds) {
    int32_t a = emptyCreate(-1);
    nodeSetParent(a, a);  // refused
    EXPECT_EQ(nodeGet(a)->parent, -1);

    // r - c1 - c2, then r re-parented under its own descendant c2, and d listed under both r and
    // c1 (the old parent keeps it). d and c2 share an object.
    int32_t shared = squareObject();
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
    EXPECT_FLOAT_EQ(nodeGet(d)->matrix.m[12], nodeGet(c1)->matrix.m[12] + 1.0f);  // under its last parent
    sceneUpdate(r, nullptr);  // bounds and textures every object once, and every node that holds it
    EXPECT_EQ(objectGet(shared)->texturesLoaded, 1);
    for (int32_t n : {c2, d}) EXPECT_FLOAT_EQ(nodeGet(n)->corners.p[0].x, 1.0f);

    // The copy is a tree: one copy per node, d's under c1's.
    int32_t scene = sceneCreate(-1);
    int32_t top = sceneAddCopy(scene, -1, r);
    EXPECT_EQ(slotsInUse(sceneGet(scene)->copies), 4);
    const Node* c1Copy = sceneCopy(scene, *slotGet<int32_t>(&sceneCopy(scene, top)->children, 0));
    EXPECT_LE(slotUnits(&c1Copy->children, 2), 0);  // two children, no third

    nodeDestroy(r);  // every node once: the shared object loses exactly its two references
    for (int32_t n : {r, c1, c2, d}) EXPECT_EQ(nodeGet(n), nullptr);
    EXPECT_EQ(objectGet(shared), nullptr);
    EXPECT_EQ(slotsInUse(meshTable), 0);
}

TEST_F(Transforms, RotationsAccumulateAndTheAxisIsNotNormalised) {
    Node* node = nodeGet(emptyCreate(-1));  // a new turn applies after the turns before it
    nodeRotate(node, 90.0f, 1, 0, 0);
    nodeRotate(node, 90.0f, 0, 0, 1);
    EXPECT_EQ(node->dirty, 1);
    Vec3 axes[3];
    nodeAxes(node, axes);
    EXPECT_NEAR(axes[0].y, 1.0f, 1e-6);  // X: turned by Z only
    EXPECT_NEAR(axes[2].x, 1.0f, 1e-6);  // Z: to -Y by X, then to +X by Z

    Node* other = nodeGet(emptyCreate(-1));
    nodeRotate(other, 90.0f, 0, 0, 2);
    EXPECT_NEAR(2.0f * std::acos(std::fabs(other->rotation.w)) * RAD_TO_DEG, 126.87f, 0.05f);
    EXPECT_NEAR(quat_length(&other->rotation), 1.0f, 1e-6);
}

TEST_F(Transforms, WorldMatricesComposeParentTimesTRS) {
    int32_t parent = emptyCreate(-1), child = emptyCreate(-1);
    nodeSetParent(parent, child);
    nodeSetPosition(nodeGet(parent), 0, 2, 0);
    nodeSetPosition(nodeGet(child), 1, 0, 0);
    nodeUpdateMatrices(parent, true);
    nodeSetScale(nodeGet(child), 2, 3, 4);  // scale, then rotation, then translation
    nodeRotate(nodeGet(child), 90.0f, 0, 0, 1);
    nodeUpdateMatrices(parent, false);  // the child is dirty on its own
    const Mat4& m = nodeGet(child)->matrix;
    Vec3 p = {1, 0, 0};
    points_transform(&m, &p, &p, 1);
    EXPECT_NEAR(p.x, 1.0f, 1e-5);  // (2,0,0) turned to (0,2,0), plus (1,0,0) and (0,2,0)
    EXPECT_NEAR(p.y, 4.0f, 1e-5);
    nodeSetPosition(nodeGet(parent), 0, 5, 0);  // a dirty parent forces its children
    nodeUpdateMatrices(parent, false);
    EXPECT_NEAR(m.m[12], 1.0f, 1e-5);
    EXPECT_NEAR(m.m[13], 5.0f, 1e-5);
}
