// Text layout without a display: inline codes, measuring, word wrapping, edit scrolling, the
// metrics file and the style stack.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "gui/text_layout.h"
#include "support/test_support.h"

namespace {
using Spans = std::vector<std::pair<int32_t, int32_t>>;

void collect(void* user, const TextBoxLine* l) { ((std::vector<TextBoxLine>*)user)->push_back(*l); }

std::vector<TextBoxLine> lines(int32_t layout, const char* text, float x1) {
    std::vector<TextBoxLine> out;
    int32_t count = layoutTextBox(layout, text, 0, 0, x1, 100, collect, &out);
    EXPECT_EQ(count, (int32_t)out.size());
    return out;
}
// (start, end) of every line.
Spans spans(int32_t layout, const char* text, float x1) {
    Spans out;
    for (const TextBoxLine& l : lines(layout, text, x1)) out.push_back({l.start, l.end});
    return out;
}

uint32_t rgba(Rgba8 c) { return (uint32_t)c.r << 24 | c.g << 16 | c.b << 8 | c.a; }

void putRect(std::vector<uint8_t>& b, GlyphRect r) {
    const float f[4] = {r.s0, r.t0, r.s1, r.t1};
    for (float x : f) {
        uint32_t bits;
        std::memcpy(&bits, &x, 4);
        putLe32(b, (int32_t)bits);
    }
}

// Every glyph a unit square: advance 10, plus spacing 1 = 11 per character.
class TextLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto& page : fontMetrics)
            for (GlyphRect& r : page) r = GlyphRect{0, 0, 1, 1};
        fontPage = 0;
        std::memset(&currentStyle, 0, sizeof currentStyle);
        currentStyle.glyphScale = 10;
        currentStyle.glyphHeight = 10;
        currentStyle.letterSpacing = 1;
        currentStyle.lineGap = 2;
        currentStyle.textColour = Rgba8{1, 2, 3, 4};
        resetStyleStack();
    }
};
}  // namespace

TEST_F(TextLayoutTest, CodesCountOnlyWhenWholeAndMeasuringLeavesTheColour) {
    EXPECT_EQ(parseTextCode("\\n\\r", 1), 4);
    EXPECT_EQ(parseTextCode("\\rgbF98000", 1), 10);
    EXPECT_EQ(rgba(currentStyle.textColour), 0xF9800004u);  // alpha stays
    currentStyle.textColour = Rgba8{1, 2, 3, 4};
    // Cut codes are ordinary backslashes; the terminator is never passed.
    for (const char* t : {"\\", "\\n\\", "\\rg", "\\rgbFF800", "\\x"}) EXPECT_EQ(parseTextCode(t, 1), -1) << t;
    // A red code between A and B: two characters wide, and the colour is as it was afterwards.
    EXPECT_FLOAT_EQ(measureString("A\\rgbFF0000B", 0, 12), 22);
    EXPECT_EQ(rgba(currentStyle.textColour), 0x01020304u);
    EXPECT_FLOAT_EQ(measureString("AB\\", 0, 3), 33);       // a trailing backslash is a character
    EXPECT_FLOAT_EQ(measureString("\\rgbFF00", 0, 99), 88);  // so is each of a cut code; stops at the end
    EXPECT_FLOAT_EQ(measureString("   ", 0, 3), 33);        // spaces count, spacing included
    EXPECT_FLOAT_EQ(measureString("AB", 0, -1), 0);
    // Glyphs are indexed by unsigned byte; damaged rectangles advance 0, never NaN.
    fontMetrics[0][200] = GlyphRect{0, 0, 2, 1};
    EXPECT_FLOAT_EQ(measureString("\xC8", 0, 1), 21);
    fontMetrics[0]['z'] = GlyphRect{0, 0.5f, 1, 0.5f};
    fontMetrics[0]['n'] = GlyphRect{NAN, 0, 1, 1};
    EXPECT_EQ(glyphAdvance('z') + glyphAdvance('n'), 0);
}

