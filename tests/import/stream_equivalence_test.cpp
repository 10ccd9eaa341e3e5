// The streamed reading of a document gives exactly what reading its whole tree gives: messages,
// nodes, their matrices, meshes and every vertex.
#include <filesystem>
#include <string>

#include "import/document_stream.h"
#include "import_fixture.h"

namespace {
class StreamEquivalence : public ImportTest {
protected:
    // Everything the import made, as text: messages, then per node in pre-order its name, kind,
    // world matrix and its meshes' vertices.
    std::string importDescribed(const std::string& directory, const std::string& name, bool whole) {
        readDocumentWhole(whole);
        stringTableClear(messages);
        root = importScene(root, name.c_str(), directory.c_str(), textures.c_str(), messages);
        readDocumentWhole(false);
        std::string out;
        for (const std::string& m : messageTexts()) out += m + "\n";
        NodeWalk walk;
        nodeWalkBegin(&walk, &nodeTable);
        if (root >= 0) nodeWalkPush(&walk, root, 0, 0);
        NodeWalkStep step;
        while (nodeWalkNext(&walk, &step)) {
            const Node* n = nodeGet(step.node);
            out += std::to_string(step.depth) + " " + importNodeName(step.node) + " " + std::to_string(n->kind);
            for (float v : n->matrix.m) out += " " + std::to_string(v);
            for (const Mesh* m : meshesOf(step.node)) {
                out += "\n mesh " + std::to_string(m->vertexCount) + " " + std::to_string(m->material.mode);
                double sum = 0;
                for (int32_t i = 0; m->positions && i < 3 * m->vertexCount; i++) sum += m->positions[i] * (1 + i % 7);
                out += " " + std::to_string(sum);
            }
            out += "\n";
            nodeWalkChildren(&walk, n, &step, 0);
        }
        nodeWalkEnd(&walk);
        return out;
    }
    void expectSame(const std::string& directory, const std::string& name) {
        SCOPED_TRACE(directory + name);
        std::string whole = importDescribed(directory, name, true);
        std::string streamed = importDescribed(directory, name, false);
        EXPECT_EQ(streamed, whole);
        EXPECT_NE(whole.find("Done."), std::string::npos) << whole;
    }
};
}  // namespace

TEST_F(StreamEquivalence, RealAndGeneratedDocumentsReadAlike) {
    expectSame(sourceDirectory() + "assets/sample/", "sample.dae");
    std::string shared = sharedDirectory();
    if (shared.empty()) GTEST_SKIP() << "no shared samples beside the checkout";
    for (const char* folder : {"samples/collada13/", "samples/collada14/Collada/"})
        for (const auto& entry : std::filesystem::directory_iterator(shared + folder)) {
            std::string name = entry.path().filename().string();
            std::string lower = name;
            for (char& c : lower) c = (char)std::tolower((unsigned char)c);
            if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".dae") == 0) expectSame(shared + folder, name);
        }
    for (const char* profile : {"", "--v14"}) {
        std::string command = "python3 " + shared + "bench/gen_dae.py " + profile +
                              " --quads 3000 --geoms 5 --holes 40 --chunk 100 --out " + dir.file("gen.dae") +
                              " > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        expectSame(dir.path(), "gen.dae");
    }
    // <p> lists with everything the tree keeps apart: comments, CDATA, character references, <h>
    // holes with elements inside, foreign elements, namespaces, odd tokens.
    const char* lists[] = {
        "<p>0 1 2</p><p>3 4 5 6</p>",
        "<p>0 1<!-- c -->2 3</p><p>1 2<![CDATA[3 4]]>5 6</p><p><![CDATA[1]]><![CDATA[2]]> 3</p>",
        "<p>0 4 8 12 <h>1 5<x>9</x>13 9</h> 2<q>3</q>6 10<h/></p><p>1 2 3 <h>5 6 7</h><h>8 9 10</h></p>",
        "<p>-5 +6 x 12abc 99999999999 - 1 2</p><p></p><p>&#49;&#50; 3 4</p><p>1&amp;2 3 4</p><p>1&lt;2 3</p>",
        "<p xmlns:z=\"u\" z:a=\"b\">4 5 6</p><z:p xmlns:z=\"u\">6 7 8</z:p><foo><p>1 2 3</p></foo><p>1\t2\n3/4>5</p>",
        "<p>1 2 3<?pi x?>4 5<p>9 9 9</p>6</p><p>0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15</p>",
    };
    int n = 0;
    for (const char* list : lists) {
        std::string points;
        for (int i = 0; i < 16; i++) points += std::to_string(i % 4) + " " + std::to_string(i / 4) + " " + std::to_string(i % 3) + " ";
        std::string name = "p" + std::to_string(n++) + ".dae";
        writeText(dir.file(name),
                  "<COLLADA version=\"1.3.1\"><library type=\"GEOMETRY\"><geometry id=\"g\"><mesh>"
                  "<source id=\"s\"><array id=\"a\" type=\"float\" count=\"48\">" + points + "</array>"
                  "<technique profile=\"COMMON\"><accessor source=\"#a\" count=\"16\" stride=\"3\"/></technique></source>"
                  "<vertices id=\"v\"><input semantic=\"POSITION\" source=\"#s\"/></vertices>"
                  "<polygons count=\"9\"><input semantic=\"VERTEX\" source=\"#v\" idx=\"0\"/>" + std::string(list) +
                  "</polygons></mesh></geometry></library><scene><node id=\"n\"><instance url=\"#g\"/></node></scene></COLLADA>");
        expectSame(dir.path(), name);
    }
    // A document cut short fails either way, and says where it ends.
    writeText(dir.file("cut.dae"), "<COLLADA version=\"1.4.1\"><library_geometries><geometry id=\"g\"><mesh>");
    for (bool whole : {true, false}) {
        std::string said = importDescribed(dir.path(), "cut.dae", whole);
        EXPECT_LT(root, 0);
        EXPECT_NE(said.find("is not well-formed XML: Premature end of data in tag"), std::string::npos) << said;
    }
    writeText(dir.file("cutp.dae"), "<COLLADA version=\"1.3.1\"><library type=\"GEOMETRY\"><geometry id=\"g\"><mesh>\n"
                                    "<polygons>\n<p>1 2\n<h>3 4 5");
    EXPECT_EQ(importDescribed(dir.path(), "cutp.dae", false), importDescribed(dir.path(), "cutp.dae", true));
}
