#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pack/jpeg_decoder.h"
#include "strings/string_table.h"
#include "support/test_support.h"
#include "system/files.h"
#include "system/memory.h"
#include "texsets/interface_sets.h"
#include "texsets/set_file.h"
#include "texture/test_images.h"

namespace {
using Bytes = std::vector<uint8_t>;

int32_t get32(const Bytes& b, size_t at) {
    return (int32_t)((uint32_t)b[at] | (uint32_t)b[at + 1] << 8 | (uint32_t)b[at + 2] << 16 | (uint32_t)b[at + 3] << 24);
}

// The scrambled layout undone here by its definition, independent of the engine.
Bytes unscramble(Bytes b) {
    uint8_t key = b[0], step = b[1];
    for (size_t i = 2; i < b.size(); i++, key = (uint8_t)(key + step)) b[i] ^= key;
    return b;
}

TestRgb stripes(int x, int y) {
    return TestRgb{(uint8_t)(y < 64 ? x * 4 : 250 - x * 3), (uint8_t)(y < 64 ? 200 : 10), (uint8_t)(y * 2)};
}

// Loading without upload (defer 1) needs no GL: the store only holds decoded pixels.
class SetFiles : public ::testing::Test {
protected:
    void SetUp() override {
        stringsInit();
        src = dir.path() + "images/";
        makeDirectories(src.c_str());
    }
    void TearDown() override {
        for (int32_t s = 0; s < MAX_INTERFACE_SETS; s++) freeInterfaceSet(s);
        stringsShutdown();
    }
    void image(const std::string& name, int w, int h, TestRgb (*pixel)(int, int)) {
        ASSERT_TRUE(makeJpeg(src + name, w, h, pixel));
    }
    // Three images: a plain one, one with its alpha mask below it, one more.
    void threeImages() {
        image("N_0000_T_05_A_0_Q_0_bg.jpg", 40, 30, stripes);
        image("N_0001_T_00_A_1_Q_1_icon.jpg", 64, 128, stripes);
        image("N_0002_T_99_A_0_Q_2_frame.jpg", 16, 16, stripes);
        writeText(src + "readme.txt", "not an image");
    }
    const char* s() { return src.c_str(); }
    TempDir dir;
    std::string src;
};
}  // namespace

TEST(SetImageNames, FieldsAtFixedPlacesAndBadNames) {
    int32_t n = -1;
    uint8_t t = 0, a = 0, q = 0;
    char name[64];
    ASSERT_EQ(parseSetImageName("N_0123_T_45_A_1_Q_7_button.jpg", &n, &t, &a, &q, name, sizeof name), 0);
    EXPECT_EQ(n, 123);
    EXPECT_EQ(t, 45);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(q, 7);
    EXPECT_STREQ(name, "button.jpg");
    ASSERT_EQ(parseSetImageName("N_0001_T_00_A_0_Q_0_", &n, &t, &a, &q, name, sizeof name), 0);
    EXPECT_STREQ(name, "");
    for (const char* bad : {"", "X_0001_T_00_A_0_Q_0_a.jpg", "N_0001_T_00_A_0_Q_0", "N_1.jpg", "N_",
                            "N_00x1_T_00_A_0_Q_0_a.jpg", "N_0001_T_0a_A_0_Q_0_a.jpg", "N_0001_T_00_A_-_Q_0_a.jpg"})
        EXPECT_EQ(parseSetImageName(bad, &n, &t, &a, &q, name, sizeof name), SET_NAME_BAD) << bad;
    EXPECT_EQ(parseSetImageName(nullptr, &n, &t, &a, &q, name, sizeof name), SET_NAME_BAD);
}

