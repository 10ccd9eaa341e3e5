#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "strings/string_table.h"
#include "support/test_support.h"
#include "system/files.h"
#include "texture/texture_cache.h"

namespace {
// Cache lookups list directories, which are string tables.
class TextureCache : public ::testing::Test {
protected:
    void SetUp() override { stringsInit(); }
    void TearDown() override { stringsShutdown(); }
    const char* d() { return dir.path().c_str(); }
    TempDir dir;
};
}  // namespace

TEST_F(TextureCache, NamesCarryIdPropertiesAndImage) {
    char name[PATH_CAPACITY];
    texture_cache_format_name(name, 3, -1, 0, 1, "wood.png");
    EXPECT_STREQ(name, "vorten_texture_3_-1_0_1_wood.jpg");
    TextureCacheName parsed;
    ASSERT_EQ(texture_cache_parse_name("vorten_texture_12_3__1_2_bark.jpg", &parsed), 0);  // '_' runs split once
    EXPECT_EQ(std::make_tuple(parsed.id, parsed.target, (int)parsed.alphaMap, (int)parsed.compression, std::string(parsed.name)),
              std::make_tuple(12, 3, 1, 2, std::string("bark.jpg")));
    ASSERT_EQ(texture_cache_parse_name("vorten_texture_0_-1_0_1_my_wood.jpg", &parsed), 0);
    EXPECT_STREQ(parsed.name, "my");  // field 7 stops at the first '_'
    for (const char* bad : {"vorten_texture_1_2_3", "vorten_texture_1_-1_0_1_", "vorten_texture_x_-1_0_1_a.jpg",
                            "vorten_texture_1_-1_0_1x_a.jpg", "vorten_texture_-3_-1_0_1_a.jpg",
                            "vorten_texture_99999999999_-1_0_1_a.jpg", "vorten_texture_65536_-1_0_1_a.jpg"})
        EXPECT_EQ(texture_cache_parse_name(bad, &parsed), -1) << bad;
}

TEST_F(TextureCache, FindIdReturnsAMatchOrTheNextId) {
    EXPECT_EQ(texture_cache_find_id(d(), -1, 0, 1, "wood.jpg"), 0);
    for (const char* n : {"vorten_texture_0_-1_0_1_a.jpg", "vorten_texture_1_0_1_1_b.jpg",
                          "vorten_texture_4_-1_0_2_c.jpg", "vorten_texture_9_bad.jpg", "other_7.jpg"})
        writeText(dir.file(n), "x");
    struct Case {
        int32_t target;
        uint8_t alphaMap, compression;
        const char* name;
        int32_t id;
    };
    // Each property must match exactly; anything else is a new texture with the next id.
    for (Case c : {Case{-1, 0, 1, "wood.jpg", 5}, Case{-1, 0, 1, "a.jpg", 0}, Case{0, 1, 1, "b.jpg", 1},
                   Case{-1, 0, 2, "c.jpg", 4}, Case{-1, 0, 1, "c.jpg", 5}, Case{1, 1, 1, "b.jpg", 5},
                   Case{0, 0, 1, "b.jpg", 5}, Case{-1, 0, 1, "A.JPG", 5}})
        EXPECT_EQ(texture_cache_find_id(d(), c.target, c.alphaMap, c.compression, c.name), c.id) << c.name;
}

TEST_F(TextureCache, AddCopiesTheImageOncePerProperties) {
    writeText(dir.file("wood.jpg"), "wood bytes");
    writeText(dir.file("my_wood.jpg"), "other bytes");
    EXPECT_EQ(texture_cache_add("wood.jpg", d(), -1, 0, 1), 0);
    EXPECT_EQ(readBytes(dir.file("vorten_texture_0_-1_0_1_wood.jpg")), readBytes(dir.file("wood.jpg")));
    EXPECT_EQ(texture_cache_add("wood.jpg", d(), -1, 0, 1), 0);
    EXPECT_EQ(texture_cache_add("wood.jpg", d(), 0, 1, 1), 1);  // the same image as an alpha map
    // A name with '_' never finds its earlier registration.
    EXPECT_EQ(texture_cache_add("my_wood.jpg", d(), -1, 0, 1), 2);
    EXPECT_EQ(texture_cache_add("my_wood.jpg", d(), -1, 0, 1), 3);
    EXPECT_EQ(readBytes(dir.file("vorten_texture_3_-1_0_1_my_wood.jpg")), readBytes(dir.file("my_wood.jpg")));
    // A missing image still gets its id; nothing is copied.
    EXPECT_EQ(texture_cache_add("gone.jpg", d(), -1, 0, 1), 4);
    EXPECT_FALSE(fileExistsIn("vorten_texture_4_-1_0_1_gone.jpg", d()));
    EXPECT_EQ(texture_cache_add("gone.jpg", d(), -1, 0, 1), 4);
    EXPECT_EQ(countFiles("vorten_texture_*", d()), 4);
}
