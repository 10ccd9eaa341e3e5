// The viewer's own keys: one table of (key, modifiers, second key, help text, action) that both the
// key handling and the help overlay read, and the small windows the actions show (the help overlay,
// a notice such as a saved screenshot's name, the frame-time readout).
#pragma once
#include <cstdint>

// Modifiers an entry wants held with its key (either hand's key counts); no other may be held.
enum { KEYMOD_NONE = 0, KEYMOD_CTRL = 1, KEYMOD_SHIFT = 2, KEYMOD_ALT = 4 };

// One viewer key: what a tap of it does and what the help overlay says about it.
struct ViewerKey {
    int32_t key, modifiers;        // engine key code (input/keys.h) and KEYMOD_ bits
    int32_t altKey, altModifiers;  // a second binding; altKey -1 when there is none
    uint8_t overModal;             // 1 = also fires while a message box or the file dialog is open
    const char* help;              // what it does, as the overlay says it
    void (*action)();
};
extern const ViewerKey viewerKeys[];
extern const int32_t viewerKeyCount;

// An overlay line that no entry of the table handles: the mouse, and the keys of the menus.
struct HelpLine {
    const char* keys;
    const char* help;
};
extern const HelpLine otherInputs[];
extern const int32_t otherInputCount;

// The bindings of entry as the overlay names them ("F5 / Ctrl+R"); "" for an index out of range.
void viewerKeyNames(int32_t entry, char* out, int32_t cap);

// Start-up: nothing shown, no key counted as held.
void viewerKeysInit();
// Once a frame, after the interface was drawn and before the swap (so that a screenshot holds the
// whole frame): fires the entries whose key went down since the last frame with exactly their
// modifiers held. Nothing fires while an edit field has the keyboard; only overModal entries fire
// while a message box or the file dialog is open. Also counts down the notice and refreshes the
// frame-time readout.
void runViewerKeys();
// Closes the overlay, the notice and the readout (before the toolkit stops).
void viewerKeysClose();
// True while a notice waits to be taken away, and in the frame that took it away (which still drew
// it): the main loop keeps drawing until a frame without it is shown.
bool viewerKeysTimerRunning();

// The help overlay's window (-1 when closed).
int32_t helpOverlayWindow();
// The labels of overlay row `row` (the table's entries first, then otherInputs); false when the
// overlay is closed or the row does not exist.
bool helpOverlayRow(int32_t row, int32_t* keysLabel, int32_t* helpLabel);
// The notice's label (-1 when none is shown).
int32_t noticeLabel();
// The frame-time readout's label (-1 when it is off).
int32_t frameTimeLabel();
