#include <IL/il.h>

#include <filesystem>

#include "import_fixture.h"

namespace fs = std::filesystem;

namespace {
// A small picture written by DevIL in the format its extension names.
void writeImage(const std::string& path, int w = 8, int h = 8) {
    ilInit();
    std::vector<uint8_t> rgb((size_t)w * h * 3);
    for (size_t i = 0; i < rgb.size(); i++) rgb[i] = (uint8_t)(i * 37);
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    ilTexImage(w, h, 1, 3, IL_RGB, IL_UNSIGNED_BYTE, rgb.data());
    ilEnable(IL_FILE_OVERWRITE);
    ASSERT_EQ(ilSaveImage(path.c_str()), IL_TRUE) << path;
    ilDeleteImages(1, &image);
}

std::string libraries(const std::string& images, const std::string& textures, const std::string& passInputs,
                      const std::string& params = "<param name=\"DIFFUSE\">0.5 0.5 0.5</param>") {
    std::string uv = "<source id=\"g-uv\"><float_array count=\"6\">0.25 0.25 1 0 1 1</float_array>"
                     "<technique profile=\"COMMON\"><accessor stride=\"2\"/></technique></source>"
                     "<source id=\"g-nrm\"><float_array count=\"3\">0 0 1</float_array></source>";
    std::string inputs = "<input semantic=\"VERTEX\" source=\"#g-vtx\" idx=\"0\"/>"
                         "<input semantic=\"NORMAL\" source=\"#g-nrm\" idx=\"1\"/>"
                         "<input semantic=\"TEXCOORD\" source=\"#g-uv\" idx=\"2\"/>";
    return "<library type=\"IMAGE\">" + images + "</library><library type=\"TEXTURE\">" + textures +
           "</library><library type=\"MATERIAL\"><material id=\"mat\"><shader><technique profile=\"COMMON\"><pass>" +
           passInputs + "<program url=\"PHONG\">" + params +
           "</program></pass></technique></shader></material></library><library type=\"GEOMETRY\">" +
           geometry("g", "0 0 0 1 0 0 1 1 0", 9, inputs, "<p>0 0 0 1 0 1 2 0 2</p>", uv, "#mat") + "</library>";
}

std::string image(const std::string& id, const std::string& source) {
    return "<image id=\"" + id + "\" source=\"" + source + "\"/>";
}
std::string texture(const std::string& id, const std::string& usage, const std::string& imageId) {
    return "<texture id=\"" + id + "\"><param name=\"" + usage + "\"/><technique profile=\"COMMON\">"
           "<input semantic=\"IMAGE\" source=\"#" + imageId + "\"/></technique></texture>";
}
std::string use(const std::string& textureId) {
    return "<input semantic=\"TEXTURE\" source=\"#" + textureId + "\"/>";
}
const char* kNode = "<node id=\"n\"><instance url=\"#g\"/></node>";
}  // namespace

TEST_F(ImportTest, APngBecomesACopyAJpegACacheFileAndATexturedMesh) {
    writeImage(dir.file("wood.png"));
    ASSERT_GE(import(document(libraries(image("img", "wood.png"), texture("tex", "DIFFUSE", "img"), use("tex")), kNode)),
              0);
    EXPECT_TRUE(fs::exists(textures + "wood.png"));
    EXPECT_TRUE(fs::exists(textures + "wood.jpg"));
    EXPECT_TRUE(fs::exists(textures + "vorten_texture_0_-1_0_1_wood.jpg"));
    const Mesh* m = meshesOf(root).at(0);
    EXPECT_EQ(m->material.mode, MATERIAL_TEXTURED);
    EXPECT_EQ(m->texCoordSets, 1);
    EXPECT_EQ(m->material.textureIds[0], 0);
    EXPECT_STREQ(m->material.textureName, "texture_import.stf");
    EXPECT_FLOAT_EQ(m->texCoords[0][0], 0.25f);
    EXPECT_FLOAT_EQ(m->texCoords[0][1], 0.75f);  // v flipped on import
    EXPECT_FLOAT_EQ(m->material.diffuse[0], 0.5f);
    EXPECT_FLOAT_EQ(m->material.diffuse[3], 1.0f);
    EXPECT_FLOAT_EQ(m->material.ambient[0], 0.2f);  // not given: the default stays
}

