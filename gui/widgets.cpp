#include "gui/widgets.h"

#include <cstring>

#include "gui/draw.h"
#include "gui/font.h"
#include "gui/widget_table.h"
#include "input/input.h"
#include "system/clock.h"
#include "system/memory.h"
#include "system/slot_table.h"

static const char* const kModule = "vor2d_1_11";

Label labelTemplate;
Button buttonTemplate;
Picture pictureTemplate;

namespace {
// A blinking label is hidden for the first half of every period.
constexpr float kLabelBlinkMs = 600.0f;
constexpr float kLabelHiddenMs = 300.0f;

struct Widgets {
    SlotTable labels, buttons, pictures;
};
Widgets widgets;

char* duplicateText(const char* text) {
    if (!text) return nullptr;
    size_t n = std::strlen(text) + 1;
    char* copy = (char*)MEM_ALLOC(nullptr, (int64_t)n);
    std::memcpy(copy, text, n);
    return copy;
}

// Ends a click of b: completes it when the pointer is still inside, and for a radio group leaves
// exactly this button checked (a group of one toggles).
void completeClick(int32_t index, Button* b, bool releasedInside) {
    b->pressedBy = 0;
    if (!releasedInside) return;
    b->clicked = 1;
    if (b->group == GROUP_NONE) return;
    bool others = false;
    for (int32_t i = 0; i < widgets.buttons.capacity; i++) {
        Button* o = slotGet<Button>(&widgets.buttons, i);
        if (!o || i == index || o->header.window != b->header.window || o->group != b->group) continue;
        o->checked = 0;
        others = true;
    }
    b->checked = others ? 1 : (uint8_t)(b->checked ? 0 : 1);
}

void drawButton(int32_t index, Button* b, int32_t window, int32_t maxDepth, int32_t layer, int32_t top) {
    Origin o = windowOrigin(window);
    float x0 = b->x0 + o.x, y0 = b->y0 + o.y, x1 = b->x1 + o.x, y1 = b->y1 + o.y;
    int32_t offset = b->checked == 1 ? 4 : 0;
    bool hover = false;
    MouseState& mouse = mouseState();
    if (widgetMayReact(b->header.depth, maxDepth, layer, top)) {
        float h = b->outerBorder * 0.5f;
        bool in = pointerInside(x0 + h, y0 + h, x1 - h, y1 - h);
        if (in) {
            clickToken = 0;
            hover = true;
            if (mouse.mouseEvent == 1) {
                mouse.mouseEvent = 0;
                b->pressedBy = mouse.mouseButtonState;
            }
        }
        if (b->pressedBy > 0) {
            offset = 4;
            if (mouse.mouseButtonState != b->pressedBy) completeClick(index, b, in);
        }
    } else if (b->pressedBy > 0 && mouse.mouseButtonState != b->pressedBy) {
        // Released where the button could not see it (another widget had the mouse): no click.
        b->pressedBy = 0;
    }

    Rgba8 c;
    widgetColour(window, top, 1, &b->colour, &c);
    float inset = b->innerBorder * 0.5f + b->outerBorder;
    drawImage(b->skinSet, b->skinImage + 6 + offset, x0 + inset, y0 + inset, x1 - inset, y1 - inset, c.r, c.g, c.b,
              c.a);
    if (b->iconMode == ICON_UNDER)
        drawImage(b->iconSet, b->iconImage, x0 + inset, y0 + inset, x1 - inset, y1 - inset, c.r, c.g, c.b, c.a);
    float h = b->outerBorder * 0.5f;
    float fx0 = x0 + h, fy0 = y0 + h, fx1 = x1 - h, fy1 = y1 - h;
    drawFrame(b->skinSet, b->skinImage + 3 + offset, fx0, fy0, fx1, fy1, b->innerBorder, &c);
    if (b->iconMode == ICON_RIGHT)
        drawImage(b->iconSet, b->iconImage, fx1 - (fy1 - fy0), fy0, fx1, fy1, c.r, c.g, c.b, c.a);
    else if (b->iconMode == ICON_OVER)
        drawImage(b->iconSet, b->iconImage, fx0, fy0, fx1, fy1, c.r, c.g, c.b, c.a);
    drawFrame(b->skinSet, b->skinImage, x0, y0, x1, y1, b->outerBorder, &c);
    if (hover) drawImageAdditive(b->skinSet, b->skinImage + 11, x0, y0, x1, y1, 255, 255, 255, 255);
}
}  // namespace

