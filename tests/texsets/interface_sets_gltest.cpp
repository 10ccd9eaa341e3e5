#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "pack/jpeg_decoder.h"
#include "render/gl.h"
#include "render/render_state.h"
#include "strings/string_table.h"
#include "support/test_support.h"
#include "system/files.h"
#include "texsets/interface_sets.h"
#include "texsets/set_file.h"
#include "texture/test_images.h"
#include "support/gl_window.h"

namespace {
using Sizes = std::vector<std::pair<int, int>>;


TestRgb gradient(int x, int y) { return TestRgb{(uint8_t)(x * 3), (uint8_t)(y * 2), 128}; }

class InterfaceSets : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(openTestWindow("interface sets test", 320, 240));
        render_init();
    }
    static void TearDownTestSuite() {
        render_shutdown();
        closeTestWindow();
    }
    void SetUp() override {
        stringsInit();
        interfaceSizeLimit = 2048;
        interfaceFilterMode = 2;
    }
    void TearDown() override {
        for (int32_t s = 0; s < MAX_INTERFACE_SETS; s++) freeInterfaceSet(s);
        stringsShutdown();
    }
    // Uploads a flat picture into (set 0, image 0) and returns its level sizes.
    Sizes upload(int w, int h, int32_t c = 0) {
        std::vector<uint8_t> pixels((size_t)w * h * 4, 77);
        uploadSetImage(0, 0, c, pixels.data(), w, h);
        bindSetImage(0, 0);
        Sizes sizes;
        for (int k = 0; levelParam(GL_TEXTURE_WIDTH, k) > 0; k++)
            sizes.push_back({levelParam(GL_TEXTURE_WIDTH, k), levelParam(GL_TEXTURE_HEIGHT, k)});
        return sizes;
    }
    // Builds a set file from the named JPEGs (all 32x32 unless given) and loads it.
    int32_t loadSet(const std::vector<std::string>& names, int32_t defer, std::vector<int> heights = {}) {
        for (size_t i = 0; i < names.size(); i++)
            EXPECT_TRUE(makeJpeg(dir.file(names[i]), 32, i < heights.size() ? heights[i] : 32, gradient));
        EXPECT_EQ(buildInterfaceSetFile("s.stf", dir.path().c_str(), 0), 0);
        return loadInterfaceSet(-1, -1, "s.stf", dir.path().c_str(), defer);
    }
    TempDir dir;
};
}  // namespace