TEST_F(SetFiles, ABuiltFileIsScrambledAndHoldsEveryImageAsBuilt) {
    threeImages();
    ASSERT_EQ(buildInterfaceSetFile("inter.stf", s(), 0), 0);
    Bytes file = readBytes(src + "inter.stf");
    Bytes bg = readBytes(src + "N_0000_T_05_A_0_Q_0_bg.jpg");
    Bytes icon = readBytes(src + "N_0001_T_00_A_1_Q_1_icon.jpg");
    Bytes frame = readBytes(src + "N_0002_T_99_A_0_Q_2_frame.jpg");
    ASSERT_EQ(file.size(), 2 + 4 + 3 * 8 + bg.size() + icon.size() + frame.size());
    EXPECT_GE(file[1], 1);
    EXPECT_LE(file[1], 128);
    Bytes plain = unscramble(file);
    EXPECT_EQ(get32(plain, 2), 3);
    size_t at = 6;
    const Bytes* data[3] = {&bg, &icon, &frame};
    const uint8_t attrs[3][3] = {{5, 0, 0}, {0, 1, 1}, {99, 0, 2}};
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(get32(plain, at), (int32_t)data[i]->size());
        EXPECT_EQ(plain[at + 4], 0);  // kind: image
        EXPECT_EQ(plain[at + 5], attrs[i][0]);
        EXPECT_EQ(plain[at + 6], attrs[i][1]);
        EXPECT_EQ(plain[at + 7], attrs[i][2]);
        EXPECT_TRUE(std::equal(data[i]->begin(), data[i]->end(), plain.begin() + (long)at + 8));
        at += 8 + data[i]->size();
    }

    int32_t set = loadInterfaceSet(-1, -1, "inter.stf", s(), 1);
    ASSERT_NE(set, -1);
    const SetImage* im = setImageGet(set, 0);
    EXPECT_EQ(im->pending, 1);
    EXPECT_EQ(im->width, 40);
    EXPECT_EQ(im->height, 30);
    EXPECT_EQ(im->tag, 5);
    EXPECT_EQ(im->pixels[3], 255);
    im = setImageGet(set, 2);
    EXPECT_EQ(im->tag, 99);
    EXPECT_EQ(im->quality, 2);
    EXPECT_EQ(im->width, 16);
    EXPECT_EQ(firstFreeImage(set), 3);

    // A = 1: the upper half is the picture, the red of the lower half its alpha.
    im = setImageGet(set, 1);
    ASSERT_EQ(im->width, 64);
    ASSERT_EQ(im->height, 64);
    EXPECT_EQ(im->alpha, 1);
    EXPECT_EQ(im->quality, 1);
    uint8_t* rgb = nullptr;
    int32_t w = 0, h = 0, ok = 0;
    jpeg_decode_memory(&rgb, icon.data(), (int32_t)icon.size(), &w, &h, 0, &ok);
    ASSERT_EQ(ok, 1);
    ASSERT_EQ(h, 128);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) {
            ASSERT_EQ(im->pixels[(y * 64 + x) * 4 + 0], rgb[(y * 64 + x) * 3]);
            ASSERT_EQ(im->pixels[(y * 64 + x) * 4 + 1], rgb[(y * 64 + x) * 3 + 1]);
            ASSERT_EQ(im->pixels[(y * 64 + x) * 4 + 3], rgb[((y + 64) * 64 + x) * 3]);
        }
    EXPECT_NE(im->pixels[3], im->pixels[0]);  // the halves differ, so the alpha came from below
    memFree(rgb, "test", __LINE__);

    EXPECT_EQ(countSetImages(s(), 0), 3);
    EXPECT_EQ(findSetImage("icon.jpg", s(), 0), 1);
    EXPECT_EQ(findSetImage("ICON.jpg", s(), 0), -1);
}

