// The bitmap font against a real context: a synthetic font page, strings and text boxes drawn on
// the 4000 x 3000 canvas of the toolkit's 800 x 600 test window (5 canvas units a pixel) and read back.
#include <cstring>
#include <vector>

#include "gui_fixture.h"
#include "support/test_support.h"
#include "texsets/set_file.h"
#include "texture/test_images.h"

namespace {
using Row = std::vector<uint32_t>;
const uint32_t kBackground = 0x000040, kWhite = 0xffffff, kBlack = 0, kRed = 0xff0000, kGreen = 0x00ff00,
               kBlue = 0x0000ff;

// Quadrants of the page: top left white, top right black, bottom left red, bottom right clear.
const GlyphRect kWhiteGlyph{0, 0, 0.5f, 0.5f}, kBlackGlyph{0.5f, 0, 1, 0.5f}, kRedGlyph{0, 0.5f, 0.5f, 1};

class Font : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        std::vector<uint8_t> page(64 * 64 * 4);
        for (int y = 0; y < 64; y++)
            for (int x = 0; x < 64; x++) {
                uint8_t* p = &page[(y * 64 + x) * 4];
                bool right = x >= 32, bottom = y >= 32;
                p[0] = (!right) ? 255 : 0;
                p[1] = p[2] = (!right && !bottom) ? 255 : 0;
                p[3] = (right && bottom) ? 0 : 255;
            }
        uploadSetImage(kSkin, 0, 0, page.data(), 64, 64);
        for (GlyphRect& r : fontMetrics[0]) r = kWhiteGlyph;
        std::memset(&currentStyle, 0, sizeof currentStyle);
        currentStyle.glyphScale = 400;  // square glyphs: advance 400, one cell = 80 pixels
        currentStyle.glyphHeight = 400;
        currentStyle.textColour = Rgba8{0, 255, 0, 255};
        resetStyleStack();
        textCursor().blinkTimer = 0;
        begin();
    }
    // The toolkit's 2D set-up, then a cleared canvas.
    static void begin() {
        begin2d(4000, 3000);
        glEnable(GL_BLEND);
        glClearColor(0, 0, 0.25f, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    // Centres of the first n text cells (400 x 400 canvas units) of a row.
    static Row row(int r, int n) {
        Row out;
        for (int c = 0; c < n; c++) out.push_back(at(c * 80 + 40, r * 80 + 40));
        return out;
    }
};
}  // namespace

TEST_F(Font, ColourCodesActUntilTheCallEndsAndATrailingBackslashIsDrawn) {
    currentStyle.shadowOn = 1;
    currentStyle.shadowOffsetY = 400;  // one row down
    currentStyle.shadowColour = Rgba8{0, 0, 255, 255};
    drawString("A\\rgbFF0000B\\", -1, -1, 0, 0);
    EXPECT_EQ(row(0, 4), (Row{kGreen, kRed, kRed, kBackground}));  // the last red is the backslash
    EXPECT_EQ(row(1, 4), (Row{kBlue, kBlue, kBlue, kBackground}));  // shadows, in their own colour
    EXPECT_EQ(currentStyle.textColour.r, 0);
    // A range draws only its characters; spaces advance without drawing; numbers are strings.
    begin();
    currentStyle.shadowOn = 0;
    drawString("xA BC", 1, 4, 0, 0);
    drawNumber(2.5f, 1, 0, 400);
    EXPECT_EQ(row(0, 4), (Row{kGreen, kBackground, kGreen, kBackground}));
    EXPECT_EQ(row(1, 4), (Row{kGreen, kGreen, kGreen, kBackground}));  // "2.5"
}

