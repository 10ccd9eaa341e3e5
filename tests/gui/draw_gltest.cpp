// The toolkit's drawing primitives on the canvas: where they draw, what they leave off the canvas,
// and the GL state each one puts back.
#include <cmath>
#include <cstdlib>
#include <vector>

#include "gui/canvas.h"
#include "gui_fixture.h"

namespace {
constexpr int W = 800, H = 600;  // the fixture's window
// Set 0, apart from the fixture's, holds 2 x 2 images: quadrants red | green over blue | white;
// plain yellow and plain cyan (the frame's edge images); plain white.
enum { SET = 0, QUADRANTS = 0, YELLOW = 1, CYAN = 2, WHITE = 3 };
const Rgba8 kOpaqueWhite = {255, 255, 255, 255};

GLint integer(GLenum name) {
    GLint v = -1;
    glGetIntegerv(name, &v);
    return v;
}

GLint texParam(GLenum name) {
    GLint v = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, name, &v);
    return v;
}

std::vector<uint8_t> pixels() {
    std::vector<uint8_t> p((size_t)W * H * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, p.data());
    return p;
}

// Linear filtering near a texel's centre lets its neighbours weigh in a little.
bool near(uint32_t got, uint32_t want, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs((int)(got >> shift & 255) - (int)(want >> shift & 255)) > tolerance) return false;
    return true;
}

class Draw : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        interfaceSizeLimit = 2048;
        const uint32_t texels[4][4] = {{0xff0000, 0x00ff00, 0x0000ff, 0xffffff},
                                       {0xffff00, 0xffff00, 0xffff00, 0xffff00},
                                       {0x00ffff, 0x00ffff, 0x00ffff, 0x00ffff},
                                       {0xffffff, 0xffffff, 0xffffff, 0xffffff}};
        for (int32_t image = 0; image < 4; image++) {
            std::vector<uint8_t> rgba;
            for (uint32_t c : texels[image])
                rgba.insert(rgba.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255});
            uploadSetImage(SET, image, 0, rgba.data(), 2, 2);
        }
        interfaceFilterMode = 2;
        begin2d((float)CANVAS_WIDTH, (float)CANVAS_HEIGHT);
        render_set_clear(0, 0, 0, 1, 1, 0);
        render_clear();
    }
    void TearDown() override {
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        GuiTest::TearDown();
    }
};
}  // namespace