TEST_F(InterfaceSets, LevelChainsFollowThePowerOfTwoSteps) {
    EXPECT_EQ(upload(300, 20), (Sizes{{128, 16}, {64, 8}, {32, 4}, {16, 2}, {8, 1}, {4, 1}, {2, 1}, {1, 1}}));
    EXPECT_EQ(setImageGet(0, 0)->width, 128);
    EXPECT_EQ(setImageGet(0, 0)->height, 16);
    EXPECT_EQ(textureParam(GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(textureParam(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    GLint env = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
    EXPECT_EQ(env, GL_MODULATE);
    // Width x height, size limit, level 0; the long side halves down to 8 x the short one.
    const struct { int w, h, limit, w0, h0; } cases[] = {{2048, 2048, 2048, 2048, 2048},
                                                         {3000, 400, 2048, 2048, 256},
                                                         {20, 300, 2048, 16, 128},
                                                         {300, 300, 100, 64, 64}};
    for (const auto& c : cases) {
        interfaceSizeLimit = c.limit;
        EXPECT_EQ(upload(c.w, c.h)[0], std::make_pair(c.w0, c.h0)) << c.w << "x" << c.h;
    }
    // Replacing an image's texture deletes the old one.
    GLuint old = setImageGet(0, 0)->texture;
    upload(8, 8);
    EXPECT_FALSE(glIsTexture(old));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(InterfaceSets, CompressionFollowsQAndThePreviousImageAndAlphaImagesKeepTheirMask) {
    ASSERT_EQ(extensions.flag[EXT_TEXTURE_COMPRESSION], 1) << "Mesa offers S3TC under Xvfb";
    // Image 3 (A = 1, Q = 2) is 32x64: its lower half becomes the alpha of a 32x32 texture.
    int32_t set = loadSet({"N_0000_T_00_A_0_Q_7_a.jpg", "N_0001_T_00_A_0_Q_0_b.jpg", "N_0002_T_00_A_0_Q_7_c.jpg",
                           "N_0003_T_00_A_1_Q_2_d.jpg", "N_0004_T_00_A_0_Q_7_e.jpg", "N_0005_T_00_A_0_Q_1_f.jpg",
                           "N_0006_T_00_A_0_Q_9_g.jpg"},
                          1, {32, 32, 32, 64});
    ASSERT_NE(set, -1);
    EXPECT_EQ(setImageGet(set, 0)->texture, 0u);
    const std::vector<uint8_t> masked(setImageGet(set, 3)->pixels, setImageGet(set, 3)->pixels + 32 * 32 * 4);
    uploadPendingImages(set);
    const GLint expected[] = {0, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0,
                              GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT};
    for (int i = 0; i < 7; i++) {
        const SetImage* im = setImageGet(set, i);
        EXPECT_EQ(im->pending, 0);
        EXPECT_EQ(im->pixels, nullptr);
        ASSERT_NE(im->texture, 0u);
        bindSetImage(set, i);
        EXPECT_EQ(levelParam(GL_TEXTURE_COMPRESSED), expected[i] ? 1 : 0) << i;
        if (expected[i]) {
            EXPECT_EQ(levelParam(GL_TEXTURE_INTERNAL_FORMAT), expected[i]) << i;
        }
    }
    bindSetImage(set, 3);
    ASSERT_EQ(levelParam(GL_TEXTURE_HEIGHT), 32);
    std::vector<uint8_t> texels(32 * 32 * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_TRUE(texels == masked);
    // The same file prepared away from GL and installed later gives the same textures.
    PreparedSet prepared;
    ASSERT_EQ(prepareInterfaceSet(&prepared, "s.stf", dir.path().c_str()), 0);
    EXPECT_EQ(prepared.count, 7);
    int32_t twin = installPreparedSet(-1, &prepared);
    ASSERT_NE(twin, set);
    EXPECT_EQ(prepared.images, nullptr);
    for (int i = 0; i < 7; i++) {
        const SetImage* a = setImageGet(set, i);
        const SetImage* b = setImageGet(twin, i);
        EXPECT_EQ(std::make_tuple(b->width, b->height, b->tag, b->alpha, b->quality, b->pending),
                  std::make_tuple(a->width, a->height, a->tag, a->alpha, a->quality, a->pending)) << i;
        bindSetImage(twin, i);
        EXPECT_EQ(levelParam(GL_TEXTURE_COMPRESSED), expected[i] ? 1 : 0) << i;
    }
    bindSetImage(twin, 3);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_TRUE(texels == masked);
    EXPECT_EQ(prepareInterfaceSet(&prepared, "missing.stf", dir.path().c_str()), -1);
    // Without driver compression nothing is compressed, whatever Q says.
    extensions.flag[EXT_TEXTURE_COMPRESSION] = 0;
    EXPECT_EQ(loadInterfaceSet(set, -1, "s.stf", dir.path().c_str(), 0), set);
    extensions.flag[EXT_TEXTURE_COMPRESSION] = 1;
    for (int i = 0; i < 7; i++) {
        bindSetImage(set, i);
        EXPECT_EQ(levelParam(GL_TEXTURE_COMPRESSED), 0) << i;
    }
    upload(16, 16, 2);
    EXPECT_EQ(levelParam(GL_TEXTURE_INTERNAL_FORMAT), GL_COMPRESSED_RGBA_S3TC_DXT3_EXT);
}

TEST_F(InterfaceSets, FreeingDeletesTexturesAndBindingChecksNothingBeyondTheStore) {
    int32_t a = loadSet({"N_0000_T_00_A_0_Q_2_a.jpg"}, 0);
    int32_t b = loadInterfaceSet(-1, -1, "s.stf", dir.path().c_str(), 1);
    ASSERT_NE(a, b);
    GLuint name = setImageGet(a, 0)->texture;
    bindSetImage(a, 0);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ((GLuint)bound, name);
    EXPECT_EQ(setImageGet(a, SET_IMAGES), nullptr);
    bindSetImage(a, 5000);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);
    EXPECT_EQ(freeInterfaceSet(a), -1);
    EXPECT_FALSE(glIsTexture(name));
    EXPECT_EQ(setImageGet(a, 0)->texture, 0u);
    EXPECT_EQ(findFreeSet(), a);
    EXPECT_EQ(freeInterfaceSet(-1), -1);

    uploadPendingImages(b);
    bindSetImage(b, 0);
    for (int mode = 0; mode <= 3; mode++) {
        applyFilterMode(mode);
        EXPECT_EQ(textureParam(GL_TEXTURE_MIN_FILTER), mode == 0 ? GL_LINEAR : GL_LINEAR_MIPMAP_LINEAR);
        EXPECT_EQ(textureParam(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
        if (extensions.flag[EXT_TEXTURE_FILTER_ANISOTROPIC]) {
            GLfloat aniso = 0;
            glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &aniso);
            EXPECT_EQ(aniso, mode == 2 ? 2.0f : 1.0f);
        }
    }
}

// The viewer's baked sets (font.stf, inter.stf) become textures as they were drawn: every image a
// power of two on each side (no resampling on upload) and none compressed by the driver.
TEST_F(InterfaceSets, BakedSetsLoadAsUncompressedTexturesOfTheirDrawnSize) {
    installViewerData(dir.path());
    const std::string data = dir.path() + "data/";
    int32_t font = loadInterfaceSet(-1, -1, "font.stf", data.c_str(), 0);
    ASSERT_NE(font, -1);
    EXPECT_EQ(std::make_pair(setImageGet(font, 0)->width, setImageGet(font, 0)->height), std::make_pair(1024, 1024));
    bindSetImage(font, 0);
    EXPECT_EQ(levelParam(GL_TEXTURE_COMPRESSED), GL_FALSE);
    EXPECT_EQ(firstFreeImage(font), 1);

    // The pictures' own sizes, from their JPEG headers.
    std::vector<uint8_t> bytes = readBytes(data + "inter.stf");
    ASSERT_GT(bytes.size(), 2u);
    int32_t offset = unscrambleBlob(bytes.data(), (int32_t)bytes.size());
    Sizes drawn;
    SetFileCursor cursor;
    SetFileRecord record;
    setFileBegin(&cursor, bytes.data(), (int32_t)bytes.size(), offset);
    while (setFileNext(&cursor, &record) == 0) {
        int32_t w = 0, h = 0;
        jpeg_image_size(record.data, record.size, &w, &h);
        drawn.push_back({w, record.alpha == 1 ? h / 2 : h});
    }
    ASSERT_EQ(drawn.size(), 36u);
    EXPECT_EQ(drawn[35], std::make_pair(1024, 512));
    int32_t inter = loadInterfaceSet(-1, -1, "inter.stf", data.c_str(), 0);
    ASSERT_NE(inter, -1);
    EXPECT_EQ(firstFreeImage(inter), 36);
    for (int32_t i = 0; i < 36; i++) {
        SetImage* image = setImageGet(inter, i);
        ASSERT_NE(image->texture, 0u) << i;
        bindSetImage(inter, i);
        EXPECT_EQ(levelParam(GL_TEXTURE_COMPRESSED), GL_FALSE) << i;
        // Uploaded as drawn: no side was cut to a power of two or to the aspect limit.
        EXPECT_EQ(std::make_pair(image->width, image->height), drawn[(size_t)i]) << i;
        EXPECT_EQ(levelParam(GL_TEXTURE_WIDTH), image->width) << i;
    }
}
