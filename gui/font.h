// The bitmap font and text drawing: the font's page images live in an interface texture set, its
// metrics in font.sff (text_layout.h); strings are drawn in currentStyle with codes, shadows and
// the blinking cursor, and laid out in boxes.
#pragma once
#include <cstdint>

#include "gui/text_layout.h"
#include "texsets/interface_sets.h"

// The interface texture set holding the font's pages (0 at start, -1 once unloaded).
extern int32_t fontSet;

// Loads the page images from name with its extension replaced by "stf" (into fontSet) and the
// metrics from dir + name, read bounded (readFontMetrics). A missing file leaves what was there.
void loadFont(const char* name, const char* dir);
// The font's files read and decoded without GL, so that another thread can make them while the
// window opens; installFont then does with them what loadFont does with the files.
struct PreparedFont {
    PreparedSet pages;
    int32_t pagesRead;    // 0 when the page set was read
    uint8_t* metrics;     // the bounded prefix of the metrics file (memAlloc)
    int32_t metricsSize;  // -1 when it could not be read
};
void prepareFont(PreparedFont* font, const char* name, const char* dir);
// Uploads and installs a prepared font, and frees it.
void installFont(PreparedFont* font);
// Frees a prepared font without installing it.
void freePreparedFont(PreparedFont* font);
// Frees fontSet; it becomes -1.
void unloadFont();

// One glyph quad (shadow first when shadowOn), culled like an image; '*' in password mode for every
// character other than cursorChar. Binds nothing and sets no blending.
void drawGlyph(uint8_t c, float x0, float y0, float x1, float y1);
// Characters start (-1 = 0) up to end (-1 = the terminator) on one line, top-left at (x, y); codes
// act until the call returns; spaces advance without drawing; the cursor is drawn where it stands.
void drawString(const char* text, int32_t start, int32_t end, float x, float y);
// The cursor glyph when it stands before character i (x is where i would be drawn; a is the advance
// of the character before), while textCursor().blinkTimer <= 500.
void drawCursor(int32_t i, float x, float y, float a);
// value with `decimals` places (formatFloat) drawn at (x, y).
void drawNumber(float value, int32_t decimals, float x, float y);
// Lays text out in the box and draws it (draw 1) with the scissor set to the box, resetting the
// extents first; any other draw value only raises the extents. The scissor is the whole canvas after.
void drawTextBox(int32_t layout, int32_t draw, const char* text, float x0, float y0, float x1, float y1);
