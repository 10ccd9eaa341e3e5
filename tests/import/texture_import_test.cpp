#include <IL/il.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "image_files.h"
#include "import_fixture.h"
#include "pack/jpeg_decoder.h"
#include "system/memory.h"
#include "texture/texture_pack.h"

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
// Under one top node, one textured triangle per material (node i, geometry gi, material mati); a
// material is its pass inputs and its program's parameters.
std::string texturedDocument(const std::string& images, const std::string& textures,
                             const std::vector<std::pair<std::string, std::string>>& materials) {
    std::string lib, geometries, nodes;
    for (size_t i = 0; i < materials.size(); i++) {
        std::string n = std::to_string(i), g = "g" + n;
        lib += "<material id=\"mat" + n + "\"><shader><technique profile=\"COMMON\"><pass>" + materials[i].first +
               "<program url=\"PHONG\">" + materials[i].second + "</program></pass></technique></shader></material>";
        std::string extra = "<source id=\"" + g + "-uv\"><float_array count=\"6\">0.25 0.25 1 0 1 1</float_array>"
                            "<technique profile=\"COMMON\"><accessor stride=\"2\"/></technique></source><source id=\"" +
                            g + "-nrm\"><float_array count=\"3\">0 0 1</float_array></source>";
        std::string inputs = vertexOf(g) + "<input semantic=\"NORMAL\" source=\"#" + g + "-nrm\" idx=\"1\"/>" +
                             "<input semantic=\"TEXCOORD\" source=\"#" + g + "-uv\" idx=\"2\"/>";
        geometries += geometry(g, "0 0 0 1 0 0 1 1 0", 9, inputs, "<p>1 0 0 2 0 1 0 0 2</p>", extra, "#mat" + n);
        nodes += "<node id=\"n" + n + "\"><instance url=\"#" + g + "\"/></node>";
    }
    return document("<library type=\"IMAGE\">" + images + "</library><library type=\"TEXTURE\">" + textures +
                        "</library><library type=\"MATERIAL\">" + lib + "</library>" + geometryLibrary(geometries),
                    "<node id=\"top\">" + nodes + "</node>");
}

// One image, texture and material per source: mesh i (child i of the root) uses source i.
std::string perImageDocument(const std::vector<std::string>& sources) {
    std::string images, textureLib;
    std::vector<std::pair<std::string, std::string>> materials;
    for (size_t i = 0; i < sources.size(); i++) {
        std::string n = std::to_string(i);
        images += image("img" + n, sources[i]);
        textureLib += texture("tex" + n, "DIFFUSE", "img" + n);
        materials.push_back({use("tex" + n), ""});
    }
    return texturedDocument(images, textureLib, materials);
}

// Names in a directory, sorted.
std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The RGB of pixel (0, 0) of a JPEG file as our decoder reads it; {-1} when it does not.
std::vector<int> firstPixel(const std::string& path) {
    uint8_t* rgb = nullptr;
    int32_t w = 0, h = 0, ok = 0;
    jpeg_decode_file(&rgb, path.c_str(), "", 0, &w, &h, 0, &ok);
    std::vector<int> out = ok == 1 && rgb ? std::vector<int>{rgb[0], rgb[1], rgb[2]} : std::vector<int>{-1};
    memFree(rgb, "test", __LINE__);
    return out;
}

void expectNear(const std::vector<int>& got, const std::vector<int>& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < got.size(); i++) EXPECT_NEAR(got[i], want[i], 2) << what << " channel " << i;
}
}  // namespace

