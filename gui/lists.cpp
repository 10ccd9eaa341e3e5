#include "gui/lists.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gui/canvas.h"
#include "gui/draw.h"
#include "gui/font.h"
#include "gui/widget_table.h"
#include "gui/widgets.h"
#include "input/input.h"
#include "render/render_state.h"
#include "strings/string_table.h"
#include "system/clock.h"
#include "system/slot_table.h"

ListBox listBoxTemplate;
DropDown dropDownTemplate;
ScrollBar scrollBarTemplate;

namespace {
// A drop-down's list opens this high under its button, and grows to its rows plus this margin.
constexpr float kDropListHeight = 400.0f;
constexpr float kDropListMargin = 60.0f;
// Row text stands this far below the row's top.
constexpr float kRowTextOffset = 10.0f;
// The button text of a drop-down made without one.
char kNoChoice[] = "...";

struct Lists {
    SlotTable lists, dropDowns, scrollBars;
};
Lists lists;

// The parts of a composite: only a widget of the composite's own window can be one of them (a freed
// part's handle may have been reused elsewhere).
Button* partButton(int32_t button, int32_t window) {
    Button* b = buttonGet(button);
    return b && b->header.window == window ? b : nullptr;
}
ListBox* partList(int32_t list, int32_t window) {
    ListBox* l = listBoxGet(list);
    return l && l->header.window == window ? l : nullptr;
}

// NaN-proof clamps: a value that is not a number ends at the bound.
float notBelow(float v, float lo) { return v >= lo ? v : lo; }
float notAbove(float v, float hi) { return v <= hi ? v : hi; }

// ---- List boxes -----------------------------------------------------------------------------------

void selectRow(ListBox* l, int32_t row) {
    if (l->selected == row) return;
    l->selected = row;
    l->changed = 1;
}

// The first row worth looking at: earlier rows end (text and shadow included) above the content box.
// Rows are visited in order, so only the rows on screen cost anything, even in a list of thousands.
int32_t firstRowNear(float scroll, float rowHeight, float inkBelow, int32_t count) {
    if (!(rowHeight > 0.0f) || !std::isfinite(rowHeight)) return 0;
    double first = std::floor(((double)-scroll - inkBelow) / rowHeight) - 1.0;
    if (!(first > 0.0)) return 0;
    return first >= (double)count ? count : (int32_t)first;
}

void drawListBox(ListBox* l, int32_t window, int32_t maxDepth, int32_t layer, int32_t top, Origin o) {
    Rgba8 c;
    widgetColour(window, top, 1, &l->colour, &c);
    float x0 = l->x0 + o.x, y0 = l->y0 + o.y, x1 = l->x1 + o.x, y1 = l->y1 + o.y;
    drawPanelFill(l->fillSet, l->fillImage, x0, y0, x1, y1, l->border, l->tile, &c);
    drawFrame(l->frameSet, l->frameImage, x0, y0, x1, y1, l->border, &c);
    float cx0 = x0 + l->border, cy0 = y0 + l->border, cx1 = x1 - l->border, cy1 = y1 - l->border;
    render_scissor_virtual(cx0, cy0, cx1, cy1);

    // What a row paints reaches from inkAbove to inkBelow relative to its top: the row itself and
    // its text (with the shadow), which may be taller than the row.
    const float rh = l->rowHeight;
    float shadowY = currentStyle.shadowOn == 1 ? currentStyle.shadowOffsetY : 0.0f;
    float inkAbove = std::min(0.0f, kRowTextOffset + std::min(0.0f, shadowY));
    float inkBelow = std::max(rh, kRowTextOffset + currentStyle.glyphHeight + std::max(0.0f, shadowY));
    bool ordered = rh > 0.0f && std::isfinite(rh);

    MouseState& mouse = mouseState();
    bool mayHover = widgetMayReact(l->header.depth, maxDepth, layer, top) && pointerInside(cx0, cy0, cx1, cy1);
    int32_t count = stringTableCount(l->strings);
    for (int32_t i = firstRowNear(l->scroll, rh, inkBelow, count); i < count; i++) {
        float ry0 = cy0 + l->scroll + (float)i * rh, ry1 = ry0 + rh;
        if (ry0 + inkBelow < cy0) continue;
        if (ry0 + inkAbove > cy1) {
            if (ordered) break;  // every later row is lower still
            continue;
        }
        if (mayHover && clickToken == 1 && pointerInside(cx0, ry0, cx1, ry1)) {
            clickToken = 0;
            drawImage(l->highlightSet, l->highlightImage, cx0, ry0, cx1, ry1, 255, 255, 255, 128);
            if (mouse.mouseEvent == 1) {
                mouse.mouseEvent = 0;
                l->clicked = 1;
                selectRow(l, i);
            }
            if (mouse.doubleClick == 1) {
                mouse.doubleClick = 0;
                l->doubleClicked = 1;
                selectRow(l, i);
            }
        }
        if (l->selected == i)
            drawImage(l->highlightSet, l->highlightImage, cx0, ry0, cx1, ry1, 255, 255, 255, 255);
        uint8_t value[4];
        stringTableValue(l->strings, i, value);
        currentStyle.textColour = Rgba8{value[0], value[1], value[2], value[3]};
        drawString(stringTableText(l->strings, i), -1, -1, cx0, ry0 + kRowTextOffset);
    }
    render_scissor_virtual(0.0f, 0.0f, (float)CANVAS_WIDTH, (float)CANVAS_HEIGHT);
}

// ---- Drop-downs -----------------------------------------------------------------------------------

void hideList(ListBox* l) {
    l->header.visible = 0;
    l->header.depth = 0;
}

// Shows the drop-down's list above every other widget of the window (it alone reacts from the next
// frame on), sized to its rows, and closes the lists of the window's other drop-downs.
void openList(int32_t index, DropDown* dd, ListBox* list, int32_t maxDepth) {
    list->header.visible = 1;
    list->header.depth = maxDepth < INT32_MAX ? maxDepth + 1 : maxDepth;
    list->y1 = list->y0 + (float)stringTableCount(list->strings) * list->rowHeight + kDropListMargin;
    for (int32_t i = 0; i < lists.dropDowns.capacity; i++) {
        const DropDown* other = slotGet<DropDown>(&lists.dropDowns, i);
        if (!other || i == index || other->header.window != dd->header.window || other->header.visible != 1) continue;
        if (ListBox* l = partList(other->list, other->header.window)) hideList(l);
    }
}

// The button shows the list's selected entry (when there is one: a stale index after the table
// shrank shows nothing new).
void showChoice(const ListBox* list, const Button* button) {
    if (list->selected < 0 || list->selected >= stringTableCount(list->strings)) return;
    const char* text = stringTableText(list->strings, list->selected);
    const Label* label = labelGet(button->label);
    if (!label || (label->text && std::strcmp(label->text, text) == 0)) return;
    setLabelText(button->label, text);
}

// ---- Scroll bars ----------------------------------------------------------------------------------

// Follows the bound list: the range is its rows less one (never below 0); a new range starts at the
// top. The list scrolls by the value.
void followList(ScrollBar* s) {
    ListBox* list = listBoxGet(s->target);
    if (!list) return;
    s->min = 0.0f;
    float content = (float)(stringTableCount(list->strings) - 1) * list->rowHeight;
    if (!(content > 0.0f) || !std::isfinite(content)) content = 0.0f;
    s->contentMax = content;
    if (content != s->max) {
        s->max = content;
        s->value = 0.0f;
    }
}

void drawScrollBar(ScrollBar* s, int32_t window, int32_t maxDepth, int32_t layer, int32_t top, Origin o) {
    const Button* up = partButton(s->upButton, window);
    const Button* down = partButton(s->downButton, window);
    MouseState& mouse = mouseState();

    if (s->header.depth == maxDepth) {
        float step = SCROLL_SPEED * frameDeltaMs;
        if (up && up->pressedBy > 0) {
            s->value = notBelow(s->value - step, s->min);
            s->changed = 1;
        }
        if (down && down->pressedBy > 0) {
            s->value = notAbove(s->value + step, s->max);
            s->changed = 1;
        }
    }
    if (s->mode == SCROLL_BOUND_TO_LIST) followList(s);
    // An empty range has one position and no thumb to hold.
    bool hasThumb = s->max > s->min;
    if (!hasThumb) {
        s->value = s->min;
        s->dragBy = 0;
    }
    if (s->mode == SCROLL_BOUND_TO_LIST)
        if (ListBox* list = listBoxGet(s->target)) list->scroll = -s->value;
    if (!up || !down) return;

    float ux0 = up->x0 + o.x, uy1 = up->y1 + o.y;
    float dx1 = down->x1 + o.x, dy0 = down->y0 + o.y;
    float bw = up->x1 - up->x0, th = 2.0f * (up->y1 - up->y0);
    float track = dy0 - th - uy1;
    float scale = hasThumb ? track / (s->max - s->min) : 0.0f;
    // Only a finite positive scale maps the value to the track (a track too short for the thumb, or a
    // huge range, leaves the thumb at the top and the drag without effect).
    bool scaled = std::isfinite(scale) && scale > 0.0f;
    float ty0 = uy1 + (scaled ? scale * s->value : 0.0f);
    float tx0 = ux0, tx1 = ux0 + bw, ty1 = ty0 + th;

    bool hover = false;
    if (hasThumb && widgetMayReact(s->header.depth, maxDepth, layer, top)) {
        float h = up->outerBorder * 0.5f;
        if (pointerInside(tx0 + h, ty0 + h, tx1 - h, ty1 - h)) {
            clickToken = 0;
            hover = true;
            if (mouse.mouseEvent == 1) {
                mouse.mouseEvent = 0;
                s->dragBy = mouse.mouseButtonState;
            }
        }
        if (s->dragBy > 0) {
            if (mouse.mouseButtonState != s->dragBy)
                s->dragBy = 0;
            else if (scaled)
                s->value = notAbove(notBelow(s->value - mouse.mouseDy / scale, s->min), s->max);
        }
    } else if (s->dragBy > 0 && mouse.mouseButtonState != s->dragBy) {
        s->dragBy = 0;  // released where the bar could not see it
    }

    Rgba8 c;
    widgetColour(window, top, 1, &up->colour, &c);
    int32_t offset = s->dragBy > 0 ? 4 : 0;
    if (hasThumb) {
        float in = up->innerBorder * 0.5f + up->outerBorder, h = up->outerBorder * 0.5f;
        drawImage(up->skinSet, up->skinImage + 6 + offset, tx0 + in, ty0 + in, tx1 - in, ty1 - in, c.r, c.g, c.b, c.a);
        drawFrame(up->skinSet, up->skinImage + 3 + offset, tx0 + h, ty0 + h, tx1 - h, ty1 - h, up->innerBorder, &c);
        drawImage(s->thumbSet, s->thumbImage, tx0 + h, ty0 + h, tx1 - h, ty1 - h, c.r, c.g, c.b, c.a);
    }
    drawFrame(up->skinSet, up->skinImage, ux0, uy1, dx1, dy0, up->outerBorder, &c);
    if (hover) drawImageAdditive(up->skinSet, up->skinImage + 11, tx0, ty0, tx1, ty1, 255, 255, 255, 255);
}
}  // namespace

