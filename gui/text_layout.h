// Text layout without drawing: the font metrics, the text style and its stack, the inline codes, and
// the measuring and line-breaking rules that the text renderer (font.h) and the widgets share. No GL
// here, so all of it runs (and is fuzzed) without a context.
//
// Inline codes start with a backslash: "\n\r" (four characters) breaks the line, "\rgbRRGGBB" (ten)
// sets the red, green and blue of textColour until the end of the drawing call. Anything else is an
// ordinary backslash. Reading never passes a string's terminator.
#pragma once
#include <cstdint>

#include "system/system.h"

enum { FONT_PAGES = 8, FONT_GLYPHS = 256, FONT_PAGE_BYTES = FONT_GLYPHS * 16 };

// A glyph's texture rectangle in its page image, 0..1.
struct GlyphRect {
    float s0, t0, s1, t1;
};
// 8 pages of 256 glyphs, indexed by unsigned byte value; zero until a font is read.
extern GlyphRect fontMetrics[FONT_PAGES][FONT_GLYPHS];
// The page drawn (and the image of the font set that holds it); always 0 in this program.
extern int32_t fontPage;

// Text layouts of a text box.
enum TextLayout : int32_t { LAYOUT_CENTRED = 0, LAYOUT_LEFT = 1, LAYOUT_WRAP_LEFT = 2, LAYOUT_WRAP_CENTRED = 3 };

// How text is drawn; copied by value into the style stack and into every widget that shows text.
struct TextStyle {
    float glyphScale;      // multiplies a glyph's texture aspect into its advance
    float glyphHeight;     // height of a glyph quad and of a line, canvas units
    float letterSpacing;   // added after every character's advance
    float lineGap;         // added to glyphHeight between wrapped lines
    Rgba8 textColour;      // glyph colour; colour codes replace its red, green and blue
    uint8_t cursorChar;    // character drawn as the cursor; 0 = no cursor and no edit scrolling
    int32_t cursorPos;     // index the cursor stands before
    uint8_t shadowOn;      // 1 = each glyph is first drawn offset in shadowColour
    float shadowOffsetX, shadowOffsetY;
    Rgba8 shadowColour;
    float extentRight, extentBottom;  // raised by measuring text-box calls
    uint8_t passwordMode;  // 1 = characters other than cursorChar draw as '*'
    float scrollX;         // horizontal offset of an edited line, kept by editScroll
};
// The style every text operation reads and writes.
extern TextStyle currentStyle;
enum { STYLE_STACK_DEPTH = 10 };

// Depth 0 (the toolkit's start-up calls it).
void resetStyleStack();
// Saves currentStyle; at depth 9 the top entry is overwritten.
void pushStyle();
// Restores the last saved style; at depth 0 restores entry 0.
void popStyle();

// Reads font.sff bytes into fontMetrics: an int32 page count (clamped to 0..8), then that many pages
// of 256 little-endian float32 quadruples. Only whole glyphs present in the buffer are stored; the
// rest keep what they held. Returns the pages the file claimed after clamping, or -1 when even the
// count is missing.
int32_t readFontMetrics(const uint8_t* data, int32_t size);

// Length of the code at text[0] (a backslash): 4 for a line break, 10 for a colour code whose six
// hex digits are all present (with apply 1 it sets currentStyle.textColour's r, g, b), else -1.
int32_t parseTextCode(const char* text, int32_t apply);
// Advance of character c on fontPage: (s1 - s0) / (t1 - t0) * glyphScale; 0 for a zero-height glyph.
float glyphAdvance(uint8_t c);
// Width of characters start <= i < end (advance + letterSpacing each, spaces included), skipping
// codes; stops at the terminator; end -1 gives 0. textColour is as it was afterwards.
float measureString(const char* text, int32_t start, int32_t end);
// Horizontal scroll of an edited line in a box x0..x1: with cursorChar 0 the result is 0; otherwise
// once the text before the cursor is n >= 1 whole spans (box width - 128) wide, scrollX = -n spans.
// Returns scrollX (unchanged for n <= 0 or a span <= 0).
float editScroll(const char* text, float x0, float x1);
// Index where the word at p (after any spaces) and the spaces behind it end; at a line-break code
// *forced = 1 and the index of its backslash is returned.
int32_t nextWordEnd(const char* text, int32_t p, uint8_t* forced);

// One line of a text box: characters start <= i < end (end -1 = to the terminator) drawn with their
// top-left at (x, y); right/bottom are what a measuring call raises the extents to.
struct TextBoxLine {
    int32_t start, end;
    float x, y;
    float right, bottom;
};
// Lays out text in the box (x0, y0)-(x1, y1): layouts 0 and 1 give one line (edit-scrolled when
// cursorChar is set), layouts 2 and 3 break at words: an over-long word stands alone, a line-break
// code ends a line and is skipped. Calls line(user, &l) for each line in order; returns the count.
// Null text gives no line.
int32_t layoutTextBox(int32_t layout, const char* text, float x0, float y0, float x1, float y1,
                      void (*line)(void* user, const TextBoxLine* l), void* user);
// Raises currentStyle.extentRight / extentBottom to cover every line of the box (never lowers them).
void measureTextBox(int32_t layout, const char* text, float x0, float y0, float x1, float y1);
