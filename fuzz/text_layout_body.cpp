// Lays arbitrary text out with arbitrary metrics, style numbers and boxes (NaN, infinite, negative
// and zero widths among them). Every call must end, read only inside the text, keep the colour, and
// give lines that lie in the text in order and always move on.
//
// Input: 40 bytes of parameters (missing ones read as 0):
//   0 layout (0-7; 4-7 name no layout), 1 cursorChar, 2 glyph patterns k (1-16), 3 metrics file
//   length / 16, 4-7 cursorPos, 8-39 x0 y0 x1 y1 glyphScale glyphHeight letterSpacing lineGap
//   (raw float32);
// then k glyph rectangles of 16 bytes repeated over all 256 glyphs of page 0, then a metrics file
// for readFontMetrics, then the text (up to its first zero byte).
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_target.h"
#include "gui/text_layout.h"

namespace {
struct Reader {
    const uint8_t* data;
    size_t size, pos;
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    uint32_t u32() {
        uint32_t v = 0;
        for (int k = 0; k < 4; k++) v |= (uint32_t)byte() << (8 * k);
        return v;
    }
    float f32() {
        uint32_t bits = u32();
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
};

struct LineCheck {
    int32_t length;
    int32_t count;
    int32_t lastEnd;
    int32_t layout;
};

void checkLine(void* user, const TextBoxLine* l) {
    LineCheck* c = (LineCheck*)user;
    c->count++;
    if (c->layout < 2) {
        if (l->start != 0 || l->end != -1) std::abort();
        return;
    }
    if (l->start < c->lastEnd || l->start > l->end || l->end > c->length) std::abort();
    if (c->count > c->length + 1) std::abort();
    c->lastEnd = l->end;
}

bool sameColour(Rgba8 a, Rgba8 b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }
}  // namespace

VCV_FUZZ_TARGET(text_layout) {
    if (size > (1u << 16)) return 0;
    Reader in{data, size, 0};
    int32_t layout = in.byte() & 7;
    uint8_t cursorChar = in.byte();
    int32_t patterns = in.byte() % 16 + 1;
    int32_t metricsBytes = in.byte() * 16;
    int32_t cursorPos = (int32_t)in.u32();
    float box[4], style[4];
    for (float& v : box) v = in.f32();
    for (float& v : style) v = in.f32();

    std::memset(fontMetrics, 0, sizeof fontMetrics);
    fontPage = 0;
    GlyphRect rects[16];
    for (int32_t k = 0; k < patterns; k++) rects[k] = GlyphRect{in.f32(), in.f32(), in.f32(), in.f32()};
    for (int32_t g = 0; g < FONT_GLYPHS; g++) fontMetrics[0][g] = rects[g % patterns];
    size_t available = in.pos < size ? size - in.pos : 0;
    if ((size_t)metricsBytes > available) metricsBytes = (int32_t)available;
    int32_t pages = readFontMetrics(in.pos < size ? data + in.pos : nullptr, metricsBytes);
    if (pages < -1 || pages > FONT_PAGES) std::abort();
    in.pos += (size_t)metricsBytes;

    // The text in a buffer of exactly its length, so that any read past the terminator is caught.
    size_t rest = in.pos < size ? size - in.pos : 0;
    const uint8_t* tail = data + (size - rest);
    size_t n = 0;
    while (n < rest && tail[n] != 0) n++;
    std::vector<char> buffer(n + 1, 0);
    if (n) std::memcpy(buffer.data(), tail, n);
    const char* text = buffer.data();
    int32_t length = (int32_t)n;

    std::memset(&currentStyle, 0, sizeof currentStyle);
    currentStyle.glyphScale = style[0];
    currentStyle.glyphHeight = style[1];
    currentStyle.letterSpacing = style[2];
    currentStyle.lineGap = style[3];
    currentStyle.textColour = Rgba8{10, 20, 30, 40};
    currentStyle.cursorChar = cursorChar;
    currentStyle.cursorPos = cursorPos;
    const Rgba8 colour = currentStyle.textColour;

    for (int32_t i = 0; i < length; i++) {
        if (text[i] != '\\') continue;
        int32_t code = parseTextCode(text + i, 0);
        if (code != -1 && code != 4 && code != 10) std::abort();
        if (code > 0 && i + code > length) std::abort();
    }
    for (int32_t i = 0; i < 256; i++)
        if (glyphAdvance((uint8_t)i) != glyphAdvance((uint8_t)i)) std::abort();  // never NaN

    // Word walk: each step moves on, forced breaks stand at a whole break code.
    for (int32_t p = 0; p < length;) {
        uint8_t forced = 2;
        int32_t end = nextWordEnd(text, p, &forced);
        if (forced > 1 || end < p || end > length) std::abort();
        if (forced) {
            if (parseTextCode(text + end, 0) != 4) std::abort();
            p = end + 4;
        } else {
            if (end == p) std::abort();
            p = end;
        }
    }

    float whole = measureString(text, 0, length);
    int32_t start = (int32_t)((uint32_t)cursorPos % (uint32_t)(length + 1));
    float part = measureString(text, start, cursorPos);
    if (std::isfinite(style[2]) && (std::isnan(whole) || std::isnan(part))) std::abort();
    if (measureString(text, start, -1) != 0.0f) std::abort();

    currentStyle.scrollX = 7.0f;
    float scroll = editScroll(text, box[0], box[2]);
    float span = (box[2] - box[0]) - 128.0f;
    if (cursorChar == 0 && scroll != 0.0f) std::abort();
    if (cursorChar != 0 && !(span > 0.0f) && scroll != 7.0f) std::abort();

    LineCheck check{length, 0, 0, layout};
    int32_t count = layoutTextBox(layout, text, box[0], box[1], box[2], box[3], checkLine, &check);
    if (count != check.count) std::abort();
    if (layout < 2 && count != 1) std::abort();
    if (layout >= 4 && count != 0) std::abort();
    if ((layout == 2 || layout == 3) && (count < 1 || check.lastEnd != length)) {
        // The last line ends at the text's end, or just before a closing break code.
        if (!(count >= 1 && check.lastEnd + 4 == length)) std::abort();
    }
    measureTextBox(layout, text, box[0], box[1], box[2], box[3]);
    if (!sameColour(currentStyle.textColour, colour)) std::abort();
    return 0;
}
