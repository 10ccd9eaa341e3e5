// Shared set-up of the importer tests: the object model and the strings run, documents are written
// into a temporary directory, and the import's messages are collected.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import/image_convert.h"
#include "import/scene_import.h"
#include "object/mesh.h"
#include "object/node.h"
#include "object/object.h"
#include "object/object_model.h"
#include "strings/string_table.h"
#include "support/test_support.h"
#include "system/files.h"

class ImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        stringsInit();
        objectModelInit();
        messages = stringTableCreate(-1);
        useBuiltImageConverter();
        imageConverterSetTimeLimit(0);
        textures = dir.path() + "texture_import/";
        makeDirectories(textures.c_str());
    }
    void TearDown() override {
        root = nodeDestroy(root);
        objectCollect();
        objectModelShutdown();
        stringsShutdown();
    }
    // Writes the document and imports it (replacing the previous import).
    int32_t import(const std::string& text, const std::string& name = "model.dae") {
        writeText(dir.file(name), text);
        stringTableClear(messages);
        root = importScene(root, name.c_str(), dir.path().c_str(), textures.c_str(), messages);
        return root;
    }
    std::vector<std::string> messageTexts() {
        std::vector<std::string> out;
        for (int32_t i = 0; i < stringTableCount(messages); i++) out.push_back(stringTableText(messages, i));
        return out;
    }
    // Meshes of the object attached to a node, in list order.
    std::vector<Mesh*> meshesOf(int32_t node) {
        std::vector<Mesh*> out;
        Node* n = nodeGet(node);
        Object* o = n && n->kind == NODE_OBJECT ? objectGet(n->attachment) : nullptr;
        for (int32_t i = 0; o && i < o->meshes.capacity; i++)
            if (slotUnits(&o->meshes, i) > 0) out.push_back(meshGet(*(int32_t*)o->meshes.slots[i]));
        return out;
    }
    int32_t nodesInUse() {
        int32_t n = 0;
        for (int32_t i = 0; i < nodeTable.capacity; i++) n += nodeGet(i) != nullptr;
        return n;
    }
    int32_t objectsInUse() {
        int32_t n = 0;
        for (int32_t i = 0; i < objectTable.capacity; i++) n += objectGet(i) != nullptr;
        return n;
    }
    // Child node indices in list order.
    std::vector<int32_t> childrenOf(int32_t node) {
        std::vector<int32_t> out;
        Node* n = nodeGet(node);
        for (int32_t i = 0; n && i < n->children.capacity; i++)
            if (slotUnits(&n->children, i) > 0) out.push_back(*(int32_t*)n->children.slots[i]);
        return out;
    }
    TempDir dir;
    std::string textures;
    int32_t messages = -1;
    int32_t root = -1;
};

// A document of the early profile around the given libraries and scene.
inline std::string document(const std::string& libraries, const std::string& scene) {
    return "<?xml version=\"1.0\"?>\n<COLLADA xmlns=\"http://www.collada.org/2005/COLLADASchema\" version=\"1.3.1\">\n" +
           libraries + "<scene id=\"s\">\n" + scene + "</scene>\n</COLLADA>\n";
}

inline std::string geometryLibrary(const std::string& geometries) {
    return "<library type=\"GEOMETRY\">" + geometries + "</library>";
}

// The VERTEX input of the geometry of that id.
inline std::string vertexOf(const std::string& id) {
    return "<input semantic=\"VERTEX\" source=\"#" + id + "-vtx\" idx=\"0\"/>";
}

// A geometry with positions (and optionally normals) and one polygons element.
inline std::string geometry(const std::string& id, const std::string& positions, int32_t count,
                            const std::string& inputs, const std::string& polygons,
                            const std::string& extraSources = "", const std::string& material = "") {
    return "<geometry id=\"" + id + "\"><mesh>\n<source id=\"" + id + "-pos\"><float_array id=\"" + id +
           "-pos-a\" count=\"" + std::to_string(count) + "\">" + positions +
           "</float_array><technique profile=\"COMMON\"><accessor source=\"#" + id +
           "-pos-a\" count=\"1\" stride=\"3\"/></technique></source>\n" + extraSources + "<vertices id=\"" + id +
           "-vtx\"><input semantic=\"POSITION\" source=\"#" + id + "-pos\"/></vertices>\n<polygons" +
           (material.empty() ? "" : " material=\"" + material + "\"") + ">" + inputs + polygons +
           "</polygons></mesh></geometry>\n";
}

// The corners (x, y) of a comb of long teeth side by side: every valley and tip turns the outline
// back along the sweep, so GLU's work grows with the square of the corners. Its area: a spine of
// 1 x (2 teeth - 1) and teeth of 9 x 1.
template <typename Add>
void combCorners(int32_t teeth, Add add) {
    add(0, 0);
    for (int32_t j = 0; j < teeth; j++) {
        if (j > 0) add(1, 2 * j);
        add(10, 2 * j);
        add(10, 2 * j + 1);
        if (j < teeth - 1) add(1, 2 * j + 1);
    }
    add(0, 2 * teeth - 1);
}
