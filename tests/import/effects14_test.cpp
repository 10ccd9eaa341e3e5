// Images, effects and materials of 1.4/1.5 documents read into the workspace's records, and image
// paths as Windows exporters write them.
#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <cstring>
#include <string>
#include <vector>

#include "import/reader_effects.h"
#include "import/workspace.h"
#include "strings/string_table.h"
#include "strings/text.h"
#include "support/test_support.h"
#include "system/files.h"

namespace {
class Effects14Test : public ::testing::Test {
protected:
    void SetUp() override {
        stringsInit();
        messageList = stringTableCreate(-1);
        importWorkspaceInit();
    }
    void TearDown() override {
        importWorkspaceFree();
        if (doc) xmlFreeDoc(doc);
        messageList = stringTableDestroy(messageList);
        stringsShutdown();
    }
    // Parses the document and runs both readers with documentDir = dir, after any earlier read.
    void read(const std::string& text, const std::string& dir) {
        if (doc) {
            importWorkspaceFree();
            xmlFreeDoc(doc);
            importWorkspaceInit();
            stringTableClear(messageList);
        }
        textCopy(documentDir, dir.c_str(), sizeof documentDir);
        doc = xmlReadMemory(text.data(), (int)text.size(), "doc.dae", nullptr, XML_PARSE_NONET);
        ASSERT_NE(doc, nullptr);
        readImages14(xmlDocGetRootElement(doc));
        readMaterials14(xmlDocGetRootElement(doc));
    }
    const MaterialRec* material(const char* id) {
        return slotGet<MaterialRec>(&materialRecTable, findById(&materialRecTable, id));
    }
    std::vector<std::string> messages() {
        std::vector<std::string> out;
        for (int32_t i = 0; i < stringTableCount(messageList); i++) out.push_back(stringTableText(messageList, i));
        return out;
    }
    xmlDoc* doc = nullptr;
};

const char* kDocument14 = R"(<?xml version="1.0"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
 <library_materials>
  <material id="wood" name="Wood"><instance_effect url="#wood-fx"/></material>
  <material id="glass"><instance_effect url="#glass-fx"/></material>
  <material id="tinted"><instance_effect url="#tinted-fx"/></material>
  <material id="lost"><instance_effect url="#nowhere"/></material>
  <material id="bare"><instance_effect url="#bare-fx"/></material>
  <material id="direct"><instance_effect url="#direct-fx"/></material>
 </library_materials>
 <library_images>
  <image id="wood-img"><init_from> tex\Wood.PNG </init_from></image>
  <image id="gone-img"><init_from>gone.png</init_from></image>
 </library_images>
 <library_effects>
  <effect id="wood-fx"><profile_COMMON>
   <newparam sid="wood-surface"><surface type="2D"><init_from>wood-img</init_from></surface></newparam>
   <technique sid="common">
    <newparam sid="wood-sampler"><sampler2D><source>wood-surface</source></sampler2D></newparam>
    <newparam sid="shine"><float>42</float></newparam>
    <phong>
     <emission><color>0,1 0,2 0,3 1</color></emission>
     <ambient><color>0.1 0.1 0.1 1</color></ambient>
     <diffuse><texture texture="wood-sampler" texcoord="UV0"/></diffuse>
     <specular><color>1 1 1 1</color></specular>
     <shininess><param ref="shine"/></shininess>
     <transparent opaque="A_ONE"><color>1 1 1 1</color></transparent>
     <transparency><float>1</float></transparency>
    </phong>
   </technique></profile_COMMON></effect>
  <effect id="glass-fx"><profile_COMMON><technique sid="t"><blinn>
     <diffuse><color>0 0 1 1</color></diffuse>
     <transparent opaque="RGB_ZERO"><color>0.2 0.2 0.2 1</color></transparent>
     <transparency><float>1</float></transparency>
  </blinn></technique></profile_COMMON></effect>
  <effect id="tinted-fx"><profile_COMMON><technique sid="t"><lambert>
     <diffuse><color>1 0 0 1</color></diffuse>
     <transparent><color>1 1 1 0.5</color></transparent>
     <transparency><float>0.5</float></transparency>
  </lambert></technique></profile_COMMON></effect>
  <effect id="bare-fx"><profile_COMMON>
   <newparam sid="s"><sampler2D><source> f </source></sampler2D></newparam>
   <newparam sid="f"><surface type="2D"><init_from>gone-img</init_from></surface></newparam>
   <technique sid="t"><constant><diffuse><texture texture="s" texcoord="CHANNEL1"/></diffuse></constant></technique>
  </profile_COMMON></effect>
  <effect id="direct-fx"><profile_COMMON><technique sid="t"><phong>
     <diffuse><texture texture="wood-img" texcoord="CHANNEL0"/></diffuse>
     <transparent opaque="A_ZERO"><color>1 1 1 0.2</color></transparent>
  </phong></technique></profile_COMMON></effect>
 </library_effects>
</COLLADA>)";