TEST_F(Draw, TheCanvasStretchesOverTheWindowAndOffCanvasRectanglesTouchNothing) {
    // 2000 x 1500 canvas units are the top-left 400 x 300 pixels, to the pixel.
    fillRect(0, 0, 2000, 1500, 255, 255, 255, 255);
    EXPECT_EQ(at(0, 0), 0xffffffu);
    EXPECT_EQ(at(399, 299), 0xffffffu);
    EXPECT_EQ(at(400, 299), 0u);
    EXPECT_EQ(at(399, 300), 0u);

    // A sentinel texture with its own parameters and an odd blend function: rectangles off the
    // canvas leave all of it, and the pixels, as they were.
    GLuint sentinel = 0;
    glGenTextures(1, &sentinel);
    glBindTexture(GL_TEXTURE_2D, sentinel);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_MIRRORED_REPEAT);
    glBlendFunc(GL_ONE, GL_ZERO);
    const std::vector<uint8_t> before = pixels();
    const float off[4][4] = {{-300, 0, -0.5f, 500}, {4000.5f, 0, 4300, 500}, {0, -300, 500, -0.5f},
                             {0, 3000.5f, 500, 3300}};
    for (const auto& r : off) {
        drawImage(SET, WHITE, r[0], r[1], r[2], r[3], 255, 0, 0, 255);
        drawManagedImage(0, 0, r[0], r[1], r[2], r[3], 255, 0, 0, 255);
        drawImageUv(SET, WHITE, r[0], r[1], r[2], r[3], 0, 0, 3, 3, 255, 0, 0, 255);
        drawImageNearest(SET, WHITE, r[0], r[1], r[2], r[3], 255, 0, 0, 255);
        drawImageAdditive(SET, WHITE, r[0], r[1], r[2], r[3], 255, 0, 0, 255);
        drawImageGradient(SET, WHITE, r[0], r[1], r[2], r[3], kOpaqueWhite, kOpaqueWhite, kOpaqueWhite, kOpaqueWhite);
    }
    EXPECT_EQ((GLuint)integer(GL_TEXTURE_BINDING_2D), sentinel);
    EXPECT_EQ(texParam(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(texParam(GL_TEXTURE_WRAP_S), GL_MIRRORED_REPEAT);
    EXPECT_EQ(integer(GL_BLEND_SRC), GL_ONE);
    EXPECT_EQ(integer(GL_BLEND_DST), GL_ZERO);
    EXPECT_TRUE(pixels() == before);

    // A managed image of set -1 binds nothing. Touching the edge (x1 = 0, y0 = canvasHeight) is on
    // the canvas: bound and drawn.
    drawManagedImage(-1, 0, 3000, 2000, 3100, 2100, 0, 255, 0, 255);
    EXPECT_EQ((GLuint)integer(GL_TEXTURE_BINDING_2D), sentinel);
    drawImage(SET, YELLOW, -300, 0, 0, 500, 255, 255, 255, 255);
    EXPECT_EQ((GLuint)integer(GL_TEXTURE_BINDING_2D), setImageGet(SET, YELLOW)->texture);
    drawImage(SET, CYAN, 0, 3000, 500, 3300, 255, 255, 255, 255);
    EXPECT_EQ((GLuint)integer(GL_TEXTURE_BINDING_2D), setImageGet(SET, CYAN)->texture);
    glDeleteTextures(1, &sentinel);
}

TEST_F(Draw, BlendWrapAndFiltersAreBackAfterEachPrimitive) {
    // Additive adds onto what is there, then normal blending is set again; lines keep the function.
    fillRect(0, 0, 1000, 1000, 100, 100, 100, 255);
    glBlendFunc(GL_ONE, GL_ZERO);
    drawImageAdditive(SET, WHITE, 0, 0, 1000, 1000, 50, 60, 70, 255);
    EXPECT_TRUE(near(at(100, 100), 0x96a0aa, 2));
    EXPECT_EQ(integer(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(integer(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(texParam(GL_TEXTURE_WRAP_S), GL_REPEAT);
    glBlendFunc(GL_ONE, GL_ZERO);
    fillRectAdditive(1000, 0, 2000, 1000, 10, 20, 30, 255);
    EXPECT_EQ(integer(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);
    glBlendFunc(GL_ONE, GL_ZERO);
    drawLine(0, 2000, 4000, 2000, 30, 255, 255, 255, 255);
    EXPECT_EQ(integer(GL_BLEND_SRC), GL_ONE);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));

    // 160 pixels over 2 texels: at 3/8 of the width linear filtering mixes red with green, nearest
    // gives pure red (the anisotropy the texture carries must not keep it linear). Afterwards the
    // interface's own filters, anisotropy and repeat wrap.
    ASSERT_EQ(extensions.flag[EXT_TEXTURE_FILTER_ANISOTROPIC], 1) << "Mesa offers anisotropy under Xvfb";
    drawImage(SET, QUADRANTS, 0, 0, 800, 800, 255, 255, 255, 255);
    EXPECT_FALSE(near(at(60, 40), 0xff0000, 10));
    for (int32_t mode : {2, 0}) {
        interfaceFilterMode = mode;
        drawImageNearest(SET, QUADRANTS, 0, 0, 800, 800, 255, 255, 255, 255);
        EXPECT_EQ(at(60, 40), 0xff0000u);
        EXPECT_EQ(texParam(GL_TEXTURE_MIN_FILTER), mode == 0 ? GL_LINEAR : GL_LINEAR_MIPMAP_LINEAR);
        EXPECT_EQ(texParam(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
        GLfloat anisotropy = 0;
        glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy);
        EXPECT_EQ(anisotropy, mode == 2 ? 2.0f : 1.0f);
    }
    EXPECT_EQ(texParam(GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(texParam(GL_TEXTURE_WRAP_T), GL_REPEAT);
}

TEST_F(Draw, PanelsFramesAndCirclesDrawWhereTheyShouldAndDegenerateOnesDrawNothing) {
    // A panel without border or tile is the stretched image, pixel for pixel.
    drawImage(SET, QUADRANTS, 100, 100, 1700, 1300, 255, 255, 255, 255);
    const std::vector<uint8_t> image = pixels();
    render_clear();
    drawPanelFill(SET, QUADRANTS, 100, 100, 1700, 1300, 0, 0, &kOpaqueWhite);
    EXPECT_TRUE(pixels() == image);

    // Border 200 around (400, 400)-(2400, 1600): each corner from its quadrant, the edges from the
    // next two images, the inside untouched.
    // The places are under test, not the filters: with anisotropy 2 Mesa blends in the next mip level.
    render_clear();
    bindSetImage(SET, QUADRANTS);
    applyFilterMode(0);
    drawFrame(SET, QUADRANTS, 400, 400, 2400, 1600, 200, &kOpaqueWhite);
    const struct { int x, y; uint32_t colour; } expected[] = {
        {100, 100, 0xff0000}, {460, 100, 0x00ff00}, {100, 300, 0x0000ff}, {460, 300, 0xffffff},
        {280, 100, 0xffff00}, {280, 300, 0xffff00}, {100, 200, 0x00ffff}, {460, 200, 0x00ffff},
        {280, 200, 0x000000}};
    for (const auto& e : expected) EXPECT_TRUE(near(at(e.x, e.y), e.colour, 8)) << e.x << ", " << e.y;

    // Degenerate frames and circles: nothing bound, nothing drawn, nothing broken.
    render_clear();
    const std::vector<uint8_t> empty = pixels();
    glBindTexture(GL_TEXTURE_2D, 0);
    for (float b : {0.0f, -50.0f, std::nanf("")}) drawFrame(SET, QUADRANTS, 400, 400, 2400, 1600, b, &kOpaqueWhite);
    drawFrame(SET, QUADRANTS, 400, 400, 2400, 1600, 50, nullptr);
    drawPanelFill(SET, QUADRANTS, 400, 400, 2400, 1600, 0, 0, nullptr);
    drawCircle(2000, 1500, 500, 1, 3, 0, kOpaqueWhite, kOpaqueWhite);
    drawCircle(2000, 1500, 500, 1, 3, -8, kOpaqueWhite, kOpaqueWhite);
    EXPECT_TRUE(pixels() == empty);
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), 0);
    drawFrame(SET, QUADRANTS, 100, 100, 150, 150, 40, &kOpaqueWhite);       // narrower than 2b
    drawFrame(SET, SET_IMAGES - 1, 100, 100, 900, 900, 40, &kOpaqueWhite);  // edge images past the set

    // A filled circle: its centre in the fill colour, outside untouched; line width back to 1.
    render_clear();
    drawCircle(2000, 1500, 500, 1, 3, 16, Rgba8{255, 0, 0, 255}, Rgba8{0, 0, 255, 255});
    EXPECT_EQ(at(400, 300), 0x0000ffu);
    EXPECT_EQ(at(400, 150), 0u);
    GLfloat width = 0;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 1.0f);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
}
