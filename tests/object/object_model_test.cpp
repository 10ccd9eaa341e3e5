// Meshes, objects, materials and the box primitive, without a GL context: the meshes here are
// never drawn and the materials name no texture, so nothing reaches the renderer or the texture
// manager.
#include "object_fixture.h"

using Meshes = ObjectModelTest;
using Objects = ObjectModelTest;
using BoxPrimitive = ObjectModelTest;

TEST(Material, DefaultsAndTransparencyThreshold) {
    Material m;
    std::memset(&m, 0x5a, sizeof m);
    materialInit(&m);
    EXPECT_EQ(m.mode, MATERIAL_LIT);
    EXPECT_FLOAT_EQ(m.ambient[0], 0.2f);
    EXPECT_FLOAT_EQ(m.diffuse[2], 0.8f);
    EXPECT_FLOAT_EQ(m.specular[3], 1.0f);
    EXPECT_FLOAT_EQ(m.emission[0], 0.0f);
    EXPECT_EQ(m.textureName[0], '\0');
    EXPECT_EQ(m.textureSet, -1);
    for (int32_t id : m.textureIds) EXPECT_EQ(id, -1);
    EXPECT_FALSE(materialIsTransparent(&m));
    m.diffuse[3] = 0.999f;
    EXPECT_TRUE(materialIsTransparent(&m));
    m.diffuse[3] = 1.5f;
    EXPECT_FALSE(materialIsTransparent(&m));
}

TEST(Material, TexturedWithoutSetOrTexturesFallsBackToUnlit) {
    Mesh mesh;
    std::memset(&mesh, 0, sizeof mesh);
    materialInit(&mesh.material);
    mesh.material.mode = MATERIAL_LIT;
    materialCheckTextures(&mesh);  // only textured materials are checked
    EXPECT_EQ(mesh.material.mode, MATERIAL_LIT);
    mesh.material.mode = MATERIAL_TEXTURED;
    mesh.texCoordSets = 1;
    materialCheckTextures(&mesh);
    EXPECT_EQ(mesh.material.mode, MATERIAL_UNLIT);
    // blend is only ever raised, and only for textured materials with a loaded set.
    mesh.material.blend = 1;
    materialUpdateBlend(&mesh.material);
    EXPECT_EQ(mesh.material.blend, 1);
    materialReleaseTextures(&mesh.material);
    EXPECT_EQ(mesh.material.textureSet, -1);
}

TEST_F(Meshes, CreateCopiesTheTemplateIntoArraysOfItsOwn) {
    Mesh t = triangleTemplate();
    t.interleaved = &t;  // stale renderer fields in a template must not survive
    t.bufferMode = BUFFER_VBO;
    t.vertexBuffer = 7;
    int32_t i = meshCreate(-1, &t);
    ASSERT_EQ(i, 0);
    Mesh* m = meshGet(i);
    EXPECT_NE(m->positions, t.positions);
    EXPECT_EQ(std::memcmp(m->positions, t.positions, 36), 0);
    EXPECT_EQ(std::memcmp(m->normals, t.normals, 36), 0);
    EXPECT_EQ(std::memcmp(m->indices, t.indices, 12), 0);
    EXPECT_EQ(m->interleaved, nullptr);
    EXPECT_EQ(m->bufferMode, BUFFER_NONE);
    EXPECT_EQ(m->vertexBuffer, 0u);
    EXPECT_EQ(m->pass, PASS_OPAQUE);
    EXPECT_EQ(m->colours, nullptr);
    EXPECT_EQ(m->texCoords[0], nullptr);
    t.positions[0] = 42.0f;  // the template stays the caller's
    EXPECT_EQ(m->positions[0], 0.0f);
    meshFreeBuffers(&t);
    EXPECT_EQ(t.positions, nullptr);
    EXPECT_EQ(t.indices, nullptr);
}

