#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "pack/jpeg_decoder.h"
#include "render/gl.h"
#include "render/render_state.h"
#include "strings/string_table.h"
#include "support/test_support.h"
#include "system/files.h"
#include "system/memory.h"
#include "texsets/interface_sets.h"
#include "texsets/set_file.h"
#include "texture/test_images.h"
#include "support/gl_window.h"

namespace {
using Sizes = std::vector<std::pair<int, int>>;

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
        for (int k = 0;; k++) {
            GLint lw = 0, lh = 0;
            glGetTexLevelParameteriv(GL_TEXTURE_2D, k, GL_TEXTURE_WIDTH, &lw);
            glGetTexLevelParameteriv(GL_TEXTURE_2D, k, GL_TEXTURE_HEIGHT, &lh);
            if (lw == 0) break;
            sizes.push_back({lw, lh});
        }
        return sizes;
    }
    static GLint levelParam(GLenum name) {
        GLint v = -1;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, name, &v);
        return v;
    }
    static GLint param(GLenum name) {
        GLint v = -1;
        glGetTexParameteriv(GL_TEXTURE_2D, name, &v);
        return v;
    }
    TempDir dir;
};

TestRgb gradient(int x, int y) { return TestRgb{(uint8_t)(x * 3), (uint8_t)(y * 2), 128}; }
}  // namespace

