#include "gui/widget_table.h"

#include "input/input.h"

Origin windowOrigin(int32_t window) {
    const GuiWindow* w = guiWindow(window);
    return w ? Origin{w->x0, w->y0} : Origin{0.0f, 0.0f};
}

bool pointerInside(float x0, float y0, float x1, float y1) {
    const MouseState& m = mouseState();
    return m.canvasX >= x0 && m.canvasX < x1 && m.canvasY >= y0 && m.canvasY < y1;
}

bool widgetMayReact(int32_t depth, int32_t maxDepth, int32_t layer, int32_t top) {
    return clickToken == 1 && depth == maxDepth && layer == top;
}

bool widgetInPass(const WidgetHeader& h, int32_t window, int32_t d) {
    return h.window == window && h.depth == d && h.visible == 1;
}

const WidgetHeader* widgetHeader(const SlotTable* t, int32_t i) {
    return static_cast<const WidgetHeader*>(slotData(t, i));
}

void releaseWidgets(SlotTable* t, int32_t (*freeOne)(int32_t)) {
    for (int32_t i = 0; i < t->capacity; i++)
        if (slotUnits(t, i) > 0) freeOne(i);
    slotFree(t);
}

void freeWidgetsOf(SlotTable* t, int32_t window, int32_t (*freeOne)(int32_t)) {
    for (int32_t i = 0; i < t->capacity; i++) {
        const WidgetHeader* h = widgetHeader(t, i);
        if (h && h->window == window) freeOne(i);
    }
}

int32_t widgetsMaxDepth(const SlotTable* t, int32_t window, int32_t depth) {
    for (int32_t i = 0; i < t->capacity; i++) {
        const WidgetHeader* h = widgetHeader(t, i);
        if (h && h->window == window && h->visible == 1 && h->depth > depth) depth = h->depth;
    }
    return depth;
}

void widgetDepths(const SlotTable* t, int32_t window, int32_t maxDepth, std::vector<int32_t>* depths) {
    for (int32_t i = 0; i < t->capacity; i++) {
        const WidgetHeader* h = widgetHeader(t, i);
        if (h && h->window == window && h->depth >= 0 && h->depth <= maxDepth) depths->push_back(h->depth);
    }
}