TEST_F(ImportTest, APngBecomesACopyAJpegACacheFileAndATexturedTransparentMesh) {
    writeImage(dir.file("wood.png"));
    const std::string params = "<param name=\"DIFFUSE\">0.2 0.4 0.6</param><param name=\"TRANSPARENCY\">0.25</param>"
                               "<param name=\"SHININESS\">12</param>";
    ASSERT_GE(import(texturedDocument(image("img", "wood.png"), texture("tex", "DIFFUSE", "img"), {{use("tex"), params}})),
              0);
    EXPECT_TRUE(fs::exists(textures + "wood.png"));
    EXPECT_TRUE(fs::exists(textures + "wood.jpg"));
    EXPECT_TRUE(fs::exists(textures + "vorten_texture_0_-1_0_1_wood.jpg"));
    const Mesh* m = meshesOf(childrenOf(root).at(0)).at(0);
    EXPECT_EQ(m->material.mode, MATERIAL_TEXTURED);
    EXPECT_EQ(m->texCoordSets, 1);
    EXPECT_EQ(m->material.textureIds[0], 0);
    EXPECT_STREQ(m->material.textureName, "texture_import.stf");
    EXPECT_FLOAT_EQ(m->texCoords[0][0], 0.25f);
    EXPECT_FLOAT_EQ(m->texCoords[0][1], 0.75f);  // v flipped; vertex 0 is position 1 with coordinate 0
    EXPECT_FLOAT_EQ(m->material.diffuse[1], 0.4f);
    EXPECT_FLOAT_EQ(m->material.diffuse[3], 0.75f);
    EXPECT_FLOAT_EQ(m->material.shininess, 12.0f);
    EXPECT_TRUE(materialIsTransparent(&m->material));
    EXPECT_FLOAT_EQ(m->material.ambient[0], 0.2f);  // not given: the default stays

    // A primitive keeps its first 32 texture-coordinate inputs; the rest are left out.
    std::string doc = texturedDocument(image("img", "wood.png"), texture("tex", "DIFFUSE", "img"), {{use("tex"), ""}});
    const std::string uv = "<input semantic=\"TEXCOORD\" source=\"#g0-uv\" idx=\"2\"/>";
    std::string uvs;
    for (int i = 0; i < 40; i++) uvs += uv;
    ASSERT_GE(import(doc.replace(doc.find(uv), uv.size(), uvs)), 0);
    m = meshesOf(childrenOf(root).at(0)).at(0);
    EXPECT_EQ(m->material.mode, MATERIAL_TEXTURED);
    EXPECT_FLOAT_EQ(m->texCoords[0][1], 0.75f);
}

TEST_F(ImportTest, GifTiffAndUpperCaseJpegGoThroughTheConverterLowerCaseJpgIsKept) {
    writeBytes(dir.file("leaf.gif"), gifFile(30, 20));
    writeImage(dir.file("bark.tif"), 12, 10);
    writeImage(dir.file("photo.jpg"), 16, 16);
    std::vector<uint8_t> original = readBytes(dir.file("photo.jpg"));
    writeBytes(dir.file("SHOT.JPG"), original);
    ASSERT_GE(import(perImageDocument({"leaf.gif", "bark.tif", "photo.jpg", "SHOT.JPG"})), 0);
    for (int32_t node : childrenOf(root)) EXPECT_EQ(meshesOf(node).at(0)->material.mode, MATERIAL_TEXTURED);
    for (const char* name : {"leaf.jpg", "bark.jpg"})
        EXPECT_NE(firstPixel(textures + name), std::vector<int>{-1}) << name;
    EXPECT_EQ(readBytes(textures + "photo.jpg"), original);
    EXPECT_EQ(readBytes(textures + "vorten_texture_2_-1_0_1_photo.jpg"), original);
    EXPECT_TRUE(fs::exists(textures + "SHOT.JPG"));
    ASSERT_TRUE(fs::exists(textures + "SHOT.jpg"));  // re-encoded beside it
    EXPECT_NE(readBytes(textures + "SHOT.jpg"), original);
    EXPECT_TRUE(fs::exists(textures + "vorten_texture_3_-1_0_1_SHOT.jpg"));
}

TEST_F(ImportTest, AnOpacityMapMergesOnlyAfterADiffuseMap) {
    writeImage(dir.file("colour.png"));
    writeImage(dir.file("mask.png"));
    std::string images = image("c", "colour.png") + image("m", "mask.png");
    std::string textureLib = texture("diffuse", "DIFFUSE", "c") + texture("opacity", "OPACITY", "m");
    ASSERT_GE(import(texturedDocument(images, textureLib, {{use("opacity") + use("diffuse"), ""}})), 0);
    EXPECT_TRUE(fs::exists(textures + "vorten_texture_0_-1_0_1_colour.jpg"));
    EXPECT_EQ(countFiles("vorten_texture_*.*", textures.c_str()), 1);

    fs::remove_all(textures);
    fs::create_directory(textures);
    ASSERT_GE(import(texturedDocument(images, textureLib, {{use("diffuse") + use("opacity"), ""}})), 0);
    EXPECT_TRUE(fs::exists(textures + "vorten_texture_1_0_1_1_mask.jpg"));
    EXPECT_EQ(countFiles("vorten_texture_*.*", textures.c_str()), 2);

    // A pass keeps its first 32 texture inputs: a diffuse map after 32 others is not read.
    fs::remove_all(textures);
    fs::create_directory(textures);
    std::string inputs;
    for (int i = 0; i < 32; i++) inputs += use("opacity");
    ASSERT_GE(import(texturedDocument(images, textureLib, {{inputs + use("diffuse"), ""}})), 0);
    EXPECT_EQ(countFiles("vorten_texture_*.*", textures.c_str()), 0);
}

