// The font: 256 glyphs of DejaVu Sans, byte value = Latin-1 code point, on one square page, and
// their rectangles in font.sff.
//
// The viewer draws every glyph quad as tall as its line and as wide as advance / line height times
// that height, so each rectangle spans the whole line (ascender to descender) and exactly the
// glyph's advance. Cells are 64 pixels square on a 16 x 16 grid: the padding around each line
// keeps neighbours apart in the mipmaps down to 8 x 8 pixel cells, and cells on multiples of 64
// never share a texel of the box-filtered levels.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdio>
#include <cstring>

#include "system/files.h"
#include "system/memory.h"
#include "tools/bake.h"

static const char* const kModule = "vcvbake";

namespace {
const int32_t kPage = 1024;
const int32_t kCell = 64;
// DejaVu Sans at 46 pixels: ascender 43 + descender 11 = a line of 54 pixels, the widest advance
// (@, copyright, registered) 46 pixels, so no cell has less than 9 pixels on a side.
const float kPixelSize = 46.0f;
const int32_t kMinPadding = 4;

bool isControl(int32_t c) { return c < 32 || (c >= 127 && c < 160); }

void putFloat(uint8_t* out, float v) {
    uint32_t bits = 0;
    std::memcpy(&bits, &v, 4);
    for (int32_t i = 0; i < 4; i++) out[i] = (uint8_t)(bits >> (8 * i));
}

// The line's extent above and below the baseline over every printable glyph, in pixels.
int32_t measureLine(FT_Face face, int32_t* above, int32_t* below) {
    *above = (int32_t)std::ceil(face->size->metrics.ascender / 64.0);
    *below = (int32_t)std::ceil(-face->size->metrics.descender / 64.0);
    for (int32_t c = 0; c < 256; c++) {
        if (isControl(c)) continue;
        if (FT_Load_Char(face, (FT_ULong)c, FT_LOAD_RENDER | FT_LOAD_NO_HINTING) != 0) return -1;
        FT_GlyphSlot g = face->glyph;
        if (g->bitmap_top > *above) *above = g->bitmap_top;
        if ((int32_t)g->bitmap.rows - g->bitmap_top > *below) *below = (int32_t)g->bitmap.rows - g->bitmap_top;
    }
    return 0;
}
}  // namespace

int32_t bakeFont(const char* dir, const char* outDir) {
    FT_Face face = (FT_Face)bakeFontFace(BAKE_FONT_REGULAR);
    if (FT_Set_Char_Size(face, 0, (FT_F26Dot6)(kPixelSize * 64.0f), 72, 72) != 0) return -1;
    int32_t above = 0, below = 0;
    if (measureLine(face, &above, &below) != 0) {
        std::fprintf(stderr, "vcvbake: a glyph of the font cannot be rendered\n");
        return -1;
    }
    int32_t line = above + below;
    if (line > kCell - 2 * kMinPadding) {
        std::fprintf(stderr, "vcvbake: a line of %d pixels does not fit a cell of %d\n", line, kCell);
        return -1;
    }
    int32_t top = (kCell - line) / 2;

    Picture page;
    pictureCreate(&page, kPage, kPage);
    // White everywhere: the colour under every alpha, so filtering brings in no dark fringe.
    for (int64_t i = 0; i < (int64_t)kPage * kPage; i++)
        for (int32_t c = 0; c < 3; c++) page.rgba[i * 4 + c] = 1.0f;

    uint8_t sff[4 + 256 * 16];
    sff[0] = 1;
    sff[1] = sff[2] = sff[3] = 0;
    int32_t result = 0;
    for (int32_t c = 0; c < 256 && result == 0; c++) {
        int32_t cellX = (c % 16) * kCell, cellY = (c / 16) * kCell;
        float advance = 0.0f;
        if (!isControl(c)) {
            if (FT_Load_Char(face, (FT_ULong)c, FT_LOAD_RENDER | FT_LOAD_NO_HINTING) != 0) {
                result = -1;
                break;
            }
            advance = face->glyph->advance.x / 64.0f;
        }
        if (advance > kCell - 2 * kMinPadding) {
            std::fprintf(stderr, "vcvbake: glyph %d is %.1f pixels wide, more than its cell holds\n", c, advance);
            result = -1;
            break;
        }
        // The advance box stands in the middle of the cell, its left end on a whole pixel.
        int32_t originX = cellX + (int32_t)std::floor((kCell - advance) / 2.0f);
        int32_t lineTop = cellY + top;
        int32_t baseline = lineTop + above;
        if (!isControl(c)) {
            FT_GlyphSlot g = face->glyph;
            for (uint32_t row = 0; row < g->bitmap.rows; row++) {
                for (uint32_t col = 0; col < g->bitmap.width; col++) {
                    int32_t x = originX + g->bitmap_left + (int32_t)col;
                    int32_t y = baseline - g->bitmap_top + (int32_t)row;
                    if (x < cellX || x >= cellX + kCell || y < cellY || y >= cellY + kCell) continue;
                    picturePixel(&page, x, y)[3] = g->bitmap.buffer[row * g->bitmap.pitch + col] / 255.0f;
                }
            }
        }
        uint8_t* rect = sff + 4 + c * 16;
        putFloat(rect, originX / (float)kPage);
        putFloat(rect + 4, lineTop / (float)kPage);
        putFloat(rect + 8, (originX + advance) / (float)kPage);
        putFloat(rect + 12, (lineTop + line) / (float)kPage);
    }
    if (result == 0) result = writeSetJpeg(dir, 0, "font_page.jpg", &page, 1, 1);
    pictureFree(&page);
    if (result == 0 && writeWholeFile("font.sff", outDir, sff, (int32_t)sizeof sff) != 0) {
        std::fprintf(stderr, "vcvbake: cannot write %sfont.sff\n", outDir);
        result = -1;
    }
    if (result == 0)
        std::printf("vcvbake: font page %dx%d, line %d pixels (%d above the baseline) in cells of %d\n", kPage,
                    kPage, line, above, kCell);
    return result;
}
