#include "gui/text_layout.h"

#include <cmath>
#include <cstring>

#include "strings/text.h"

GlyphRect fontMetrics[FONT_PAGES][FONT_GLYPHS];
int32_t fontPage = 0;
TextStyle currentStyle;

namespace {
// The saved styles; depth is the entry the next push writes (0 .. 9).
struct StyleStack {
    TextStyle entries[STYLE_STACK_DEPTH];
    int32_t depth;
};
StyleStack styles;

// A hex digit as the font's text files write them: '0'-'9' and 'A'-'F'; other bytes are not
// checked and give whatever the arithmetic gives.
int32_t digitValue(uint8_t c) { return c > '9' ? c - 55 : c - 48; }

const GlyphRect& glyphRect(uint8_t c) {
    int32_t page = (fontPage >= 0 && fontPage < FONT_PAGES) ? fontPage : 0;
    return fontMetrics[page][c];
}

// A running width from a fixed start. Widening the end one step after another gives exactly the
// sums measureString gives for each end, so the word wrapper measures each character once.
struct Measure {
    const char* text;
    int32_t i;
    float sum;
};

void measureTo(Measure* m, int32_t end) {
    const char* t = m->text;
    while (m->i < end) {
        int32_t n;
        while (t[m->i] == '\\' && (n = parseTextCode(t + m->i, 0)) > 0) m->i += n;
        if (t[m->i] == 0 || m->i >= end) break;
        m->sum += glyphAdvance((uint8_t)t[m->i]) + currentStyle.letterSpacing;
        m->i++;
    }
}

uint32_t readU32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

float readF32(const uint8_t* p) {
    uint32_t bits = readU32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

const int32_t kLineBreakLength = 4;
const int32_t kColourCodeLength = 10;
// Units of an edited box kept free of scrolling (room for the cursor and the frame).
const float kEditMargin = 128.0f;
}  // namespace

void resetStyleStack() { styles.depth = 0; }

void pushStyle() {
    styles.entries[styles.depth] = currentStyle;
    if (styles.depth < STYLE_STACK_DEPTH - 1) styles.depth++;
}

void popStyle() {
    if (styles.depth > 0) styles.depth--;
    currentStyle = styles.entries[styles.depth];
}

int32_t readFontMetrics(const uint8_t* data, int32_t size) {
    if (data == nullptr || size < 4) return -1;
    int32_t pages = (int32_t)readU32(data);
    if (pages < 0) pages = 0;
    if (pages > FONT_PAGES) pages = FONT_PAGES;
    for (int32_t g = 0; g < pages * FONT_GLYPHS; g++) {
        int64_t offset = 4 + (int64_t)g * 16;
        if (offset + 16 > size) break;
        const uint8_t* p = data + offset;
        GlyphRect& r = fontMetrics[g / FONT_GLYPHS][g % FONT_GLYPHS];
        r.s0 = readF32(p);
        r.t0 = readF32(p + 4);
        r.s1 = readF32(p + 8);
        r.t1 = readF32(p + 12);
    }
    return pages;
}

int32_t parseTextCode(const char* text, int32_t apply) {
    if (text == nullptr || text[0] != '\\') return -1;
    // Each comparison fails at the terminator, so nothing past it is read.
    if (text[1] == 'n' && text[2] == '\\' && text[3] == 'r') return kLineBreakLength;
    if (text[1] != 'r' || text[2] != 'g' || text[3] != 'b') return -1;
    for (int32_t k = 4; k < kColourCodeLength; k++)
        if (text[k] == 0) return -1;
    if (apply == 1) {
        const uint8_t* d = (const uint8_t*)text + 4;
        currentStyle.textColour.r = (uint8_t)(digitValue(d[0]) * 16 + digitValue(d[1]));
        currentStyle.textColour.g = (uint8_t)(digitValue(d[2]) * 16 + digitValue(d[3]));
        currentStyle.textColour.b = (uint8_t)(digitValue(d[4]) * 16 + digitValue(d[5]));
    }
    return kColourCodeLength;
}

float glyphAdvance(uint8_t c) {
    const GlyphRect& r = glyphRect(c);
    float height = r.t1 - r.t0;
    if (height == 0.0f) return 0.0f;
    float a = (r.s1 - r.s0) / height * currentStyle.glyphScale;
    // A damaged metrics file must not put NaN or infinite positions into the layout.
    return std::isfinite(a) ? a : 0.0f;
}

float measureString(const char* text, int32_t start, int32_t end) {
    if (text == nullptr) return 0.0f;
    // Colour codes are passed without applying them, so textColour stays as it was.
    Measure m{text, start < 0 ? 0 : start, 0.0f};
    measureTo(&m, end);
    return m.sum;
}

float editScroll(const char* text, float x0, float x1) {
    if (currentStyle.cursorChar == 0) return 0.0f;
    float w = measureString(text, 0, currentStyle.cursorPos);
    float span = (x1 - x0) - kEditMargin;
    if (!(span > 0.0f)) return currentStyle.scrollX;
    float n = std::trunc(w / span);
    if (n >= 1.0f && std::isfinite(n)) currentStyle.scrollX = -span * n;
    return currentStyle.scrollX;
}

int32_t nextWordEnd(const char* text, int32_t p, uint8_t* forced) {
    *forced = 0;
    if (text == nullptr) return p;
    if (p < 0) p = 0;
    while (text[p] == ' ') p++;
    for (;;) {
        char c = text[p];
        if (c == ' ' || c == 0) {
            while (text[p] == ' ') p++;
            return p;
        }
        if (c == '\\' && parseTextCode(text + p, 0) == kLineBreakLength) {
            *forced = 1;
            return p;
        }
        p++;
    }
}

namespace {
// Layouts 2 and 3: words are taken while the line from its start fits the box; a word that does
// not fit even alone stands alone, so every line moves on (also for zero, negative or NaN widths).
int32_t layoutWrapped(int32_t layout, const char* text, float x0, float y0, float x1,
                      void (*line)(void* user, const TextBoxLine* l), void* user) {
    int32_t length = textLength(text);
    float width = x1 - x0;
    float pitch = currentStyle.glyphHeight + currentStyle.lineGap;
    float y = y0;
    int32_t count = 0;
    int32_t lineStart = 0;
    do {
        Measure m{text, lineStart, 0.0f};
        int32_t lineEnd = lineStart;
        float lineWidth = 0.0f;
        uint8_t lineForced = 0;
        for (;;) {
            uint8_t forced = 0;
            int32_t wordEnd = nextWordEnd(text, lineEnd, &forced);
            measureTo(&m, wordEnd);
            if (m.sum > width) {
                if (lineEnd == lineStart) {
                    lineEnd = wordEnd;
                    lineWidth = m.sum;
                    lineForced = forced;
                }
                // A break code behind a word left for the next line belongs to that line.
                break;
            }
            lineEnd = wordEnd;
            lineWidth = m.sum;
            if (forced) {
                lineForced = 1;
                break;
            }
            if (lineEnd >= length) break;
        }
        TextBoxLine l;
        l.start = lineStart;
        l.end = lineEnd;
        l.x = layout == LAYOUT_WRAP_LEFT ? x0 : x0 + (width - lineWidth) * 0.5f;
        l.y = y;
        l.right = x0 + lineWidth;
        l.bottom = y + pitch;
        if (line) line(user, &l);
        count++;
        y += pitch;
        lineStart = lineForced ? lineEnd + kLineBreakLength : lineEnd;
    } while (lineStart < length);
    return count;
}

void raiseExtents(void*, const TextBoxLine* l) {
    if (l->right > currentStyle.extentRight) currentStyle.extentRight = l->right;
    if (l->bottom > currentStyle.extentBottom) currentStyle.extentBottom = l->bottom;
}
}  // namespace

int32_t layoutTextBox(int32_t layout, const char* text, float x0, float y0, float x1, float y1,
                      void (*line)(void* user, const TextBoxLine* l), void* user) {
    if (text == nullptr) return 0;
    if (layout == LAYOUT_WRAP_LEFT || layout == LAYOUT_WRAP_CENTRED)
        return layoutWrapped(layout, text, x0, y0, x1, line, user);
    if (layout != LAYOUT_CENTRED && layout != LAYOUT_LEFT) return 0;
    float s = editScroll(text, x0, x1);
    float w = measureString(text, 0, textLength(text));
    float dx = layout == LAYOUT_CENTRED ? ((x1 - x0) - w) * 0.5f : 0.0f;
    float dy = ((y1 - y0) - currentStyle.glyphHeight) * 0.5f;
    TextBoxLine l;
    l.start = 0;
    l.end = -1;
    l.x = x0 + dx + s;
    l.y = y0 + dy;
    l.right = l.x + w;
    l.bottom = l.y + currentStyle.glyphHeight + currentStyle.lineGap;
    if (line) line(user, &l);
    return 1;
}

void measureTextBox(int32_t layout, const char* text, float x0, float y0, float x1, float y1) {
    layoutTextBox(layout, text, x0, y0, x1, y1, raiseExtents, nullptr);
}
