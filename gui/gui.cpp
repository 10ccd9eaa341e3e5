#include "gui/gui.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "gui/draw.h"
#include "gui/edit_field.h"
#include "gui/file_dialog.h"
#include "gui/font.h"
#include "gui/lists.h"
#include "gui/text_layout.h"
#include "gui/widgets.h"
#include "input/input.h"
#include "system/clock.h"
#include "system/slot_table.h"
#include "texsets/interface_sets.h"

GuiWindow windowTemplate;
uint8_t clickToken = 1;

namespace {
// The cursor blinks with a period of 1.2 s.
constexpr float kBlinkPeriodMs = 1200.0f;

struct Gui {
    SlotTable windows;
    bool started;
    // The walk's working lists, kept so that a frame allocates nothing once they have grown.
    std::vector<int32_t> layers, depths;
};
Gui gui;

bool insideWindow(const GuiWindow* w, float x, float y) { return x >= w->x0 && x < w->x1 && y >= w->y0 && y < w->y1; }

// The distinct layers of the visible windows, lowest first.
void visibleLayers(std::vector<int32_t>* layers) {
    layers->clear();
    for (int32_t i = 0; i < gui.windows.capacity; i++) {
        const GuiWindow* w = slotGet<GuiWindow>(&gui.windows, i);
        if (w && w->visible == 1) layers->push_back(w->layer);
    }
    std::sort(layers->begin(), layers->end());
    layers->erase(std::unique(layers->begin(), layers->end()), layers->end());
}

// The window's widget depths in 0 .. maxDepth, lowest first: the passes that can draw something.
void windowDepths(int32_t window, int32_t maxDepth, std::vector<int32_t>* depths) {
    depths->clear();
    basicWidgetDepths(window, maxDepth, depths);
    listWidgetDepths(window, maxDepth, depths);
    editFieldDepths(window, maxDepth, depths);
    std::sort(depths->begin(), depths->end());
    depths->erase(std::unique(depths->begin(), depths->end()), depths->end());
}

void drawWindow(int32_t index, int32_t layer, int32_t top, std::vector<int32_t>* depths) {
    GuiWindow* w = slotGet<GuiWindow>(&gui.windows, index);
    if (w->hasBackground == 1) {
        Rgba8 c;
        widgetColour(index, top, 0, &w->colour, &c);
        drawPanelFill(w->fillSet, w->fillImage, w->x0, w->y0, w->x1, w->y1, w->border, w->tile, &c);
        drawFrame(w->frameSet, w->frameImage, w->x0, w->y0, w->x1, w->y1, w->border, &c);
    }
    int32_t maxDepth = windowMaxDepth(index);
    windowDepths(index, maxDepth, depths);
    // A file dialog's routine runs at its own depth, which may hold no widget.
    fileDialogDepths(index, maxDepth, depths);
    for (int32_t d : *depths) {
        // The kinds in their drawing order within one depth.
        drawScrollBars(index, d, maxDepth, layer, top);
        drawDropDowns(index, d, maxDepth, layer, top);
        drawButtons(index, d, maxDepth, layer, top);
        drawLabels(index, d, maxDepth, layer, top);
        drawListBoxes(index, d, maxDepth, layer, top);
        drawEditFields(index, d, maxDepth, layer, top);
        drawPictures(index, d, maxDepth, layer, top);
        drawFileDialogs(index, d);
    }
    // A widget may have closed the window (a button's action runs later, but a free inside the walk
    // must not leave us reading a released record).
    w = slotGet<GuiWindow>(&gui.windows, index);
    if (!w || layer != top || w->hasBackground != 1) return;
    MouseState& mouse = mouseState();
    if ((mouse.mouseEvent == 1 || mouse.doubleClick == 1) && insideWindow(w, mouse.canvasX, mouse.canvasY)) {
        mouse.mouseEvent = 0;
        mouse.doubleClick = 0;
        closeDropDownLists(index);
    }
}
}  // namespace

