// COLLADA 1.4 and 1.5 documents: real ones from several exporters, generated ones in both
// profiles, and hostile ones that must end in a message and a bounded result, never a crash.
#include <algorithm>
#include <sstream>

#include "import_fixture.h"

namespace {
std::string importInfo(const std::string& path, int* code) { return runVcvtool("import-info '" + path + "'", code); }

// The first line of the listing that starts with prefix; "" when none does.
std::string lineOf(const std::string& listing, const std::string& prefix) {
    std::istringstream in(listing);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) return line;
    return "";
}

// A 1.4.1 document: asset contents, libraries, and the nodes of its one visual scene.
std::string doc14(const std::string& asset, const std::string& libraries, const std::string& nodes,
                  const std::string& version = "1.4.1") {
    std::string ns = version == "1.5.0" ? "http://www.collada.org/2008/03/COLLADASchema"
                                        : "http://www.collada.org/2005/11/COLLADASchema";
    return "<?xml version=\"1.0\"?>\n<COLLADA xmlns=\"" + ns + "\" version=\"" + version + "\">\n<asset>" + asset +
           "</asset>\n" + libraries + "<library_visual_scenes><visual_scene id=\"vs\">" + nodes +
           "</visual_scene></library_visual_scenes>\n<scene><instance_visual_scene url=\"#vs\"/></scene>\n</COLLADA>\n";
}

// library_geometries with geometry "g": six points (a triangle of width 1 and height 2 in the
// X-Y plane first, then a fan around the origin), its <vertices> "g-v", and the given primitives.
std::string geometry14(const std::string& primitives, const std::string& extraSources = "") {
    return "<library_geometries><geometry id=\"g\"><mesh>"
           "<source id=\"g-p\"><float_array id=\"g-pa\" count=\"18\">0 0 0  1 0 0  0 2 0  -1 1 0  -1 0 0  0 -1 0"
           "</float_array><technique_common><accessor source=\"#g-pa\" count=\"6\" stride=\"3\"/></technique_common>"
           "</source>" +
           extraSources +
           "<vertices id=\"g-v\"><input semantic=\"POSITION\" source=\"#g-p\"/></vertices>" + primitives +
           "</mesh></geometry></library_geometries>\n";
}

const char* kVertex = "<input semantic=\"VERTEX\" source=\"#g-v\" offset=\"0\"/>";

// One red lambert material "m" (effect "fx").
std::string material14(const std::string& effectUrl = "#fx") {
    return "<library_effects><effect id=\"fx\"><profile_COMMON><technique sid=\"t\"><lambert><diffuse><color>1 0 0 "
           "1</color></diffuse></lambert></technique></profile_COMMON></effect></library_effects>"
           "<library_materials><material id=\"m\"><instance_effect url=\"" +
           effectUrl + "\"/></material></library_materials>\n";
}

std::string bound(const std::string& symbol, const std::string& target) {
    return "<bind_material><technique_common><instance_material symbol=\"" + symbol + "\" target=\"" + target +
           "\"/></technique_common></bind_material>";
}

class Collada14Test : public ImportTest {
protected:
    void SetUp() override {
        ImportTest::SetUp();
        importSetUpOverride(0);
    }
    void TearDown() override {
        importSetUpOverride(0);
        ImportTest::TearDown();
    }
    int32_t importMemory(const std::string& text) {
        stringTableClear(messages);
        root = importSceneMemory(root, (const uint8_t*)text.data(), (int32_t)text.size(), dir.path().c_str(),
                                 textures.c_str(), messages);
        return root;
    }
    // Messages other than the opening and closing ones.
    std::string problems() {
        std::string out;
        for (const std::string& m : messageTexts())
            if (m.rfind("Open ", 0) != 0 && m != "Done.") out += m + "\n";
        return out;
    }
    // Triangles of every object node reached from the root, as many times as nodes hold them.
    int64_t drawnTriangles() {
        int64_t total = 0;
        walk([&](int32_t node) {
            for (Mesh* m : meshesOf(node)) total += m->indexCount / 3;
        });
        return total;
    }
    // World-space box of every mesh position under the root.
    void worldBounds(Vec3* lo, Vec3* hi) {
        *lo = {1e30f, 1e30f, 1e30f};
        *hi = {-1e30f, -1e30f, -1e30f};
        nodeUpdateMatrices(root, true);
        walk([&](int32_t node) {
            const float* w = nodeGet(node)->matrix.m;
            for (Mesh* m : meshesOf(node))
                for (int32_t v = 0; v < m->vertexCount; v++) {
                    const float* p = m->positions + 3 * v;
                    float q[3];
                    for (int k = 0; k < 3; k++) q[k] = w[k] * p[0] + w[4 + k] * p[1] + w[8 + k] * p[2] + w[12 + k];
                    lo->x = std::min(lo->x, q[0]), lo->y = std::min(lo->y, q[1]), lo->z = std::min(lo->z, q[2]);
                    hi->x = std::max(hi->x, q[0]), hi->y = std::max(hi->y, q[1]), hi->z = std::max(hi->z, q[2]);
                }
        });
    }
    template <typename F>
    void walk(F visit) {
        if (root < 0) return;
        NodeWalk w;
        nodeWalkBegin(&w, &nodeTable);
        nodeWalkPush(&w, root, 0, 0);
        NodeWalkStep step;
        while (nodeWalkNext(&w, &step)) {
            visit(step.node);
            nodeWalkChildren(&w, nodeGet(step.node), &step, 0);
        }
        nodeWalkEnd(&w);
    }
};
}  // namespace

