#include <cmath>

#include "import_fixture.h"

namespace {
const char* kQuadPositions = "0 0 0  1 0 0  1 1 0  0 1 0";

float triangleArea(const float* p, int32_t a, int32_t b, int32_t c) {
    float ux = p[3 * b] - p[3 * a], uy = p[3 * b + 1] - p[3 * a + 1];
    float vx = p[3 * c] - p[3 * a], vy = p[3 * c + 1] - p[3 * a + 1];
    return 0.5f * (ux * vy - uy * vx);
}

std::string vertexInput(int idx = 0) {
    return "<input semantic=\"VERTEX\" source=\"#g-vtx\" idx=\"" + std::to_string(idx) + "\"/>";
}
std::string instanceOf(const std::string& geometryId) {
    return "<node id=\"n\"><instance url=\"#" + geometryId + "\"/></node>";
}

// The ring: an outer square of side 4 and a hole of side 2 in the middle.
const char* kRingPositions = "0 0 0 4 0 0 4 4 0 0 4 0  1 1 0 1 3 0 3 3 0 3 1 0";

void expectRing(const Mesh* m) {
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->indexCount, 24);  // a square ring cuts into eight triangles
    float area = 0;
    for (int32_t t = 0; t < m->indexCount / 3; t++) {
        float a = triangleArea(m->positions, 3 * t, 3 * t + 1, 3 * t + 2);
        EXPECT_GT(std::fabs(a), 0.0f);
        area += std::fabs(a);
        float cx = (m->positions[9 * t] + m->positions[9 * t + 3] + m->positions[9 * t + 6]) / 3;
        float cy = (m->positions[9 * t + 1] + m->positions[9 * t + 4] + m->positions[9 * t + 7]) / 3;
        EXPECT_FALSE(cx > 1 && cx < 3 && cy > 1 && cy < 3) << "a triangle covers the hole";
    }
    EXPECT_NEAR(area, 16.0f - 4.0f, 1e-4f);
}
}  // namespace

TEST_F(ImportTest, AQuadGivesTwoTrianglesWithIndicesZeroToFive) {
    ASSERT_GE(import(document("<library type=\"GEOMETRY\">" +
                                  geometry("g", kQuadPositions, 12, vertexInput(), "<p>0 1 2 3</p>") + "</library>",
                              instanceOf("g"))),
              0);
    auto meshes = meshesOf(root);
    ASSERT_EQ(meshes.size(), 1u);
    const Mesh* m = meshes[0];
    EXPECT_EQ(m->vertexCount, 6);
    ASSERT_EQ(m->indexCount, 6);
    for (int i = 0; i < 6; i++) EXPECT_EQ(m->indices[i], i);
    float area = triangleArea(m->positions, 0, 1, 2) + triangleArea(m->positions, 3, 4, 5);
    EXPECT_NEAR(area, 1.0f, 1e-5f);  // both keep the quad's counter-clockwise winding
    EXPECT_EQ(m->material.mode, MATERIAL_UNLIT);  // positions without normals
}

TEST_F(ImportTest, HolesBySeparatorOrByContentGiveTheSameRing) {
    import(document("<library type=\"GEOMETRY\">" +
                        geometry("g", kRingPositions, 24, vertexInput(), "<p>0 1 2 3<h/>4 5 6 7</p>") + "</library>",
                    instanceOf("g")));
    expectRing(meshesOf(root).at(0));
    import(document("<library type=\"GEOMETRY\">" +
                        geometry("g", kRingPositions, 24, vertexInput(), "<p>0 1 2 3<h>4 5 6 7</h></p>") + "</library>",
                    instanceOf("g")));
    expectRing(meshesOf(root).at(0));
}

