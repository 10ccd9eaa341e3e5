// The viewer's baked data files, read back through the engine: the language file, the font's
// metrics and page, and the interface set; and the baker itself (same bytes every time, nothing
// left behind when it fails).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "strings/string_table.h"
#include "support/test_support.h"
#include "system/files.h"
#include "system/memory.h"
#include "texsets/set_file.h"

namespace {
// One decoded image of a set file.
struct Decoded {
    SetFileRecord record;
    int32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
    const uint8_t* at(int x, int y) const { return &rgba[((size_t)y * width + x) * 4]; }
};

// Reads, unscrambles and decodes every record of a set file; a record the decoder refuses is an
// image of size 0.
std::vector<Decoded> readSet(const std::string& path) {
    std::vector<uint8_t> bytes = readBytes(path);
    std::vector<Decoded> images;
    if (bytes.size() < 2) return images;
    unscrambleBlob(bytes.data(), (int32_t)bytes.size());
    SetFileCursor cursor;
    SetFileRecord record;
    setFileBegin(&cursor, bytes.data(), (int32_t)bytes.size(), 2);
    while (setFileNext(&cursor, &record) == 0) {
        Decoded d;
        d.record = record;
        d.record.data = nullptr;
        uint8_t* pixels = nullptr;
        if (decodeSetPixels(record.data, record.size, record.alpha, &pixels, &d.width, &d.height) == 0) {
            d.rgba.assign(pixels, pixels + (size_t)d.width * d.height * 4);
            memFree(pixels, "bake_test", __LINE__);
        }
        images.push_back(d);
    }
    return images;
}

float readFloat(const std::vector<uint8_t>& b, size_t at) {
    uint32_t bits = (uint32_t)b[at] | (uint32_t)b[at + 1] << 8 | (uint32_t)b[at + 2] << 16 | (uint32_t)b[at + 3] << 24;
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

// Largest channel difference between two pixels.
int difference(const uint8_t* a, const uint8_t* b) {
    int worst = 0;
    for (int c = 0; c < 4; c++) worst = std::max(worst, std::abs((int)a[c] - (int)b[c]));
    return worst;
}

const char* const kBakedFiles[] = {"data/font.sff",       "data/font.stf",         "data/inter.stf",
                                   "language/vorfre.txt", "icons/48x48/vcv.png", "icons/256x256/vcv.png"};

class BakedData : public ::testing::Test {
protected:
    void SetUp() override {
        stringsInit();
        installViewerData(home.path());
    }
    void TearDown() override { stringsShutdown(); }
    TempDir home;
};
}  // namespace

TEST_F(BakedData, LanguageFileHoldsTheViewersTextsWithCrLfLines) {
    std::vector<uint8_t> raw = readBytes(home.file("language/vorfre.txt"));
    ASSERT_FALSE(raw.empty());
    for (size_t i = 0; i < raw.size(); i++)
        if (raw[i] == '\n') {
            EXPECT_TRUE(i > 0 && raw[i - 1] == '\r') << "a line ends in a lone LF at " << i;
        }

    int32_t table = stringTableLoad("vorfre.txt", (home.path() + "language/").c_str());
    const char* const expected[] = {"File", "Info", "Open...", "Quit", "-", "OK", "Cancel", "Loading..."};
    ASSERT_EQ(stringTableCount(table), 8);
    for (int32_t i = 0; i < 8; i++) EXPECT_STREQ(stringTableText(table, i), expected[i]) << "entry " << i;
    stringTableDestroy(table);
}

TEST_F(BakedData, FontRectanglesSpanOneLineOfTheirSquarePageAndHoldTheirGlyphs) {
    std::vector<uint8_t> sff = readBytes(home.file("data/font.sff"));
    ASSERT_EQ(sff.size(), 4100u);
    EXPECT_EQ(sff[0] | sff[1] << 8 | sff[2] << 16 | sff[3] << 24, 1);

    std::vector<Decoded> page = readSet(home.file("data/font.stf"));
    ASSERT_EQ(page.size(), 1u);
    EXPECT_EQ(page[0].record.alpha, 1);
    ASSERT_EQ(page[0].width, page[0].height);
    const int size = page[0].width;

    float line = -1.0f;
    for (int c = 0; c < 256; c++) {
        float s0 = readFloat(sff, 4 + c * 16), t0 = readFloat(sff, 8 + c * 16);
        float s1 = readFloat(sff, 12 + c * 16), t1 = readFloat(sff, 16 + c * 16);
        SCOPED_TRACE("glyph " + std::to_string(c));
        ASSERT_TRUE(0.0f <= s0 && s0 <= s1 && s1 <= 1.0f);
        ASSERT_TRUE(0.0f <= t0 && t0 < t1 && t1 <= 1.0f);
        if (line < 0.0f) line = t1 - t0;
        EXPECT_FLOAT_EQ(t1 - t0, line);  // one line height: every quad is glyphHeight tall
        bool control = c < 32 || (c >= 127 && c < 160);
        if (control) {
            EXPECT_EQ(s0, s1);
            continue;
        }
        EXPECT_GT(s1, s0);
        // The glyph's ink lies in its rectangle (a space has none).
        int inked = 0;
        for (int y = (int)(t0 * size); y < (int)(t1 * size); y++)
            for (int x = (int)(s0 * size); x < (int)(s1 * size); x++)
                if (page[0].at(x, y)[3] >= 128) inked++;
        if (c == ' ' || c == 160) {
            EXPECT_EQ(inked, 0);
        } else if (c != 173) {
            EXPECT_GT(inked, 0);  // the soft hyphen may be drawn empty
        }
    }
    // A line of about 50 texels keeps text sharp at the viewer's sizes.
    EXPECT_GE(line * size, 48.0f);
}

TEST_F(BakedData, InterfaceSetHoldsThirtySixImagesAndFramesThatMeetWithoutSeams) {
    std::vector<Decoded> images = readSet(home.file("data/inter.stf"));
    ASSERT_EQ(images.size(), 36u);
    // The hover light is added over the whole button: black (no change) at its rim.
    const Decoded& glow = images[16];
    EXPECT_LE(difference(glow.at(0, 0), std::vector<uint8_t>{0, 0, 0, 255}.data()), 6);
    EXPECT_GT(glow.at(glow.width / 2, glow.height / 2)[2], 20);

    // Window frame, button outer frame, inner frame normal and pressed.
    const int tolerance = 6;  // what JPEG leaves of mirrored or repeated texels
    for (int first : {0, 5, 8, 12}) {
        SCOPED_TRACE("frame " + std::to_string(first));
        const Decoded& corner = images[first];
        const Decoded& across = images[first + 1];
        const Decoded& down = images[first + 2];
        ASSERT_EQ(corner.record.alpha, 1);
        ASSERT_EQ(std::vector<int>({corner.width, corner.height, across.width, down.height}),
                  std::vector<int>({128, 128, 128, 128}));
        int worstMirror = 0, worstAlong = 0, worstJoin = 0;
        for (int y = 0; y < 128; y++)
            for (int x = 0; x < 128; x++) {
                // Filtering across the quadrants and the wrap blends equal texels.
                worstMirror = std::max(worstMirror, difference(corner.at(x, y), corner.at(127 - x, y)));
                worstMirror = std::max(worstMirror, difference(corner.at(x, y), corner.at(x, 127 - y)));
                worstMirror = std::max(worstMirror, difference(across.at(x, y), across.at(x, 127 - y)));
                worstMirror = std::max(worstMirror, difference(down.at(x, y), down.at(127 - x, y)));
                // Edges repeat along their length.
                worstAlong = std::max(worstAlong, difference(across.at(x, y), across.at(0, y)));
                worstAlong = std::max(worstAlong, difference(down.at(x, y), down.at(x, 0)));
            }
        // The top-left corner's inner end meets the top edge (right side) and the left edge (bottom).
        for (int i = 0; i < 64; i++) {
            worstJoin = std::max(worstJoin, difference(corner.at(63, i), across.at(0, i)));
            worstJoin = std::max(worstJoin, difference(corner.at(i, 63), down.at(i, 0)));
        }
        EXPECT_LE(worstMirror, tolerance);
        EXPECT_LE(worstAlong, tolerance);
        EXPECT_LE(worstJoin, tolerance);
    }
}

TEST(Baker, GivesTheSameBytesEveryTimeAndLeavesNothingWhenItFails) {
    const std::string baker = builtProgram("tools/vcvbake");
    const std::string fonts = "/usr/share/fonts/truetype/dejavu";  // fonts-dejavu-core, as the build uses
    TempDir again;
    int code = -1;
    std::string out = runCommand("'" + baker + "' '" + again.path() + "' '" + sourceDirectory() + "' '" + fonts +
                                     "/' 2>&1",
                                 &code);
    ASSERT_EQ(code, 0) << out;
    for (const char* file : kBakedFiles) {
        std::vector<uint8_t> built = readBytes(builtProgram(std::string("viewer/") + file));
        ASSERT_FALSE(built.empty()) << file;
        EXPECT_TRUE(readBytes(again.file(file)) == built) << file << " differs from the build's";
    }
    EXPECT_FALSE(fileExists(again.file(".bake").c_str())) << "the work directory stays behind";

    // Without its fonts the baker fails, says why, and removes what it had written.
    TempDir failed;
    out = runCommand("'" + baker + "' '" + failed.path() + "' '" + sourceDirectory() + "' '" + failed.path() +
                         "nofonts/' 2>&1",
                     &code);
    EXPECT_EQ(code, 1);
    EXPECT_NE(out.find("DejaVuSans.ttf"), std::string::npos) << out;
    for (const char* file : kBakedFiles) EXPECT_FALSE(fileExists(failed.file(file).c_str())) << file;
    EXPECT_EQ(runCommand("'" + baker + "' 2>&1", &code), "usage: vcvbake OUTDIR SOURCEDIR FONTDIR");
    EXPECT_EQ(code, 2);
}