void basicWidgetsInit() {
    slotInit(&widgets.labels, 4, (int32_t)sizeof(Label));
    slotInit(&widgets.buttons, 4, (int32_t)sizeof(Button));
    slotInit(&widgets.pictures, 4, (int32_t)sizeof(Picture));
    std::memset(&labelTemplate, 0, sizeof labelTemplate);
    std::memset(&buttonTemplate, 0, sizeof buttonTemplate);
    std::memset(&pictureTemplate, 0, sizeof pictureTemplate);
}

void basicWidgetsShutdown() {
    releaseWidgets(&widgets.labels, freeLabel);
    releaseWidgets(&widgets.buttons, freeButton);
    releaseWidgets(&widgets.pictures, freePicture);
}

void freeBasicWidgetsOf(int32_t window) {
    // Buttons first: each takes its own label along.
    freeWidgetsOf(&widgets.buttons, window, freeButton);
    freeWidgetsOf(&widgets.labels, window, freeLabel);
    freeWidgetsOf(&widgets.pictures, window, freePicture);
}

int32_t basicWidgetsMaxDepth(int32_t window) {
    return widgetsMaxDepth(&widgets.buttons, window, widgetsMaxDepth(&widgets.labels, window, -1));
}

void basicWidgetDepths(int32_t window, int32_t maxDepth, std::vector<int32_t>* depths) {
    widgetDepths(&widgets.labels, window, maxDepth, depths);
    widgetDepths(&widgets.buttons, window, maxDepth, depths);
    widgetDepths(&widgets.pictures, window, maxDepth, depths);
}

// ---- Labels ---------------------------------------------------------------------------------------

int32_t createLabel(int32_t window) {
    int32_t index = slotAdd(&widgets.labels, 1, -1);
    if (index < 0) return -1;
    Label* l = slotGet<Label>(&widgets.labels, index);
    *l = labelTemplate;
    l->text = duplicateText(labelTemplate.text);
    l->header.window = window;
    return index;
}

int32_t freeLabel(int32_t label) {
    Label* l = labelGet(label);
    if (!l) return -1;
    l->text = (char*)MEM_FREE(l->text);
    slotRelease(&widgets.labels, label);
    return -1;
}

Label* labelGet(int32_t label) { return slotGet<Label>(&widgets.labels, label); }

void copyLabel(int32_t label, Label* out) {
    const Label* l = labelGet(label);
    if (!l) return;
    *out = *l;
    out->text = duplicateText(l->text);
}

void setLabel(int32_t label, const Label* record) {
    Label* l = labelGet(label);
    if (!l) return;
    char* text = duplicateText(record->text);
    MEM_FREE(l->text);
    *l = *record;
    l->text = text;
}

void setLabelText(int32_t label, const char* text) {
    Label* l = labelGet(label);
    if (!l) return;
    char* copy = duplicateText(text);
    MEM_FREE(l->text);
    l->text = copy;
}

void drawLabels(int32_t window, int32_t d, int32_t maxDepth, int32_t layer, int32_t top) {
    (void)maxDepth;
    (void)layer;
    Origin o = windowOrigin(window);
    for (int32_t i = 0; i < widgets.labels.capacity; i++) {
        Label* l = slotGet<Label>(&widgets.labels, i);
        if (!l || !widgetInPass(l->header, window, d)) continue;
        if (l->blink == 1) {
            l->blinkTime += frameDeltaMs;
            if (l->blinkTime > kLabelBlinkMs) l->blinkTime -= kLabelBlinkMs;
        }
        if (l->blink == 1 && l->blinkTime < kLabelHiddenMs) continue;
        pushStyle();
        currentStyle = l->style;
        widgetColour(window, top, 1, &l->style.textColour, &currentStyle.textColour);
        widgetColour(window, top, 1, &l->style.shadowColour, &currentStyle.shadowColour);
        drawTextBox(l->layout, 1, l->text, l->x0 + o.x, l->y0 + o.y, l->x1 + o.x, l->y1 + o.y);
        popStyle();
    }
}

// ---- Buttons --------------------------------------------------------------------------------------

