// What every widget kind does with its slot table alike: records begin with a WidgetHeader, and the
// manager asks each table for the window's widgets (to free them, for their depths).
#pragma once
#include <cstdint>
#include <vector>

#include "gui/gui.h"
#include "system/slot_table.h"

// Top-left corner of a window in canvas units ((0, 0) for a handle that names none).
struct Origin {
    float x, y;
};
Origin windowOrigin(int32_t window);
// True when the mouse is inside the half-open rectangle x0 <= x < x1, y0 <= y < y1 (canvas units).
bool pointerInside(float x0, float y0, float x1, float y1);
// True when a widget at depth may take the mouse in this pass: its window is on the top layer, it
// stands at the window's highest depth, and no widget took the click token yet.
bool widgetMayReact(int32_t depth, int32_t maxDepth, int32_t layer, int32_t top);
// True when the widget belongs to this pass of the walk: its window and depth, and visible.
bool widgetInPass(const WidgetHeader& h, int32_t window, int32_t d);

// The header of the record in slot i, or null when the slot is not in use.
const WidgetHeader* widgetHeader(const SlotTable* t, int32_t i);
// freeOne on every record in use, then slotFree.
void releaseWidgets(SlotTable* t, int32_t (*freeOne)(int32_t));
// freeOne on every record of the window.
void freeWidgetsOf(SlotTable* t, int32_t window, int32_t (*freeOne)(int32_t));
// depth raised to the highest depth among the window's visible records.
int32_t widgetsMaxDepth(const SlotTable* t, int32_t window, int32_t depth);
// Appends the depths in 0 .. maxDepth of the window's records.
void widgetDepths(const SlotTable* t, int32_t window, int32_t maxDepth, std::vector<int32_t>* depths);
