// What every widget kind does with its slot table alike: records begin with a WidgetHeader, and the
// manager asks each table for the window's widgets (to free them, for their depths).
#pragma once
#include <cstdint>
#include <vector>

#include "gui/gui.h"
#include "system/slot_table.h"

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
