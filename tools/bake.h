// vcvbake: makes the viewer's data files at build time. It renders the font's glyph page with
// FreeType, draws the interface images, writes each as a JPEG with DevIL, checks every JPEG with the
// engine's own decoder, and builds the set files with the engine's set builder.
//
// Usage: vcvbake OUTDIR SOURCEDIR FONTDIR. OUTDIR (the directory of the built vcv) receives
// data/font.sff, data/font.stf, data/inter.stf, language/vorfre.txt and the icons
// icons/48x48/vcv.png and icons/256x256/vcv.png; SOURCEDIR is the source
// tree (assets/); FONTDIR holds DejaVuSans.ttf and DejaVuSans-Bold.ttf. Every run gives the same
// bytes.
#pragma once
#include <cstdint>

// An RGBA picture of floats 0..1 with straight (not premultiplied) alpha, rows top to bottom.
struct Picture {
    int32_t width, height;
    float* rgba;  // width x height x 4, memAlloc'd; null when empty
};

// A colour of floats 0..1.
struct Colour {
    float r, g, b;
};

// One colour from 0..255 components.
Colour rgb255(int32_t r, int32_t g, int32_t b);
// a + (b - a) t.
Colour mixColour(Colour a, Colour b, float t);
// 0 below e0, 1 above e1, a smooth step between.
float smoothStep(float e0, float e1, float x);
float clamp01(float x);

// A zeroed picture (transparent black). width and height > 0.
void pictureCreate(Picture* picture, int32_t width, int32_t height);
void pictureFree(Picture* picture);
// Pointer to the four floats of (x, y); no bounds check.
float* picturePixel(Picture* picture, int32_t x, int32_t y);
// Lays colour at coverage alpha over the pixel (straight-alpha "over"); outside pixels are ignored.
void pictureBlend(Picture* picture, int32_t x, int32_t y, Colour colour, float alpha);
// dst (already created at its size) = src averaged over the area each dst pixel covers; colours are
// weighted by alpha, so transparent pixels lend no colour.
void pictureResample(const Picture* src, Picture* dst);
// Coverage of the pixel (x, y) by the polygon (n points, xs/ys), from 8 x 8 samples (even-odd rule).
float polygonCoverage(const float* xs, const float* ys, int32_t n, int32_t x, int32_t y);

// Text with FreeType. Fonts are loaded once from FONTDIR by bakeFontsOpen.
enum { BAKE_FONT_REGULAR = 0, BAKE_FONT_BOLD = 1 };
// 0, or -1 with a message when a font cannot be loaded.
int32_t bakeFontsOpen(const char* fontDir);
void bakeFontsClose();
// The FreeType face of a font (an FT_Face, kept opaque here).
void* bakeFontFace(int32_t font);
// Width in pixels of text at pixelSize (sum of advances).
float textWidth(int32_t font, float pixelSize, const char* text);
// Draws text anti-aliased at pixelSize with its baseline's left end at (x, y); 0 or -1.
int32_t drawText(Picture* picture, int32_t font, float pixelSize, float x, float y, const char* text,
                 Colour colour, float alpha);

// JPEG files for the set builder. writeSetJpeg turns the picture into 8-bit samples (alpha 1: the
// colour above the alpha as grey, so the JPEG is twice as high; each half must be a multiple of
// 16 rows), encodes it with DevIL, decodes the result again with the engine's decoder and compares
// it with the samples; only a JPEG that passes is written, as dir + "N_%04d_T_00_A_%d_Q_2_" + name.
// grey 1 stores one channel (the picture must be grey). 0, or -1 with a message.
int32_t writeSetJpeg(const char* dir, int32_t number, const char* name, const Picture* picture, int32_t alpha,
                     int32_t grey);
// Starts and stops DevIL.
void bakeJpegOpen();
void bakeJpegClose();

// The font: renders the glyph page into dir as set image 0 and writes outDir + "font.sff".
// 0, or -1 with a message.
int32_t bakeFont(const char* dir, const char* outDir);
// The interface images 0 .. 34 into dir. 0, or -1.
int32_t bakeInterfaceImages(const char* dir);
// Image 35, the info picture, into dir. 0, or -1.
int32_t bakeInfoPicture(const char* dir);
// The program's icon as PNG files outDir + "icons/48x48/vcv.png" and "icons/256x256/vcv.png" (DevIL
// must be started). 0, or -1 with a message.
int32_t bakeIcons(const char* outDir);