TEST_F(SetFiles, OneRecordAloneAndRepeatedLoads) {
    threeImages();
    ASSERT_EQ(buildInterfaceSetFile("inter.stf", s(), 1), 0);
    int32_t one = loadInterfaceSet(-1, 2, "inter.stf", s(), 1);
    ASSERT_NE(one, -1);
    EXPECT_EQ(setImageGet(one, 0)->tag, 99);
    EXPECT_EQ(setImageGet(one, 0)->width, 16);
    EXPECT_EQ(setImageGet(one, 1)->pixels, nullptr);
    EXPECT_EQ(firstFreeImage(one), 1);
    // The same file twice with set -1: two sets. With an explicit set: replaced in place.
    int32_t a = loadInterfaceSet(-1, -1, "inter.stf", s(), 1);
    int32_t b = loadInterfaceSet(-1, -1, "inter.stf", s(), 1);
    EXPECT_NE(a, -1);
    EXPECT_NE(b, -1);
    EXPECT_NE(a, b);
    EXPECT_NE(a, one);
    EXPECT_EQ(loadInterfaceSet(one, -1, "inter.stf", s(), 1), one);
    EXPECT_EQ(setImageGet(one, 0)->tag, 5);
    EXPECT_EQ(setImageGet(one, 2)->tag, 99);
    // A missing file changes nothing, not even the set it was to replace.
    EXPECT_EQ(loadInterfaceSet(one, -1, "missing.stf", s(), 1), -1);
    EXPECT_EQ(setImageGet(one, 2)->pending, 1);
    // Only the low 24 bits select a set; a handle past the store is refused.
    EXPECT_EQ(setImageGet(one | 0x7F000000, 2), setImageGet(one, 2));
    EXPECT_EQ(loadInterfaceSet(300, -1, "inter.stf", s(), 1), -1);
    EXPECT_EQ(firstFreeImage(-1), -1);
    freeInterfaceSet(one);
    EXPECT_EQ(findFreeSet(), one);
}

TEST_F(SetFiles, BuilderResults) {
    image("N_0000_T_00_A_0_Q_0_a.jpg", 8, 8, stripes);
    image("N_0002_T_00_A_0_Q_0_c.jpg", 8, 8, stripes);
    EXPECT_EQ(buildInterfaceSetFile("out.stf", s(), 0), 1);
    EXPECT_STREQ(interfaceSetErrorName, "N_0002_T_00_A_0_Q_0_c.jpg");
    EXPECT_EQ(readBytes(src + "out.stf").size(), 0u);
    EXPECT_EQ(countSetImages(s(), 0), 3);
    // The output cannot be created.
    EXPECT_EQ(buildInterfaceSetFile("no/such/dir.stf", s(), 0), 2);
    // JPEG only: other extensions are not listed (the match ignores case).
    std::remove((src + "N_0002_T_00_A_0_Q_0_c.jpg").c_str());
    image("N_0001_T_00_A_0_Q_0_b.JPG", 8, 8, stripes);
    writeText(src + "N_0002_T_00_A_0_Q_0_notes.txt", "x");
    EXPECT_EQ(buildInterfaceSetFile("out.stf", s(), 1), 0);
    EXPECT_EQ(get32(unscramble(readBytes(src + "out.stf")), 2), 2);
    EXPECT_EQ(countSetImages(s(), 1), 2);
    EXPECT_EQ(countSetImages(s(), 0), 3);
    EXPECT_EQ(countSetImages(dir.path().c_str(), 0), 0);
    EXPECT_EQ(findSetImage("notes.txt", s(), 1), -1);
    EXPECT_EQ(findSetImage("notes.txt", s(), 0), 2);
    // An empty directory builds a file of no records.
    EXPECT_EQ(buildInterfaceSetFile("empty.stf", dir.path().c_str(), 0), 0);
    EXPECT_EQ(readBytes(dir.file("empty.stf")).size(), 6u);
}

