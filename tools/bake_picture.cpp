// Float pictures, their resampling and polygon coverage, and text drawn with FreeType.
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
struct FontState {
    FT_Library library;
    FT_Face faces[2];
};
FontState fonts;

const char* const kFontFiles[2] = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf"};
}  // namespace

Colour rgb255(int32_t r, int32_t g, int32_t b) { return Colour{r / 255.0f, g / 255.0f, b / 255.0f}; }

Colour mixColour(Colour a, Colour b, float t) {
    return Colour{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

float clamp01(float x) { return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x); }

float smoothStep(float e0, float e1, float x) {
    float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0f - 2.0f * t);
}

void pictureCreate(Picture* picture, int32_t width, int32_t height) {
    picture->width = width;
    picture->height = height;
    int64_t bytes = (int64_t)width * height * 4 * (int64_t)sizeof(float);
    picture->rgba = (float*)MEM_ALLOC(nullptr, bytes);
    std::memset(picture->rgba, 0, (size_t)bytes);
}

void pictureFree(Picture* picture) {
    picture->rgba = (float*)MEM_FREE(picture->rgba);
    picture->width = picture->height = 0;
}

float* picturePixel(Picture* picture, int32_t x, int32_t y) {
    return picture->rgba + ((int64_t)y * picture->width + x) * 4;
}

void pictureBlend(Picture* picture, int32_t x, int32_t y, Colour colour, float alpha) {
    if (x < 0 || y < 0 || x >= picture->width || y >= picture->height || alpha <= 0.0f) return;
    float* p = picturePixel(picture, x, y);
    float a = alpha + p[3] * (1.0f - alpha);
    if (a <= 0.0f) return;
    float keep = p[3] * (1.0f - alpha);
    p[0] = (colour.r * alpha + p[0] * keep) / a;
    p[1] = (colour.g * alpha + p[1] * keep) / a;
    p[2] = (colour.b * alpha + p[2] * keep) / a;
    p[3] = a;
}

namespace {
// Span [lo, hi) of source pixels covering destination pixel i, as weights through a callback.
template <typename F>
void forEachCover(int32_t i, int32_t srcSize, int32_t dstSize, F f) {
    double scale = (double)srcSize / dstSize;
    double lo = i * scale, hi = (i + 1) * scale;
    for (int32_t s = (int32_t)lo; s < srcSize && s < hi; s++) {
        double w = (s + 1 < hi ? s + 1 : hi) - (s > lo ? s : lo);
        if (w > 0.0) f(s, (float)(w / scale));
    }
}
}  // namespace

void pictureResample(const Picture* src, Picture* dst) {
    for (int32_t y = 0; y < dst->height; y++) {
        for (int32_t x = 0; x < dst->width; x++) {
            double r = 0, g = 0, b = 0, a = 0;
            forEachCover(y, src->height, dst->height, [&](int32_t sy, float wy) {
                forEachCover(x, src->width, dst->width, [&](int32_t sx, float wx) {
                    const float* p = src->rgba + ((int64_t)sy * src->width + sx) * 4;
                    double w = (double)wx * wy;
                    r += p[0] * p[3] * w;
                    g += p[1] * p[3] * w;
                    b += p[2] * p[3] * w;
                    a += p[3] * w;
                });
            });
            float* q = picturePixel(dst, x, y);
            if (a > 1e-6) {
                q[0] = (float)(r / a);
                q[1] = (float)(g / a);
                q[2] = (float)(b / a);
            } else {
                // Wholly transparent: keep the colour of the pixel under the centre.
                const float* p = src->rgba + ((int64_t)((y + 0.5) * src->height / dst->height) * src->width +
                                              (int64_t)((x + 0.5) * src->width / dst->width)) * 4;
                q[0] = p[0];
                q[1] = p[1];
                q[2] = p[2];
            }
            q[3] = (float)a;
        }
    }
}