TEST_F(Meshes, IndicesAreStableAndAUsedIndexIsReplaced) {
    Mesh a = triangleTemplate(1.0f, 0.0f);
    Mesh b = triangleTemplate(1.0f, 5.0f);
    int32_t m0 = meshCreate(-1, &a);
    int32_t m1 = meshCreate(-1, &a);
    int32_t m2 = meshCreate(-1, &a);
    EXPECT_EQ(m0, 0);
    EXPECT_EQ(m1, 1);
    EXPECT_EQ(m2, 2);
    float* before = meshGet(m2)->positions;
    EXPECT_EQ(meshDestroy(m1), -1);
    EXPECT_EQ(meshGet(m1), nullptr);
    EXPECT_EQ(meshGet(m2)->positions, before);  // other entries untouched
    EXPECT_EQ(meshCreate(m2, &b), m2);          // replaced in place
    EXPECT_FLOAT_EQ(meshGet(m2)->positions[0], 5.0f);
    EXPECT_EQ(meshCreate(-1, &b), m1);  // the freed slot is reused first
    EXPECT_EQ(meshesInUse(), 3);
    EXPECT_EQ(meshDestroy(-1), -1);
    EXPECT_EQ(meshDestroy(m1), -1);
    EXPECT_EQ(meshDestroy(m1), -1);  // a released slot is a no-op
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

    t.vertexCount = 3;
    t.indexCount = 3;
    t.texCoordSets = 0;  // flagged positions but no array given
    i = meshCreate(i, &t);
    m = meshGet(i);
    for (int k = 0; k < 9; k++) EXPECT_EQ(m->positions[k], 0.0f);
    EXPECT_EQ(meshCreate(1 << 30, &t), -1);
}

TEST_F(Objects, DestroyTakesItsMeshesAndAcceptsNone) {
    int32_t o = triangleObject();
    Mesh t = triangleTemplate();
    objectAddMesh(o, meshCreate(-1, &t));
    meshFreeBuffers(&t);
    Object* obj = objectGet(o);
    EXPECT_EQ(obj->refCount, 0);
    EXPECT_EQ(obj->passes, PASS_OPAQUE);
    EXPECT_EQ(obj->texturesLoaded, 0);
    EXPECT_EQ(meshesInUse(), 2);
    EXPECT_EQ(objectDestroy(o), -1);
    EXPECT_EQ(objectGet(o), nullptr);
    EXPECT_EQ(meshesInUse(), 0);
    EXPECT_EQ(objectDestroy(o), -1);
    EXPECT_EQ(objectDestroy(-1), -1);
    objectAddMesh(o, 3);  // onto a released object: nothing
    objectAddMesh(-1, 3);

    int32_t a = triangleObject();
    int32_t b = triangleObject();
    EXPECT_EQ(objectCreate(a), a);  // replacing destroys the old meshes
    EXPECT_EQ(meshesInUse(), 1);
    EXPECT_EQ(objectGet(b)->refCount, 0);
}

TEST_F(Objects, UnheldObjectsAreCollectedWithTheirMeshes) {
    int32_t loose = triangleObject();
    int32_t held = triangleObject();
    int32_t node = nodeCreate(-1, NODE_OBJECT, held);
    EXPECT_EQ(objectGet(held)->refCount, 1);
    sceneUpdate(node, "");
    EXPECT_EQ(objectGet(loose), nullptr);
    EXPECT_NE(objectGet(held), nullptr);
    EXPECT_EQ(meshesInUse(), 1);
}

TEST_F(Objects, BoundsSetPassesFromDiffuseAlpha) {
    int32_t o = objectCreate(-1);
    Mesh opaque = triangleTemplate(1.0f, 0.0f);
    Mesh clear = triangleTemplate(0.999f, 4.0f);
    int32_t m0 = meshCreate(-1, &opaque);
    int32_t m1 = meshCreate(-1, &clear);
    objectAddMesh(o, m0);
    objectAddMesh(o, m1);
    meshFreeBuffers(&opaque);
    meshFreeBuffers(&clear);
    BoxCorners c;
    Vec3 centre;
    float radius;
    objectBounds(o, &c, &centre, &radius);
    EXPECT_EQ(objectGet(o)->passes, PASS_OPAQUE | PASS_TRANSPARENT);
    EXPECT_EQ(meshGet(m0)->pass, PASS_OPAQUE);
    EXPECT_EQ(meshGet(m1)->pass, PASS_TRANSPARENT);
    EXPECT_FLOAT_EQ(c.p[0].x, 5.0f);  // union of both triangles
    EXPECT_FLOAT_EQ(c.p[6].x, 0.0f);
    // Back to opaque: the mask is recomputed, not accumulated.
    meshGet(m1)->material.diffuse[3] = 1.0f;
    objectBounds(o, &c, &centre, &radius);
    EXPECT_EQ(objectGet(o)->passes, PASS_OPAQUE);
    EXPECT_EQ(meshGet(m1)->pass, PASS_OPAQUE);

    int32_t empty = objectCreate(-1);
    objectBounds(empty, &c, &centre, &radius);
    EXPECT_NEAR(c.p[0].x, APPROX_EPSILON, 1e-7);
}

