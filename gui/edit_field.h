// The one-line text entry field: a press inside gives it its window's keyboard focus; while it has
// the focus the typed keys of the input layer edit its text every frame, drawn left-aligned with a
// blinking '|' cursor that scrolls in jumps. Same kind pattern as widgets.h.
#pragma once
#include <cstdint>
#include <vector>

#include "gui/gui.h"
#include "gui/text_layout.h"

// Limits of maxLength: the buffer (maxLength + 1 bytes) is never empty and never huge.
enum { EDIT_MIN_LENGTH = 1, EDIT_MAX_LENGTH = 65535 };

struct EditField {
    WidgetHeader header;
    int32_t frameSet, frameImage;
    int32_t fillSet, fillImage;
    float x0, y0, x1, y1;  // relative to the window
    float tile;
    float border;          // the text box is inset by it, and by 20 more on the left
    Rgba8 colour;
    uint8_t filter;        // TextKind of the input layer
    char* text;            // owned buffer of maxLength + 1 bytes
    int32_t maxLength;     // clamped to EDIT_MIN_LENGTH .. EDIT_MAX_LENGTH at creation
    int32_t cursor;
    uint8_t password;      // 1 = '*' for every character
    TextStyle style;
    uint8_t edited;        // the last frame's editing changed text or cursor
    uint8_t submitted;     // Enter while focused; the application reads and clears it
    int32_t focusId;       // the field has the keyboard when its window's focus equals this
};

extern EditField editFieldTemplate;

void editFieldsInit();
// Start of every walk: no cursor drawn yet this frame.
void editFieldsFrameBegin();
// True when the last walk drew a focused field, whose cursor blinks: the main loop keeps drawing
// the blink while it otherwise rests.
bool editCursorShown();
void editFieldsShutdown();
void freeEditFieldsOf(int32_t window);
void editFieldDepths(int32_t window, int32_t maxDepth, std::vector<int32_t>* depths);

// A field from the template with a zeroed buffer, cursor 0; empties the typed-key queue.
int32_t createEditField(int32_t window);
int32_t freeEditField(int32_t field);
EditField* editFieldGet(int32_t field);
// Copies text when it is shorter than maxLength (cursor 0); a longer (or equal) one is ignored.
void setEditText(int32_t field, const char* text);
// A press inside gives the field its window's focus (keys queued before that are dropped) and shows
// the cursor at once; the focused field of a top-layer window edits its text with the queued keys.
void drawEditFields(int32_t window, int32_t d, int32_t maxDepth, int32_t layer, int32_t top);
