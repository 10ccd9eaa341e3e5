#include <cmath>
#include <thread>
#include <vector>

#include "import/geometry.h"
#include "import_fixture.h"

namespace {
const char* kQuadPositions = "0 0 0  1 0 0  1 1 0  0 1 0";

float triangleArea(const float* p, int32_t a, int32_t b, int32_t c) {
    float ux = p[3 * b] - p[3 * a], uy = p[3 * b + 1] - p[3 * a + 1];
    float vx = p[3 * c] - p[3 * a], vy = p[3 * c + 1] - p[3 * a + 1];
    return 0.5f * (ux * vy - uy * vx);
}

std::string instanceOf(const std::string& geometryId) {
    return "<node id=\"n\"><instance url=\"#" + geometryId + "\"/></node>";
}

// Under one top node, a node per geometry.
std::string nodesFor(const std::vector<std::string>& geometries) {
    std::string nodes = "<node id=\"top\">";
    for (const std::string& g : geometries) nodes += "<node id=\"n-" + g + "\"><instance url=\"#" + g + "\"/></node>";
    return nodes + "</node>";
}

// The ring: an outer square of side 4 and a hole of side 2 in the middle.
const char* kRingPositions = "0 0 0 4 0 0 4 4 0 0 4 0  1 1 0 1 3 0 3 3 0 3 1 0";

double meshArea(const Mesh* m) {
    double area = 0;
    for (int32_t t = 0; t < m->indexCount / 3; t++) {
        const float* p = m->positions + 9 * t;
        double u[3] = {p[3] - p[0], p[4] - p[1], p[5] - p[2]}, v[3] = {p[6] - p[0], p[7] - p[1], p[8] - p[2]};
        double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        area += std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]) / 2;
    }
    return area;
}
}  // namespace