// A 1.4 document whose libraries come in any order: textures through newparams, through the image
// id written straight into the texture, a missing file, a missing effect, both opacity modes.
TEST_F(Effects14Test, MaterialsOfAnEarlierDocument) {
    TempDir dir;
    makeDirectories((dir.path() + "tex/").c_str());
    writeText(dir.file("tex/wood.png"), "png");  // the exporter's case differs from the disk's
    read(kDocument14, dir.path());
    std::string woodFile = dir.path() + "tex/wood.png";

    const MaterialRec* wood = material("wood");
    ASSERT_NE(wood, nullptr);
    EXPECT_STREQ(wood->name, "Wood");
    ASSERT_EQ(wood->textureCount, 1);
    EXPECT_EQ(wood->textureUsage[0], USAGE_DIFFUSE);
    EXPECT_EQ(std::string(wood->textureFile[0]), woodFile);
    EXPECT_STREQ(wood->texcoord, "UV0");
    EXPECT_TRUE(wood->has[0] && wood->has[2] && wood->has[3] && wood->has[4]);
    EXPECT_FLOAT_EQ(wood->shininess, 42.0f);
    EXPECT_FLOAT_EQ(wood->emission[2], 0.3f);  // a decimal comma, as some exporters write
    EXPECT_FALSE(wood->has[5]);                // opacity 1: opaque

    const MaterialRec* glass = material("glass");
    ASSERT_NE(glass, nullptr);
    EXPECT_TRUE(glass->has[1]);
    EXPECT_FLOAT_EQ(glass->diffuse[2], 1.0f);
    ASSERT_TRUE(glass->has[5]);
    EXPECT_NEAR(glass->transparency, 0.2f, 1e-4f);  // RGB_ZERO: luminance 0.2 lets a fifth through
    const MaterialRec* tinted = material("tinted");
    ASSERT_TRUE(tinted && tinted->has[5]);
    EXPECT_NEAR(tinted->transparency, 0.75f, 1e-6f);  // A_ONE: opacity 0.5 * 0.5

    const MaterialRec* lost = material("lost");
    ASSERT_NE(lost, nullptr);
    EXPECT_EQ(lost->textureCount, 0);
    for (int k = 0; k < 6; k++) EXPECT_EQ(lost->has[k], 0);

    const MaterialRec* bare = material("bare");
    ASSERT_TRUE(bare && bare->textureCount == 1);
    EXPECT_EQ(bare->textureUsage[0], USAGE_NONE);
    EXPECT_STREQ(bare->texcoord, "CHANNEL1");

    const MaterialRec* direct = material("direct");
    ASSERT_TRUE(direct && direct->textureCount == 1);
    EXPECT_EQ(std::string(direct->textureFile[0]), woodFile);
    EXPECT_NEAR(direct->transparency, 0.2f, 1e-6f);  // A_ZERO: alpha 0.2 lets a fifth through

    std::vector<std::string> said = messages();
    std::string missingImage = "[ERROR] image " + dir.path() + "gone.png not found.";
    EXPECT_EQ(said, (std::vector<std::string>{missingImage, "[WARNING] material lost: effect nowhere not found."}));
}