TEST_F(ImportTest, ImageUrlsResolveAbsoluteRelativeEscapedAndByName) {
    fs::create_directories(dir.file("maps/sub"));
    writeImage(dir.file("maps/sub/a.png"));
    writeBytes(dir.file("b.png"), pngFile(4, 4));
    writeBytes(dir.file("c d.png"), pngFile(4, 4, true));
    writeBytes(dir.file("first.png"), pngFile(5, 4));
    writeBytes(dir.file("e~.png"), pngFile(3, 4));
    ASSERT_GE(import(perImageDocument({"maps\\sub/a.png", "file://" + dir.path() + "b.png",
                                       "file:///C:/Documents/b.png", "c%20d.png", dir.path() + "b.png", "c d.png",
                                       "first.png and more words", "  c d.png  ", "e%7e.png"})),
              0);
    EXPECT_EQ(messageTexts().size(), 2u);  // nothing reported missing
    std::vector<int32_t> ids;
    for (int32_t node : childrenOf(root)) ids.push_back(meshesOf(node).at(0)->material.textureIds[0]);
    EXPECT_EQ(ids, (std::vector<int32_t>{0, 1, 1, 2, 1, 2, 3, 2, 4}));
    EXPECT_TRUE(fs::exists(textures + "vorten_texture_2_-1_0_1_c d.jpg"));

    // Neither the first word nor the whole value names a file: the whole value is what the message names.
    ASSERT_GE(import(perImageDocument({"gone away.png"})), 0);
    auto texts = messageTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1], "[ERROR] image " + dir.path() + "gone away.png not found.");
    const Mesh* m = meshesOf(childrenOf(root).at(0)).at(0);
    EXPECT_EQ(m->material.mode, MATERIAL_LIT);
    EXPECT_EQ(m->texCoordSets, 0);
    EXPECT_STREQ(m->material.textureName, "");
}

