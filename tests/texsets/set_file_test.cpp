#include <gtest/gtest.h>

#include <algorithm>
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

// The scrambled layout undone by its definition, independent of the engine.
Bytes unscramble(Bytes b) {
    uint8_t key = b[0], step = b[1];
    for (size_t i = 2; i < b.size(); i++, key = (uint8_t)(key + step)) b[i] ^= key;
    return b;
}

TestRgb stripes(int x, int y) {
    return TestRgb{(uint8_t)(y < 64 ? x * 4 : 250 - x * 3), (uint8_t)(y < 64 ? 200 : 10), (uint8_t)(y * 2)};
}

// Loading with defer 1 needs no GL: the store only holds decoded pixels.
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
    void image(const std::string& name, int w, int h) { ASSERT_TRUE(makeJpeg(src + name, w, h, stripes)); }
    int32_t load(int32_t set, int32_t image, const char* name = "inter.stf") {
        return loadInterfaceSet(set, image, name, src.c_str(), 1);
    }
    TempDir dir;
    std::string src;
};

// Three images (the second with its alpha mask below it) and a file that is no image.
struct Source {
    const char* file;
    int w, h;
    uint8_t t, a, q;
    int loadedH;
};
const Source kThree[] = {{"N_0000_T_05_A_0_Q_0_bg.jpg", 40, 30, 5, 0, 0, 30},
                         {"N_0001_T_00_A_1_Q_1_icon.jpg", 64, 128, 0, 1, 1, 64},
                         {"N_0002_T_99_A_0_Q_2_frame.jpg", 16, 16, 99, 0, 2, 16}};
}  // namespace

TEST(SetImageNames, FieldsAtFixedPlacesAndBadNames) {
    int32_t n = -1;
    uint8_t t = 0, a = 0, q = 0;
    char name[64];
    ASSERT_EQ(parseSetImageName("N_0123_T_45_A_1_Q_7_button.jpg", &n, &t, &a, &q, name, sizeof name), 0);
    EXPECT_EQ(std::vector<int>({n, t, a, q}), std::vector<int>({123, 45, 1, 7}));
    EXPECT_STREQ(name, "button.jpg");
    ASSERT_EQ(parseSetImageName("N_0001_T_00_A_0_Q_0_", &n, &t, &a, &q, name, sizeof name), 0);
    EXPECT_STREQ(name, "");
    for (const char* bad : {"", "X_0001_T_00_A_0_Q_0_a.jpg", "N_0001_T_00_A_0_Q_0", "N_1.jpg", "N_",
                            "N_00x1_T_00_A_0_Q_0_a.jpg", "N_0001_T_0a_A_0_Q_0_a.jpg", "N_0001_T_00_A_-_Q_0_a.jpg"})
        EXPECT_EQ(parseSetImageName(bad, &n, &t, &a, &q, name, sizeof name), SET_NAME_BAD) << bad;
    EXPECT_EQ(parseSetImageName(nullptr, &n, &t, &a, &q, name, sizeof name), SET_NAME_BAD);
}

TEST_F(SetFiles, ABuiltFileUnscramblesAndLoadsBackEveryImageAsBuilt) {
    size_t total = 2 + 4;
    for (const Source& s : kThree) {
        image(s.file, s.w, s.h);
        total += 8 + readBytes(src + s.file).size();
    }
    writeText(src + "readme.txt", "not an image");
    ASSERT_EQ(buildInterfaceSetFile("inter.stf", src.c_str(), 0), 0);
    Bytes file = readBytes(src + "inter.stf");
    ASSERT_EQ(file.size(), total);
    EXPECT_TRUE(file[1] >= 1 && file[1] <= 128) << "scrambling step";
    Bytes plain = unscramble(file);
    EXPECT_EQ(getLe32(plain, 2), 3);
    int32_t set = load(-1, -1);
    ASSERT_NE(set, -1);
    size_t at = 6;
    for (int i = 0; i < 3; i++) {
        const Source& s = kThree[i];
        Bytes jpeg = readBytes(src + s.file);
        EXPECT_EQ(getLe32(plain, at), (int32_t)jpeg.size());
        EXPECT_EQ(Bytes(plain.begin() + (long)at + 4, plain.begin() + (long)at + 8), Bytes({0, s.t, s.a, s.q}));
        EXPECT_TRUE(std::equal(jpeg.begin(), jpeg.end(), plain.begin() + (long)at + 8));
        at += 8 + jpeg.size();
        const SetImage* im = setImageGet(set, i);
        EXPECT_EQ(std::vector<int>({im->pending, im->width, im->height, im->tag, im->alpha, im->quality}),
                  std::vector<int>({1, s.w, s.loadedH, s.t, s.a, s.q}))
            << i;
    }
    EXPECT_EQ(firstFreeImage(set), 3);
    EXPECT_EQ(setImageGet(set, 0)->pixels[3], 255);

    // A = 1: the upper half is the picture, the red of the lower half its alpha.
    const uint8_t* px = setImageGet(set, 1)->pixels;
    Bytes icon = readBytes(src + kThree[1].file);
    uint8_t* rgb = nullptr;
    int32_t w = 0, h = 0, ok = 0;
    jpeg_decode_memory(&rgb, icon.data(), (int32_t)icon.size(), &w, &h, 0, &ok);
    ASSERT_TRUE(ok == 1 && h == 128);
    for (int i = 0; i < 64 * 64; i++) {
        ASSERT_EQ(px[i * 4], rgb[i * 3]) << i;
        ASSERT_EQ(px[i * 4 + 1], rgb[i * 3 + 1]) << i;
        ASSERT_EQ(px[i * 4 + 3], rgb[(64 * 64 + i) * 3]) << i;
    }
    memFree(rgb, "test", __LINE__);
}

