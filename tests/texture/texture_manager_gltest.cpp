#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "render/gl.h"
#include "render/render_state.h"
#include "strings/string_table.h"
#include "support/test_support.h"
#include "system/files.h"
#include "texture/test_images.h"
#include "texture/texture_cache.h"
#include "texture/texture_gl.h"
#include "texture/texture_manager.h"
#include "support/gl_window.h"

namespace {
using Sizes = std::vector<std::pair<int, int>>;

// Level sizes of the bound texture.
Sizes levels() {
    Sizes sizes;
    for (int k = 0; levelParam(GL_TEXTURE_WIDTH, k) > 0; k++)
        sizes.push_back({levelParam(GL_TEXTURE_WIDTH, k), levelParam(GL_TEXTURE_HEIGHT, k)});
    return sizes;
}

// A real window and context; the renderer probes it, the texture manager starts after it.
class TextureManager : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(openTestWindow("texture test", 320, 240));
        render_init();
    }
    static void TearDownTestSuite() {
        render_shutdown();
        closeTestWindow();
    }
    void SetUp() override {
        stringsInit();
        TEXTURE_SIZE_LIMIT = 2048;
        TEXTURE_FILTER_MODE = 3;
        texture_init();
        importDir = dir.path() + "texture_import/";
        makeDirectories(importDir.c_str());
    }
    void TearDown() override {
        texture_shutdown();
        stringsShutdown();
    }
    // A JPEG registered in the cache of the import directory.
    int32_t add(const char* name, int w, int h, TestRgb colour, int32_t target = -1, uint8_t alphaMap = 0,
                uint8_t compression = 0) {
        EXPECT_TRUE(makeJpeg(importDir + name, w, h, [colour](int x, int y) {
            return TestRgb{(uint8_t)(colour.r ^ ((x + y) & 1)), colour.g, colour.b};
        }));
        return texture_cache_add(name, importDir.c_str(), target, alphaMap, compression);
    }
    int32_t loadPack(int32_t old = -1) {
        EXPECT_EQ(texture_pack_build(importDir.c_str()), 0);
        return texture_set_load(old, "texture_import.stf", importDir.c_str(), 0);
    }
    TempDir dir;
    std::string importDir;
};
}  // namespace

TEST_F(TextureManager, SetsAreSharedByNameAndFreedByTheLastRelease) {
    add("wood.jpg", 64, 32, {200, 100, 50});
    int32_t set = loadPack();
    ASSERT_NE(set, -1);
    EXPECT_EQ(texture_set_load(-1, "texture_import.stf", importDir.c_str(), 0), set);
    EXPECT_EQ(texture_set_get(set)->references, 2);
    EXPECT_EQ(texture_set_texture_count(set), 1);
    GLuint name = texture_record_get(set, 0)->glName;
    ASSERT_TRUE(glIsTexture(name));
    texture_set_release(set);
    EXPECT_TRUE(glIsTexture(name));
    EXPECT_EQ(texture_set_release(set), -1);
    EXPECT_EQ(texture_set_get(set), nullptr);
    EXPECT_FALSE(glIsTexture(name));
    texture_set_release(set);  // released already: nothing happens

    // Loading another pack in place of a set releases it; a missing pack releases it as well.
    set = loadPack();
    name = texture_record_get(set, 0)->glName;
    writeBytes(dir.file("other.stf"), readBytes(importDir + "texture_import.stf"));
    int32_t other = texture_set_load(set, "other.stf", dir.path().c_str(), 0);
    ASSERT_NE(other, -1);
    EXPECT_EQ(texture_set_find("texture_import.stf"), -1);
    EXPECT_EQ(texture_set_find("other.stf"), other);
    EXPECT_FALSE(glIsTexture(name));
    // Asking again for the set one already holds adds a reference.
    EXPECT_EQ(texture_set_load(other, "other.stf", dir.path().c_str(), 0), other);
    EXPECT_EQ(texture_set_get(other)->references, 2);
    texture_set_release(other);
    EXPECT_EQ(texture_set_load(other, "missing.stf", dir.path().c_str(), 0), -1);
    EXPECT_EQ(texture_set_get(other), nullptr);
}