void listWidgetsInit() {
    slotInit(&lists.lists, 4, (int32_t)sizeof(ListBox));
    slotInit(&lists.dropDowns, 4, (int32_t)sizeof(DropDown));
    slotInit(&lists.scrollBars, 4, (int32_t)sizeof(ScrollBar));
    std::memset(&listBoxTemplate, 0, sizeof listBoxTemplate);
    std::memset(&dropDownTemplate, 0, sizeof dropDownTemplate);
    std::memset(&scrollBarTemplate, 0, sizeof scrollBarTemplate);
}

void listWidgetsShutdown() {
    // Composites first: each takes its parts along.
    releaseWidgets(&lists.scrollBars, freeScrollBar);
    releaseWidgets(&lists.dropDowns, freeDropDown);
    releaseWidgets(&lists.lists, freeListBox);
}

void freeListWidgetsOf(int32_t window) {
    freeWidgetsOf(&lists.scrollBars, window, freeScrollBar);
    freeWidgetsOf(&lists.dropDowns, window, freeDropDown);
    freeWidgetsOf(&lists.lists, window, freeListBox);
}

int32_t listWidgetsMaxDepth(int32_t window) {
    return widgetsMaxDepth(&lists.dropDowns, window, widgetsMaxDepth(&lists.lists, window, -1));
}