TEST_F(ImportTest, AQuadGivesTwoTrianglesWithIndicesZeroToFive) {
    // An attribute value keeps only its first word.
    ASSERT_GE(import(document(geometryLibrary(geometry("g", kQuadPositions, 12, vertexOf("g"), "<p>0 1 2 3</p>")),
                              "<node id=\"n\"><instance url=\"#g trailing words\"/></node>")),
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
    for (const char* list : {"<p>0 1 2 3<h/>4 5 6 7</p>", "<p>0 1 2 3<h>4 5 6 7</h></p>"}) {
        SCOPED_TRACE(list);
        import(document(geometryLibrary(geometry("g", kRingPositions, 24, vertexOf("g"), list)), instanceOf("g")));
        const Mesh* m = meshesOf(root).at(0);
        ASSERT_EQ(m->indexCount, 24);  // a square ring cuts into eight triangles
        float area = 0;  // signed: each keeps the outline's counter-clockwise winding
        for (int32_t t = 0; t < 8; t++) area += triangleArea(m->positions, 3 * t, 3 * t + 1, 3 * t + 2);
        EXPECT_NEAR(area, 16.0f - 4.0f, 1e-4f);
    }
}

TEST_F(ImportTest, InputsWithOffsetsCarryNormalsColoursAndCommasAndTexCoordsWithoutATextureAreDropped) {
    std::string extra =
        "<source id=\"g-nrm\"><float_array count=\"6\">0 0 1  0 0 -1</float_array>"
        "<technique profile=\"COMMON\"><accessor stride=\"3\"/></technique></source>"
        "<source id=\"g-col\"><float_array count=\"3\">1,0 0,5 0</float_array>"
        "<technique profile=\"COMMON\"><accessor stride=\"3\"/></technique></source>"
        "<source id=\"g-uv\"><float_array count=\"6\">0.25 0.25 1 0 1 1</float_array>"
        "<technique profile=\"COMMON\"><accessor stride=\"2\"/></technique></source>";
    std::string inputs = vertexOf("g") + "<input semantic=\"NORMAL\" source=\"#g-nrm\" idx=\"1\"/>"
                         "<input semantic=\"COLOR\" source=\"#g-col\" idx=\"2\"/>"
                         "<input semantic=\"TEXCOORD\" source=\"#g-uv\" idx=\"3\"/>";
    ASSERT_GE(import(document(geometryLibrary(geometry("g", "0 0 0 1 0 0 1 1 0", 9, inputs,
                                                       "<p>0 1 0 0  1 1 0 1  2 1 0 2</p>", extra)),
                              instanceOf("g"))),
              0);
    const Mesh* m = meshesOf(root).at(0);
    ASSERT_EQ(m->vertexCount, 3);
    EXPECT_EQ(m->material.mode, MATERIAL_LIT);
    EXPECT_EQ(m->texCoordSets, 0);
    for (int v = 0; v < 3; v++) {
        EXPECT_EQ(m->normals[3 * v + 2], -1.0f);
        EXPECT_EQ(std::vector<int>(m->colours + 4 * v, m->colours + 4 * v + 4), std::vector<int>({255, 127, 0, 255}));
    }
}

TEST_F(ImportTest, BadIndicesAndInputsAreSkippedNotRead) {
    // Index 9 lies past the positions; the second polygon is fine. The vertices of "w" name w-pos,
    // whose declared count is far larger than its four numbers.
    std::string lib =
        geometry("g", kQuadPositions, 12, vertexOf("g"), "<p>0 1 9</p><p>0 1 2</p><p>0 -7 2</p><p>x 1 2</p>") +
        geometry("h", kQuadPositions, 12, "", "<p>0 1 2</p>") +  // no inputs at all
        geometry("k", kQuadPositions, 12, "<input semantic=\"VERTEX\" source=\"#nowhere\" idx=\"0\"/>",
                 "<p>0 1 2</p>") +
        geometry("w", kQuadPositions, 999999999, vertexOf("g"), "<p>0 1 2</p>") +
        // The third point of "e" lacks its z; the first list of "s" ends inside a vertex group.
        geometry("e", "0 0 0 1 0 0 1 1", 8, vertexOf("e"), "<p>0 1 2</p>") +
        geometry("s", kQuadPositions, 12, vertexOf("s") + "<input semantic=\"NORMAL\" source=\"#s-pos\" idx=\"1\"/>",
                 "<p>0 0 1 1 2</p><p>0 0 1 1 2 2</p>");
    ASSERT_GE(import(document(geometryLibrary(lib), nodesFor({"g", "h", "k", "w", "e", "s"}))), 0);
    auto kids = childrenOf(root);
    ASSERT_EQ(kids.size(), 6u);
    EXPECT_EQ(meshesOf(kids[0]).at(0)->indexCount, 3);
    EXPECT_EQ(meshesOf(kids[1]).at(0)->indexCount, 0);
    EXPECT_EQ(meshesOf(kids[2]).at(0)->indexCount, 0);
    EXPECT_EQ(meshesOf(kids[2]).at(0)->material.mode, MATERIAL_LIT);  // no usable VERTEX input
    EXPECT_EQ(meshesOf(kids[3]).at(0)->indexCount, 3);
    EXPECT_EQ(meshesOf(kids[4]).at(0)->indexCount, 0);
    EXPECT_EQ(meshesOf(kids[5]).at(0)->indexCount, 3);
}

namespace {
// Generated polygons: positions as text and the corners' indices.
struct Shape {
    std::string positions;
    int32_t corners = 0;
    void add(double x, double y, double z = 0) {
        positions += std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) + " ";
        corners++;
    }
    // Indices first .. first + count - 1 as a <p> text.
    static std::string indices(int32_t first, int32_t count) {
        std::string p;
        for (int32_t i = 0; i < count; i++) p += std::to_string(first + i) + " ";
        return p;
    }
};

Shape comb(int32_t teeth, bool inXz = false) {
    Shape s;
    combCorners(teeth, [&](double x, double y) { inXz ? s.add(x, 0, y) : s.add(x, y); });
    return s;
}

// A star polygon of an odd number of corners: every edge crosses most of the others.
Shape star(int32_t corners) {
    Shape s;
    for (int32_t i = 0; i < corners; i++) {
        double a = 2 * M_PI * (double)((int64_t)i * ((corners - 1) / 2) % corners) / corners;
        s.add(std::cos(a), std::sin(a));
    }
    return s;
}
}  // namespace

