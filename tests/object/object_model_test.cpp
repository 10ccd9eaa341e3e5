// Meshes, objects, materials and the box primitive, without a GL context.
#include <vector>

#include "object_fixture.h"

using Meshes = ObjectModelTest;
using Objects = ObjectModelTest;

TEST(Material, DefaultsAndTheTransparencyThreshold) {
    Material m;
    std::memset(&m, 0x5a, sizeof m);
    materialInit(&m);
    EXPECT_EQ(m.mode, MATERIAL_LIT);
    EXPECT_EQ(m.textureSet, -1);
    for (int32_t id : m.textureIds) EXPECT_EQ(id, -1);
    for (float alpha : {1.0f, 0.999f, 1.5f}) {
        m.diffuse[3] = alpha;
        EXPECT_EQ(materialIsTransparent(&m), alpha < 1.0f) << alpha;
    }
}

TEST_F(Meshes, BadCountsAreClampedAndMissingArraysReadAsZeros) {
    Mesh t;
    std::memset(&t, 0, sizeof t);
    materialInit(&t.material);
    t.vertexCount = -4;
    t.indexCount = -3;
    t.texCoordSets = 200;
    t.hasPositions = 1;
    t.interleaved = &t;  // stale renderer fields must not survive
    t.vertexBuffer = 7;
    int32_t i = meshCreate(-1, &t);
    Mesh* m = meshGet(i);
    EXPECT_EQ(m->vertexCount, 0);
    EXPECT_EQ(m->indexCount, 0);
    EXPECT_EQ(m->texCoordSets, MESH_TEXCOORD_SETS);
    EXPECT_EQ(m->interleaved, nullptr);
    EXPECT_EQ(m->vertexBuffer, 0u);
    EXPECT_FALSE(meshHasPoints(m));
    BoxCorners c;
    Vec3 centre;
    float radius = -1;
    meshBounds(m, &c, &centre, &radius);  // the point-sized box, not the inverted search box
    EXPECT_NEAR(c.p[0].x, APPROX_EPSILON, 1e-7);
    EXPECT_NEAR(c.p[6].z, -APPROX_EPSILON, 1e-7);

    t.vertexCount = t.indexCount = 3;  // flagged positions but no array given; replaced in place
    t.texCoordSets = 0;
    m = meshGet(meshCreate(i, &t));
    for (int k = 0; k < 9; k++) EXPECT_EQ(m->positions[k], 0.0f);
    EXPECT_EQ(meshCreate(1 << 30, &t), -1);
    for (int32_t k : {i, i, -1}) EXPECT_EQ(meshDestroy(k), -1);  // the mesh, then a released slot and none
    EXPECT_EQ(slotsInUse(meshTable), 0);
}

TEST_F(Objects, DestroyReplacementAndCollectionTakeTheirMeshes) {
    int32_t o = squareObject();
    addSquareTo(o);
    EXPECT_EQ(slotsInUse(meshTable), 2);
    for (int32_t i : {o, o, -1}) EXPECT_EQ(objectDestroy(i), -1);  // the object, then a released one and none
    EXPECT_EQ(objectGet(o), nullptr);
    EXPECT_EQ(slotsInUse(meshTable), 0);

    int32_t a = squareObject();
    int32_t b = squareObject();
    EXPECT_EQ(objectCreate(a), a);  // replacing destroys the old meshes
    EXPECT_EQ(slotsInUse(meshTable), 1);

    // A scene update collects the objects no node holds, with their meshes.
    int32_t node = nodeCreate(-1, NODE_OBJECT, b);
    int32_t loose = squareObject();
    sceneUpdate(node, "");
    EXPECT_EQ(objectGet(loose), nullptr);
    EXPECT_EQ(objectGet(a), nullptr);  // emptied by the replacement, held by nobody
    EXPECT_NE(objectGet(b), nullptr);
    EXPECT_EQ(slotsInUse(meshTable), 1);
}

TEST_F(Objects, BoundsCoverEveryMeshAndPassesFollowDiffuseAlpha) {
    int32_t o = objectCreate(-1);
    int32_t m0 = addSquareTo(o, 1.0f, 1.0f);
    int32_t m1 = addSquareTo(o, 3.0f, 0.999f);
    BoxCorners c;
    Vec3 centre;
    float radius;
    objectBounds(o, &c, &centre, &radius);
    EXPECT_EQ(objectGet(o)->passes, PASS_OPAQUE | PASS_TRANSPARENT);
    EXPECT_EQ(meshGet(m0)->pass, PASS_OPAQUE);
    EXPECT_EQ(meshGet(m1)->pass, PASS_TRANSPARENT);
    EXPECT_FLOAT_EQ(c.p[0].x, 3.0f);  // the union of both squares, the sphere too
    EXPECT_FLOAT_EQ(c.p[6].y, -3.0f);
    EXPECT_NEAR(radius, 3.0f * std::sqrt(2.0f), 1e-4);
    meshGet(m1)->material.diffuse[3] = 1.0f;  // recomputed, not accumulated
    objectBounds(o, &c, &centre, &radius);
    EXPECT_EQ(objectGet(o)->passes, PASS_OPAQUE);
}

TEST_F(ObjectModelTest, BoxPrimitiveHasTwentyFourVerticesAndFacesAtUnitDistance) {
    Node* n = nodeGet(boxObjectCreate(2, 2, 2));
    Mesh* m = meshGet(*slotGet<int32_t>(&objectGet(n->attachment)->meshes, 0));
    ASSERT_EQ(m->vertexCount, 24);
    ASSERT_EQ(m->indexCount, 36);
    auto position = [m](int32_t v) { return Vec3{m->positions[3 * v], m->positions[3 * v + 1], m->positions[3 * v + 2]}; };
    for (int t = 0; t < 12; t++) {  // counter-clockwise seen from outside, on the face its normal names
        const int32_t* idx = m->indices + 3 * t;
        Vec3 normal, p = position(idx[0]);
        plane_normal(&normal, p, position(idx[1]), position(idx[2]));
        const float* given = m->normals + 3 * idx[0];
        EXPECT_FLOAT_EQ(normal.x * given[0] + normal.y * given[1] + normal.z * given[2], 1.0f) << t;
        EXPECT_FLOAT_EQ(p.x * given[0] + p.y * given[1] + p.z * given[2], 1.0f) << t;
    }
    m = meshGet(*slotGet<int32_t>(&objectGet(nodeGet(boxObjectCreate(4, 2, 0.5f))->attachment)->meshes, 0));
    EXPECT_EQ(std::vector<float>(m->positions, m->positions + 3), (std::vector<float>{2.0f, 1.0f, 0.25f}));
}
