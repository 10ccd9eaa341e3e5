#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pack/jpeg_decoder.h"
#include "strings/string_table.h"
#include "support/test_support.h"
#include "system/files.h"
#include "system/memory.h"
#include "texture/test_images.h"
#include "texture/texture_cache.h"
#include "texture/texture_pack.h"

namespace {

TestRgb checker(int x, int y) { return TestRgb{(uint8_t)(((x / 4 + y / 4) & 1) * 200), (uint8_t)(x * 9), 60}; }

class VcvTool : public ::testing::Test {
protected:
    void SetUp() override { stringsInit(); }
    void TearDown() override { stringsShutdown(); }
    std::string q(const std::string& name) { return "'" + dir.file(name) + "'"; }
    TempDir dir;
};
}  // namespace

TEST_F(VcvTool, JpegToPpmWritesWhatTheDecoderGives) {
    ASSERT_TRUE(makeJpeg(dir.file("in.jpg"), 37, 21, checker, 85));
    int code = -1;
    std::string out = runVcvtool("jpeg2ppm " + q("in.jpg") + " " + q("out.ppm"), &code);
    ASSERT_EQ(code, 0) << out;
    std::vector<uint8_t> jpeg = readBytes(dir.file("in.jpg"));
    uint8_t* rgb = nullptr;
    int32_t w = 0, h = 0, ok = 0;
    jpeg_decode_memory(&rgb, jpeg.data(), (int32_t)jpeg.size(), &w, &h, 0, &ok);
    ASSERT_EQ(ok, 1);
    int32_t size = 0;
    uint8_t* ppm = rgb_to_ppm(rgb, w, h, &size);
    EXPECT_EQ(readBytes(dir.file("out.ppm")), std::vector<uint8_t>(ppm, ppm + size));
    memFree(ppm, "test", __LINE__);
    memFree(rgb, "test", __LINE__);

    writeText(dir.file("text.jpg"), "hello");
    out = runVcvtool("jpeg2ppm " + q("text.jpg") + " " + q("bad.ppm"), &code);
    EXPECT_NE(code, 0);
    EXPECT_TRUE(has(out, "not a baseline JPEG")) << out;
    EXPECT_FALSE(fileExists(dir.file("bad.ppm").c_str()));
    out = runVcvtool("jpeg2ppm " + q("missing.jpg") + " " + q("bad.ppm"), &code);
    EXPECT_NE(code, 0);
    EXPECT_TRUE(has(out, "cannot read")) << out;
    out = runVcvtool("jpeg2ppm " + q("in.jpg"), &code);
    EXPECT_EQ(code, 2);
    out = runVcvtool("no-such-command", &code);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(has(out, "unknown command")) << out;
}

TEST_F(VcvTool, BuildSetThenPackInfoListsTheSet) {
    std::string src = dir.path() + "art/";
    makeDirectories(src.c_str());
    ASSERT_TRUE(makeJpeg(src + "N_0000_T_03_A_0_Q_1_bg.jpg", 24, 16, checker));
    ASSERT_TRUE(makeJpeg(src + "N_0001_T_00_A_1_Q_2_icon.jpg", 8, 16, checker));
    int code = -1;
    std::string out = runVcvtool("build-set '" + dir.path() + "art' " + q("inter.stf"), &code);
    ASSERT_EQ(code, 0) << out;
    out = runVcvtool("pack-info " + q("inter.stf"), &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_TRUE(has(out, "set file ")) << out;
    EXPECT_TRUE(has(out, "records 2\n")) << out;
    EXPECT_TRUE(has(out, "record 0 kind 0 tag 3 alpha 0 quality 1 size ")) << out;
    EXPECT_TRUE(has(out, " jpeg 24x16\n")) << out;
    EXPECT_TRUE(has(out, "record 1 kind 0 tag 0 alpha 1 quality 2 size ")) << out;
    // Forced as a texture pack, the set does not load.
    out = runVcvtool("pack-info --pack " + q("inter.stf"), &code);
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(has(out, "incomplete")) << out;
    // A truncated set is no longer recognised; --set lists the complete records.
    std::vector<uint8_t> bytes = readBytes(dir.file("inter.stf"));
    bytes.resize(bytes.size() - 5);
    writeBytes(dir.file("cut.stf"), bytes);
    out = runVcvtool("pack-info " + q("cut.stf"), &code);
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(has(out, "neither")) << out;
    out = runVcvtool("pack-info --set " + q("cut.stf"), &code);
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(has(out, "records 1\n")) << out;
    EXPECT_TRUE(has(out, "incomplete: 2 records declared, 1 complete")) << out;

    // A numbering gap names the file.
    ASSERT_TRUE(makeJpeg(src + "N_0003_T_00_A_0_Q_0_late.jpg", 8, 8, checker));
    out = runVcvtool("build-set " + src + " " + q("gap.stf"), &code);
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(has(out, "N_0003_T_00_A_0_Q_0_late.jpg")) << out;
    out = runVcvtool("build-set " + src + " '" + dir.path() + "no/dir/x.stf'", &code);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(has(out, "cannot")) << out;
}

TEST_F(VcvTool, PackInfoListsATexturePack) {
    std::string import = dir.path() + "texture_import/";
    makeDirectories(import.c_str());
    ASSERT_TRUE(makeJpeg(import + "wood.jpg", 16, 8, checker));
    texture_cache_add("wood.jpg", import.c_str(), -1, 0, 1);
    texture_cache_add("wood.jpg", import.c_str(), 0, 1, 2);
    ASSERT_EQ(texture_pack_build(import.c_str()), 0);
    int32_t jpegSize = (int32_t)readBytes(import + "wood.jpg").size();
    int code = -1;
    std::string out = runVcvtool("pack-info '" + import + "texture_import.stf'", &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_TRUE(has(out, "texture pack ")) << out;
    EXPECT_TRUE(has(out, "records 2\n")) << out;
    EXPECT_TRUE(has(out, "record 0 target -1 alpha-map 0 compression 1 width 0 height 0 size " +
                             std::to_string(jpegSize) + " name wood.jpg\n"))
        << out;
    EXPECT_TRUE(has(out, "record 1 target 0 alpha-map 1 compression 2 ")) << out;
}
