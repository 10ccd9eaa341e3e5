// List boxes (the entries of a string table in rows, with hover and selection, reporting clicks,
// double clicks and selection changes), drop-down lists (a button showing the chosen entry over a
// list that opens under it) and vertical scroll bars (two arrow buttons and a draggable thumb)
// bound to a list box. Same kind pattern as widgets.h: template, create (window) -> handle,
// free (handle) -> -1, draw routine called by the frame walk; handles that name nothing make
// every operation do nothing.
#pragma once
#include <cstdint>
#include <vector>

#include "gui/gui.h"

struct ListBox {
    WidgetHeader header;
    int32_t frameSet, frameImage;
    int32_t highlightSet, highlightImage;  // stretched over a hovered or selected row
    int32_t fillSet, fillImage;
    float x0, y0, x1, y1;  // relative to the window
    float tile;
    float border;          // rows lie inside the rectangle inset by it
    Rgba8 colour;
    int32_t strings;       // its string table; an entry's 4-byte value is its colour
    float rowHeight;
    float scroll;          // y of row 0 inside the content box, 0 or negative
    int32_t selected;      // -1 = none
    uint8_t changed;       // a click selected a different row; the reader clears it
    uint8_t clicked;       // a press on a row
    uint8_t doubleClicked; // a double click on a row
};

struct DropDown {
    WidgetHeader header;
    uint8_t refresh;       // copy the selected entry into the button's label at the next draw
    float x0, y0, x1, y1;  // the closed drop-down (its button)
    int32_t iconSet, iconImage;  // arrow at the right end of the button
    char* text;            // template only: the button's first text (null shows "..."); not owned
    int32_t button;
    int32_t list;
    int32_t selected;      // entry chosen last
    uint8_t picked;        // an entry was chosen; the application reads and clears it
};

enum { SCROLL_BOUND_TO_LIST = 2 };

struct ScrollBar {
    WidgetHeader header;
    int32_t upButton, downButton;
    int32_t buttonSize;    // side of the square arrow buttons
    int32_t arrowSet, arrowImage;  // up arrow; the down arrow is arrowImage + 1
    int32_t thumbSet, thumbImage;  // drawn on the thumb
    float x0, y0, x1, y1;  // relative to the window
    float value, max, min;
    float contentMax;      // last range computed from the bound list (-1 at creation)
    int32_t mode;          // SCROLL_BOUND_TO_LIST: follows and scrolls target
    int32_t target;        // the bound list box
    uint8_t changed;       // an arrow button moved the value
    uint8_t dragBy;        // mouse button holding the thumb, 0 = none
};

// Canvas units per millisecond while an arrow button is held.
constexpr float SCROLL_SPEED = 0.6f;

extern ListBox listBoxTemplate;
extern DropDown dropDownTemplate;
extern ScrollBar scrollBarTemplate;

// Tables and templates of the three kinds: empty and zero.
void listWidgetsInit();
// Frees every scroll bar, drop-down and list box, then the tables.
void listWidgetsShutdown();
// Frees the scroll bars, drop-downs and list boxes of the window.
void freeListWidgetsOf(int32_t window);
// The highest depth among the window's visible list boxes and drop-downs, or -1.
int32_t listWidgetsMaxDepth(int32_t window);
// Appends the depths in 0 .. maxDepth of the window's list boxes, drop-downs and scroll bars.
void listWidgetDepths(int32_t window, int32_t maxDepth, std::vector<int32_t>* depths);
// Hides the list of every visible drop-down of the window (depth 0): a click on the window's
// background closes them.
void closeDropDownLists(int32_t window);

// A list box from listBoxTemplate with a new empty string table, scroll 0, nothing selected.
int32_t createListBox(int32_t window);
// Destroys its string table and releases it.
int32_t freeListBox(int32_t list);
ListBox* listBoxGet(int32_t list);
// Rows wholly outside the content box are skipped (they would be scissored away).
void drawListBoxes(int32_t window, int32_t d, int32_t maxDepth, int32_t layer, int32_t top);

// A drop-down with its button (the template's text, or "...", and the arrow icon) and its hidden
// list (under the button, 400 high, entry 0 selected).
int32_t createDropDown(int32_t window);
int32_t freeDropDown(int32_t dropDown);
DropDown* dropDownGet(int32_t dropDown);
void drawDropDowns(int32_t window, int32_t d, int32_t maxDepth, int32_t layer, int32_t top);

// A scroll bar with its two arrow buttons (the button template, text null, icon over the button).
int32_t createScrollBar(int32_t window);
int32_t freeScrollBar(int32_t scrollBar);
ScrollBar* scrollBarGet(int32_t scrollBar);
// The range is never below 0; when max <= min the value is min and there is neither a thumb nor a
// drag; a drag moves the value only with a finite positive scale.
void drawScrollBars(int32_t window, int32_t d, int32_t maxDepth, int32_t layer, int32_t top);