TEST_F(TextureManager, MipmappedCompressedLevelsFromTheSizeRules) {
    ASSERT_EQ(extensions.flag[EXT_TEXTURE_COMPRESSION], 1) << "Mesa offers S3TC under Xvfb";
    add("wide.jpg", 700, 300, {10, 200, 30}, -1, 0, 1);  // DXT5
    add("strip.jpg", 1024, 64, {90, 90, 90}, -1, 0, 2);  // DXT1
    add("plain.jpg", 40, 40, {90, 90, 90});              // never compressed
    int32_t set = loadPack();
    ASSERT_NE(set, -1);
    texture_bind(set, 0);
    EXPECT_EQ(levels(),
              (Sizes{{512, 256}, {256, 128}, {128, 64}, {64, 32}, {32, 16}, {16, 8}, {8, 4}, {4, 2}, {2, 1}, {1, 1}}));
    EXPECT_EQ(levelParam(GL_TEXTURE_INTERNAL_FORMAT, 0), GL_COMPRESSED_RGBA_S3TC_DXT5_EXT);
    EXPECT_EQ(levelParam(GL_TEXTURE_COMPRESSED, 0), 1);
    EXPECT_EQ(levelParam(GL_TEXTURE_COMPRESSED, 9), 1);
    EXPECT_EQ(textureParam(GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(textureParam(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    GLint env = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
    EXPECT_EQ(env, GL_MODULATE);
    texture_bind(set, 1);
    EXPECT_EQ(levels()[0], std::make_pair(512, 64));
    EXPECT_EQ(levelParam(GL_TEXTURE_INTERNAL_FORMAT, 0), GL_COMPRESSED_RGBA_S3TC_DXT1_EXT);
    texture_bind(set, 2);
    EXPECT_EQ(levels()[0], std::make_pair(32, 32));
    EXPECT_EQ(levelParam(GL_TEXTURE_COMPRESSED, 0), 0);
    // The record keeps its full-size pixels.
    EXPECT_EQ(texture_record_get(set, 0)->width, 700);
    EXPECT_NE(texture_record_get(set, 0)->pixels, nullptr);
    texture_set_release(set);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(TextureManager, NearestModeTheDriverLimitAndNoDriverCompressionGiveOneUncompressedLevel) {
    texture_shutdown();
    const int32_t driver = renderCaps.maxTextureSize;
    renderCaps.maxTextureSize = 1024;
    texture_init();
    renderCaps.maxTextureSize = driver;
    EXPECT_EQ(TEXTURE_SIZE_LIMIT, 1024);
    add("wide.jpg", 700, 300, {10, 200, 30}, -1, 0, 1);
    ASSERT_TRUE(makeFlatJpeg(importDir + "huge.jpg", 4096, 4096, {128, 128, 128}, true));
    texture_cache_add("huge.jpg", importDir.c_str(), -1, 0, 0);
    TEXTURE_FILTER_MODE = 0;
    extensions.flag[EXT_TEXTURE_COMPRESSION] = 0;
    int32_t set = loadPack();
    extensions.flag[EXT_TEXTURE_COMPRESSION] = 1;
    texture_bind(set, 0);
    EXPECT_EQ(levels(), (Sizes{{512, 256}}));
    EXPECT_EQ(levelParam(GL_TEXTURE_COMPRESSED, 0), 0);
    EXPECT_EQ(textureParam(GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    texture_bind(set, 1);
    EXPECT_EQ(levels(), (Sizes{{1024, 1024}}));

    // Minification, magnification and anisotropy per mode (4 acts as 1); each mode follows mode 3,
    // whose anisotropy 2 the others reset.
    auto filters = [] {
        GLfloat aniso = 1;
        if (extensions.flag[EXT_TEXTURE_FILTER_ANISOTROPIC])
            glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &aniso);
        return std::vector<GLint>{textureParam(GL_TEXTURE_MIN_FILTER), textureParam(GL_TEXTURE_MAG_FILTER), (GLint)aniso};
    };
    const std::vector<GLint> linear = {GL_LINEAR, GL_LINEAR, 1};
    const std::vector<GLint> expected[] = {{GL_NEAREST, GL_NEAREST, 1}, linear, {GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, 1},
                                           {GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, 2}, linear};
    for (int mode : {0, 1, 2, 4}) {
        texture_apply_filter(3);
        EXPECT_EQ(filters(), expected[3]);
        texture_apply_filter(mode);
        EXPECT_EQ(filters(), expected[mode]) << mode;
    }
    texture_set_release(set);
}

TEST_F(TextureManager, MasksReachTheTextureAndRecordsWithoutPixelsGetNone) {
    int32_t leaf = add("leaf.jpg", 8, 8, {40, 160, 40});
    ASSERT_TRUE(makeFlatJpeg(importDir + "white.jpg", 8, 8, {255, 255, 255}));
    texture_cache_add("white.jpg", importDir.c_str(), leaf, 1, 0);
    writeText(importDir + "vorten_texture_2_-1_0_0_empty.jpg", "");
    writeText(importDir + "vorten_texture_3_-1_0_0_junk.jpg", "not a jpeg");
    TEXTURE_FILTER_MODE = 1;
    int32_t set = loadPack();
    ASSERT_EQ(texture_set_texture_count(set), 4);
    uint8_t texels[8 * 8 * 4];
    texture_bind(set, leaf);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    EXPECT_EQ(texels[3], 254);
    EXPECT_EQ(texels[8 * 8 * 4 - 1], 254);
    // The empty and the broken record upload nothing.
    EXPECT_EQ(texture_record_get(set, 2)->glName, 0u);
    EXPECT_EQ(texture_record_get(set, 3)->glName, 0u);
    // Indices that name nothing leave the binding alone; a record without a texture binds 0.
    GLuint good = texture_record_get(set, leaf)->glName;
    texture_bind(set, leaf);
    texture_bind(-1, 0);
    texture_bind(set, -1);
    texture_bind(set, 99);
    texture_bind(set + 5, 0);
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ((GLuint)bound, good);
    texture_bind(set, 3);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);
    texture_set_release(set);
}
