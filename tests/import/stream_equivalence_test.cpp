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
    // A document cut short fails either way, and says where it ends.
    writeText(dir.file("cut.dae"), "<COLLADA version=\"1.4.1\"><library_geometries><geometry id=\"g\"><mesh>");
    for (bool whole : {true, false}) {
        std::string said = importDescribed(dir.path(), "cut.dae", whole);
        EXPECT_LT(root, 0);
        EXPECT_NE(said.find("is not well-formed XML: Premature end of data in tag"), std::string::npos) << said;
    }
}
