#include <gtest/gtest.h>

#include <vector>

#include "system/memory.h"
#include "texture/texture_image.h"

using Sizes = std::vector<std::pair<int32_t, int32_t>>;

TEST(TextureImage, LevelZeroSizeRules) {
    // Width, height, limit, then the expected level 0: power of two below, then at most 8:1.
    const int32_t cases[][5] = {{700, 300, 2048, 512, 256}, {1024, 64, 2048, 512, 64}, {64, 1024, 2048, 64, 512},
                                {4096, 4096, 1024, 1024, 1024}, {2048, 2048, 2048, 2048, 2048},
                                {3000, 17, 2048, 128, 16},  {3, 3, 2048, 2, 2}, {1, 1, 2048, 1, 1},
                                {1000, 1, 2048, 8, 1}};
    for (const auto& c : cases) {
        int32_t w = 0, h = 0;
        texture_level0_size(c[0], c[1], c[2], &w, &h);
        EXPECT_EQ(w, c[3]) << c[0] << "x" << c[1];
        EXPECT_EQ(h, c[4]) << c[0] << "x" << c[1];
    }
    // The interface steps: a fixed top of 2048 whatever the limit.
    for (auto [in, out] : Sizes{{300, 256}, {3000, 3000}, {1024, 1024}, {3, 2}})
        EXPECT_EQ(texture_round_steps(in, 2048), out) << in;
}

TEST(TextureImage, BoxFilterTakesTruncatedBlockMeans) {
    // 3 x 2 to 2 x 1: columns {0} and {1, 2} (3*1/2 = 1), both rows.
    std::vector<uint8_t> src = {10, 0, 0, 255, 20, 1, 0, 255, 31, 2, 0, 255,  //
                                11, 0, 0, 0,   21, 1, 1, 0,   30, 2, 1, 0};
    uint8_t dst[8];
    texture_box_resample(src.data(), 3, 2, dst, 2, 1);
    EXPECT_EQ(std::vector<uint8_t>(dst, dst + 8), (std::vector<uint8_t>{10, 0, 0, 127, 25, 1, 0, 127}));
    // Enlarging repeats source pixels.
    uint8_t enlarged[16];
    texture_box_resample(src.data(), 1, 1, enlarged, 2, 2);
    for (int i = 0; i < 16; i++) EXPECT_EQ(enlarged[i], src[(size_t)i % 4]) << i;
    uint8_t same[12];  // the same size copies
    texture_box_resample(src.data(), 3, 1, same, 3, 1);
    EXPECT_TRUE(std::equal(same, same + 12, src.begin()));
    // Halving both sides: 2 x 2 blocks, truncated (11 / 4 = 2, 1020 / 4 = 255).
    std::vector<uint8_t> quad = {1, 0, 0, 255, 2, 4, 0, 255, 9, 9, 9, 9, 9, 9, 9, 9,  //
                                 3, 0, 0, 255, 5, 3, 1, 255, 9, 9, 9, 9, 8, 8, 8, 8};
    uint8_t half[8];
    texture_box_resample(quad.data(), 4, 2, half, 2, 1);
    EXPECT_EQ(std::vector<uint8_t>(half, half + 8), (std::vector<uint8_t>{2, 1, 0, 255, 8, 8, 8, 8}));
    // Each mip level comes from the level before, halving down to 1 x 1.
    const uint8_t values[8] = {4, 9, 7, 8, 6, 9, 0, 7};
    std::vector<uint8_t> row(8 * 4);
    for (int x = 0; x < 8; x++) row[(size_t)x * 4] = values[x];
    ImageLevels levels;
    ASSERT_EQ(texture_build_levels(&levels, row.data(), 8, 1, 8, 1, 0), 0);
    EXPECT_EQ(levels.count, 1) << "no mipmaps: level 0 alone";
    texture_free_levels(&levels);
    EXPECT_EQ(texture_build_levels(&levels, nullptr, 4, 4, 4, 4, 1), -1);
    EXPECT_EQ(levels.count, 0);
    ASSERT_EQ(texture_build_levels(&levels, row.data(), 8, 1, 8, 1, 1), 0);
    ASSERT_EQ(levels.count, 4);  // 8, 4, 2, 1
    EXPECT_EQ(levels.level[1].pixels[0], 6);  // (4 + 9) / 2
    EXPECT_EQ(levels.level[2].pixels[0], 6);  // (6 + 7) / 2
    EXPECT_EQ(levels.level[2].pixels[4], 5);  // (7 + 3) / 2
    EXPECT_EQ(levels.level[3].pixels[0], 5);  // from level 2; level 0 would give 50 / 8 = 6
    texture_free_levels(&levels);
}

TEST(TextureImage, AlphaMapsNeedTheSameSize) {
    uint8_t colour[8] = {1, 2, 3, 255, 4, 5, 6, 255};
    uint8_t map[8] = {255, 255, 255, 9, 0, 0, 0, 9};
    ASSERT_EQ(texture_alpha_from_map(colour, 2, 1, map, 2, 1), 0);
    EXPECT_EQ(colour[3], 254);  // 765 * 0.3333333 truncates
    EXPECT_EQ(colour[7], 0);
    EXPECT_EQ(colour[0], 1);
    uint8_t grey[4] = {10, 20, 31, 0}, one[4] = {0, 0, 0, 255};
    texture_alpha_from_map(one, 1, 1, grey, 1, 1);
    EXPECT_EQ(one[3], 20);  // 61 * 0.3333333 = 20.33
    uint8_t keep[8] = {1, 2, 3, 255, 4, 5, 6, 255}, tall[16] = {0};
    EXPECT_EQ(texture_alpha_from_map(keep, 2, 1, map, 1, 1), -1);
    EXPECT_EQ(texture_alpha_from_map(keep, 2, 1, tall, 2, 2), -1);
    EXPECT_EQ(keep[3], 255);
    EXPECT_EQ(keep[7], 255);
    uint8_t rgb[6] = {1, 2, 3, 4, 5, 6};
    uint8_t* rgba = texture_rgb_to_rgba(rgb, 2, 1);
    EXPECT_EQ(std::vector<uint8_t>(rgba, rgba + 8), (std::vector<uint8_t>{1, 2, 3, 255, 4, 5, 6, 255}));
    memFree(rgba, "test", __LINE__);
}