void listWidgetDepths(int32_t window, int32_t maxDepth, std::vector<int32_t>* depths) {
    widgetDepths(&lists.lists, window, maxDepth, depths);
    widgetDepths(&lists.dropDowns, window, maxDepth, depths);
    widgetDepths(&lists.scrollBars, window, maxDepth, depths);
}

void closeDropDownLists(int32_t window) {
    for (int32_t i = 0; i < lists.dropDowns.capacity; i++) {
        const DropDown* dd = slotGet<DropDown>(&lists.dropDowns, i);
        if (!dd || dd->header.window != window || dd->header.visible != 1) continue;
        if (ListBox* l = partList(dd->list, window)) hideList(l);
    }
}

// ---- List boxes -----------------------------------------------------------------------------------

int32_t createListBox(int32_t window) {
    int32_t index = slotAdd(&lists.lists, 1, -1);
    if (index < 0) return -1;
    ListBox* l = slotGet<ListBox>(&lists.lists, index);
    *l = listBoxTemplate;
    l->header.window = window;
    l->strings = stringTableCreate(-1);
    l->scroll = 0.0f;
    l->selected = -1;
    l->changed = l->clicked = l->doubleClicked = 0;
    return index;
}

int32_t freeListBox(int32_t list) {
    ListBox* l = listBoxGet(list);
    if (!l) return -1;
    l->strings = stringTableDestroy(l->strings);
    slotRelease(&lists.lists, list);
    return -1;
}