TEST_F(BoxPrimitive, TwentyFourVerticesFacesAtUnitDistance) {
    int32_t node = boxObjectCreate(2, 2, 2);
    Node* n = nodeGet(node);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->kind, NODE_OBJECT);
    Object* o = objectGet(n->attachment);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->refCount, 1);
    ASSERT_EQ(slotUnits(&o->meshes, 0), 1);
    EXPECT_EQ(slotUnits(&o->meshes, 1), 0);
    Mesh* m = meshGet(*slotGet<int32_t>(&o->meshes, 0));
    EXPECT_EQ(m->vertexCount, 24);
    EXPECT_EQ(m->indexCount, 36);
    EXPECT_EQ(m->texCoordSets, 0);
    EXPECT_EQ(m->hasColours, 0);
    EXPECT_EQ(m->material.mode, MATERIAL_LIT);
    for (int v = 0; v < 24; v++) {
        const float* p = m->positions + 3 * v;
        const float* nrm = m->normals + 3 * v;
        for (int a = 0; a < 3; a++) EXPECT_EQ(std::fabs(p[a]), 1.0f);
        // Each vertex lies on the face its normal names.
        EXPECT_FLOAT_EQ(p[0] * nrm[0] + p[1] * nrm[1] + p[2] * nrm[2], 1.0f);
    }
    // Triangles wind counter-clockwise seen from outside.
    for (int t = 0; t < 12; t++) {
        const int32_t* idx = m->indices + 3 * t;
        Vec3 p[3], normal;
        for (int k = 0; k < 3; k++) vec3_set(&p[k], m->positions[3 * idx[k]], m->positions[3 * idx[k] + 1], m->positions[3 * idx[k] + 2]);
        plane_normal(&normal, p[0], p[1], p[2]);
        const float* nrm = m->normals + 3 * idx[0];
        EXPECT_FLOAT_EQ(normal.x * nrm[0] + normal.y * nrm[1] + normal.z * nrm[2], 1.0f) << t;
    }
    // The scene update already ran: bounds are in the node.
    EXPECT_NEAR(n->corners.p[0].x, 1.0f, 1e-6);
    EXPECT_NEAR(n->corners.p[6].z, -1.0f, 1e-6);
    EXPECT_NEAR(n->radius, std::sqrt(3.0f), 1e-5);

    int32_t flat = boxObjectCreate(4, 2, 0.5f);
    m = meshGet(*slotGet<int32_t>(&objectGet(nodeGet(flat)->attachment)->meshes, 0));
    EXPECT_FLOAT_EQ(m->positions[0], 2.0f);
    EXPECT_FLOAT_EQ(m->positions[1], 1.0f);
    EXPECT_FLOAT_EQ(m->positions[2], 0.25f);
}

TEST_F(ObjectModelTest, ShutdownGivesBackWhatIsStillHeld) {
    // Left for shut-down on purpose; the leak checker of the sanitizer build fails the test if
    // anything of it stays allocated.
    int32_t root = boxObjectCreate(1, 1, 1);
    nodeSetParent(root, nodeCreate(-1, NODE_EMPTY, -1));
    triangleObject();
    int32_t scene = sceneCreate(-1);
    sceneAddCopy(scene, -1, root);
    SUCCEED();
}
