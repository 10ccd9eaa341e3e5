// Documents whose node trees are far deeper or wider than any model: imported, copied into the
// scene and drawn, with every node in place and the lights still those of the scene.
#include <string>

#include "gl_scene_fixture.h"
#include "import/scene_import.h"
#include "support/test_support.h"

using Trees = GlSceneTest;

namespace {
// A blue square of side 2 facing +Z (no normals: drawn unlit in its diffuse colour).
const char* const kSquareLibraries =
    "<library type=\"MATERIAL\"><material id=\"m\"><shader><technique profile=\"COMMON\"><pass>"
    "<program url=\"PHONG\"><param name=\"DIFFUSE\" type=\"float3\">0.2 0.4 0.6</param></program>"
    "</pass></technique></shader></material></library>"
    "<library type=\"GEOMETRY\"><geometry id=\"g\"><mesh><source id=\"p\"><float_array id=\"pa\" count=\"12\">"
    "-1 -1 0 1 -1 0 1 1 0 -1 1 0</float_array><technique profile=\"COMMON\"><accessor source=\"#pa\" "
    "count=\"4\" stride=\"3\"/></technique></source><vertices id=\"v\"><input semantic=\"POSITION\" "
    "source=\"#p\"/></vertices><polygons material=\"#m\" count=\"1\"><input semantic=\"VERTEX\" "
    "source=\"#v\" idx=\"0\"/><p>0 1 2 3</p></polygons></mesh></geometry></library>";

std::string collada(const std::string& scene) {
    return std::string("<?xml version=\"1.0\"?><COLLADA version=\"1.3.1\">") + kSquareLibraries +
           "<scene id=\"s\">" + scene + "</scene></COLLADA>";
}

// n nodes one unit apart along X, each inside the one before (nested) or all but the first under
// the first; the last holds the square.
std::string nodes(int n, bool nested) {
    std::string s = nested ? "" : "<node id=\"n0\">";
    s.reserve((size_t)n * 48);
    for (int i = 1; i <= n; i++) {
        s += "<node id=\"n" + std::to_string(i) + "\"><translate>1 0 0</translate>";
        if (i == n) s += "<instance url=\"#g\"/>";
        if (!nested) s += "</node>";
    }
    for (int i = 0; i < (nested ? n : 1); i++) s += "</node>";
    return collada(s);
}
}  // namespace

TEST_F(Trees, AHundredThousandNestedAndManySiblingNodesImportAndDraw) {
    makeStage();
    TempDir dir;
    std::string textures = dir.path() + "texture_import/";
    struct Case {
        const char* name;
        std::string text;
        int32_t nodes;
        float deepestX;  // the square's X before the top copy is moved
    };
    // The sibling count stays small enough for a sanitizer build; the benchmark generator makes
    // the full-size documents for timing.
    const int32_t deep = 100000, wide = 20000;
    Case cases[] = {{"nested.dae", nodes(deep, true), deep, (float)deep - 1.0f},
                    {"siblings.dae", nodes(wide - 1, false), wide, 1.0f}};
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeText(dir.file(c.name), c.text);
        int32_t root = importScene(-1, c.name, dir.path().c_str(), textures.c_str(), -1);
        ASSERT_GE(root, 0);
        sceneUpdate(root, textures.c_str());
        int32_t copy = sceneAddCopy(scene, -1, root);
        EXPECT_EQ(slotsInUse(sceneGet(scene)->copies), c.nodes + 1);  // and the camera
        // The top copy moved so that the square, however deep, lands on the origin in view.
        sceneSetPosition(scene, copy, -c.deepestX, 0, 0);
        for (int frame = 0; frame < 5; frame++) drawFrame();
        expectPixel(pixel(400, 300), 51, 102, 153);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        sceneRemoveCopy(scene, copy);
        EXPECT_EQ(slotsInUse(sceneGet(scene)->copies), 1);
        nodeDestroy(root);
        EXPECT_EQ(slotsInUse(nodeTable), 1);  // the stage's camera
    }
}

TEST_F(Trees, EveryNodesDrawSetsTheScenesLightsInSlotOrder) {
    makeStage();
    // Lights before and after many nodes: gathered once for the frame, still numbered by slot and
    // still given in eye space, however far the node drawn last is from them.
    const float red[4] = {1, 0, 0, 1}, green[4] = {0, 1, 0, 1};
    int32_t first = addLight(scene, 0, 10, 0, red);
    int32_t wide = emptyCreate(-1);
    for (int i = 0; i < 1000; i++) nodeSetParent(wide, emptyCreate(-1));
    sceneAddCopy(scene, -1, wide);
    int32_t second = addLight(scene, 3, 0, 4, green);
    ASSERT_LT(first, second);
    sceneRotate(scene, cameraCopy, 90.0f, 0, 0, 1);  // the camera's look-at is replaced: eye at origin
    sceneSetPosition(scene, cameraCopy, 0, 0, 5);
    drawFrame();
    float p[4];
    glGetLightfv(GL_LIGHT0, GL_POSITION, p);  // world (0, 10, 0) seen by a camera turned 90 about Z
    EXPECT_NEAR(p[0], 10.0f, 1e-4);
    EXPECT_NEAR(p[1], 0.0f, 1e-4);
    EXPECT_EQ(p[3], 0.0f);
    glGetLightfv(GL_LIGHT1, GL_POSITION, p);
    EXPECT_NEAR(p[0], 0.0f, 1e-4);
    EXPECT_NEAR(p[1], -3.0f, 1e-4);
    EXPECT_NEAR(p[2], 4.0f, 1e-4);
    EXPECT_FALSE(glIsEnabled(GL_LIGHT2));
}