TEST_F(SetFiles, TruncatedFilesLoadTheCompleteRecordsOnly) {
    image("N_0000_T_01_A_0_Q_0_a.jpg", 8, 8, stripes);
    image("N_0001_T_02_A_1_Q_0_b.jpg", 8, 16, stripes);
    image("N_0002_T_03_A_0_Q_0_c.jpg", 8, 8, stripes);
    ASSERT_EQ(buildInterfaceSetFile("small.stf", s(), 0), 0);
    Bytes file = readBytes(src + "small.stf");
    Bytes plain = unscramble(file);
    std::vector<size_t> ends;
    for (size_t at = 6; at < plain.size(); at += 8 + (size_t)get32(plain, at)) ends.push_back(at + 8 + (size_t)get32(plain, at));
    ASSERT_EQ(ends.size(), 3u);
    ASSERT_EQ(ends.back(), file.size());
    for (size_t n = 0; n <= file.size(); n++) {
        uint8_t* cut = (uint8_t*)memAlloc(nullptr, (int64_t)(n ? n : 1), "test", __LINE__);
        if (n) std::memcpy(cut, file.data(), n);
        int32_t set = loadInterfaceSetBlob(-1, -1, cut, (int32_t)n, 1);
        memFree(cut, "test", __LINE__);
        ASSERT_NE(set, -1);
        int32_t complete = 0;
        for (size_t e : ends) complete += n >= e ? 1 : 0;
        EXPECT_EQ(firstFreeImage(set), complete) << n;
        for (int32_t i = 0; i < 3; i++) EXPECT_EQ(setImageGet(set, i)->pending, i < complete ? 1 : 0) << n;
        freeInterfaceSet(set);
    }
}

TEST_F(SetFiles, SkippedKindsBadImagesAndLyingSizes) {
    Bytes good = readBytes([&] {
        image("N_0000_T_00_A_0_Q_0_a.jpg", 8, 8, stripes);
        return src + "N_0000_T_00_A_0_Q_0_a.jpg";
    }());
    auto put32 = [](Bytes& b, int32_t v) {
        for (int i = 0; i < 4; i++) b.push_back((uint8_t)((uint32_t)v >> (8 * i)));
    };
    auto record = [&](Bytes& b, int32_t size, uint8_t kind, const Bytes& data) {
        put32(b, size);
        b.insert(b.end(), {kind, 1, 0, 0});
        b.insert(b.end(), data.begin(), data.end());
    };
    // kind 1 (skipped), a good image, garbage, a 1-row A = 1 image, then a size past the end.
    Bytes plain = {0, 0};  // key 0, step 0: plain bytes stay as they are
    put32(plain, 1000);
    record(plain, (int32_t)good.size(), 1, good);
    record(plain, (int32_t)good.size(), 0, good);
    record(plain, 3, 0, Bytes{1, 2, 3});
    record(plain, 4, 0, Bytes{0xFF, 0xD8, 0xFF, 0xD9});
    record(plain, 1 << 30, 0, good);
    int32_t set = loadInterfaceSetBlob(-1, -1, plain.data(), (int32_t)plain.size(), 1);
    ASSERT_NE(set, -1);
    EXPECT_EQ(setImageGet(set, 0)->pixels, nullptr);
    EXPECT_EQ(setImageGet(set, 1)->pending, 1);
    EXPECT_EQ(setImageGet(set, 2)->pixels, nullptr);
    EXPECT_EQ(setImageGet(set, 3)->pixels, nullptr);
    EXPECT_EQ(setImageGet(set, 4)->pixels, nullptr);
    EXPECT_EQ(firstFreeImage(set), 0);
    // The set's image 0 is free, so the set itself counts as free again.
    EXPECT_EQ(findFreeSet(), set);
    Bytes negative = {0, 0};
    put32(negative, 2);
    record(negative, -8, 0, good);
    EXPECT_EQ(loadInterfaceSetBlob(set, -1, negative.data(), (int32_t)negative.size(), 1), set);
    EXPECT_EQ(firstFreeImage(set), 0);
    // A one-row picture cannot carry a mask below it.
    uint8_t* pixels = nullptr;
    int32_t w = 0, h = 0;
    ASSERT_TRUE(makeJpeg(src + "row.jpg", 8, 1, stripes));
    Bytes row = readBytes(src + "row.jpg");
    EXPECT_EQ(decodeSetPixels(row.data(), (int32_t)row.size(), 1, &pixels, &w, &h), -1);
    ASSERT_EQ(decodeSetPixels(row.data(), (int32_t)row.size(), 2, &pixels, &w, &h), 0);  // A other than 1: opaque
    EXPECT_EQ(h, 1);
    EXPECT_EQ(pixels[3], 255);
    memFree(pixels, "test", __LINE__);
}
