#include "gui/font.h"

#include <cstring>

#include "gui/canvas.h"
#include "input/input.h"
#include "render/gl.h"
#include "render/render_state.h"
#include "strings/text.h"
#include "system/files.h"
#include "system/memory.h"
#include "texsets/interface_sets.h"

static const char* const kModule = "vor2d_1_11";

int32_t fontSet = 0;

namespace {
// The largest useful metrics file: the page count and eight full pages.
const int32_t kMetricsFileBytes = 4 + FONT_PAGES * FONT_PAGE_BYTES;
// The cursor shows for the first 500 ms of every blink period.
const float kCursorVisibleMs = 500.0f;
const float kFontLodBias = -0.75f;
const int32_t kNameCapacity = 2048;

const GlyphRect& pageRect(uint8_t c) {
    int32_t page = (fontPage >= 0 && fontPage < FONT_PAGES) ? fontPage : 0;
    return fontMetrics[page][c];
}

void emitQuad(const GlyphRect& r, float x0, float y0, float x1, float y1) {
    glTexCoord2f(r.s0, r.t0);
    glVertex2f(x0, y0);
    glTexCoord2f(r.s0, r.t1);
    glVertex2f(x0, y1);
    glTexCoord2f(r.s1, r.t1);
    glVertex2f(x1, y1);
    glTexCoord2f(r.s1, r.t0);
    glVertex2f(x1, y0);
}

// The set file's name: name with the part after its last '.' replaced by "stf" (".stf" appended
// when there is no '.'). False when it does not fit.
bool setFileName(const char* name, char* out) {
    int32_t length = textLength(name);
    int32_t stem = length;
    for (int32_t i = length - 1; i >= 0; i--)
        if (name[i] == '.') {
            stem = i;
            break;
        }
    if (stem + 5 > kNameCapacity) return false;
    std::memcpy(out, name, (size_t)stem);
    std::memcpy(out + stem, ".stf", 5);
    return true;
}

// Layout callback of a drawing text box; user is the text.
void drawBoxLine(void* user, const TextBoxLine* l) { drawString((const char*)user, l->start, l->end, l->x, l->y); }
}  // namespace

// Interface text is drawn four to five times smaller than its page holds it; trilinear filtering
// alone would then blur strokes into grey. A negative level-of-detail bias samples a finer mip level.
static void sharpenFontPages() {
    for (int32_t page = 0; page < FONT_PAGES; page++) {
        const SetImage* image = setImageGet(fontSet, page);
        if (!image || image->texture == 0) continue;
        bindSetImage(fontSet, page);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_LOD_BIAS, kFontLodBias);
    }
}

void prepareFont(PreparedFont* font, const char* name, const char* dir) {
    font->pages = PreparedSet{0, nullptr};
    font->pagesRead = -1;
    font->metrics = nullptr;
    font->metricsSize = -1;
    if (name == nullptr || dir == nullptr) return;
    char setName[kNameCapacity];
    if (setFileName(name, setName)) font->pagesRead = prepareInterfaceSet(&font->pages, setName, dir);
    font->metrics = (uint8_t*)MEM_ALLOC(nullptr, kMetricsFileBytes);
    font->metricsSize = readFilePrefix(name, dir, font->metrics, kMetricsFileBytes);
}

void installFont(PreparedFont* font) {
    // A set file that cannot be read leaves the old set loaded, so the handle keeps naming it.
    if (font->pagesRead == 0) {
        int32_t set = installPreparedSet(fontSet, &font->pages);
        if (set != -1) {
            fontSet = set;
            sharpenFontPages();
        }
    }
    if (font->metricsSize >= 0) readFontMetrics(font->metrics, font->metricsSize);
    freePreparedFont(font);
}

void freePreparedFont(PreparedFont* font) {
    freePreparedSet(&font->pages);
    font->metrics = (uint8_t*)MEM_FREE(font->metrics);
    font->metricsSize = -1;
}

void loadFont(const char* name, const char* dir) {
    PreparedFont font;
    prepareFont(&font, name, dir);
    installFont(&font);
}

void unloadFont() { fontSet = freeInterfaceSet(fontSet); }

void drawGlyph(uint8_t c, float x0, float y0, float x1, float y1) {
    if (!(x1 >= 0.0f && x0 <= canvasWidth && y1 >= 0.0f && y0 <= canvasHeight)) return;
    const TextStyle& st = currentStyle;
    if (st.passwordMode == 1 && c != st.cursorChar) c = '*';
    const GlyphRect& r = pageRect(c);
    glBegin(GL_QUADS);
    if (st.shadowOn == 1) {
        glColor4ub(st.shadowColour.r, st.shadowColour.g, st.shadowColour.b, st.shadowColour.a);
        emitQuad(r, x0 + st.shadowOffsetX, y0 + st.shadowOffsetY, x1 + st.shadowOffsetX, y1 + st.shadowOffsetY);
    }
    glColor4ub(st.textColour.r, st.textColour.g, st.textColour.b, st.textColour.a);
    emitQuad(r, x0, y0, x1, y1);
    glEnd();
}

void drawString(const char* text, int32_t start, int32_t end, float x, float y) {
    if (text == nullptr) return;
    // Colour codes change currentStyle; the pop at the end undoes them.
    pushStyle();
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    bindSetImage(fontSet, fontPage);
    int32_t i = start < 0 ? 0 : start;
    float a = 0.0f;
    do {
        int32_t n;
        while (text[i] == '\\' && (n = parseTextCode(text + i, 1)) > 0) i += n;
        if (text[i] != 0 && (end == -1 || i < end)) {
            uint8_t c = (uint8_t)text[i];
            a = glyphAdvance(c);
            if (c != ' ') drawGlyph(c, x, y, x + a, y + currentStyle.glyphHeight);
            i++;
            x += a + currentStyle.letterSpacing;
        }
        if (currentStyle.cursorChar != 0) drawCursor(i, x, y, a);
    } while (text[i] != 0 && (end == -1 || i < end));
    popStyle();
}

void drawCursor(int32_t i, float x, float y, float a) {
    const TextStyle& st = currentStyle;
    bool here = i == st.cursorPos;
    if (!here && i == 1 && st.cursorPos == 0) {
        // The cursor before the first character is placed once that character is drawn.
        x -= a + st.letterSpacing;
        here = true;
    }
    if (!here || textCursor().blinkTimer > kCursorVisibleMs) return;
    drawGlyph(st.cursorChar, x, y, x + glyphAdvance(st.cursorChar), y + st.glyphHeight);
}

void drawNumber(float value, int32_t decimals, float x, float y) {
    char buffer[256];
    std::memset(buffer, 0, sizeof buffer);
    formatFloat(value, buffer, decimals);
    drawString(buffer, -1, -1, x, y);
}

void drawTextBox(int32_t layout, int32_t draw, const char* text, float x0, float y0, float x1, float y1) {
    if (text == nullptr) return;
    if (draw == 1) currentStyle.extentRight = currentStyle.extentBottom = 0.0f;
    render_scissor_virtual(x0, y0, x1, y1);
    if (draw == 1)
        layoutTextBox(layout, text, x0, y0, x1, y1, drawBoxLine, (void*)text);
    else
        measureTextBox(layout, text, x0, y0, x1, y1);
    render_scissor_virtual(0.0f, 0.0f, canvasWidth, canvasHeight);
}
