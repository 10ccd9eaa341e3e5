// The object model against the real renderer and texture manager.
#include "render/gl_scene_fixture.h"
#include "strings/string_table.h"
#include "support/test_support.h"
#include "texture/test_images.h"
#include "texture/texture_cache.h"
#include "texture/texture_manager.h"
#include "texture/texture_pack.h"

using ObjectGl = GlSceneTest;

namespace {
// An object holding a textured, lit square whose one texture-coordinate set names texture id in the pack.
int32_t texturedObject(const char* pack, int32_t id) {
    Mesh m = squareTemplate(1, 1, 1, 1, 1, MATERIAL_TEXTURED, 1);
    std::snprintf(m.material.textureName, sizeof m.material.textureName, "%s", pack);
    m.material.textureIds[0] = id;
    int32_t object = objectCreate(-1);
    objectAddMesh(object, meshCreate(-1, &m));
    meshFreeBuffers(&m);
    return object;
}

Mesh* firstMesh(int32_t object) { return meshGet(*slotGet<int32_t>(&objectGet(object)->meshes, 0)); }
}  // namespace

TEST_F(ObjectGl, TexturePassLoadsSharedSetsAndDowngradesWhatCannotBeDrawn) {
    stringsInit();  // the cache lists its directory into a string table
    texture_init();
    TempDir dir;
    ASSERT_TRUE(makeFlatJpeg(dir.file("red.jpg"), 8, 8, TestRgb{255, 0, 0}));
    ASSERT_TRUE(makeFlatJpeg(dir.file("mask.jpg"), 8, 8, TestRgb{255, 255, 255}));
    ASSERT_TRUE(makeFlatJpeg(dir.file("green.jpg"), 8, 8, TestRgb{0, 255, 0}));
    ASSERT_EQ(texture_cache_add("red.jpg", dir.path().c_str(), -1, 0, 1), 0);
    ASSERT_EQ(texture_cache_add("mask.jpg", dir.path().c_str(), 0, 1, 1), 1);
    ASSERT_EQ(texture_cache_add("green.jpg", dir.path().c_str(), -1, 0, 1), 2);
    ASSERT_EQ(texture_pack_build(dir.path().c_str()), 0);
    char pack[PATH_CAPACITY];
    texture_pack_name(pack, dir.path().c_str());

    // Masked, plain, an id past the set's count, a pack that is missing.
    int32_t objects[4] = {texturedObject(pack, 0), texturedObject(pack, 2), texturedObject(pack, 3),
                          texturedObject("missing.stf", 0)};
    int32_t root = emptyCreate(-1);
    for (int32_t o : objects) nodeSetParent(root, nodeCreate(-1, NODE_OBJECT, o));
    // The plain object hangs under a second node too: it is still loaded once.
    nodeSetParent(root, nodeCreate(-1, NODE_OBJECT, objects[1]));
    sceneUpdate(root, dir.path().c_str());

    const Material& a = firstMesh(objects[0])->material;
    const Material& b = firstMesh(objects[1])->material;
    EXPECT_EQ(a.textureSet, b.textureSet);  // one set shared by name
    ASSERT_NE(texture_set_get(a.textureSet), nullptr);
    EXPECT_EQ(texture_set_get(a.textureSet)->references, 3);  // three meshes name the pack
    EXPECT_EQ(a.mode, MATERIAL_TEXTURED);
    EXPECT_EQ(a.blend, 1);  // its colour texture carries the mask
    EXPECT_EQ(b.blend, 0);
    EXPECT_EQ(firstMesh(objects[2])->material.mode, MATERIAL_UNLIT);
    EXPECT_EQ(firstMesh(objects[3])->material.mode, MATERIAL_UNLIT);

    // Drawn lit from the front: the texture's colour.
    makeStage();
    addLight(scene, 0, 0, 10);
    int32_t stageNode = nodeCreate(-1, NODE_OBJECT, objects[1]);
    int32_t stageCopy = sceneAddCopy(scene, -1, stageNode);
    glBindTexture(GL_TEXTURE_2D, 0);  // the upload left the green texture bound: the draw must bind it
    drawFrame();
    expectPixel(pixel(400, 300), 0, 255, 0, 3);

    // Destroying the tree releases the references of the meshes it held alone; the set goes with
    // the last mesh, whose object the stage's node still held.
    int32_t set = a.textureSet;
    nodeDestroy(root);
    ASSERT_NE(texture_set_get(set), nullptr);
    EXPECT_EQ(texture_set_get(set)->references, 1);
    sceneRemoveCopy(scene, stageCopy);
    nodeDestroy(stageNode);
    EXPECT_EQ(texture_set_get(set), nullptr);
    for (int32_t i = 0; i < objectTable.capacity; i++) objectDestroy(i);  // releases the sets
    texture_shutdown();
    stringsShutdown();
}