ListBox* listBoxGet(int32_t list) { return slotGet<ListBox>(&lists.lists, list); }

void drawListBoxes(int32_t window, int32_t d, int32_t maxDepth, int32_t layer, int32_t top) {
    Origin o = windowOrigin(window);
    bool pushed = false;
    for (int32_t i = 0; i < lists.lists.capacity; i++) {
        ListBox* l = slotGet<ListBox>(&lists.lists, i);
        if (!l || !widgetInPass(l->header, window, d)) continue;
        // The rows change the text colour; the style comes back once after every list of the pass.
        if (!pushed) pushStyle();
        pushed = true;
        drawListBox(l, window, maxDepth, layer, top, o);
    }
    if (pushed) popStyle();
}

// ---- Drop-downs -----------------------------------------------------------------------------------

int32_t createDropDown(int32_t window) {
    int32_t index = slotAdd(&lists.dropDowns, 1, -1);
    if (index < 0) return -1;
    DropDown* dd = slotGet<DropDown>(&lists.dropDowns, index);
    *dd = dropDownTemplate;
    dd->header.window = window;
    dd->refresh = 1;
    dd->picked = 0;
    dd->text = nullptr;  // the template's text belongs to the caller; the button's label keeps a copy

    buttonTemplate.x0 = dd->x0;
    buttonTemplate.y0 = dd->y0;
    buttonTemplate.x1 = dd->x1;
    buttonTemplate.y1 = dd->y1;
    buttonTemplate.text = dropDownTemplate.text ? dropDownTemplate.text : kNoChoice;
    buttonTemplate.iconMode = ICON_RIGHT;
    buttonTemplate.iconSet = dd->iconSet;
    buttonTemplate.iconImage = dd->iconImage;
    dd->button = createButton(window);
    buttonTemplate.text = nullptr;
    buttonTemplate.iconMode = 255;

    listBoxTemplate.x0 = dd->x0;
    listBoxTemplate.y0 = dd->y1;
    listBoxTemplate.x1 = dd->x1;
    listBoxTemplate.y1 = dd->y1 + kDropListHeight;
    dd->list = createListBox(window);
    if (ListBox* l = listBoxGet(dd->list)) {
        l->header.visible = 0;
        l->selected = 0;
    }
    return index;
}

