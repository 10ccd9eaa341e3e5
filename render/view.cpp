#include "render/view.h"

#include <cstring>

SlotTable viewTable;
uint8_t renderDebug[DEBUG_FLAG_COUNT];
uint8_t renderWireframe = 0;

void view_table_init() {
    slotInit(&viewTable, 4, (int32_t)sizeof(View));
    std::memset(renderDebug, 0, sizeof renderDebug);
    renderWireframe = 0;
}

void view_table_free() { slotFree(&viewTable); }

int32_t view_create(int32_t old) {
    if (old != -1) view_destroy(old);
    int32_t i = slotAdd(&viewTable, 1, old);
    View* v = view_get(i);
    std::memset(v, 0, sizeof *v);
    v->scene = -1;
    v->cameraNode = -1;
    return i;
}

int32_t view_destroy(int32_t index) {
    if (index != -1) slotRelease(&viewTable, index);
    return -1;
}

View* view_get(int32_t index) { return slotGet<View>(&viewTable, index); }