TEST_F(TextLayoutTest, WrappingTakesWordsWhileTheyFitAndBreakCodesEndLines) {
    // Narrower than every word: one word (with its trailing space) per line.
    EXPECT_EQ(spans(LAYOUT_WRAP_LEFT, "aa bb cc", 5), (Spans{{0, 3}, {3, 6}, {6, 8}}));
    EXPECT_FLOAT_EQ(lines(LAYOUT_WRAP_LEFT, "aa bb cc", 5)[2].y, 24);  // pitch 10 + 2
    EXPECT_EQ(spans(LAYOUT_WRAP_LEFT, "aa bb cc", 70), (Spans{{0, 6}, {6, 8}}));  // "aa bb " is 66
    // The break code ends a line and is skipped; at the start it gives an empty first line.
    EXPECT_EQ(spans(LAYOUT_WRAP_LEFT, "aa\\n\\rbb", 1000), (Spans{{0, 2}, {6, 8}}));
    EXPECT_EQ(spans(LAYOUT_WRAP_LEFT, "\\n\\raa", 1000), (Spans{{0, 0}, {4, 6}}));
    // A break code behind a word that moved to the next line belongs to that line: "bb" is not cut.
    EXPECT_EQ(spans(LAYOUT_WRAP_LEFT, "aaaa bb\\n\\rcc", 60), (Spans{{0, 5}, {5, 7}, {11, 13}}));
    // Any width still moves on: over-long words stand alone; NaN fits everything.
    EXPECT_EQ(spans(LAYOUT_WRAP_LEFT, "a b c", -10).size(), 3u);
    EXPECT_EQ(spans(LAYOUT_WRAP_LEFT, "a b c", NAN).size(), 1u);
    EXPECT_FLOAT_EQ(lines(LAYOUT_WRAP_CENTRED, "aa bb", 100)[0].x, (100 - 55) * 0.5f);
    // Measuring raises the extents and never lowers them.
    currentStyle.extentRight = 60;
    measureTextBox(LAYOUT_WRAP_LEFT, "aa bb", 0, 0, 100, 100);
    measureTextBox(LAYOUT_LEFT, "aa", 10, 0, 100, 100);  // right 10 + 22, bottom (100 - 10) / 2 + 12
    EXPECT_FLOAT_EQ(currentStyle.extentRight, 60);
    EXPECT_FLOAT_EQ(currentStyle.extentBottom, 57);
}

TEST_F(TextLayoutTest, EditedLinesScrollInWholeSpans) {
    currentStyle.cursorChar = '|';
    currentStyle.cursorPos = 5;  // 55 units before the cursor; box 150 wide: span 22, 2.5 spans
    EXPECT_FLOAT_EQ(editScroll("abcdefgh", 0, 150), -44);
    EXPECT_FLOAT_EQ(lines(LAYOUT_LEFT, "abcdefgh", 150)[0].x, -44);  // the line is drawn scrolled
    EXPECT_FLOAT_EQ(editScroll("abcdefgh", 0, 128), -44);  // no span: unchanged, not NaN
    currentStyle.cursorPos = 1;                              // under one span: unchanged
    EXPECT_FLOAT_EQ(editScroll("abcdefgh", 0, 150), -44);
    currentStyle.cursorChar = 0;
    EXPECT_FLOAT_EQ(editScroll("abcdefgh", 0, 150), 0);
}

TEST_F(TextLayoutTest, MetricsAreReadWithinTheBuffer) {
    std::vector<uint8_t> b;  // nine pages claimed and present: eight are read
    putLe32(b, 9);
    for (int g = 0; g < 9 * FONT_GLYPHS; g++) putRect(b, GlyphRect{(float)g, 0, 1, 1});
    EXPECT_EQ(readFontMetrics(b.data(), (int32_t)b.size()), 8);
    EXPECT_EQ(fontMetrics[7][255].s0, (float)(8 * FONT_GLYPHS - 1));
    b.clear();  // a cut file: whole glyphs are stored, the cut one keeps what it held
    putLe32(b, 2);
    putRect(b, GlyphRect{0.5f, 0, 1, 1});
    putRect(b, GlyphRect{9, 9, 9, 9});
    EXPECT_EQ(readFontMetrics(b.data(), 4 + 16 + 15), 2);
    EXPECT_EQ(fontMetrics[0][0].s0, 0.5f);
    EXPECT_EQ(fontMetrics[0][1].s0, 1);
    b[3] = 0xFF;  // a negative count reads nothing; without a count the result is -1
    EXPECT_EQ(readFontMetrics(b.data(), (int32_t)b.size()), 0);
    EXPECT_EQ(fontMetrics[0][1].s0, 1);
    EXPECT_EQ(readFontMetrics(b.data(), 3), -1);
}

TEST_F(TextLayoutTest, StyleStackRestoresNineNestedPushesAndStopsAtZero) {
    for (int round = 0; round < 2; round++) {
        int pushes = round == 0 ? 9 : 12;  // beyond nine, pushes overwrite the top entry
        for (int k = 0; k < pushes; k++) {
            currentStyle.glyphHeight = (float)k;
            pushStyle();
        }
        for (int k = 8; k >= 0; k--) {
            popStyle();
            EXPECT_EQ(currentStyle.glyphHeight, (float)k);
        }
        currentStyle.glyphHeight = 99;
        popStyle();  // below 0: entry 0 again
        EXPECT_EQ(currentStyle.glyphHeight, 0);
    }
}
