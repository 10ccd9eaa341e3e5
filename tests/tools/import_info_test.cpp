// vcvtool import-info on the bundled sample and the shared sample documents.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace {
std::string importInfo(const std::string& path, int* code) { return runVcvtool("import-info '" + path + "'", code); }
}  // namespace

TEST(ImportInfo, TheBundledSampleHasATexturedFrameWithHolesAndAPyramid) {
    int code = -1;
    std::string out = importInfo(sourceDirectory() + "assets/sample/sample.dae", &code);
    ASSERT_EQ(code, 0) << out;
    EXPECT_TRUE(has(out, "message [WARNING] 2 root node found instead of 1.\n")) << out;
    EXPECT_TRUE(has(out, "depth 0 kind EMPTY name \"VORTEN_AUTO_ROOT_NODE\"")) << out;
    EXPECT_TRUE(has(out, "depth 1 kind OBJECT name \"frame\"")) << out;
    // Two faces with a square hole (8 triangles each) and eight side quads.
    EXPECT_TRUE(has(out, "vertices 96 triangles 32 mode TEXTURED texture \"texture_import.stf\" id 0")) << out;
    EXPECT_TRUE(has(out, "vertices 18 triangles 6 mode LIT")) << out;
    EXPECT_TRUE(has(out, "totals nodes 3 objects 2 meshes 2 vertices 114 triangles 38")) << out;
}

TEST(ImportInfo, SharedSamplesGiveTheTrianglesOfTheirPolygons) {
    std::string shared = sharedDirectory();
    if (shared.empty()) GTEST_SKIP() << "no shared samples beside the checkout";
    int code = -1;
    // The cart: 48 triangles and 388 quads in three geometries under three top-level nodes.
    std::string cart = importInfo(shared + "samples/collada13/cart-collada131-baked-matrix.dae", &code);
    ASSERT_EQ(code, 0) << cart;
    EXPECT_TRUE(has(cart, "message [WARNING] 3 root node found instead of 1.")) << cart;
    EXPECT_TRUE(has(cart, "totals nodes 4 objects 3 meshes 3 vertices 2472 triangles 824")) << cart;
    // The humanoid: 100 triangles and 2601 quads; two geometries shared by several nodes. Its root
    // node has a matrix, so a plain root above it takes the viewer's fitting.
    std::string humanoid = importInfo(shared + "samples/collada13/humanoid-collada131-baked-matrix.dae", &code);
    ASSERT_EQ(code, 0) << humanoid;
    EXPECT_TRUE(has(humanoid, "totals nodes 21 objects 5 meshes 5 vertices 15906 triangles 5302")) << humanoid;
    EXPECT_TRUE(has(humanoid, "references 9")) << humanoid;
    EXPECT_TRUE(has(humanoid, "references 6")) << humanoid;
}

TEST(ImportInfo, ADeepTreeIsListedToItsLastNodeADocumentWithoutAModelFails) {
    TempDir dir;
    const int depth = 3000;  // well past any limit a walk on the machine stack would need
    std::string scene;
    for (int i = 0; i < depth; i++) scene += "<node id=\"n" + std::to_string(i) + "\">";
    for (int i = 0; i < depth; i++) scene += "</node>";
    writeText(dir.file("deep.dae"), "<COLLADA version=\"1.3.1\"><scene>" + scene + "</scene></COLLADA>");
    int code = -1;
    std::string out = importInfo(dir.file("deep.dae"), &code);
    ASSERT_EQ(code, 0) << out.substr(0, 500);
    EXPECT_TRUE(has(out, "depth 2999 kind EMPTY name \"n2999\"")) << out.substr(out.size() - 500);
    EXPECT_TRUE(has(out, "totals nodes 3000 objects 0")) << out.substr(out.size() - 500);

    // The importer's own message says why (its texts: ImportTest); libxml2's I/O error is not added.
    writeText(dir.file("broken.dae"), "<COLLADA><library");
    out = importInfo(dir.file("broken.dae"), &code);
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(has(out, "message [ERROR] " + dir.file("broken.dae") + " is not well-formed XML: ")) << out;
    EXPECT_FALSE(has(out, "I/O error")) << out;
    importInfo(dir.path(), &code);  // a folder
    EXPECT_EQ(code, 1);
}

TEST(ImportInfo, WorkFoldersLeftByCrashedRunsAreRemoved) {
    TempDir temp;
    // A process id above the largest the system gives names a run that is gone; our own is alive.
    std::string gone = temp.path() + "vcvtool_2147483000/texture_import/";
    std::string alive = temp.path() + "vcvtool_" + std::to_string(getpid()) + "/";
    std::filesystem::create_directories(gone);
    std::filesystem::create_directories(alive);
    writeText(gone + "left.jpg", "x");
    int code = -1;
    std::string out = runCommand("TMPDIR='" + temp.path() + "' '" + builtProgram("tools/vcvtool") +
                                     "' import-info '" + sourceDirectory() + "assets/sample/sample.dae' 2>&1",
                                 &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_FALSE(std::filesystem::exists(temp.path() + "vcvtool_2147483000"));
    EXPECT_TRUE(std::filesystem::exists(alive));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.path()), {}), 1);  // its own is gone too
}