TEST_F(ImportTest, PolygonsThatCannotBeCutAreSkippedAndReportedOncePerCause) {
    // One source holds a comb of 40000 corners (GLU took seconds over it), a star of 21 corners, a
    // bowtie, and a square whose hole crosses its outline; a triangle of it is fine. The outline of
    // "pinch" crosses itself at one of its corners, where GLU would cut it without a word; "huge",
    // a simple zigzag, has more corners than any polygon may have.
    Shape all = comb(10000);
    int32_t starAt = all.corners;
    Shape s = star(21);
    all.positions += s.positions;
    all.corners += s.corners;
    int32_t rest = all.corners;
    all.positions += "0 0 0  1 1 0  1 0 0  0 1 0  0 0 0  4 0 0  4 4 0  0 4 0  1 1 0  -1 3 0  3 3 0";
    all.corners += 11;
    std::string quad = Shape::indices(rest, 4), square = Shape::indices(rest + 4, 4);
    std::string polygons = "<p>" + Shape::indices(0, 40000) + "</p><p>" + Shape::indices(starAt, 21) + "</p>" +
                           "<p>" + Shape::indices(starAt, 21) + "</p><p>" + quad + "</p>" +
                           "<p>" + square + "<h/>" + Shape::indices(rest + 8, 3) + "</p>" +
                           "<p>" + std::to_string(rest + 4) + " 999999 " + std::to_string(rest + 6) + "</p>" +
                           "<p>" + std::to_string(rest + 4) + " " + std::to_string(rest + 5) + " " +
                           std::to_string(rest + 6) + "</p>";
    std::string lib = geometry("mixed", all.positions, 3 * all.corners, vertexOf("mixed"), polygons) +
                      geometry("bowtie", "0 0 0 1 1 0 1 0 0 0 1 0", 12, vertexOf("bowtie"), "<p>0 1 2 3</p>") +
                      geometry("bare", kQuadPositions, 12, vertexOf("bare"), "") +
                      geometry("pinch", "0 2 0 -2 -2 0 0 0 0 -3 0 0 -1 0 0", 15, vertexOf("pinch"), "<p>0 1 2 3 4</p>");
    std::string zigzag;
    for (int32_t i = 0; i < 500000; i++) zigzag += std::to_string(i) + (i % 2 ? " 1 0 " : " 0 0 ");
    zigzag += "499999 -1 0 0 -1 0";
    lib += geometry("huge", zigzag, 3 * 500002, vertexOf("huge"), "<p>" + Shape::indices(0, 500002) + "</p>");
    ASSERT_GE(import(document(geometryLibrary(lib), nodesFor({"mixed", "bowtie", "bare", "pinch", "huge"}))), 0);
    auto kids = childrenOf(root);
    ASSERT_EQ(kids.size(), 5u);
    EXPECT_EQ(meshesOf(kids[0]).at(0)->indexCount, 3);  // only the triangle
    for (size_t k = 1; k < kids.size(); k++) EXPECT_EQ(meshesOf(kids[k]).at(0)->indexCount, 0) << k;
    std::vector<std::string> expected = {
        "Open " + dir.path() + "model.dae.",
        "[WARNING] 1 polygon skipped: indices outside their sources.",
        "[WARNING] 6 polygons skipped: edges that cross (self-intersecting, a hole crossing its outline, or not flat).",
        "[WARNING] 2 polygons skipped: too complex to cut (over 500000 corners, or a winding outline of over about 20000).",
        "[WARNING] 4 meshes have no triangles, the first in geometry bowtie.",
        "Done."};
    EXPECT_EQ(messageTexts(), expected);

    // The next import starts counting afresh; a single empty mesh is named on its own.
    const char* bowtie = "0 0 0 1 1 0 1 0 0 0 1 0";
    ASSERT_GE(import(document(geometryLibrary(geometry("g", bowtie, 12, vertexOf("g"), "<p>0 1 2 3</p>")),
                              instanceOf("g"))),
              0);
    expected = {"Open " + dir.path() + "model.dae.",
                "[WARNING] 1 polygon skipped: edges that cross (self-intersecting, a hole crossing its outline, or not flat).",
                "[WARNING] geometry g gives a mesh with no triangles.", "Done."};
    EXPECT_EQ(messageTexts(), expected);
}