TEST_F(SetFiles, OneRecordAloneAndRepeatedLoads) {
    for (const Source& s : kThree) image(s.file, s.w, s.h);
    ASSERT_EQ(buildInterfaceSetFile("inter.stf", src.c_str(), 1), 0);
    int32_t one = load(-1, 2);
    ASSERT_NE(one, -1);
    EXPECT_EQ(setImageGet(one, 0)->tag, 99);
    EXPECT_EQ(firstFreeImage(one), 1);
    // The same file twice with set -1: two sets. With an explicit set: replaced in place.
    int32_t a = load(-1, -1), b = load(-1, -1);
    EXPECT_TRUE(a != -1 && b != -1 && a != b && a != one) << a << " " << b;
    EXPECT_EQ(load(one, -1), one);
    EXPECT_EQ(setImageGet(one, 0)->tag, 5);
    EXPECT_EQ(setImageGet(one, 2)->tag, 99);
    // A missing file changes nothing, not even the set it was to replace.
    EXPECT_EQ(load(one, -1, "missing.stf"), -1);
    EXPECT_EQ(setImageGet(one, 2)->pending, 1);
    // Only the low 24 bits select a set; a handle past the store is refused.
    EXPECT_EQ(setImageGet(one | 0x7F000000, 2), setImageGet(one, 2));
    EXPECT_EQ(load(300, -1), -1);
    EXPECT_EQ(firstFreeImage(-1), -1);
}

TEST_F(SetFiles, BuilderResultsAndListing) {
    image("N_0000_T_00_A_0_Q_0_a.jpg", 8, 8);
    image("N_0002_T_00_A_0_Q_0_c.jpg", 8, 8);
    EXPECT_EQ(buildInterfaceSetFile("out.stf", src.c_str(), 0), 1);
    EXPECT_STREQ(interfaceSetErrorName, "N_0002_T_00_A_0_Q_0_c.jpg");
    EXPECT_EQ(readBytes(src + "out.stf").size(), 0u);
    EXPECT_EQ(buildInterfaceSetFile("no/such/dir.stf", src.c_str(), 0), 2);
    // jpegOnly lists JPEG files only, whatever the case of the extension.
    std::remove((src + "N_0002_T_00_A_0_Q_0_c.jpg").c_str());
    image("N_0001_T_00_A_0_Q_0_b.JPG", 8, 8);
    writeText(src + "N_0002_T_00_A_0_Q_0_notes.txt", "x");
    EXPECT_EQ(buildInterfaceSetFile("out.stf", src.c_str(), 1), 0);
    EXPECT_EQ(getLe32(unscramble(readBytes(src + "out.stf")), 2), 2);
    EXPECT_EQ(countSetImages(src.c_str(), 1), 2);
    EXPECT_EQ(countSetImages(src.c_str(), 0), 3);
    EXPECT_EQ(countSetImages(dir.path().c_str(), 0), 0);
    EXPECT_EQ(findSetImage("notes.txt", src.c_str(), 1), -1);
    EXPECT_EQ(findSetImage("notes.txt", src.c_str(), 0), 2);
    EXPECT_EQ(findSetImage("NOTES.txt", src.c_str(), 0), -1);
    // An empty directory builds a file of no records.
    EXPECT_EQ(buildInterfaceSetFile("empty.stf", dir.path().c_str(), 0), 0);
    EXPECT_EQ(readBytes(dir.file("empty.stf")).size(), 6u);
    // Records whose end falls one byte past the builder's grown buffer (4 + 8 + 272 + 8 + 757 bytes
    // against 1048), the last byte 0: writing past that buffer is an error the heap notices.
    TempDir edge;
    writeText(edge.file("N_0000_T_00_A_0_Q_0_a.jpg"), std::string(272, 'a'));
    writeText(edge.file("N_0001_T_00_A_0_Q_0_b.jpg"), std::string(756, 'b') + '\0');
    ASSERT_EQ(buildInterfaceSetFile("edge.stf", edge.path().c_str(), 0), 0);
    const Bytes built = unscramble(readBytes(edge.file("edge.stf")));
    ASSERT_EQ(built.size(), 2u + 4 + 8 + 272 + 8 + 757);
    EXPECT_EQ(std::string(built.end() - 757, built.end()), std::string(756, 'b') + '\0');
}

