#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "strings/string_table.h"
#include "support/test_support.h"
#include "system/files.h"
#include "system/memory.h"
#include "texture/test_images.h"
#include "texture/texture_cache.h"
#include "texture/texture_pack.h"

namespace {
using Bytes = std::vector<uint8_t>;

// One pack record laid out by hand, independent of the writer.
void putRecord(Bytes& b, int32_t target, uint8_t alphaMap, uint8_t compression, const std::string& name,
               int32_t width, int32_t height, int32_t decoded, const Bytes& data, int32_t claimedSize = -2,
               uint8_t flag = 7, uint8_t filler = 0xAA) {
    putLe32(b, target);
    b.push_back(alphaMap);
    b.push_back(compression);
    Bytes field(2050, 0);
    std::memcpy(field.data(), name.data(), std::min(name.size(), field.size()));
    b.insert(b.end(), field.begin(), field.end());
    putLe32(b, width);
    putLe32(b, height);
    putLe32(b, decoded);
    putLe32(b, claimedSize == -2 ? (int32_t)data.size() : claimedSize);
    b.insert(b.end(), {flag, filler, filler, filler});  // alpha-mask flag (read back as stored), filler
    b.insert(b.end(), data.begin(), data.end());
}

struct Records {
    Records() { slotInit(&table, 4, (int32_t)sizeof(TextureRecord)); }
    ~Records() { texture_records_free(&table); }
    TextureRecord* at(int32_t i) { return slotGet<TextureRecord>(&table, i); }
    SlotTable table;
};

// Parses from a heap copy of exactly n bytes, so that AddressSanitizer sees any read past the end.
int32_t parsePrefix(Records* r, const Bytes& pack, size_t n, int32_t decode, TexturePackScan* scan) {
    uint8_t* copy = (uint8_t*)memAlloc(nullptr, (int64_t)(n ? n : 1), "test", __LINE__);
    if (n) std::memcpy(copy, pack.data(), n);
    int32_t loaded = texture_pack_parse(&r->table, copy, (int32_t)n, decode, scan);
    memFree(copy, "test", __LINE__);
    return loaded;
}

class TexturePack : public ::testing::Test {
protected:
    void SetUp() override {
        stringsInit();
        importDir = dir.path() + "texture_import/";
        makeDirectories(importDir.c_str());
        ASSERT_TRUE(makeJpeg(dir.file("wood.jpg"), 16, 8, [](int x, int y) { return TestRgb{(uint8_t)(x * 15), (uint8_t)(y * 30), 90}; }));
        ASSERT_TRUE(makeFlatJpeg(dir.file("mask.jpg"), 16, 8, TestRgb{255, 255, 255}));
        ASSERT_TRUE(makeFlatJpeg(dir.file("small.jpg"), 4, 4, TestRgb{0, 0, 0}));
        wood = readBytes(dir.file("wood.jpg"));
        mask = readBytes(dir.file("mask.jpg"));
    }
    void TearDown() override { stringsShutdown(); }
    void addToCache(const char* name, int32_t target, uint8_t alphaMap, int32_t expectId) {
        copyWholeFile(name, importDir.c_str(), name, dir.path().c_str());
        EXPECT_EQ(texture_cache_add(name, importDir.c_str(), target, alphaMap, 1), expectId);
    }
    const char* d() { return dir.path().c_str(); }
    TempDir dir;
    std::string importDir;
    Bytes wood, mask;
};
// The cache of imported images the packs are built from: the same directory set-up.
using TextureCache = TexturePack;
}  // namespace

TEST_F(TexturePack, BuildWritesByteExactRecordsNamedAfterTheDirectory) {
    addToCache("wood.jpg", -1, 0, 0);
    addToCache("mask.jpg", 0, 1, 1);
    writeText(importDir + "vorten_texture_2_-1_0", "not a cache file");  // too few fields: skipped
    ASSERT_EQ(texture_pack_build(importDir.c_str()), 0);
    Bytes expected;
    putLe32(expected, 2);
    putRecord(expected, -1, 0, 1, "wood.jpg", 0, 0, 0, wood, -2, 0, 0);  // not decoded while packing
    putRecord(expected, 0, 1, 1, "mask.jpg", 0, 0, 0, mask, -2, 0, 0);
    EXPECT_EQ(readBytes(importDir + "texture_import.stf"), expected);
    char name[PATH_CAPACITY];
    texture_pack_name(name, "/srv/data/my.images/");
    EXPECT_STREQ(name, "my.stf");
    texture_pack_name(name, "/srv/data/texture_import/");
    EXPECT_STREQ(name, "texture_import.stf");
}

