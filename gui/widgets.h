// The simple widget kinds: labels (text in a box, optionally blinking), buttons (skinned push
// buttons that can also be check boxes or radio buttons, with an icon and a label) and pictures (an
// image with a hover image that reports where it was pressed). Each kind has a template the
// application fills before create, create (window) -> handle, free (handle) -> -1, and a draw
// routine the frame walk calls with (window, depth d, window's maximum depth M, pass layer L, top
// layer T). Handles that name nothing make every operation do nothing.
#pragma once
#include <cstdint>
#include <vector>

#include "gui/gui.h"
#include "gui/text_layout.h"

struct Label {
    WidgetHeader header;
    float x0, y0, x1, y1;  // text box, relative to the window
    uint8_t blink;         // 1 = hidden for the first 300 ms of every 600
    float blinkTime;       // the label's own clock, 0 .. 600 ms
    int32_t layout;        // TextLayout
    TextStyle style;
    char* text;            // owned copy, or null
};

// Icon modes of a button.
enum { ICON_UNDER = 0, ICON_RIGHT = 1, ICON_OVER = 2 };
// The group of a plain push button.
enum { GROUP_NONE = 255 };

struct Button {
    WidgetHeader header;
    int32_t skinSet, skinImage;  // skin images skinImage + 0 .. + 11
    float x0, y0, x1, y1;        // outer rectangle, relative to the window
    float innerBorder, outerBorder;
    Rgba8 colour;
    char* text;          // in the template: the label's text (not owned); in a button: null
    uint8_t iconMode;    // ICON_UNDER, ICON_RIGHT, ICON_OVER; other values draw no icon
    int32_t iconSet, iconImage;
    int32_t label;       // the button's label, -1 when none
    uint8_t group;       // GROUP_NONE, or a radio group (a group of one is a check box)
    uint8_t checked;
    uint8_t pressedBy;   // mouse button of a press still held, 0 when none
    uint8_t clicked;     // 1 after a completed click; the application clears it
};

struct Picture {
    WidgetHeader header;
    float x0, y0, x1, y1;  // relative to the window
    int32_t set, image;
    int32_t hoverSet, hoverImage;  // shown while hovered; hoverSet -1 = none
    Rgba8 colour;
    uint8_t pressedBy;     // mouse button of the last press; the application clears it
    uint8_t hover;         // 1 while the mouse is over it
    float pressX, pressY;  // last press, percent of the width and height
};

extern Label labelTemplate;
extern Button buttonTemplate;
extern Picture pictureTemplate;

// Tables and templates of the three kinds: empty and zero.
void basicWidgetsInit();
// Frees every label, button and picture, then the tables.
void basicWidgetsShutdown();
// Frees the labels, buttons and pictures of the window.
void freeBasicWidgetsOf(int32_t window);
// The highest depth among the window's visible labels and buttons, or -1.
int32_t basicWidgetsMaxDepth(int32_t window);
// Appends the depths in 0 .. maxDepth of the window's labels, buttons and pictures.
void basicWidgetDepths(int32_t window, int32_t maxDepth, std::vector<int32_t>* depths);

// A label from labelTemplate (its text duplicated).
int32_t createLabel(int32_t window);
int32_t freeLabel(int32_t label);
Label* labelGet(int32_t label);
// The label into *out with its own copy of the text (out->text is the caller's to free).
void copyLabel(int32_t label, Label* out);
// Every field from *record, the text duplicated; the old text is freed after the copy was made.
void setLabel(int32_t label, const Label* record);
// Replaces the label's text (copy first, then free the old one, so text may be the label's own).
void setLabelText(int32_t label, const char* text);
void drawLabels(int32_t window, int32_t d, int32_t maxDepth, int32_t layer, int32_t top);

// A button from buttonTemplate; with text, its label from labelTemplate over the button's box.
int32_t createButton(int32_t window);
int32_t freeButton(int32_t button);
Button* buttonGet(int32_t button);
// clicked of the button, cleared; false for a handle that names none.
bool takeClick(int32_t button);
void drawButtons(int32_t window, int32_t d, int32_t maxDepth, int32_t layer, int32_t top);

int32_t createPicture(int32_t window);
int32_t freePicture(int32_t picture);
Picture* pictureGet(int32_t picture);
void drawPictures(int32_t window, int32_t d, int32_t maxDepth, int32_t layer, int32_t top);