TEST_F(SetFiles, TruncatedFilesLoadTheCompleteRecordsOnly) {
    image("N_0000_T_01_A_0_Q_0_a.jpg", 8, 8);
    image("N_0001_T_02_A_1_Q_0_b.jpg", 8, 16);
    image("N_0002_T_03_A_0_Q_0_c.jpg", 8, 8);
    ASSERT_EQ(buildInterfaceSetFile("small.stf", src.c_str(), 0), 0);
    Bytes file = readBytes(src + "small.stf");
    Bytes plain = unscramble(file);
    std::vector<size_t> ends;
    for (size_t at = 6; at < plain.size(); at = ends.back()) ends.push_back(at + 8 + (size_t)getLe32(plain, at));
    ASSERT_EQ(ends.size(), 3u);
    ASSERT_EQ(ends.back(), file.size());
    for (size_t n = 0; n <= file.size(); n++) {
        // An exact-size copy, so that the address sanitiser sees any read past the end.
        uint8_t* cut = (uint8_t*)memAlloc(nullptr, (int64_t)(n ? n : 1), "test", __LINE__);
        if (n) std::memcpy(cut, file.data(), n);
        int32_t set = loadInterfaceSetBlob(-1, -1, cut, (int32_t)n, 1);
        memFree(cut, "test", __LINE__);
        ASSERT_NE(set, -1);
        int32_t complete = (int32_t)std::count_if(ends.begin(), ends.end(), [n](size_t e) { return n >= e; });
        EXPECT_EQ(firstFreeImage(set), complete) << n;
        for (int32_t i = 0; i < 3; i++) EXPECT_EQ(setImageGet(set, i)->pending, i < complete ? 1 : 0) << n;
        freeInterfaceSet(set);
    }
}

TEST_F(SetFiles, SkippedKindsBadImagesAndLyingSizes) {
    image("N_0000_T_00_A_0_Q_0_a.jpg", 8, 8);
    const Bytes good = readBytes(src + "N_0000_T_00_A_0_Q_0_a.jpg");
    auto record = [&](Bytes& b, int32_t size, uint8_t kind, const Bytes& data) {
        putLe32(b, size);
        b.insert(b.end(), {kind, 1, 0, 0});
        b.insert(b.end(), data.begin(), data.end());
    };
    // Key 0, step 0: the bytes stay as they are. Kind 1 (skipped), a good image, two bad JPEGs,
    // then a size past the end.
    Bytes plain = {0, 0};
    putLe32(plain, 1000);
    record(plain, (int32_t)good.size(), 1, good);
    record(plain, (int32_t)good.size(), 0, good);
    record(plain, 3, 0, Bytes{1, 2, 3});
    record(plain, 4, 0, Bytes{0xFF, 0xD8, 0xFF, 0xD9});
    record(plain, 1 << 30, 0, good);
    int32_t set = loadInterfaceSetBlob(-1, -1, plain.data(), (int32_t)plain.size(), 1);
    ASSERT_NE(set, -1);
    for (int32_t i = 0; i < 5; i++) EXPECT_EQ(setImageGet(set, i)->pixels != nullptr, i == 1) << i;
    EXPECT_EQ(findFreeSet(), set) << "image 0 free: the set counts as free";
    Bytes negative = {0, 0};
    putLe32(negative, 2);
    record(negative, -8, 0, good);
    EXPECT_EQ(loadInterfaceSetBlob(set, -1, negative.data(), (int32_t)negative.size(), 1), set);
    EXPECT_EQ(firstFreeImage(set), 0);
    // Fewer than four bytes after the offset hold no count.
    SetFileCursor cursor;
    EXPECT_EQ(setFileBegin(&cursor, plain.data(), 5, 2), -1);
    EXPECT_EQ(setFileBegin(&cursor, plain.data(), 6, 2), 0);
    // A one-row picture cannot carry a mask below it; A other than 1 is opaque.
    uint8_t* pixels = nullptr;
    int32_t w = 0, h = 0;
    image("row.jpg", 8, 1);
    Bytes row = readBytes(src + "row.jpg");
    EXPECT_EQ(decodeSetPixels(row.data(), (int32_t)row.size(), 1, &pixels, &w, &h), -1);
    ASSERT_EQ(decodeSetPixels(row.data(), (int32_t)row.size(), 2, &pixels, &w, &h), 0);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(pixels[3], 255);
    memFree(pixels, "test", __LINE__);
}
