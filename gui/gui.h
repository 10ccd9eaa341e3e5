// The interface manager: windows on layers holding widgets, drawn and handled once a frame in
// immediate mode. Each frame the walk visits the visible windows from the lowest layer to the top
// one and, inside a window, the widgets depth by depth; a widget's draw routine both draws it and
// reacts to the mouse, leaving its results in its record for the application to read and clear.
// Only widgets of top-layer windows at their window's highest depth react, and the first one under
// the mouse takes the frame's click token.
#pragma once
#include <cstdint>

#include "system/system.h"

// Every widget record begins with this.
struct WidgetHeader {
    int32_t window;   // owning window
    int32_t depth;    // drawing depth inside the window, 0 = first
    uint8_t visible;  // 1 = drawn and handled
};

// A window: a skinned panel whose widgets are placed relative to its top-left corner.
struct GuiWindow {
    int32_t layer;              // drawing layer, 0 = lowest
    uint8_t hasBackground;      // 1 = panel and frame drawn, background clicks swallowed
    int32_t frameSet, frameImage;  // nine-piece frame (frameImage .. + 2)
    int32_t fillSet, fillImage;    // panel fill
    float x0, y0, x1, y1;       // canvas units
    float tile;                 // fill tile size, 0 = stretched
    float border;               // frame thickness
    Rgba8 colour;               // fill and frame colour; its alpha is the whole window's
    uint8_t visible;            // 1 = drawn and handled
    int32_t focus;              // focusId of the edit field that receives the keyboard
};

// Colours of windows below the top layer are multiplied by 7/10.
enum { DIM_NUMERATOR = 7, DIM_DENOMINATOR = 10 };

// Copied into every window createWindow makes; the application writes it before each call.
extern GuiWindow windowTemplate;
// 1 at the start of every walk; the first widget under the mouse that may react sets it to 0.
extern uint8_t clickToken;

// Start-up: empty tables, zeroed templates, style stack depth 0, click token 1.
void guiInit();
// Frees every widget of every kind and every window, then the tables; unloads the font and frees
// every interface set (needs the context that uploaded them).
void guiShutdown();

// freeWindow(old), then a new window from windowTemplate.
int32_t createWindow(int32_t old);
// Frees the window's widgets of every kind and the window. Returns -1; a handle that names no
// window does nothing.
int32_t freeWindow(int32_t window);
// The window's record, or null when the handle names none.
GuiWindow* guiWindow(int32_t window);
// True when the handle names a window in use.
bool windowExists(int32_t window);

// The highest layer among visible windows (0 when none).
int32_t topVisibleLayer();
// The highest depth among the visible labels and buttons (and later lists) of the window; 0.
int32_t windowMaxDepth(int32_t window);
// The colour a widget of the window is drawn in: red, green, blue of src (times 7/10 below the top
// layer), alpha the window's, or src.a * window alpha / 255 with useAlpha 1; integer arithmetic,
// truncated. A handle that names no window gives src unchanged.
void widgetColour(int32_t window, int32_t topLayer, uint8_t useAlpha, const Rgba8* src, Rgba8* out);

// Once a frame after begin2d: advances the cursor blink timer, then walks the windows (above).
void drawInterface();
// Draws the windows as they stand without letting any widget react: a frame shown while the program
// is busy between frames (an import), when the input of the last frame must not act again.
void drawInterfaceStill();