int32_t freeDropDown(int32_t dropDown) {
    DropDown* dd = dropDownGet(dropDown);
    if (!dd) return -1;
    if (partButton(dd->button, dd->header.window)) freeButton(dd->button);
    if (partList(dd->list, dd->header.window)) freeListBox(dd->list);
    dd->button = dd->list = -1;
    slotRelease(&lists.dropDowns, dropDown);
    return -1;
}

DropDown* dropDownGet(int32_t dropDown) { return slotGet<DropDown>(&lists.dropDowns, dropDown); }

void drawDropDowns(int32_t window, int32_t d, int32_t maxDepth, int32_t layer, int32_t top) {
    (void)layer;
    (void)top;
    for (int32_t i = 0; i < lists.dropDowns.capacity; i++) {
        DropDown* dd = slotGet<DropDown>(&lists.dropDowns, i);
        if (!dd || !widgetInPass(dd->header, window, d)) continue;
        Button* button = partButton(dd->button, window);
        ListBox* list = partList(dd->list, window);
        if (!button || !list) continue;
        if (dd->header.depth != maxDepth && list->header.depth != maxDepth) continue;
        if (button->clicked == 1) {
            button->clicked = 0;
            if (list->header.visible == 0)
                openList(i, dd, list, maxDepth);
            else
                hideList(list);
        }
        if (list->clicked == 1 || list->doubleClicked == 1) {
            list->clicked = list->doubleClicked = 0;
            hideList(list);
            dd->picked = 1;
            dd->selected = list->selected;
        }
        if (dd->picked == 1 || dd->refresh == 1) {
            dd->refresh = 0;
            list->changed = 0;
            showChoice(list, button);
        }
    }
}

// ---- Scroll bars ----------------------------------------------------------------------------------

int32_t createScrollBar(int32_t window) {
    int32_t index = slotAdd(&lists.scrollBars, 1, -1);
    if (index < 0) return -1;
    ScrollBar* s = slotGet<ScrollBar>(&lists.scrollBars, index);
    *s = scrollBarTemplate;
    s->header.window = window;
    s->contentMax = -1.0f;
    s->changed = 0;

    float size = (float)s->buttonSize;
    buttonTemplate.text = nullptr;
    buttonTemplate.iconMode = ICON_OVER;
    buttonTemplate.iconSet = s->arrowSet;
    buttonTemplate.iconImage = s->arrowImage;
    buttonTemplate.x0 = s->x0;
    buttonTemplate.y0 = s->y0;
    buttonTemplate.x1 = s->x0 + size;
    buttonTemplate.y1 = s->y0 + size;
    s->upButton = createButton(window);
    buttonTemplate.iconImage = s->arrowImage + 1;
    buttonTemplate.y0 = s->y1 - size;
    buttonTemplate.y1 = s->y1;
    s->downButton = createButton(window);
    buttonTemplate.iconMode = 255;
    return index;
}

int32_t freeScrollBar(int32_t scrollBar) {
    ScrollBar* s = scrollBarGet(scrollBar);
    if (!s) return -1;
    if (partButton(s->upButton, s->header.window)) freeButton(s->upButton);
    if (partButton(s->downButton, s->header.window)) freeButton(s->downButton);
    s->upButton = s->downButton = -1;
    slotRelease(&lists.scrollBars, scrollBar);
    return -1;
}

ScrollBar* scrollBarGet(int32_t scrollBar) { return slotGet<ScrollBar>(&lists.scrollBars, scrollBar); }

void drawScrollBars(int32_t window, int32_t d, int32_t maxDepth, int32_t layer, int32_t top) {
    Origin o = windowOrigin(window);
    for (int32_t i = 0; i < lists.scrollBars.capacity; i++) {
        ScrollBar* s = slotGet<ScrollBar>(&lists.scrollBars, i);
        if (s && widgetInPass(s->header, window, d)) drawScrollBar(s, window, maxDepth, layer, top, o);
    }
}
