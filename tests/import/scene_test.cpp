#include <cmath>

#include "import_fixture.h"
#include "math/mat4.h"
#include "math/quat.h"

namespace {
std::string triangleLibrary() {
    return geometryLibrary(geometry("g", "0 0 0 1 0 0 0 1 0", 9, vertexOf("g"), "<p>0 1 2</p>"));
}
}  // namespace

TEST_F(ImportTest, TopLevelNodesGetAnAutomaticRootUnlessThereIsOne) {
    ASSERT_GE(import(document(triangleLibrary(), "<node id=\"top\"><node id=\"a\"/><node id=\"b\"><instance "
                                                 "url=\"#g\"/></node></node>")),
              0);
    EXPECT_EQ(nodeGet(root)->kind, NODE_EMPTY);
    auto kids = childrenOf(root);
    ASSERT_EQ(kids.size(), 2u);
    EXPECT_EQ(nodeGet(kids[0])->kind, NODE_EMPTY);
    EXPECT_EQ(nodeGet(kids[1])->kind, NODE_OBJECT);
    EXPECT_EQ(messageTexts(), (std::vector<std::string>{"Open " + dir.path() + "model.dae.", "Done."}));

    ASSERT_GE(import(document(triangleLibrary(), "<node id=\"a\"><instance url=\"#g\"/></node><node id=\"b\"/>"
                                                 "<node id=\"c\"><node id=\"c1\"/></node>")),
              0);
    ASSERT_EQ(messageTexts().size(), 3u);
    EXPECT_EQ(messageTexts()[1], "[WARNING] 3 root node found instead of 1.");
    EXPECT_EQ(nodeGet(root)->kind, NODE_EMPTY);
    kids = childrenOf(root);
    ASSERT_EQ(kids.size(), 3u);
    EXPECT_EQ(nodeGet(kids[0])->kind, NODE_OBJECT);
    EXPECT_EQ(childrenOf(kids[2]).size(), 1u);
    EXPECT_LT(kids[0], kids[1]);
    EXPECT_LT(kids[1], kids[2]);

    // A node without id is left out and its children become top-level.
    ASSERT_GE(import(document(triangleLibrary(),
                              "<node id=\"top\"><translate>1 1 1</translate></node>"
                              "<node><node id=\"child\"><translate>7 7 7</translate></node></node>")),
              0);
    EXPECT_EQ(messageTexts()[1], "[WARNING] 3 root node found instead of 1.");
    kids = childrenOf(root);
    ASSERT_EQ(kids.size(), 3u);
    EXPECT_EQ(nodeGet(kids[0])->position.x, 1.0f);
    EXPECT_TRUE(childrenOf(kids[1]).empty());
    EXPECT_EQ(nodeGet(kids[2])->position.x, 7.0f);

    // An instance of an unknown geometry leaves its node empty.
    ASSERT_GE(import(document(triangleLibrary(), "<node id=\"n\"><instance url=\"#nothing\"/></node>")), 0);
    EXPECT_EQ(nodeGet(root)->kind, NODE_EMPTY);
    EXPECT_EQ(nodeGet(root)->attachment, -1);
}

TEST_F(ImportTest, TranslatesAndScalesKeepTheLastRotationsMultiplyInOrderAndNodesComeInDocumentOrder) {
    ASSERT_GE(import(document(triangleLibrary(),
                              "<node id=\"n\"><translate>1 0 0</translate><rotate>0 0 1 90</rotate>"
                              "<scale>5 5 5</scale><translate>0 2 0</translate><rotate>1 0 0 90</rotate>"
                              "<scale>2 3 4</scale></node>")),
              0);
    Node* n = nodeGet(root);
    EXPECT_EQ(n->position.x, 0.0f);
    EXPECT_EQ(n->position.y, 2.0f);
    EXPECT_EQ(n->scale.x, 2.0f);
    EXPECT_EQ(n->scale.z, 4.0f);
    Mat4 expected, got;
    mat4_identity(&expected);
    mat4_rotate(&expected, 90, 0, 0, 1);
    mat4_rotate(&expected, 90, 1, 0, 0);
    quat_to_mat4(&got, &n->rotation);
    for (int i = 0; i < 16; i++) EXPECT_NEAR(got.m[i], expected.m[i], 1e-5f) << i;
    // The world matrix was brought up to date: T * R * S.
    EXPECT_NEAR(n->matrix.m[13], 2.0f, 1e-6f);

    ASSERT_GE(import(document(triangleLibrary(), "<node id=\"a\"><translate>1 0 0</translate>"
                                                 "<node id=\"b\"><node id=\"c\"><rotate>0 0 1 90</rotate></node></node>"
                                                 "<translate>0 2 0</translate>"
                                                 "<node id=\"d\"><translate>0 0 3</translate></node></node>")),
              0);
    EXPECT_EQ(nodeGet(root)->position.y, 2.0f);  // a translate after a child node still counts
    auto kids = childrenOf(root);
    ASSERT_EQ(kids.size(), 2u);
    auto grandChildren = childrenOf(kids[0]);
    ASSERT_EQ(grandChildren.size(), 1u);
    // Made in document order: a, b, c, d.
    EXPECT_LT(root, kids[0]);
    EXPECT_LT(kids[0], grandChildren[0]);
    EXPECT_LT(grandChildren[0], kids[1]);
    EXPECT_NEAR(nodeGet(grandChildren[0])->rotation.z, std::sqrt(0.5f), 1e-6f);
    const Mat4& d = nodeGet(kids[1])->matrix;
    EXPECT_FLOAT_EQ(d.m[12], 0.0f);
    EXPECT_FLOAT_EQ(d.m[13], 2.0f);
    EXPECT_FLOAT_EQ(d.m[14], 3.0f);
}