TEST(Collada14Samples, RealDocumentsFromFourExportersGiveTheirTrianglesAndTextures) {
    std::string shared = sharedDirectory();
    if (shared.empty()) GTEST_SKIP() << "no shared samples beside the checkout";
    struct Case {
        const char* file;
        const char* document;
        int triangles;
    } cases[] = {
        {"COLLADA.dae", "document profile 1.4 version \"1.4.1\" up Y unit 0.01 \"centimeter\"", 6722},
        {"sphere.dae", "document profile 1.4 version \"1.4.1\" up Y unit 0.01 \"centimeter\"", 760},
        {"cube_with_2UVs.DAE", "document profile 1.4 version \"1.4.1\" up Z unit 0.0254 \"inch\"", 12},
        // Written with a decimal comma and without a unit name (its images: Effects14Test).
        {"earthCylindrical.DAE", "document profile 1.4 version \"1.4.0\" up Z unit 0.01 \"\"", 1920},
        {"regr01.dae", "document profile 1.4 version \"1.4.0\" up Z unit 0.01 \"centimeter\"", 172},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        int code = -1;
        std::string out = importInfo(shared + "samples/collada14/Collada/" + c.file, &code);
        ASSERT_EQ(code, 0) << out;
        EXPECT_EQ(lineOf(out, "document "), c.document) << out;
        EXPECT_EQ(lineOf(out, "drawn triangles "), "drawn triangles " + std::to_string(c.triangles)) << out;
        // The document line comes right after the messages.
        EXPECT_LT(out.rfind("\nmessage "), out.find("\ndocument ")) << out;
    }
}

TEST(Collada14Samples, GeneratedDocumentsInBothProfilesGiveTheSameTriangles) {
    std::string shared = sharedDirectory();
    if (shared.empty()) GTEST_SKIP() << "no shared generator beside the checkout";
    TempDir dir;
    std::string drawn[2], totals[2];
    for (int v14 = 0; v14 < 2; v14++) {
        std::string file = dir.file(v14 ? "v14.dae" : "v13.dae");
        int code = -1;
        std::string gen = generateDocument(shared, v14, "--quads 200 --geoms 4 --holes 3", file, &code);
        ASSERT_EQ(code, 0) << gen;
        std::string out = importInfo(file, &code);
        ASSERT_EQ(code, 0) << out;
        EXPECT_EQ(lineOf(out, "document "), v14 ? "document profile 1.4 version \"1.4.1\" up Y unit 1 \"meter\""
                                                : "document profile early version \"1.3.1\" up Y unit 1 \"meter\"");
        drawn[v14] = lineOf(out, "drawn triangles ");
        // The later profile's visual scene is a node of its own, so only the node counts differ.
        std::string totalsLine = lineOf(out, "totals ");
        totals[v14] = totalsLine.substr(std::min(totalsLine.size(), totalsLine.find(" objects ")));
    }
    EXPECT_NE(drawn[0], "");
    EXPECT_EQ(drawn[0], drawn[1]);
    EXPECT_EQ(totals[0], totals[1]);
}