TEST_F(InterfaceSets, LevelChainsFollowThePowerOfTwoSteps) {
    EXPECT_EQ(upload(300, 20), (Sizes{{128, 16}, {64, 8}, {32, 4}, {16, 2}, {8, 1}, {4, 1}, {2, 1}, {1, 1}}));
    EXPECT_EQ(setImageGet(0, 0)->width, 128);
    EXPECT_EQ(setImageGet(0, 0)->height, 16);
    EXPECT_EQ(param(GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(param(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(param(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    GLint env = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
    EXPECT_EQ(env, GL_MODULATE);
    EXPECT_EQ(upload(2048, 2048)[0], std::make_pair(2048, 2048));
    EXPECT_EQ(upload(3000, 400)[0], std::make_pair(2048, 256));
    EXPECT_EQ(upload(20, 300)[0], std::make_pair(16, 128));  // the long side halves to 8 x the short one
    interfaceSizeLimit = 100;
    EXPECT_EQ(upload(300, 300)[0], std::make_pair(64, 64));
    // Replacing an image's texture deletes the old one.
    GLuint old = setImageGet(0, 0)->texture;
    upload(8, 8);
    EXPECT_FALSE(glIsTexture(old));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(InterfaceSets, CompressionFollowsQAndThePreviousImage) {
    ASSERT_EQ(extensions.flag[EXT_TEXTURE_COMPRESSION], 1) << "Mesa offers S3TC under Xvfb";
    std::string src = dir.path();
    const char* names[] = {"N_0000_T_00_A_0_Q_7_a.jpg", "N_0001_T_00_A_0_Q_0_b.jpg", "N_0002_T_00_A_0_Q_7_c.jpg",
                           "N_0003_T_00_A_0_Q_2_d.jpg", "N_0004_T_00_A_0_Q_7_e.jpg", "N_0005_T_00_A_0_Q_1_f.jpg",
                           "N_0006_T_00_A_0_Q_9_g.jpg"};
    for (const char* n : names) ASSERT_TRUE(makeJpeg(src + n, 32, 32, gradient));
    ASSERT_EQ(buildInterfaceSetFile("q.stf", src.c_str(), 0), 0);
    int32_t set = loadInterfaceSet(-1, -1, "q.stf", src.c_str(), 0);
    ASSERT_NE(set, -1);
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
    // Without driver compression nothing is compressed, whatever Q says.
    extensions.flag[EXT_TEXTURE_COMPRESSION] = 0;
    EXPECT_EQ(loadInterfaceSet(set, -1, "q.stf", src.c_str(), 0), set);
    extensions.flag[EXT_TEXTURE_COMPRESSION] = 1;
    for (int i = 0; i < 7; i++) {
        bindSetImage(set, i);
        EXPECT_EQ(levelParam(GL_TEXTURE_COMPRESSED), 0) << i;
    }
    // DXT3 is reachable through uploadSetImage.
    upload(16, 16, 2);
    EXPECT_EQ(levelParam(GL_TEXTURE_INTERNAL_FORMAT), GL_COMPRESSED_RGBA_S3TC_DXT3_EXT);
}

TEST_F(InterfaceSets, AlphaImagesUploadTheMaskOfTheirLowerHalf) {
    std::string src = dir.path();
    ASSERT_TRUE(makeJpeg(src + "N_0000_T_00_A_1_Q_2_icon.jpg", 64, 128, [](int x, int y) {
        return y < 64 ? TestRgb{40, 80, 120} : TestRgb{(uint8_t)(x * 4), 0, 0};
    }));
    ASSERT_EQ(buildInterfaceSetFile("a.stf", src.c_str(), 0), 0);
    int32_t set = loadInterfaceSet(-1, -1, "a.stf", src.c_str(), 0);
    bindSetImage(set, 0);
    EXPECT_EQ(levelParam(GL_TEXTURE_WIDTH), 64);
    EXPECT_EQ(levelParam(GL_TEXTURE_HEIGHT), 64);
    std::vector<uint8_t> texels(64 * 64 * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    std::vector<uint8_t> jpeg = readBytes(src + "N_0000_T_00_A_1_Q_2_icon.jpg");
    uint8_t* rgb = nullptr;
    int32_t w = 0, h = 0, ok = 0;
    jpeg_decode_memory(&rgb, jpeg.data(), (int32_t)jpeg.size(), &w, &h, 0, &ok);
    ASSERT_EQ(ok, 1);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) ASSERT_EQ(texels[(size_t)(y * 64 + x) * 4 + 3], rgb[((y + 64) * 64 + x) * 3]);
    EXPECT_GT(texels[63 * 4 + 3], texels[3] + 100);  // the mask's ramp, not the picture's flat colour
    memFree(rgb, "test", __LINE__);
}

TEST_F(InterfaceSets, FreeingDeletesTexturesAndBindingChecksNothingBeyondTheStore) {
    std::string src = dir.path();
    ASSERT_TRUE(makeJpeg(src + "N_0000_T_00_A_0_Q_2_a.jpg", 16, 16, gradient));
    ASSERT_EQ(buildInterfaceSetFile("f.stf", src.c_str(), 0), 0);
    int32_t a = loadInterfaceSet(-1, -1, "f.stf", src.c_str(), 0);
    int32_t b = loadInterfaceSet(-1, -1, "f.stf", src.c_str(), 1);  // deferred: pixels wait
    ASSERT_NE(a, b);
    EXPECT_EQ(setImageGet(b, 0)->texture, 0u);
    EXPECT_EQ(setImageGet(b, 0)->pending, 1);
    uploadPendingImages(b);
    EXPECT_NE(setImageGet(b, 0)->texture, 0u);
    GLuint name = setImageGet(a, 0)->texture;
    bindSetImage(a, 0);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ((GLuint)bound, name);
    bindSetImage(a, 5000);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);
    EXPECT_EQ(freeInterfaceSet(a), -1);
    EXPECT_FALSE(glIsTexture(name));
    EXPECT_EQ(setImageGet(a, 0)->texture, 0u);
    EXPECT_EQ(findFreeSet(), a);
    EXPECT_EQ(freeInterfaceSet(-1), -1);

    bindSetImage(b, 0);
    for (int mode = 0; mode <= 3; mode++) {
        applyFilterMode(mode);
        EXPECT_EQ(param(GL_TEXTURE_MIN_FILTER), mode == 0 ? GL_LINEAR : GL_LINEAR_MIPMAP_LINEAR);
        EXPECT_EQ(param(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
        if (extensions.flag[EXT_TEXTURE_FILTER_ANISOTROPIC]) {
            GLfloat aniso = 0;
            glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &aniso);
            EXPECT_EQ(aniso, mode == 2 ? 2.0f : 1.0f);
        }
    }
}