TEST_F(TexturePack, PackedRecordsFollowSlotOrderAndLaterDuplicatesWin) {
    // Ids 0, 1, 4: three records in id order (record j loads into slot j, so id 4 comes back as 2).
    copyWholeFile("vorten_texture_4_-1_0_2_late.jpg", importDir.c_str(), "wood.jpg", dir.path().c_str());
    copyWholeFile("vorten_texture_1_-1_0_1_b.jpg", importDir.c_str(), "mask.jpg", dir.path().c_str());
    copyWholeFile("vorten_texture_1_-1_0_1_c.jpg", importDir.c_str(), "small.jpg", dir.path().c_str());
    copyWholeFile("vorten_texture_0_-1_0_1_a.jpg", importDir.c_str(), "mask.jpg", dir.path().c_str());
    ASSERT_EQ(texture_pack_build(importDir.c_str()), 0);
    Bytes pack = readBytes(importDir + "texture_import.stf");
    Records r;
    TexturePackScan scan;
    ASSERT_EQ(parsePrefix(&r, pack, pack.size(), 0, &scan), 3);
    EXPECT_EQ(scan.complete, 1);
    EXPECT_EQ(std::string(r.at(0)->name) + " " + r.at(1)->name + " " + r.at(2)->name, "a.jpg c.jpg late.jpg");
    EXPECT_EQ(r.at(1)->dataSize, (int32_t)readBytes(dir.file("small.jpg")).size());
    EXPECT_EQ(r.at(2)->compression, 2);
}

TEST_F(TexturePack, DecodedRecordsGetPixelsAndAlphaMasks) {
    Bytes pack;
    putLe32(pack, 4);
    putRecord(pack, -1, 0, 1, "wood.jpg", 0, 0, 0, wood);
    putRecord(pack, 0, 1, 1, "mask.jpg", 0, 0, 0, mask);
    putRecord(pack, -1, 0, 1, "empty", 33, 44, 0, Bytes{});
    putRecord(pack, -1, 0, 1, "raw", 5, 6, 1, wood);  // decoded flag set: no JPEG to decode
    Records r;
    ASSERT_EQ(parsePrefix(&r, pack, pack.size(), 1, nullptr), 4);
    ASSERT_NE(r.at(0)->pixels, nullptr);
    EXPECT_EQ(std::make_tuple(r.at(0)->width, r.at(0)->height, r.at(0)->stored, r.at(0)->alphaMask),
              std::make_tuple(16, 8, (uint8_t*)nullptr, (uint8_t)7));
    // No data, or a decoded flag set: no pixels, the header's size kept.
    EXPECT_EQ(std::make_tuple(r.at(2)->pixels, r.at(2)->width), std::make_tuple((uint8_t*)nullptr, 33));
    EXPECT_EQ(std::make_tuple(r.at(3)->pixels, r.at(3)->stored, r.at(3)->height),
              std::make_tuple((uint8_t*)nullptr, (uint8_t*)nullptr, 6));

    texture_apply_alpha_masks(&r.table);
    EXPECT_EQ(std::make_tuple(r.at(0)->alphaMask, r.at(1)->alphaMask, r.at(2)->alphaMask), std::make_tuple(1, 0, 0));
    // The mask is flat white: 765 * 0.3333333 truncates to 254 everywhere.
    for (int i = 0; i < 16 * 8; i++) ASSERT_EQ(r.at(0)->pixels[i * 4 + 3], 254) << i;

    // A map of another size, or aimed at a record that is missing or has no pixels, and a record
    // with a target that is no alpha map, change nothing.
    Bytes other;
    putLe32(other, 6);
    putRecord(other, -1, 0, 1, "wood.jpg", 0, 0, 0, wood);
    putRecord(other, 0, 1, 1, "small.jpg", 0, 0, 0, readBytes(dir.file("small.jpg")));
    putRecord(other, 9, 1, 1, "far.jpg", 0, 0, 0, mask);
    putRecord(other, 4, 1, 1, "none.jpg", 0, 0, 0, mask);
    putRecord(other, -1, 0, 1, "nopixels", 16, 8, 0, Bytes{});
    putRecord(other, 0, 0, 1, "notamap.jpg", 0, 0, 0, mask);
    Records s;
    ASSERT_EQ(parsePrefix(&s, other, other.size(), 1, nullptr), 6);
    texture_apply_alpha_masks(&s.table);
    EXPECT_EQ(std::make_tuple(s.at(0)->alphaMask, s.at(0)->pixels[3], s.at(4)->alphaMask), std::make_tuple(0, 255, 0));
}

