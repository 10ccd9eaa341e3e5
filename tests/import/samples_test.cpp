#include <filesystem>

#include "import_fixture.h"

TEST_F(ImportTest, SampleDocumentsImportWithTheirTriangles) {
    std::string samples = sharedDirectory();
    if (samples.empty()) GTEST_SKIP() << "no shared samples beside the checkout";
    samples += "samples/collada13/";
    for (const char* name : {"cart-collada131-baked-matrix.dae", "humanoid-collada131-baked-matrix.dae"}) {
        stringTableClear(messages);
        root = importScene(root, name, samples.c_str(), textures.c_str(), messages);
        ASSERT_GE(root, 0) << name;
        int64_t triangles = 0, meshes = 0;
        for (int32_t i = 0; i < meshTable.capacity; i++) {
            Mesh* m = meshGet(i);
            if (!m) continue;
            meshes++;
            triangles += m->indexCount / 3;
        }
        std::printf("%s: %lld meshes, %lld triangles\n", name, (long long)meshes, (long long)triangles);
        for (auto& t : messageTexts()) std::printf("  %s\n", t.c_str());
    }
}