TEST_F(Collada14Test, BrokenReferencesAndIndicesEndInAMessage) {
    std::string tri = std::string("<triangles count=\"1\" material=\"sym\">") + kVertex + "<p>0 1 2</p></triangles>";
    std::string node = "<node id=\"n\"><instance_geometry url=\"#g\">" + bound("sym", "#m") + "</instance_geometry></node>";
    struct Case {
        const char* what;
        std::string document;
        std::string named;  // a word the message must hold; "" for any message
        int drawn;          // triangles that must still show; -1: not checked
    } cases[] = {
        {"instance_geometry url", doc14("", material14() + geometry14(tri),
                                        "<node id=\"n\"><instance_geometry url=\"#nowhere\"/></node>"),
         "nowhere", 0},
        {"vertices url", doc14("", material14() + geometry14("<triangles count=\"1\"><input semantic=\"VERTEX\" "
                                                             "source=\"#novertices\" offset=\"0\"/><p>0 1 2</p></triangles>"),
                               node),
         "novertices", 0},
        {"normal source url",
         doc14("", material14() + geometry14(std::string("<triangles count=\"1\" material=\"sym\">") + kVertex +
                                             "<input semantic=\"NORMAL\" source=\"#nonormals\" offset=\"0\"/>"
                                             "<p>0 1 2</p></triangles>"),
               node),
         "nonormals", -1},
        {"material target", doc14("", material14() + geometry14(tri),
                                  "<node id=\"n\"><instance_geometry url=\"#g\">" + bound("sym", "#nomaterial") +
                                      "</instance_geometry></node>"),
         "nomaterial", 1},
        {"instance_effect url", doc14("", material14("#noeffect") + geometry14(tri), node), "noeffect", 1},
        // No instance_material binds the symbol: the mesh shows with a default material.
        {"unbound symbol", doc14("", material14() + geometry14(tri),
                                 "<node id=\"n\"><instance_geometry url=\"#g\">" + bound("other", "#m") +
                                     "</instance_geometry></node>"),
         "sym", 1},
        {"offset beyond the inputs",
         doc14("", geometry14(std::string("<triangles count=\"1\">") + kVertex +
                              "<input semantic=\"NORMAL\" source=\"#g-p\" offset=\"7\"/><p>0 1 2 0 1 2</p></triangles>"),
               "<node id=\"n\"><instance_geometry url=\"#g\"/></node>"),
         "", -1},
        {"vcount sum above <p>",
         doc14("", geometry14(std::string("<polylist count=\"2\">") + kVertex +
                              "<vcount>4 4</vcount><p>0 1 2 3</p></polylist>"),
               "<node id=\"n\"><instance_geometry url=\"#g\"/></node>"),
         "", -1},
        {"vcount sum below <p>",
         doc14("", geometry14(std::string("<polylist count=\"1\">") + kVertex +
                              "<vcount>3</vcount><p>0 1 2 0 2 3 4 5</p></polylist>"),
               "<node id=\"n\"><instance_geometry url=\"#g\"/></node>"),
         "", -1},
        // A -1 is a hole's mark only in <polygons>; elsewhere it names no vertex. Before an outline it
        // must not shift the corners of the rest.
        {"-1 in a polylist",
         doc14("", geometry14(std::string("<polylist count=\"2\">") + kVertex +
                              "<vcount>4 3</vcount><p>-1 0 1 2 0 1 2</p></polylist>"),
               "<node id=\"n\"><instance_geometry url=\"#g\"/></node>"),
         "", 1},
        {"float_array count above its text",
         doc14("", "<library_geometries><geometry id=\"g\"><mesh><source id=\"g-p\"><float_array id=\"g-pa\" "
                   "count=\"1000000000\">0 0 0</float_array><technique_common><accessor source=\"#g-pa\" "
                   "count=\"333333333\" stride=\"3\"/></technique_common></source><vertices id=\"g-v\"><input "
                   "semantic=\"POSITION\" source=\"#g-p\"/></vertices><triangles count=\"1\">" +
                       std::string(kVertex) + "<p>0 1 2</p></triangles></mesh></geometry></library_geometries>",
               "<node id=\"n\"><instance_geometry url=\"#g\"/></node>"),
         "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_GE(importMemory(c.document), 0) << problems();
        std::string said = problems();
        EXPECT_NE(said, "");
        if (!c.named.empty()) {
            EXPECT_TRUE(has(said, c.named)) << said;
        }
        if (c.drawn >= 0) {
            EXPECT_EQ(drawnTriangles(), c.drawn) << said;
        }
    }
    // A polylist whose counts fit shows all its polygons, whatever the broken ones around it did;
    // one without <vcount> holds triangles.
    ASSERT_GE(importMemory(doc14("", geometry14(std::string("<polylist count=\"2\">") + kVertex +
                                                "<vcount>3 4</vcount><p>0 1 2 0 2 3 4</p></polylist><polylist "
                                                "count=\"1\">" + kVertex + "<p>0 1 2</p></polylist>"),
                                 "<node id=\"n\"><instance_geometry url=\"#g\"/></node>")),
              0);
    EXPECT_EQ(drawnTriangles(), 3 + 1);
    // A hole mark before any outline: the one contour is cut from where its corners really start.
    ASSERT_GE(importMemory(doc14("", geometry14(std::string("<polygons count=\"1\">") + kVertex +
                                                "<ph><p></p><h>0 3 2 1</h></ph></polygons>"),
                                 "<node id=\"n\"><instance_geometry url=\"#g\"/></node>")),
              0);
    EXPECT_EQ(drawnTriangles(), 2) << problems();
    // A -1 in a value no input reads is no hole mark outside <polygons>: the groups stay whole.
    ASSERT_GE(importMemory(doc14("", geometry14("<polylist count=\"1\"><input semantic=\"VERTEX\" source=\"#g-v\" "
                                                "offset=\"1\"/><vcount>3</vcount><p>-1 0 -1 1 -1 2</p></polylist>"),
                                 "<node id=\"n\"><instance_geometry url=\"#g\"/></node>")),
              0);
    EXPECT_EQ(drawnTriangles(), 1) << problems();
}

TEST_F(Collada14Test, InstancedLibraryNodesStayBoundedAndCyclesEnd) {
    std::string libs = geometry14(std::string("<triangles count=\"1\">") + kVertex + "<p>0 1 2</p></triangles>");
    // Cycles: A and B instance each other; C instances itself.
    ASSERT_GE(importMemory(doc14("", libs +
                                         "<library_nodes><node id=\"A\"><instance_geometry url=\"#g\"/><instance_node "
                                         "url=\"#B\"/></node><node id=\"B\"><instance_node url=\"#A\"/></node>"
                                         "<node id=\"C\"><instance_node url=\"#C\"/></node></library_nodes>",
                                 "<node id=\"top\"><instance_node url=\"#A\"/><instance_node url=\"#C\"/></node>")),
              0);
    EXPECT_LT(nodesInUse(), 20);
    EXPECT_NE(problems(), "");
    EXPECT_GE(drawnTriangles(), 1);

    // One library node under 10 000 scene nodes: one object, shared, and about one node per use.
    std::string many;
    for (int i = 0; i < 10000; i++) many += "<node><instance_node url=\"#L\"/></node>";
    ASSERT_GE(importMemory(doc14("", libs + "<library_nodes><node id=\"L\"><instance_geometry url=\"#g\"/></node>"
                                            "</library_nodes>",
                                 "<node id=\"top\">" + many + "</node>")),
              0);
    EXPECT_EQ(drawnTriangles(), 10000);
    EXPECT_GE(nodesInUse(), 10000);
    EXPECT_LE(nodesInUse(), 20005);
    EXPECT_EQ(objectsInUse(), 1);

    // Thirty library nodes, each instancing the next twice: 2^30 leaves if expanded in full.
    std::string chain = "<library_nodes>";
    for (int i = 0; i < 30; i++) {
        std::string next = "#L" + std::to_string(i + 1);
        chain += "<node id=\"L" + std::to_string(i) + "\">" +
                 (i == 29 ? "<instance_geometry url=\"#g\"/>"
                          : "<instance_node url=\"" + next + "\"/><instance_node url=\"" + next + "\"/>") +
                 "</node>";
    }
    chain += "</library_nodes>";
    ASSERT_GE(importMemory(doc14("", libs + chain, "<node id=\"top\"><instance_node url=\"#L0\"/></node>")), 0);
    EXPECT_LE(nodesInUse(), 250001);  // the build stops at 250 000 nodes
    EXPECT_TRUE(has(problems(), "[WARNING] the scene would hold more than 250000 nodes; the rest is left out."))
        << problems();
}

TEST_F(Collada14Test, PrimitiveKindsMatricesAndTheUpAxis) {
    std::string prims = std::string("<triangles count=\"1\">") + kVertex + "<p>0 1 2</p></triangles>" +
                        "<lines count=\"1\">" + kVertex + "<p>0 1</p></lines>" + "<linestrips count=\"1\">" + kVertex +
                        "<p>0 1 2</p></linestrips>" + "<tristrips count=\"2\">" + kVertex +
                        "<p>0 1 2 3 4</p><p>1 2 3</p></tristrips>" + "<trifans count=\"1\">" + kVertex +
                        "<p>0 1 2 3 4 5</p></trifans>";
    const std::string instance = "<node id=\"n\"><instance_geometry url=\"#g\"/></node>";
    // Lines are skipped with a message; strips and fans give n - 2 triangles each: 1 + 3 + 1 + 4.
    for (const char* version : {"1.4.1", "1.5.0"}) {
        SCOPED_TRACE(version);
        ASSERT_GE(importMemory(doc14("", geometry14(prims), instance, version)), 0);
        EXPECT_EQ(drawnTriangles(), 9);
        EXPECT_NE(problems(), "");
    }

    // Only the first triangle (width 1 along X, height 2 along Y) from here on.
    std::string triangle = geometry14(std::string("<triangles count=\"1\">") + kVertex + "<p>0 1 2</p></triangles>");
    Vec3 lo, hi;
    // A row-major matrix: the translation is its fourth column. Z_UP keeps the axes as they are.
    ASSERT_GE(importMemory(doc14("<up_axis>Z_UP</up_axis>", triangle,
                                 "<node id=\"n\"><matrix>1 0 0 5  0 1 0 6  0 0 1 7  0 0 0 1</matrix>"
                                 "<instance_geometry url=\"#g\"/></node>")),
              0);
    worldBounds(&lo, &hi);
    const float box[6] = {lo.x, lo.y, lo.z, hi.x, hi.y, hi.z}, expected[6] = {5, 6, 7, 6, 8, 7};
    for (int k = 0; k < 6; k++) EXPECT_NEAR(box[k], expected[k], 1e-4f) << k;

    // The document's up axis (or the override) becomes +Z, not -Z.
    struct Case {
        const char* declared;
        char override;
        float zLow, zHigh;
    } cases[] = {
        {"<up_axis>Y_UP</up_axis>", 0, 0, 2},
        {"<up_axis>Z_UP</up_axis>", 0, 0, 0},
        {"<up_axis>X_UP</up_axis>", 0, 0, 1},
        {"<up_axis>Z_UP</up_axis>", 'Y', 0, 2},
        {"<up_axis>Y_UP</up_axis>", 'Z', 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.declared) + " override " + (c.override ? std::string(1, c.override) : "none"));
        importSetUpOverride(c.override);
        ASSERT_GE(importMemory(doc14(c.declared, triangle, instance)), 0);
        worldBounds(&lo, &hi);
        EXPECT_NEAR(lo.z, c.zLow, 1e-4f);
        EXPECT_NEAR(hi.z, c.zHigh, 1e-4f);
    }
}