TEST_F(ImportTest, OurDecoderKeepsLowerCaseJpgButUpperCaseGoesThroughDevil) {
    writeImage(dir.file("photo.jpg"), 16, 16);
    std::vector<uint8_t> original = readBytes(dir.file("photo.jpg"));
    ASSERT_GE(import(document(libraries(image("img", "photo.jpg"), texture("tex", "DIFFUSE", "img"), use("tex")),
                              kNode)),
              0);
    EXPECT_EQ(readBytes(textures + "photo.jpg"), original);
    EXPECT_EQ(readBytes(textures + "vorten_texture_0_-1_0_1_photo.jpg"), original);

    fs::remove_all(textures);
    fs::create_directory(textures);
    fs::rename(dir.file("photo.jpg"), dir.file("PHOTO.JPG"));
    ASSERT_GE(import(document(libraries(image("img", "PHOTO.JPG"), texture("tex", "DIFFUSE", "img"), use("tex")),
                              kNode)),
              0);
    EXPECT_TRUE(fs::exists(textures + "PHOTO.JPG"));
    ASSERT_TRUE(fs::exists(textures + "PHOTO.jpg"));  // re-encoded beside it
    EXPECT_NE(readBytes(textures + "PHOTO.jpg"), original);
    EXPECT_TRUE(fs::exists(textures + "vorten_texture_0_-1_0_1_PHOTO.jpg"));
}

TEST_F(ImportTest, AnOpacityMapMergesOnlyAfterADiffuseMap) {
    writeImage(dir.file("colour.png"));
    writeImage(dir.file("mask.png"));
    std::string images = image("c", "colour.png") + image("m", "mask.png");
    std::string textureLib = texture("diffuse", "DIFFUSE", "c") + texture("opacity", "OPACITY", "m");
    ASSERT_GE(import(document(libraries(images, textureLib, use("opacity") + use("diffuse")), kNode)), 0);
    EXPECT_TRUE(fs::exists(textures + "vorten_texture_0_-1_0_1_colour.jpg"));
    EXPECT_EQ(countFiles("vorten_texture_*.*", textures.c_str()), 1);

    fs::remove_all(textures);
    fs::create_directory(textures);
    ASSERT_GE(import(document(libraries(images, textureLib, use("diffuse") + use("opacity")), kNode)), 0);
    EXPECT_TRUE(fs::exists(textures + "vorten_texture_1_0_1_1_mask.jpg"));
    EXPECT_EQ(countFiles("vorten_texture_*.*", textures.c_str()), 2);
}

TEST_F(ImportTest, AMissingImageIsReportedAndLeavesTheMeshUntextured) {
    ASSERT_GE(import(document(libraries(image("img", "nowhere/gone.png"), texture("tex", "DIFFUSE", "img"),
                                        use("tex")),
                              kNode)),
              0);
    auto texts = messageTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1], "[ERROR] image " + dir.path() + "nowhere/gone.png not found.");
    const Mesh* m = meshesOf(root).at(0);
    EXPECT_EQ(m->material.mode, MATERIAL_LIT);
    EXPECT_EQ(m->texCoordSets, 0);
    EXPECT_STREQ(m->material.textureName, "");
}

TEST_F(ImportTest, ImageUrlsResolveAbsoluteRelativeAndByName) {
    fs::create_directories(dir.file("maps/sub"));
    writeImage(dir.file("maps/sub/a.png"));
    writeImage(dir.file("b.png"));
    writeImage(dir.file("c d.png"));
    std::string images = image("a", "maps\\sub/a.png") + image("b", "file://" + dir.path() + "b.png") +
                         image("w", "file:///C:/Documents/b.png") + image("s", "c%20d.png");
    std::string textureLib = texture("ta", "DIFFUSE", "a") + texture("tb", "DIFFUSE", "b") +
                             texture("tw", "DIFFUSE", "w") + texture("ts", "DIFFUSE", "s");
    ASSERT_GE(import(document(libraries(images, textureLib, use("ta") + use("tb") + use("tw") + use("ts")), kNode)), 0);
    EXPECT_EQ(messageTexts().size(), 2u);  // nothing reported missing
    EXPECT_TRUE(fs::exists(textures + "vorten_texture_0_-1_0_1_a.jpg"));
    EXPECT_TRUE(fs::exists(textures + "vorten_texture_1_-1_0_1_b.jpg"));
    EXPECT_TRUE(fs::exists(textures + "c d.jpg"));
}

TEST_F(ImportTest, TransparencyBelowOneMakesTheMeshTransparent) {
    ASSERT_GE(import(document(libraries("", "", "",
                                        "<param name=\"DIFFUSE\">0.2 0.4 0.6</param>"
                                        "<param name=\"TRANSPARENCY\">0.25</param><param name=\"SHININESS\">12</param>"),
                              kNode)),
              0);
    const Mesh* m = meshesOf(root).at(0);
    EXPECT_FLOAT_EQ(m->material.diffuse[1], 0.4f);
    EXPECT_FLOAT_EQ(m->material.diffuse[3], 0.75f);
    EXPECT_FLOAT_EQ(m->material.shininess, 12.0f);
    EXPECT_TRUE(materialIsTransparent(&m->material));
}