int32_t createButton(int32_t window) {
    int32_t index = slotAdd(&widgets.buttons, 1, -1);
    if (index < 0) return -1;
    Button* b = slotGet<Button>(&widgets.buttons, index);
    *b = buttonTemplate;
    b->header.window = window;
    b->label = -1;
    b->text = nullptr;  // the template's text belongs to the caller; the label keeps its own copy
    if (buttonTemplate.text) {
        labelTemplate.x0 = b->x0;
        labelTemplate.y0 = b->y0;
        labelTemplate.x1 = b->iconMode == ICON_RIGHT ? b->x1 - (b->y1 - b->y0) : b->x1;
        labelTemplate.y1 = b->y1;
        labelTemplate.text = buttonTemplate.text;
        int32_t label = createLabel(window);
        // createLabel may have grown the label table, but not the button table: b is still valid.
        if (Label* l = labelGet(label)) {
            l->header.depth = b->header.depth;
            l->header.visible = b->header.visible;
        }
        b->label = label;
    }
    return index;
}

int32_t freeButton(int32_t button) {
    Button* b = buttonGet(button);
    if (!b) return -1;
    // Only a label of the button's own window can be the button's.
    const Label* l = labelGet(b->label);
    if (l && l->header.window == b->header.window) freeLabel(b->label);
    b->label = -1;
    slotRelease(&widgets.buttons, button);
    return -1;
}

Button* buttonGet(int32_t button) { return slotGet<Button>(&widgets.buttons, button); }

bool takeClick(int32_t button) {
    Button* b = buttonGet(button);
    if (!b || b->clicked == 0) return false;
    b->clicked = 0;
    return true;
}

void drawButtons(int32_t window, int32_t d, int32_t maxDepth, int32_t layer, int32_t top) {
    for (int32_t i = 0; i < widgets.buttons.capacity; i++) {
        Button* b = slotGet<Button>(&widgets.buttons, i);
        if (!b) continue;
        Label* l = labelGet(b->label);
        if (!widgetInPass(b->header, window, d)) {
            // Hiding a button hides its text.
            if (l) l->header.visible = b->header.visible;
            continue;
        }
        if (l) l->header.visible = 1;
        drawButton(i, b, window, maxDepth, layer, top);
    }
}

// ---- Pictures -------------------------------------------------------------------------------------

int32_t createPicture(int32_t window) {
    int32_t index = slotAdd(&widgets.pictures, 1, -1);
    if (index < 0) return -1;
    Picture* p = slotGet<Picture>(&widgets.pictures, index);
    *p = pictureTemplate;
    p->header.window = window;
    return index;
}

int32_t freePicture(int32_t picture) {
    if (pictureGet(picture)) slotRelease(&widgets.pictures, picture);
    return -1;
}

Picture* pictureGet(int32_t picture) { return slotGet<Picture>(&widgets.pictures, picture); }

void drawPictures(int32_t window, int32_t d, int32_t maxDepth, int32_t layer, int32_t top) {
    Origin o = windowOrigin(window);
    MouseState& mouse = mouseState();
    for (int32_t i = 0; i < widgets.pictures.capacity; i++) {
        Picture* p = slotGet<Picture>(&widgets.pictures, i);
        if (!p || !widgetInPass(p->header, window, d)) continue;
        float x0 = p->x0 + o.x, y0 = p->y0 + o.y, x1 = p->x1 + o.x, y1 = p->y1 + o.y;
        Rgba8 c;
        widgetColour(window, top, 1, &p->colour, &c);
        if (widgetMayReact(p->header.depth, maxDepth, layer, top)) {
            p->hover = pointerInside(x0, y0, x1, y1) ? 1 : 0;
            // A picture reports presses but leaves the token to the widgets drawn after it.
            if (p->hover == 1 && mouse.mouseEvent == 1) {
                mouse.mouseEvent = 0;
                p->pressedBy = mouse.mouseButtonState;
                p->pressX = x1 > x0 ? (mouse.canvasX - x0) * 100.0f / (x1 - x0) : 0.0f;
                p->pressY = y1 > y0 ? (mouse.canvasY - y0) * 100.0f / (y1 - y0) : 0.0f;
            }
        }
        if (p->hover == 1 && p->hoverSet != -1)
            drawImage(p->hoverSet, p->hoverImage, x0, y0, x1, y1, c.r, c.g, c.b, c.a);
        else
            drawImage(p->set, p->image, x0, y0, x1, y1, c.r, c.g, c.b, c.a);
    }
}