TEST_F(ImportTest, TouchingCornersHolesAndLargeConcaveOutlinesAreStillCut) {
    // A hole whose corner touches the outline's edge; one contour that comes back to touch its own
    // edge; a comb of 120 corners (beyond GLU's quick path) flat and upright in the x-z plane.
    Shape flat = comb(30), upright = comb(30, true);
    std::string lib =
        geometry("hole", "0 0 0 4 0 0 4 4 0 0 4 0  2 0 0 3 2 0 1 2 0", 21, vertexOf("hole"), "<p>0 1 2 3<h/>4 5 6</p>") +
        geometry("touch", "0 0 0 4 0 0 4 4 0 2 0 0 0 4 0", 15, vertexOf("touch"), "<p>0 1 2 3 4</p>") +
        geometry("flat", flat.positions, 3 * flat.corners, vertexOf("flat"), "<p>" + Shape::indices(0, flat.corners) + "</p>") +
        geometry("upright", upright.positions, 3 * upright.corners, vertexOf("upright"),
                 "<p>" + Shape::indices(0, upright.corners) + "</p>");
    ASSERT_GE(import(document(geometryLibrary(lib), nodesFor({"hole", "touch", "flat", "upright"}))), 0);
    EXPECT_EQ(messageTexts(), (std::vector<std::string>{"Open " + dir.path() + "model.dae.", "Done."}));
    auto kids = childrenOf(root);
    ASSERT_EQ(kids.size(), 4u);
    EXPECT_NEAR(meshArea(meshesOf(kids[0]).at(0)), 16.0 - 2.0, 1e-4);
    EXPECT_NEAR(meshArea(meshesOf(kids[1]).at(0)), 8.0, 1e-4);  // two triangles meeting at (2, 0)
    for (int k : {2, 3}) {
        const Mesh* m = meshesOf(kids[k]).at(0);
        EXPECT_EQ(m->indexCount, 3 * (flat.corners - 2));
        EXPECT_NEAR(meshArea(m), 11 * 30 - 1, 1e-3);
    }
}