TEST_F(ImportTest, ImportingTwiceLeavesOneTreeAndFailuresReturnMinusOne) {
    std::string doc = document(triangleLibrary(), "<node id=\"a\"><instance url=\"#g\"/><node id=\"b\"><instance "
                                                  "url=\"#g\"/></node></node>");
    ASSERT_GE(import(doc), 0);
    int32_t nodes = nodesInUse();
    ASSERT_GE(import(doc), 0);
    EXPECT_EQ(nodesInUse(), nodes);
    EXPECT_EQ(objectsInUse(), 1);  // shared by both nodes

    EXPECT_EQ(import("<not xml"), -1);
    EXPECT_EQ(nodesInUse(), 0);  // the previous tree is gone even so

    // Nodes the links leave outside the tree do not pile up in the object model import after import:
    // here a nested node takes the automatic root's name, so b and it name each other as parents.
    std::string clash = document(triangleLibrary(), "<node id=\"b\"><node id=\"VORTEN_AUTO_ROOT_NODE\"><instance "
                                                    "url=\"#g\"/></node></node><node id=\"c\"/>");
    for (int i = 0; i < 3; i++) {
        ASSERT_GE(import(clash), 0);
        std::vector<int32_t> pending{root};
        int32_t reachable = 0;
        while (!pending.empty()) {
            int32_t n = pending.back();
            pending.pop_back();
            reachable++;
            for (int32_t c : childrenOf(n)) pending.push_back(c);
        }
        EXPECT_EQ(nodesInUse(), reachable);
    }
}

TEST_F(ImportTest, EveryLoadFailureSaysWhy) {
    std::string path = dir.path() + "model.dae";
    auto only = [&](const std::string& text) { return std::vector<std::string>{"[ERROR] " + path + text}; };
    EXPECT_EQ(import("<COLLADA>\n  <library type=\"GEOMETRY\">\n</COLLADA>"), -1);
    EXPECT_EQ(messageTexts(),
              only(" is not well-formed XML: Opening and ending tag mismatch: library line 2 and COLLADA "
                   "(line 3, column 11)."));
    EXPECT_EQ(import(""), -1);
    ASSERT_EQ(messageTexts().size(), 1u);
    EXPECT_EQ(messageTexts()[0].rfind("[ERROR] " + path + " is not well-formed XML: ", 0), 0u);
    EXPECT_EQ(import("<?xml version=\"1.0\"?><svg><g/></svg>"), -1);
    EXPECT_EQ(messageTexts(), only(" is not a COLLADA document: its root element is <svg>."));
    EXPECT_EQ(import(document(triangleLibrary(), "")), -1);  // no node at all
    EXPECT_EQ(messageTexts(), (std::vector<std::string>{"Open " + path + ".", "[ERROR] " + path +
                                                        " holds no node to show.", "Done."}));

    stringTableClear(messages);
    EXPECT_EQ(importScene(-1, "missing.dae", dir.path().c_str(), textures.c_str(), messages), -1);
    EXPECT_EQ(messageTexts(), (std::vector<std::string>{"[ERROR] " + dir.path() + "missing.dae does not exist."}));
    makeDirectories((dir.path() + "folder.dae/").c_str());
    stringTableClear(messages);
    EXPECT_EQ(importScene(-1, "folder.dae", dir.path().c_str(), textures.c_str(), messages), -1);
    EXPECT_EQ(messageTexts(),
              (std::vector<std::string>{"[ERROR] " + dir.path() + "folder.dae is a folder, not a document."}));
    stringTableClear(messages);
    EXPECT_EQ(importScene(-1, "null", "/dev/", textures.c_str(), messages), -1);
    EXPECT_EQ(messageTexts(), (std::vector<std::string>{"[ERROR] /dev/null is not a regular file."}));

    // Nested entities would expand to gigabytes when the text is read.
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE COLLADA [<!ENTITY a \"1 1 1 1 1 1 1 1 1 1\">";
    for (char e = 'b'; e <= 'k'; e++) {
        laughs += std::string("<!ENTITY ") + e + " \"";
        for (int i = 0; i < 10; i++) laughs += std::string("&") + (char)(e - 1) + ";";
        laughs += "\">";
    }
    laughs += "]><COLLADA><library type=\"GEOMETRY\"><geometry id=\"g\"><mesh><source id=\"s\">"
              "<float_array count=\"3\">&k;</float_array></source></mesh></geometry></library>"
              "<scene><node id=\"n\"><instance url=\"#g\"/></node></scene></COLLADA>";
    EXPECT_EQ(import(laughs), -1);
    EXPECT_EQ(messageTexts(), only(" declares XML entities, which COLLADA documents never use; it is not read."));
}