TEST_F(ImportTest, HostileImagesAreRefusedBeforeAnyDecoderAndNothingIsCopied) {
    // Headers that lie about their size (37838^2 * 3 wraps past 2^32), files that are no images
    // (/etc/passwd in every spelling), and paths that name no regular file: each is refused with
    // its reason, the mesh stays untextured, the import goes on, and neither the texture directory
    // nor the pack the viewer builds next holds anything.
    writeBytes(dir.file("wrap.tga"), tgaFile(40, 40, 37838, 37838));
    writeBytes(dir.file("wrap.bmp"), bmpFile(40, 40, 37838, 37838));
    writeBytes(dir.file("cut.tga"), tgaFile(16, 16, 65535, 65535));
    writeBytes(dir.file("huge.png"), pngFile(16, 16, false, 20000, 20000));
    writeText(dir.file("notes.png"), "just some text\n");
    writeBytes(dir.file("empty.tga"), {});
    fs::create_directory(dir.file("folder.png"));
    // An 8-bit BMP of two colours whose second pixel is colour 2: the converter's image library
    // would read past its palette.
    ImageBytes palette = {'B', 'M'};
    for (uint32_t v : {66u, 0u, 62u, 40u, 2u, 1u, 0x80001u, 0u, 0u, 0u, 0u, 2u, 0u}) putLe(palette, v, 4);
    palette.insert(palette.end(), {9, 9, 9, 0, 200, 200, 200, 0, 0, 2, 0, 0});
    writeBytes(dir.file("palette.bmp"), palette);
    ASSERT_EQ(mkfifo(dir.file("pipe.png").c_str(), 0600), 0);
    const std::string big = " is too large: ", up = "../../../../../../../../../../../../";
    std::string upWindows = up;
    std::replace(upWindows.begin(), upWindows.end(), '/', '\\');
    // Each file is told once, however it is spelled ("" for a repeat).
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"wrap.tga", dir.path() + "wrap.tga" + big + "37838 x 37838 pixels (at most 8192 x 8192)."},
        {"wrap.bmp", dir.path() + "wrap.bmp" + big + "37838 x 37838 pixels (at most 8192 x 8192)."},
        {"cut.tga", dir.path() + "cut.tga" + big + "65535 x 65535 pixels (at most 8192 x 8192)."},
        {"huge.png", dir.path() + "huge.png" + big + "20000 x 20000 pixels (at most 8192 x 8192)."},
        {"notes.png", dir.path() + "notes.png is not a readable image."},
        {"empty.tga", dir.path() + "empty.tga is not a readable image."},
        {"folder.png", dir.path() + "folder.png is not a readable image."},
        {"pipe.png", dir.path() + "pipe.png is not a readable image."},
        {"palette.bmp", dir.path() + "palette.bmp is not a readable image."},
        {"/dev/zero", "/dev/zero is not a readable image."},
        {"file:///dev/null", "/dev/null is not a readable image."},
        {"/etc/passwd", "/etc/passwd is not a readable image."},
        {"file:///etc/passwd", ""},
        {up + "etc/passwd", dir.path() + up + "etc/passwd is not a readable image."},
        {upWindows + "etc\\passwd", ""},
    };
    std::vector<std::string> sources, expected = {"Open " + dir.path() + "model.dae."};
    for (const auto& c : cases) {
        sources.push_back(c.first);
        if (!c.second.empty()) expected.push_back("[ERROR] image " + c.second);
    }
    expected.push_back("Done.");
    ASSERT_GE(import(perImageDocument(sources)), 0);
    EXPECT_EQ(messageTexts(), expected);
    std::vector<int32_t> nodes = childrenOf(root);
    ASSERT_EQ(nodes.size(), cases.size());
    for (size_t i = 0; i < cases.size(); i++)
        EXPECT_EQ(meshesOf(nodes[i]).at(0)->material.mode, MATERIAL_LIT) << cases[i].first;
    EXPECT_TRUE(filesIn(textures).empty());
    ASSERT_EQ(texture_pack_build(textures.c_str()), 0);
    EXPECT_EQ(readBytes(textures + "texture_import.stf"), (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST_F(ImportTest, SameNamesInOtherFoldersGetTheirOwnTexturesAndTheSameImageKeepsOneId) {
    fs::create_directories(dir.file("a"));
    fs::create_directories(dir.file("b"));
    writeBytes(dir.file("a/wood.png"), pngFile(8, 8));
    writeBytes(dir.file("b/wood.png"), pngFile(8, 8, true));
    writeBytes(dir.file("b/wood.jpg"), flatJpeg(8, 8, {60, 128, 128}));  // kept: its name is wood.jpg's
    ASSERT_GE(import(perImageDocument({"a/wood.png", "b/wood.png", "a/wood.png", "b/wood.jpg", "a/../a/wood.png"})), 0);
    EXPECT_EQ(messageTexts().size(), 2u);
    std::vector<int32_t> ids;
    for (int32_t node : childrenOf(root)) {
        const Mesh* m = meshesOf(node).at(0);
        EXPECT_EQ(m->material.mode, MATERIAL_TEXTURED);
        ids.push_back(m->material.textureIds[0]);
    }
    EXPECT_EQ(ids, (std::vector<int32_t>{0, 1, 0, 2, 0}));
    EXPECT_EQ(filesIn(textures),
              (std::vector<std::string>{"vorten_texture_0_-1_0_1_wood.jpg", "vorten_texture_1_-1_0_1_wood-2.jpg",
                                        "vorten_texture_2_-1_0_1_wood-3.jpg", "wood-2.jpg", "wood-2.png", "wood-3.jpg",
                                        "wood.jpg", "wood.png"}));
    EXPECT_EQ(readBytes(textures + "wood-2.png"), readBytes(dir.file("b/wood.png")));
    EXPECT_EQ(readBytes(textures + "wood-3.jpg"), readBytes(dir.file("b/wood.jpg")));
    // Three different pictures in the pack.
    ASSERT_EQ(texture_pack_build(textures.c_str()), 0);
    std::vector<uint8_t> pack = readBytes(textures + "texture_import.stf");
    SlotTable records;
    slotInit(&records, 4, (int32_t)sizeof(TextureRecord));
    ASSERT_EQ(texture_pack_parse(&records, pack.data(), (int32_t)pack.size(), 1, nullptr), 3);
    const uint8_t* p[3];
    for (int i = 0; i < 3; i++) p[i] = slotGet<TextureRecord>(&records, i)->pixels;
    ASSERT_TRUE(p[0] && p[1] && p[2]);
    EXPECT_NE(std::memcmp(p[0], p[1], 8 * 8 * 4), 0);
    EXPECT_NE(std::memcmp(p[1], p[2], 8 * 8 * 4), 0);
    texture_records_free(&records);
}

TEST_F(ImportTest, CmykYcckAndAdobeRgbJpegsAreConvertedInTheirRealColours) {
    // Our decoder refuses them; the converter turns them into what libjpeg-turbo shows. CMYK is
    // stored inverted, as Adobe writes it: (200, 100, 50) with black 128 is about (100, 50, 25).
    writeBytes(dir.file("cmyk.jpg"), flatJpeg(16, 16, {200, 100, 50, 128}, 0));
    writeBytes(dir.file("ycck.jpg"), flatJpeg(16, 16, {200, 100, 150, 128}, 2));
    writeBytes(dir.file("rgb.jpg"), flatJpeg(16, 16, {200, 100, 50}, 0));
    writeBytes(dir.file("ycc.jpg"), flatJpeg(16, 16, {200, 100, 150}, 1));
    writeBytes(dir.file("grey.jpg"), flatJpeg(16, 16, {101, 101, 101, 128}, 0));
    ASSERT_GE(import(perImageDocument({"cmyk.jpg", "ycck.jpg", "rgb.jpg", "ycc.jpg", "grey.jpg"})), 0);
    EXPECT_EQ(messageTexts().size(), 2u);
    expectNear(firstPixel(textures + "vorten_texture_0_-1_0_1_cmyk.jpg"), {100, 50, 25}, "CMYK");
    expectNear(firstPixel(textures + "vorten_texture_1_-1_0_1_ycck.jpg"), {12, 31, 53}, "YCCK");
    expectNear(firstPixel(textures + "vorten_texture_2_-1_0_1_rgb.jpg"), {200, 100, 50}, "Adobe RGB");
    // Rounded as libjpeg-turbo rounds: 101 x 128 / 255 is 50.7 (grey survives the JPEG exactly).
    EXPECT_EQ(firstPixel(textures + "vorten_texture_4_-1_0_1_grey.jpg"), (std::vector<int>{51, 51, 51}));
    // A YCbCr file our decoder reads stays as it is.
    EXPECT_EQ(readBytes(textures + "ycc.jpg"), readBytes(dir.file("ycc.jpg")));
    EXPECT_NE(readBytes(textures + "rgb.jpg"), readBytes(dir.file("rgb.jpg")));
}

TEST_F(ImportTest, AnUnwritableTextureDirectoryIsReportedOnceAndLeavesNoFile) {
    writeBytes(dir.file("a.png"), pngFile(32, 32));
    writeBytes(dir.file("b.png"), pngFile(32, 32, true));
    const std::string doc = perImageDocument({"a.png", "b.png"});
    auto expectRefused = [&](const std::string& reason) {
        auto texts = messageTexts();
        ASSERT_EQ(texts.size(), 3u);
        EXPECT_EQ(texts[1], "[ERROR] image directory " + textures + " cannot be written: " + reason + ".");
        for (int32_t node : childrenOf(root)) EXPECT_EQ(meshesOf(node).at(0)->material.mode, MATERIAL_LIT);
    };
    // A directory whose name a file holds (unwritable even for root).
    std::string kept = textures;
    textures = dir.path() + "taken/";
    writeText(dir.file("taken"), "a file");
    ASSERT_GE(import(doc), 0);
    expectRefused("Not a directory");

    // A file-size limit below the image: the copy fails part-way and is removed, not left short.
    textures = kept;
    struct rlimit before;
    getrlimit(RLIMIT_FSIZE, &before);
    struct rlimit small = before;
    small.rlim_cur = 64;  // less than either PNG
    writeText(dir.file("model.dae"), doc);
    stringTableClear(messages);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    root = importScene(root, "model.dae", dir.path().c_str(), textures.c_str(), messages);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previous);
    ASSERT_GE(root, 0);
    expectRefused("File too large");
    EXPECT_TRUE(filesIn(textures).empty());

    // A read-only directory, where permissions mean something.
    if (geteuid() != 0) {
        fs::permissions(textures, fs::perms::owner_read | fs::perms::owner_exec);
        ASSERT_GE(import(doc), 0);
        fs::permissions(textures, fs::perms::owner_all);
        expectRefused("Permission denied");
        EXPECT_TRUE(filesIn(textures).empty());
    }
}

TEST_F(ImportTest, AConverterThatCannotStartFailsCrashesHangsOrLiesCostsOnlyItsTexture) {
    // The lower-case JPEG needs no converter; the PNG does. Whatever the converter does, the JPEG
    // stays textured, the PNG is refused and none of its files stays behind.
    writeBytes(dir.file("kept.jpg"), flatJpeg(8, 8, {90, 128, 128}));
    writeBytes(dir.file("needs.png"), pngFile(12, 12));
    auto script = [&](const std::string& name, const std::string& body) {
        writeText(dir.file(name), "#!/bin/sh\n" + body + "\n");
        fs::permissions(dir.file(name), fs::perms::owner_all);
        return dir.file(name);
    };
    const std::string refused = "[ERROR] image " + dir.path() + "needs.png is not a readable image.";
    const std::vector<std::pair<std::string, std::string>> converters = {
        {dir.path() + "no-such-converter",
         "[ERROR] image " + dir.path() + "needs.png cannot be converted: the converter " + dir.path() +
             "no-such-converter cannot be started (No such file or directory)."},
        {"/bin/false", refused},
        {"/bin/true", refused},  // exits 0 but writes nothing
        {script("crash", "kill -SEGV $$"), refused},
        {script("hang", "exec sleep 30"), refused},
        {script("garbage", "echo not a jpeg > \"$3\"; exit 0"), refused},
        {script("wrong-size", "cp '" + dir.file("kept.jpg") + "' \"$3\"; exit 0"), refused},
    };
    imageConverterSetTimeLimit(500);
    for (const auto& [program, message] : converters) {
        SCOPED_TRACE(program);
        fs::remove_all(textures);
        fs::create_directory(textures);
        imageConverterSetProgram(program.c_str());
        ASSERT_GE(import(perImageDocument({"kept.jpg", "needs.png"})), 0);
        auto texts = messageTexts();
        ASSERT_EQ(texts.size(), 3u);
        EXPECT_EQ(texts[1], message);
        std::vector<int32_t> nodes = childrenOf(root);
        EXPECT_EQ(meshesOf(nodes.at(0)).at(0)->material.mode, MATERIAL_TEXTURED);
        EXPECT_EQ(meshesOf(nodes.at(1)).at(0)->material.mode, MATERIAL_LIT);
        EXPECT_EQ(filesIn(textures), (std::vector<std::string>{"kept.jpg", "vorten_texture_0_-1_0_1_kept.jpg"}));
    }
    // A converter that hangs is waited for once, however many meshes use the image.
    fs::remove_all(textures);
    fs::create_directory(textures);
    imageConverterSetProgram(script("counted", "echo run >> '" + dir.file("runs") + "'; exec sleep 30").c_str());
    ASSERT_GE(import(perImageDocument({"needs.png", "needs.png", "needs.png"})), 0);
    std::vector<uint8_t> runs = readBytes(dir.file("runs"));
    EXPECT_EQ(std::string(runs.begin(), runs.end()), "run\n");
    // The real converter takes it.
    useBuiltImageConverter();
    ASSERT_GE(import(perImageDocument({"kept.jpg", "needs.png"})), 0);
    EXPECT_EQ(messageTexts().size(), 2u);
    EXPECT_NE(firstPixel(textures + "vorten_texture_1_-1_0_1_needs.jpg"), std::vector<int>{-1});
}