float polygonCoverage(const float* xs, const float* ys, int32_t n, int32_t x, int32_t y) {
    int32_t inside = 0;
    for (int32_t sy = 0; sy < 8; sy++) {
        for (int32_t sx = 0; sx < 8; sx++) {
            float px = x + (sx + 0.5f) / 8.0f, py = y + (sy + 0.5f) / 8.0f;
            bool in = false;
            for (int32_t i = 0, j = n - 1; i < n; j = i++) {
                if ((ys[i] > py) != (ys[j] > py) &&
                    px < (xs[j] - xs[i]) * (py - ys[i]) / (ys[j] - ys[i]) + xs[i])
                    in = !in;
            }
            if (in) inside++;
        }
    }
    return inside / 64.0f;
}

int32_t bakeFontsOpen(const char* fontDir) {
    if (FT_Init_FreeType(&fonts.library) != 0) {
        std::fprintf(stderr, "vcvbake: FreeType does not start\n");
        return -1;
    }
    for (int32_t i = 0; i < 2; i++) {
        char path[PATH_CAPACITY];
        if (joinPath(path, fontDir, kFontFiles[i]) != 0 || FT_New_Face(fonts.library, path, 0, &fonts.faces[i]) != 0) {
            std::fprintf(stderr, "vcvbake: cannot load the font %s%s\n", fontDir, kFontFiles[i]);
            bakeFontsClose();
            return -1;
        }
    }
    return 0;
}

void bakeFontsClose() {
    for (FT_Face& face : fonts.faces) {
        if (face) FT_Done_Face(face);
        face = nullptr;
    }
    if (fonts.library) FT_Done_FreeType(fonts.library);
    fonts.library = nullptr;
}

void* bakeFontFace(int32_t font) { return fonts.faces[font]; }

namespace {
int32_t setSize(FT_Face face, float pixelSize) {
    // 26.6 fixed point: a fractional size keeps proportions exact.
    return FT_Set_Char_Size(face, 0, (FT_F26Dot6)std::lround(pixelSize * 64.0f), 72, 72) == 0 ? 0 : -1;
}
}  // namespace

float textWidth(int32_t font, float pixelSize, const char* text) {
    FT_Face face = fonts.faces[font];
    if (setSize(face, pixelSize) != 0) return 0.0f;
    float width = 0.0f;
    for (const char* c = text; *c; c++) {
        if (FT_Load_Char(face, (uint8_t)*c, FT_LOAD_NO_HINTING) != 0) continue;
        width += face->glyph->advance.x / 64.0f;
    }
    return width;
}

int32_t drawText(Picture* picture, int32_t font, float pixelSize, float x, float y, const char* text,
                 Colour colour, float alpha) {
    FT_Face face = fonts.faces[font];
    if (setSize(face, pixelSize) != 0) return -1;
    float pen = x;
    for (const char* c = text; *c; c++) {
        // The pen's fraction moves the outline, so glyphs sit where their advances put them.
        FT_Vector shift = {(FT_Pos)std::lround((pen - std::floor(pen)) * 64.0f),
                           (FT_Pos)std::lround((std::floor(y) - y) * 64.0f)};
        FT_Set_Transform(face, nullptr, &shift);
        int32_t failed = FT_Load_Char(face, (uint8_t)*c, FT_LOAD_RENDER | FT_LOAD_NO_HINTING);
        FT_Set_Transform(face, nullptr, nullptr);
        if (failed != 0) return -1;
        FT_GlyphSlot g = face->glyph;
        int32_t left = (int32_t)std::floor(pen) + g->bitmap_left;
        int32_t top = (int32_t)std::floor(y) - g->bitmap_top;
        for (uint32_t row = 0; row < g->bitmap.rows; row++)
            for (uint32_t col = 0; col < g->bitmap.width; col++) {
                uint8_t cover = g->bitmap.buffer[row * g->bitmap.pitch + col];
                pictureBlend(picture, left + (int32_t)col, top + (int32_t)row, colour, alpha * cover / 255.0f);
            }
        pen += g->advance.x / 64.0f;
    }
    return 0;
}