TEST_F(TexturePack, TruncatedPacksLoadTheCompleteRecordsOnly) {
    Bytes pack;
    putLe32(pack, 2);
    putRecord(pack, -1, 0, 1, "wood.jpg", 0, 0, 0, wood);
    size_t firstEnd = pack.size();
    putRecord(pack, 0, 1, 1, "mask.jpg", 0, 0, 0, mask);
    for (size_t n = 0; n <= pack.size(); n++) {
        Records r;
        TexturePackScan scan;
        int32_t loaded = parsePrefix(&r, pack, n, n % 97 == 0 ? 1 : 0, &scan);
        int32_t expected = n < firstEnd ? 0 : n < pack.size() ? 1 : 2;
        ASSERT_EQ(loaded, expected) << n;
        EXPECT_EQ(scan.complete, n == pack.size() ? 1 : 0);
        EXPECT_EQ(scan.end, n < 4 ? 0 : expected == 0 ? 4 : expected == 1 ? (int32_t)firstEnd : (int32_t)pack.size());
        if (expected >= 1 && n % 97 != 0) {
            EXPECT_EQ(std::memcmp(r.at(0)->stored, wood.data(), wood.size()), 0);
        }
        EXPECT_EQ(r.at(expected), nullptr);
    }
}

TEST_F(TexturePack, LyingCountsSizesAndNamesStayInsideTheBuffer) {
    Bytes one;
    putRecord(one, -1, 0, 0, "wood.jpg", 0, 0, 0, wood);
    struct Case {
        int32_t count;
        int32_t claimedSize;
        int32_t loaded;
    };
    // Huge and negative counts; sizes negative, beyond the end, or far beyond it.
    for (Case c : {Case{0x7FFFFFFF, -2, 1}, Case{-5, -2, 0}, Case{1, -1, 0}, Case{1, (int32_t)wood.size() + 1, 0},
                   Case{1, 0x7FFFFFF0, 0}, Case{3, -2, 1}}) {
        Bytes pack;
        putLe32(pack, c.count);
        putRecord(pack, -1, 0, 0, "wood.jpg", 0, 0, 0, wood, c.claimedSize);
        Records r;
        TexturePackScan scan;
        EXPECT_EQ(parsePrefix(&r, pack, pack.size(), 1, &scan), c.loaded) << c.count << " " << c.claimedSize;
        EXPECT_EQ(scan.complete, 0);
    }
    // Bytes after the counted records are ignored but make the pack incomplete.
    Bytes extra;
    putLe32(extra, 1);
    extra.insert(extra.end(), one.begin(), one.end());
    extra.push_back(0);
    Records e;
    TexturePackScan scan;
    EXPECT_EQ(parsePrefix(&e, extra, extra.size(), 0, &scan), 1);
    EXPECT_EQ(scan.complete, 0);
    EXPECT_EQ(scan.end, (int32_t)extra.size() - 1);
    // A name filling all 2050 bytes is cut to 2049 characters.
    // A header one byte short is no header.
    TextureRecord header;
    texture_record_init(&header);
    EXPECT_EQ(texture_header_read(&header, one.data(), TEXTURE_HEADER_SIZE - 1), -1);
    EXPECT_EQ(texture_header_read(&header, one.data(), TEXTURE_HEADER_SIZE), 0);
    Bytes named;
    putLe32(named, 1);
    putRecord(named, -1, 0, 0, std::string(2050, 'n'), 0, 0, 0, Bytes{});
    Records n;
    ASSERT_EQ(parsePrefix(&n, named, named.size(), 0, nullptr), 1);
    EXPECT_EQ(std::strlen(n.at(0)->name), 2049u);
    // Not a JPEG: the record loads without pixels and keeps its header size.
    Bytes junk;
    putLe32(junk, 1);
    putRecord(junk, -1, 0, 0, "junk", 12, 34, 0, Bytes{1, 2, 3, 4, 5});
    Records j;
    ASSERT_EQ(parsePrefix(&j, junk, junk.size(), 1, nullptr), 1);
    EXPECT_EQ(std::make_tuple(j.at(0)->pixels, j.at(0)->width, j.at(0)->height),
              std::make_tuple((uint8_t*)nullptr, 12, 34));
}

TEST_F(TexturePack, WriterReproducesAParsedPack) {
    Bytes pack;
    putLe32(pack, 2);
    putRecord(pack, -1, 0, 2, "wood.jpg", 3, 4, 0, wood);
    putRecord(pack, 0, 1, 1, "mask.jpg", 0, 0, 0, mask);
    Records r;
    ASSERT_EQ(parsePrefix(&r, pack, pack.size(), 0, nullptr), 2);
    int64_t size = texture_pack_size(&r.table);
    ASSERT_EQ(size, (int64_t)pack.size());
    Bytes out((size_t)size);
    EXPECT_EQ(texture_pack_write(&r.table, out.data(), (int32_t)size - 1), -1);
    ASSERT_EQ(texture_pack_write(&r.table, out.data(), (int32_t)size), (int32_t)size);
    Bytes cleared;  // the writer clears the fillers
    putLe32(cleared, 2);
    putRecord(cleared, -1, 0, 2, "wood.jpg", 3, 4, 0, wood, -2, 7, 0);
    putRecord(cleared, 0, 1, 1, "mask.jpg", 0, 0, 0, mask, -2, 7, 0);
    EXPECT_EQ(out, cleared);
}

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