TEST_F(Font, PasswordModeHidesCharactersButNotTheBlinkingCursor) {
    fontMetrics[0]['a'] = fontMetrics[0]['b'] = kBlackGlyph;
    fontMetrics[0]['|'] = kRedGlyph;
    currentStyle.textColour = Rgba8{255, 255, 255, 255};
    currentStyle.cursorChar = '|';
    currentStyle.cursorPos = 2;
    drawString("ab", -1, -1, 0, 0);
    currentStyle.passwordMode = 1;
    textCursor().blinkTimer = 500;
    drawString("ab", -1, -1, 0, 400);
    textCursor().blinkTimer = 501;
    drawString("ab", -1, -1, 0, 800);
    EXPECT_EQ(row(0, 3), (Row{kBlack, kBlack, kRed}));
    EXPECT_EQ(row(1, 3), (Row{kWhite, kWhite, kRed}));  // '*', and the cursor as it is
    EXPECT_EQ(row(2, 3), (Row{kWhite, kWhite, kBackground}));
    // At position 0 the cursor stands over the first character, also in an empty string.
    begin();
    textCursor().blinkTimer = 0;
    currentStyle.passwordMode = 0;
    currentStyle.cursorPos = 0;
    fontMetrics[0]['a'] = kWhiteGlyph;
    fontMetrics[0]['|'] = GlyphRect{0, 0.5f, 0.25f, 1};  // half a cell, red
    drawString("ab", -1, -1, 0, 0);
    drawString("", -1, -1, 0, 400);
    EXPECT_EQ(at(20, 40), kRed);
    EXPECT_EQ(at(60, 40), kWhite);
    EXPECT_EQ(at(20, 120), kRed);
}

TEST_F(Font, TextBoxesDrawInsideTheirBoxAndMeasureTheirLines) {
    drawTextBox(LAYOUT_LEFT, 1, "AAA", 0, 0, 1000, 400);  // the third cell is cut at the box edge
    EXPECT_EQ(at(190, 40), kGreen);
    EXPECT_EQ(at(210, 40), kBackground);
    GLint box[4];
    glGetIntegerv(GL_SCISSOR_BOX, box);
    EXPECT_EQ(std::vector<GLint>(box, box + 4), (std::vector<GLint>{0, 0, kWidth, kHeight}));
    // Wrapped: "AA " is wider than the box, so each word has its own line.
    begin();
    currentStyle.extentRight = 99;
    drawTextBox(LAYOUT_WRAP_LEFT, 1, "AA AA", 0, 0, 1000, 3000);
    EXPECT_EQ(currentStyle.extentRight, 0);  // a drawing call starts the extents afresh
    EXPECT_EQ(row(0, 3), (Row{kGreen, kGreen, kBackground}));
    EXPECT_EQ(row(1, 3), (Row{kGreen, kGreen, kBackground}));
    drawTextBox(LAYOUT_WRAP_LEFT, 0, "AA AA", 0, 0, 1000, 3000);
    EXPECT_EQ(currentStyle.extentRight, 1200);
    EXPECT_EQ(currentStyle.extentBottom, 800);
}

TEST_F(Font, LoadFontReadsThePageSetAndTheMetricsItFinds) {
    TempDir dir;
    ASSERT_TRUE(makeFlatJpeg(dir.file("N_0000_T_00_A_0_Q_2_page.jpg"), 16, 16, TestRgb{255, 255, 255}));
    ASSERT_EQ(buildInterfaceSetFile("font.stf", dir.path().c_str(), 0), 0);
    std::vector<uint8_t> sff = {1, 0, 0, 0};  // one page claimed, one and a half glyphs present
    const float glyph[6] = {0.125f, 0, 0.25f, 0.5f, 0.5f, 0.5f};
    sff.insert(sff.end(), (const uint8_t*)glyph, (const uint8_t*)glyph + sizeof glyph);
    writeBytes(dir.file("font.sff"), sff);
    for (const char* name : {"font.sff", "none.sff"}) {  // missing files change nothing
        loadFont(name, dir.path().c_str());
        EXPECT_EQ(fontSet, kSkin);  // the set it held is replaced
        EXPECT_EQ(setImageGet(kSkin, 0)->width, 16);
        EXPECT_EQ(fontMetrics[0][0].s1, 0.25f);
    }
    unloadFont();
    EXPECT_EQ(fontSet, -1);
    EXPECT_EQ(setImageGet(kSkin, 0)->texture, 0u);
}