TEST_F(Collada14Test, ControllersShowTheirBaseGeometryUnderTheBindShape) {
    // A skin with a bind-shape matrix (row-major, moving 2 along X), one without, and a morph.
    std::string triangle = geometry14(std::string("<triangles count=\"1\">") + kVertex + "<p>0 1 2</p></triangles>");
    std::string controllers =
        "<library_controllers><controller id=\"moved\"><skin source=\"#g\"><bind_shape_matrix>1 0 0 2  0 1 0 0  "
        "0 0 1 0  0 0 0 1</bind_shape_matrix></skin></controller><controller id=\"plain\"><skin source=\"#g\"/>"
        "</controller><controller id=\"morphed\"><morph source=\"#g\"/></controller></library_controllers>\n";
    struct Case {
        const char* controller;
        float xLow, xHigh;
    } cases[] = {{"#moved", 2, 3}, {"#plain", 0, 1}, {"#morphed", 0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.controller);
        std::string node = std::string("<node id=\"n\"><instance_controller url=\"") + c.controller + "\"/></node>";
        ASSERT_GE(importMemory(doc14("<up_axis>Z_UP</up_axis>", triangle + controllers, node)), 0);
        EXPECT_EQ(drawnTriangles(), 1);
        Vec3 lo, hi;
        worldBounds(&lo, &hi);
        EXPECT_NEAR(lo.x, c.xLow, 1e-4f);
        EXPECT_NEAR(hi.x, c.xHigh, 1e-4f);
        EXPECT_NEAR(hi.y, 2.0f, 1e-4f);
        EXPECT_EQ(problems(), "");
    }
}
