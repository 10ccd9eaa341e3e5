#include "gui/edit_field.h"

#include <cstring>

#include "gui/draw.h"
#include "gui/font.h"
#include "gui/widget_table.h"
#include "input/input.h"
#include "strings/text.h"
#include "system/memory.h"
#include "system/slot_table.h"

static const char* const kModule = "vor2d_1_11";

EditField editFieldTemplate;

namespace {
// The text starts this far right of the frame, so the first character is not under it.
constexpr float kTextIndent = 20.0f;

struct EditFields {
    SlotTable fields;
    bool cursorShown;  // a focused field was drawn in this frame's walk
};
EditFields editFields;

int32_t clampLength(int32_t n) {
    if (n < EDIT_MIN_LENGTH) return EDIT_MIN_LENGTH;
    if (n > EDIT_MAX_LENGTH) return EDIT_MAX_LENGTH;
    return n;
}

void drawField(EditField* f, int32_t window, int32_t maxDepth, int32_t layer, int32_t top) {
    GuiWindow* w = guiWindow(window);
    if (!w) return;
    float x0 = f->x0 + w->x0, y0 = f->y0 + w->y0, x1 = f->x1 + w->x0, y1 = f->y1 + w->y0;
    pushStyle();
    currentStyle = f->style;
    // The jump scroll follows from the cursor alone; nothing of last frame's scroll is kept.
    currentStyle.scrollX = 0.0f;
    currentStyle.cursorPos = f->cursor;
    Rgba8 c;
    widgetColour(window, top, 1, &f->colour, &c);

    // A press inside takes the window's keyboard, but leaves the click token to widgets drawn later.
    MouseState& mouse = mouseState();
    if (layer == top && clickToken == 1 && f->header.depth == maxDepth && mouse.mouseEvent == 1 &&
        pointerInside(x0, y0, x1, y1)) {
        mouse.mouseEvent = 0;
        // Keys typed while no field had the keyboard are not this field's text.
        if (w->focus != f->focusId) clearQueue();
        w->focus = f->focusId;
        textCursor().blinkTimer = 0.0f;
    }

    drawPanelFill(f->fillSet, f->fillImage, x0, y0, x1, y1, f->border, f->tile, &c);
    drawFrame(f->frameSet, f->frameImage, x0, y0, x1, y1, f->border, &c);

    bool focused = layer == top && w->focus == f->focusId;
    if (focused) {
        if (editText(f->filter, f->text, f->maxLength + 1, &f->cursor, &f->edited) == 1) f->submitted = 1;
        currentStyle.cursorPos = f->cursor;
    }

    // Only the field with the keyboard shows a cursor (and scrolls to keep it in view).
    currentStyle.cursorChar = focused ? (uint8_t)'|' : 0;
    if (focused) editFields.cursorShown = true;
    widgetColour(window, top, 1, &f->style.textColour, &currentStyle.textColour);
    widgetColour(window, top, 1, &f->style.shadowColour, &currentStyle.shadowColour);
    currentStyle.passwordMode = f->password == 1 ? 1 : 0;
    drawTextBox(LAYOUT_LEFT, 1, f->text, x0 + f->border + kTextIndent, y0 + f->border, x1 - f->border,
                y1 - f->border);
    popStyle();
}
}  // namespace

void editFieldsInit() {
    slotInit(&editFields.fields, 4, (int32_t)sizeof(EditField));
    std::memset(&editFieldTemplate, 0, sizeof editFieldTemplate);
}

void editFieldsShutdown() { releaseWidgets(&editFields.fields, freeEditField); }

void freeEditFieldsOf(int32_t window) { freeWidgetsOf(&editFields.fields, window, freeEditField); }

void editFieldDepths(int32_t window, int32_t maxDepth, std::vector<int32_t>* depths) {
    widgetDepths(&editFields.fields, window, maxDepth, depths);
}

int32_t createEditField(int32_t window) {
    int32_t index = slotAdd(&editFields.fields, 1, -1);
    if (index < 0) return -1;
    EditField* f = editFieldGet(index);
    *f = editFieldTemplate;
    f->header.window = window;
    f->maxLength = clampLength(editFieldTemplate.maxLength);
    int64_t size = (int64_t)f->maxLength + 1;
    f->text = (char*)MEM_ALLOC(nullptr, size);
    std::memset(f->text, 0, (size_t)size);
    f->cursor = 0;
    f->edited = 0;
    f->submitted = 0;
    // Keys typed before the field existed are not its text.
    clearQueue();
    return index;
}

int32_t freeEditField(int32_t field) {
    EditField* f = editFieldGet(field);
    if (!f) return -1;
    f->text = (char*)MEM_FREE(f->text);
    slotRelease(&editFields.fields, field);
    return -1;
}

void editFieldsFrameBegin() { editFields.cursorShown = false; }

bool editCursorShown() { return editFields.cursorShown; }

EditField* editFieldGet(int32_t field) { return slotGet<EditField>(&editFields.fields, field); }

void setEditText(int32_t field, const char* text) {
    EditField* f = editFieldGet(field);
    if (!f || !text) return;
    int32_t n = textLengthWithin(text, f->maxLength);
    if (n >= f->maxLength) return;
    std::memcpy(f->text, text, (size_t)n + 1);
    f->cursor = 0;
}

void drawEditFields(int32_t window, int32_t d, int32_t maxDepth, int32_t layer, int32_t top) {
    for (int32_t i = 0; i < editFields.fields.capacity; i++) {
        EditField* f = editFieldGet(i);
        if (!f || f->header.window != window || f->header.depth != d || f->header.visible != 1) continue;
        drawField(f, window, maxDepth, layer, top);
    }
}