TEST_F(ImportTest, InputsWithOffsetsReadGroupsAndCarryNormalsColoursAndCommas) {
    std::string extra =
        "<source id=\"g-nrm\"><float_array count=\"6\">0 0 1  0 0 -1</float_array>"
        "<technique profile=\"COMMON\"><accessor stride=\"3\"/></technique></source>"
        "<source id=\"g-col\"><float_array count=\"3\">1,0 0,5 0</float_array>"
        "<technique profile=\"COMMON\"><accessor stride=\"3\"/></technique></source>";
    std::string inputs = vertexInput(0) + "<input semantic=\"NORMAL\" source=\"#g-nrm\" idx=\"1\"/>"
                         "<input semantic=\"COLOR\" source=\"#g-col\" idx=\"2\"/>";
    ASSERT_GE(import(document("<library type=\"GEOMETRY\">" +
                                  geometry("g", "0 0 0 1 0 0 1 1 0", 9, inputs, "<p>0 1 0  1 1 0  2 1 0</p>", extra) +
                                  "</library>",
                              instanceOf("g"))),
              0);
    const Mesh* m = meshesOf(root).at(0);
    ASSERT_EQ(m->vertexCount, 3);
    EXPECT_EQ(m->material.mode, MATERIAL_LIT);
    for (int v = 0; v < 3; v++) {
        EXPECT_EQ(m->normals[3 * v + 2], -1.0f);
        EXPECT_EQ(m->colours[4 * v], 255);
        EXPECT_EQ(m->colours[4 * v + 1], 127);
        EXPECT_EQ(m->colours[4 * v + 2], 0);
        EXPECT_EQ(m->colours[4 * v + 3], 255);
    }
}

TEST_F(ImportTest, TexCoordsWithoutAUsableTextureAreDropped) {
    std::string extra = "<source id=\"g-uv\"><float_array count=\"6\">0.25 0.25 1 0 1 1</float_array>"
                        "<technique profile=\"COMMON\"><accessor stride=\"2\"/></technique></source>"
                        "<source id=\"g-nrm\"><float_array count=\"3\">0 0 1</float_array></source>";
    std::string inputs = vertexInput(0) + "<input semantic=\"NORMAL\" source=\"#g-nrm\" idx=\"1\"/>" +
                         "<input semantic=\"TEXCOORD\" source=\"#g-uv\" idx=\"2\"/>";
    import(document("<library type=\"GEOMETRY\">" +
                        geometry("g", "0 0 0 1 0 0 1 1 0", 9, inputs, "<p>0 0 0 1 0 1 2 0 2</p>", extra) + "</library>",
                    instanceOf("g")));
    const Mesh* m = meshesOf(root).at(0);
    EXPECT_EQ(m->texCoordSets, 0);
    EXPECT_EQ(m->material.mode, MATERIAL_LIT);
    EXPECT_EQ(m->vertexCount, 3);
}

TEST_F(ImportTest, BadIndicesAndInputsAreSkippedNotRead) {
    // Index 9 lies past the positions; the second polygon is fine.
    std::string lib = "<library type=\"GEOMETRY\">" +
                      geometry("g", kQuadPositions, 12, vertexInput(), "<p>0 1 9</p><p>0 1 2</p><p>0 -7 2</p><p>x 1 2</p>") +
                      geometry("h", kQuadPositions, 12, "", "<p>0 1 2</p>") +  // no inputs at all
                      geometry("k", kQuadPositions, 12, "<input semantic=\"VERTEX\" source=\"#nowhere\" idx=\"0\"/>",
                               "<p>0 1 2</p>") +
                      geometry("w", kQuadPositions, 999999999, vertexInput(), "<p>0 1 2</p>") +
                      "</library>";
    std::string nodes = "<node id=\"a\"><instance url=\"#g\"/></node><node id=\"b\"><instance url=\"#h\"/></node>"
                        "<node id=\"c\"><instance url=\"#k\"/></node><node id=\"d\"><instance url=\"#w\"/></node>";
    // The vertices of "w" name w-pos, whose declared count is far larger than its four numbers.
    ASSERT_GE(import(document(lib, nodes)), 0);
    auto kids = childrenOf(root);
    ASSERT_EQ(kids.size(), 4u);
    EXPECT_EQ(meshesOf(kids[0]).at(0)->indexCount, 3);
    EXPECT_EQ(meshesOf(kids[1]).at(0)->indexCount, 0);
    EXPECT_EQ(meshesOf(kids[2]).at(0)->indexCount, 0);
    EXPECT_EQ(meshesOf(kids[2]).at(0)->material.mode, MATERIAL_LIT);  // no usable VERTEX input
    EXPECT_EQ(meshesOf(kids[3]).at(0)->indexCount, 3);
}

TEST_F(ImportTest, AttributeValuesKeepTheirFirstWord) {
    ASSERT_GE(import(document("<library type=\"GEOMETRY\">" +
                                  geometry("g", kQuadPositions, 12, vertexInput(), "<p>0 1 2</p>") + "</library>",
                              "<node id=\"n\"><instance url=\"#g trailing words\"/></node>")),
              0);
    EXPECT_EQ(nodeGet(root)->kind, NODE_OBJECT);
}