void guiInit() {
    slotInit(&gui.windows, 4, (int32_t)sizeof(GuiWindow));
    std::memset(&windowTemplate, 0, sizeof windowTemplate);
    resetStyleStack();
    clickToken = 1;
    basicWidgetsInit();
    listWidgetsInit();
    editFieldsInit();
    fileDialogsInit();
    gui.started = true;
}

void guiShutdown() {
    if (!gui.started) return;
    basicWidgetsShutdown();
    listWidgetsShutdown();
    editFieldsShutdown();
    fileDialogsShutdown();
    for (int32_t i = 0; i < gui.windows.capacity; i++)
        if (slotUnits(&gui.windows, i) > 0) slotRelease(&gui.windows, i);
    slotFree(&gui.windows);
    // The font and the interface images are textures: they go while the context is still current,
    // so that a later start-up in the same process begins from empty sets.
    unloadFont();
    for (int32_t set = 0; set < MAX_INTERFACE_SETS; set++) freeInterfaceSet(set);
    gui.started = false;
}

int32_t createWindow(int32_t old) {
    freeWindow(old);
    int32_t index = slotAdd(&gui.windows, 1, -1);
    if (index < 0) return -1;
    *slotGet<GuiWindow>(&gui.windows, index) = windowTemplate;
    return index;
}

int32_t freeWindow(int32_t window) {
    if (!windowExists(window)) return -1;
    // Composites first: each takes the buttons and lists it is made of along.
    freeListWidgetsOf(window);
    freeBasicWidgetsOf(window);
    freeEditFieldsOf(window);
    slotRelease(&gui.windows, window);
    return -1;
}

GuiWindow* guiWindow(int32_t window) { return slotGet<GuiWindow>(&gui.windows, window); }

bool windowExists(int32_t window) { return guiWindow(window) != nullptr; }

int32_t topVisibleLayer() {
    bool any = false;
    int32_t top = 0;
    for (int32_t i = 0; i < gui.windows.capacity; i++) {
        const GuiWindow* w = slotGet<GuiWindow>(&gui.windows, i);
        if (!w || w->visible != 1) continue;
        if (!any || w->layer > top) top = w->layer;
        any = true;
    }
    return top;
}

int32_t windowMaxDepth(int32_t window) {
    return std::max(0, std::max(basicWidgetsMaxDepth(window), listWidgetsMaxDepth(window)));
}

void widgetColour(int32_t window, int32_t topLayer, uint8_t useAlpha, const Rgba8* src, Rgba8* out) {
    const GuiWindow* w = guiWindow(window);
    if (!w) {
        *out = *src;
        return;
    }
    Rgba8 c = *src;
    c.a = useAlpha == 1 ? (uint8_t)((int32_t)src->a * w->colour.a / 255) : w->colour.a;
    if (w->layer < topLayer) {
        c.r = (uint8_t)((int32_t)c.r * DIM_NUMERATOR / DIM_DENOMINATOR);
        c.g = (uint8_t)((int32_t)c.g * DIM_NUMERATOR / DIM_DENOMINATOR);
        c.b = (uint8_t)((int32_t)c.b * DIM_NUMERATOR / DIM_DENOMINATOR);
    }
    *out = c;
}

// Draws every visible window, layer by layer; with the click token at 0 no widget reacts.
static void drawWindows() {
    int32_t top = topVisibleLayer();
    visibleLayers(&gui.layers);
    for (int32_t layer : gui.layers) {
        // Table order within a layer; a window made during the walk waits for the next frame.
        int32_t count = gui.windows.capacity;
        for (int32_t i = 0; i < count; i++) {
            const GuiWindow* w = slotGet<GuiWindow>(&gui.windows, i);
            if (w && w->visible == 1 && w->layer == layer) drawWindow(i, layer, top, &gui.depths);
        }
    }
}

void drawInterface() {
    float& blink = textCursor().blinkTimer;
    blink += frameDeltaMs;
    if (blink > kBlinkPeriodMs) blink = std::fmod(blink, kBlinkPeriodMs);
    if (!gui.started) return;
    clickToken = 1;
    editFieldsFrameBegin();
    drawWindows();
}

void drawInterfaceStill() {
    if (!gui.started) return;
    clickToken = 0;
    drawWindows();
}