TEST_F(ImportTest, CostlyPolygonsDrawOnOneAllowancePerImportInDocumentOrder) {
    // Six combs of 200 corners each, one per primitive over three geometries, cost more than their
    // free share; with a small allowance only the first few in document order are cut (the cutting
    // runs on a second thread ahead of the meshes), and the next import gets the same allowance.
    struct Limits {
        ~Limits() {
            geometrySetWorkLimits(GEOMETRY_POLYGON_WORK, GEOMETRY_IMPORT_WORK);
            importSetProgressHook(nullptr);
        }
    } restore;
    Shape c = comb(50);
    std::string library, nodes;
    for (const char* id : {"a", "b", "c"}) {
        library += geometry(id, c.positions, 3 * c.corners, vertexOf(id),
                            "<p>" + Shape::indices(0, c.corners) + "</p></polygons><polygons>" + vertexOf(id) + "<p>" +
                                Shape::indices(0, c.corners) + "</p>");
        nodes += "<node id=\"n" + std::string(id) + "\"><instance url=\"#" + id + "\"/></node>";
    }
    std::string doc = document(geometryLibrary(library), "<node id=\"top\">" + nodes + "</node>");
    // The progress hook hears only on the importing thread.
    static std::vector<std::thread::id> told;
    told.clear();
    importSetProgressHook([](float) { told.push_back(std::this_thread::get_id()); });
    int32_t cut[2];
    for (int run = 0; run < 2; run++) {
        geometrySetWorkLimits(GEOMETRY_POLYGON_WORK, 40000);
        ASSERT_GE(import(doc), 0);
        std::vector<int32_t> perPrimitive;
        for (int32_t child : childrenOf(root))
            for (const Mesh* m : meshesOf(child)) perPrimitive.push_back(m->indexCount / 3 / (c.corners - 2));
        ASSERT_EQ(perPrimitive.size(), 6u);
        cut[run] = 0;
        while (cut[run] < 6 && perPrimitive[(size_t)cut[run]] == 1) cut[run]++;
        EXPECT_EQ(std::vector<int32_t>(perPrimitive.begin() + cut[run], perPrimitive.end()),
                  std::vector<int32_t>((size_t)(6 - cut[run]), 0));
        EXPECT_GT(cut[run], 0);
        EXPECT_LT(cut[run], 6);
        EXPECT_EQ(messageTexts().at(1), "[WARNING] " + std::to_string(6 - cut[run]) +
                                            " polygons skipped: too complex to cut (over 500000 corners, or a "
                                            "winding outline of over about 20000).");
    }
    EXPECT_EQ(cut[0], cut[1]);
    ASSERT_FALSE(told.empty());
    for (std::thread::id id : told) EXPECT_EQ(id, std::this_thread::get_id());
    geometrySetWorkLimits(1000, GEOMETRY_IMPORT_WORK);  // below one comb
    ASSERT_GE(import(doc), 0);
    for (int32_t child : childrenOf(root))
        for (const Mesh* m : meshesOf(child)) EXPECT_EQ(m->indexCount, 0);
}

// How a <p> list reads: a token ends at a separator, at markup ("&lt;" among them) and where a
// comment, processing instruction, element or CDATA section stands between text; character
// references join the text; an <h> starts a hole; elements other than <h> are not read, nor are
// <p> elements outside the <polygons>; a token is its sign and leading digits. Each list is a
// triangle, so the corners' x (the point's number) show the indices as read.
TEST_F(ImportTest, PolygonListsReadTokenByToken) {
    std::string points;
    for (int i = 0; i < 16; i++) points += std::to_string(i) + " " + std::to_string(i * i % 7) + " 0 ";
    const struct {
        const char* list;
        std::vector<int> corners;  // x of each vertex of the mesh, in order
    } cases[] = {
        {"<p>0 1<!-- c -->2</p>", {0, 1, 2}},
        {"<p>0 1<![CDATA[2]]></p>", {0, 1, 2}},
        {"<p>0 1<?pi x?>2</p>", {0, 1, 2}},
        {"<p>&#49;&#50; 5 6</p>", {12, 5, 6}},
        {"<p>1&lt;2 3</p>", {1, 2, 3}},
        {"<p>+1 2 3abc</p>", {1, 2, 3}},
        {"<p>0 1 <q>7</q>2</p><foo><p>1 2 3</p></foo>", {0, 1, 2}},
        {"<p xmlns:z=\"u\" z:a=\"b\">4 5 6</p><z:p xmlns:z=\"u\">6 7 8</z:p>", {4, 5, 6, 6, 7, 8}},
        {"<p>1\t2\n3</p><p>4/5>6</p>", {1, 2, 3, 4, 5, 6}},
        {"<p>x 1 2</p><p>99999999999 1 2</p><p></p>", {}},
        {"<p>0 1 2 3<h>5<x>9</x></h></p>", {3, 0, 1, 3, 1, 2}},  // a hole of one corner cuts nothing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list);
        import(document(geometryLibrary(geometry("g", points, 48, vertexOf("g"), c.list)), instanceOf("g")));
        std::vector<int> corners;
        for (const Mesh* m : meshesOf(root))
            for (int32_t v = 0; v < m->vertexCount; v++) corners.push_back((int)m->positions[3 * v]);
        EXPECT_EQ(corners, c.corners);
    }
}