// A 1.5 document: images by <ref>, one declared inside the effect, the sampler naming it by
// instance_image; and an exporter that writes "transparency 0" for opaque materials.
TEST_F(Effects14Test, MaterialsOfALaterDocument) {
    TempDir dir;
    writeText(dir.file("stone.jpg"), "jpg");
    writeText(dir.file("leaf.png"), "png");
    read(R"(<COLLADA xmlns="http://www.collada.org/2008/03/COLLADASchema" version="1.5.0">
 <library_images><image id="stone"><init_from><ref>stone.jpg</ref></init_from></image></library_images>
 <library_effects>
  <effect id="fx"><profile_COMMON>
   <image id="leaf"><init_from><ref>./leaf.png</ref></init_from></image>
   <newparam sid="samp"><sampler2D><instance_image url="#leaf"/></sampler2D></newparam>
   <technique sid="t"><phong>
    <diffuse><texture texture="samp" texcoord="TEX"/></diffuse>
    <transparent opaque="A_ONE"><color>1 1 1 1</color></transparent><transparency><float>0</float></transparency>
   </phong></technique></profile_COMMON></effect>
  <effect id="half"><profile_COMMON><technique sid="t"><phong>
    <transparent><color>1 1 1 1</color></transparent><transparency><float>0.4</float></transparency>
   </phong></technique></profile_COMMON></effect>
 </library_effects>
 <library_materials>
  <material id="m"><instance_effect url="#fx"/></material>
  <material id="n"><instance_effect url="#fx"/></material>
  <material id="w"><instance_effect url="#half"/></material>
 </library_materials>
</COLLADA>)",
         dir.path());
    EXPECT_GE(findById(&imageTable, "leaf"), 0);  // declared inside the effect
    EXPECT_STREQ(slotGet<ImageRec>(&imageTable, findById(&imageTable, "stone"))->source, "stone.jpg");
    for (const char* id : {"m", "n"}) {
        const MaterialRec* m = material(id);
        ASSERT_TRUE(m && m->textureCount == 1) << id;
        EXPECT_EQ(m->textureUsage[0], USAGE_DIFFUSE);
        EXPECT_TRUE(fileExists(m->textureFile[0])) << m->textureFile[0];
        EXPECT_STREQ(m->texcoord, "TEX");
        EXPECT_FALSE(m->has[5]);  // read as opaque, not invisible
    }
    // The same writer's 0.4 means 40 % transparent.
    const MaterialRec* w = material("w");
    ASSERT_TRUE(w && w->has[5]);
    EXPECT_NEAR(w->transparency, 0.4f, 1e-6f);
    EXPECT_TRUE(messages().empty());
}

// Real exporters' documents: the FBX exporter's Windows path, rooted and in another letter case,
// names a file beside the document's folder; Blender's missing images are reported.
TEST_F(Effects14Test, RealDocumentsFindTheirImages) {
    std::string shared = sharedDirectory();
    if (shared.empty()) GTEST_SKIP() << "no shared folder";
    std::string folder = shared + "samples/collada14/Collada/";
    std::vector<uint8_t> earth = readBytes(folder + "earthCylindrical.DAE");
    std::vector<uint8_t> blender = readBytes(folder + "regr01.dae");
    ASSERT_FALSE(earth.empty() || blender.empty()) << "samples missing from " << folder;

    read(std::string(earth.begin(), earth.end()), folder);
    const MaterialRec* m = material("_01___Default");
    ASSERT_TRUE(m && m->textureCount == 1);
    EXPECT_EQ(m->textureUsage[0], USAGE_DIFFUSE);
    std::string file = m->textureFile[0];
    EXPECT_NE(file.find("LWO/LWO2/MappingModes/earthCylindric.jpg"), std::string::npos) << file;
    EXPECT_TRUE(fileExists(file.c_str()));
    EXPECT_FALSE(m->has[5]);
    EXPECT_TRUE(messages().empty());

    // The same path as a URL on its own, and one that names nothing.
    char id[2048], path[2048];
    EXPECT_EQ(resolveUrl(id, path, "\\..\\LWO\\LWO2\\MappingModes\\EARTHCYLINDRIC.JPG"), 0);
    EXPECT_EQ(std::string(path), file);
    EXPECT_EQ(resolveUrl(id, path, "\\..\\LWO\\LWO2\\NoSuchFolder\\earthCylindric.jpg"), -1);

    read(std::string(blender.begin(), blender.end()), folder);
    int32_t seeThrough = 0;
    for (int32_t i = 0; i < materialRecTable.capacity; i++) {
        const MaterialRec* r = slotGet<MaterialRec>(&materialRecTable, i);
        if (r && r->has[5]) seeThrough++;
    }
    EXPECT_EQ(seeThrough, 1);  // the one window, not every material
    EXPECT_EQ(messages(), (std::vector<std::string>{"[ERROR] image " + folder + "default.png not found.",
                                                    "[ERROR] image " + folder + "transp.png not found."}));
}
}  // namespace
