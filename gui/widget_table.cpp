#include "gui/widget_table.h"

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
