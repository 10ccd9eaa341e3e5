// Meshes, objects, materials and the box primitive, without a GL context.
#include <vector>

#include "object_fixture.h"
#include "system/memory.h"

using Meshes = ObjectModelTest;
using Objects = ObjectModelTest;

TEST(Material, DefaultsThresholdAndTheUnlitFallback) {
    Mesh mesh;
    std::memset(&mesh, 0x5a, sizeof mesh);
    Material& m = mesh.material;
    materialInit(&m);
    EXPECT_EQ(m.mode, MATERIAL_LIT);
    EXPECT_EQ(m.textureSet, -1);
    for (int32_t id : m.textureIds) EXPECT_EQ(id, -1);
    for (float alpha : {1.0f, 0.999f, 1.5f}) {
        m.diffuse[3] = alpha;
        EXPECT_EQ(materialIsTransparent(&m), alpha < 1.0f) << alpha;
    }
    mesh.texCoordSets = 1;
    materialCheckTextures(&mesh);  // only textured materials are checked
    EXPECT_EQ(m.mode, MATERIAL_LIT);
    m.mode = MATERIAL_TEXTURED;  // textured without a set or textures
    materialCheckTextures(&mesh);
    EXPECT_EQ(m.mode, MATERIAL_UNLIT);
    m.blend = 1;  // only ever raised
    materialUpdateBlend(&m);
    EXPECT_EQ(m.blend, 1);
}

TEST_F(Meshes, CreateCopiesTheTemplateAndIndicesAreStable) {
    Mesh a = squareTemplate(1, 1, 1, 1, 1), b = squareTemplate(5, 1, 1, 1, 1);
    a.interleaved = &a;  // stale renderer fields must not survive
    a.bufferMode = BUFFER_VBO;
    a.vertexBuffer = 7;
    for (int32_t i = 0; i < 3; i++) EXPECT_EQ(meshCreate(-1, &a), i);
    Mesh* m = meshGet(0);
    EXPECT_EQ(std::memcmp(m->normals, a.normals, 48), 0);
    EXPECT_EQ(std::memcmp(m->indices, a.indices, 24), 0);
    EXPECT_EQ(m->interleaved, nullptr);
    EXPECT_EQ(m->bufferMode, BUFFER_NONE);
    EXPECT_EQ(m->vertexBuffer, 0u);
    a.positions[0] = 42.0f;  // the template stays the caller's
    EXPECT_EQ(m->positions[0], -1.0f);

    float* before = meshGet(2)->positions;
    EXPECT_EQ(meshDestroy(1), -1);
    EXPECT_EQ(meshGet(1), nullptr);
    EXPECT_EQ(meshGet(2)->positions, before);  // other entries untouched
    EXPECT_EQ(meshCreate(2, &b), 2);           // replaced in place
    EXPECT_FLOAT_EQ(meshGet(2)->positions[0], -5.0f);
    EXPECT_EQ(meshCreate(-1, &b), 1);  // the freed slot is reused first
    for (int32_t i : {-1, 1, 1}) EXPECT_EQ(meshDestroy(i), -1);  // none, then a released slot
    EXPECT_EQ(meshesInUse(), 2);
    meshFreeBuffers(&a);
    meshFreeBuffers(&b);
}

TEST_F(Meshes, BadCountsAreClampedAndMissingArraysReadAsZeros) {
    Mesh t;
    std::memset(&t, 0, sizeof t);
    materialInit(&t.material);
    t.vertexCount = -4;
    t.indexCount = -3;
    t.texCoordSets = 200;
    t.hasPositions = 1;
    int32_t i = meshCreate(-1, &t);
    Mesh* m = meshGet(i);
    EXPECT_EQ(m->vertexCount, 0);
    EXPECT_EQ(m->indexCount, 0);
    EXPECT_EQ(m->texCoordSets, MESH_TEXCOORD_SETS);
    EXPECT_FALSE(meshHasPoints(m));
    BoxCorners c;
    Vec3 centre;
    float radius = -1;
    meshBounds(m, &c, &centre, &radius);  // the point-sized box, not the inverted search box
    EXPECT_NEAR(c.p[0].x, APPROX_EPSILON, 1e-7);
    EXPECT_NEAR(c.p[6].z, -APPROX_EPSILON, 1e-7);

    t.vertexCount = t.indexCount = 3;  // flagged positions but no array given
    t.texCoordSets = 0;
    m = meshGet(meshCreate(i, &t));
    for (int k = 0; k < 9; k++) EXPECT_EQ(m->positions[k], 0.0f);
    EXPECT_EQ(meshCreate(1 << 30, &t), -1);
}

TEST_F(Objects, DestroyReplacementAndCollectionTakeTheirMeshes) {
    int32_t o = squareObject();
    addSquareTo(o);
    EXPECT_EQ(meshesInUse(), 2);
    for (int32_t i : {o, o, -1}) EXPECT_EQ(objectDestroy(i), -1);  // the object, then a released one and none
    EXPECT_EQ(objectGet(o), nullptr);
    EXPECT_EQ(meshesInUse(), 0);
    objectAddMesh(o, 3);  // onto a released object or none: nothing
    objectAddMesh(-1, 3);

    int32_t a = squareObject();
    int32_t b = squareObject();
    EXPECT_EQ(objectCreate(a), a);  // replacing destroys the old meshes
    EXPECT_EQ(meshesInUse(), 1);

    // A scene update collects the objects no node holds, with their meshes.
    int32_t node = nodeCreate(-1, NODE_OBJECT, b);
    int32_t loose = squareObject();
    sceneUpdate(node, "");
    EXPECT_EQ(objectGet(loose), nullptr);
    EXPECT_EQ(objectGet(a), nullptr);  // emptied by the replacement, held by nobody
    EXPECT_NE(objectGet(b), nullptr);
    EXPECT_EQ(meshesInUse(), 1);
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
    ASSERT_NE(n, nullptr);
    Object* o = objectGet(n->attachment);
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(slotUnits(&o->meshes, 0), 1);
    Mesh* m = meshGet(*slotGet<int32_t>(&o->meshes, 0));
    EXPECT_EQ(m->vertexCount, 24);
    EXPECT_EQ(m->indexCount, 36);
    auto dotNormal = [m](const Vec3& v, int32_t vertex) {
        const float* nrm = m->normals + 3 * vertex;
        return v.x * nrm[0] + v.y * nrm[1] + v.z * nrm[2];
    };
    auto position = [m](int32_t v) { return Vec3{m->positions[3 * v], m->positions[3 * v + 1], m->positions[3 * v + 2]}; };
    for (int v = 0; v < 24; v++) {
        Vec3 p = position(v);
        for (float a : {p.x, p.y, p.z}) EXPECT_EQ(std::fabs(a), 1.0f);
        EXPECT_FLOAT_EQ(dotNormal(p, v), 1.0f);  // on the face its normal names
    }
    for (int t = 0; t < 12; t++) {  // counter-clockwise seen from outside
        const int32_t* idx = m->indices + 3 * t;
        Vec3 normal;
        plane_normal(&normal, position(idx[0]), position(idx[1]), position(idx[2]));
        EXPECT_FLOAT_EQ(dotNormal(normal, idx[0]), 1.0f) << t;
    }
    EXPECT_NEAR(n->corners.p[0].x, 1.0f, 1e-6);  // the scene update already ran
    EXPECT_NEAR(n->radius, std::sqrt(3.0f), 1e-5);

    m = meshGet(*slotGet<int32_t>(&objectGet(nodeGet(boxObjectCreate(4, 2, 0.5f))->attachment)->meshes, 0));
    EXPECT_EQ(std::vector<float>(m->positions, m->positions + 3), (std::vector<float>{2.0f, 1.0f, 0.25f}));
}

TEST_F(ObjectModelTest, ShutdownGivesBackWhatIsStillHeld) {
    objectModelShutdown();
    const int64_t blocks = memLiveBlocks(), bytes = memLiveBytes();
    objectModelInit();
    int32_t root = boxObjectCreate(1, 1, 1);
    nodeSetParent(root, nodeCreate(-1, NODE_EMPTY, -1));
    squareObject();
    sceneAddCopy(sceneCreate(-1), -1, root);
    EXPECT_GT(memLiveBlocks(), blocks);
    objectModelShutdown();
    EXPECT_EQ(memLiveBlocks(), blocks);
    EXPECT_EQ(memLiveBytes(), bytes);
    objectModelInit();  // for TearDown
}
