// The viewer's screens: the look of the interface (text style and widget templates), the menu bar
// that lives as long as the program, the file menu, the file browser, the loading box, the info
// box and the message box, serviced once a frame in a fixed order.
#pragma once
#include <cstdint>

// Handles of the open screens (-1 = closed) and of the buttons the viewer reads.
struct ViewerScreens {
    int32_t menuBar, fileMenu, infoBox, loadingBox, messageBox;  // windows
    int32_t fileBrowser;                                         // a file dialog
    int32_t menuFileButton, menuInfoButton;  // in the menu bar
    int32_t openButton, quitButton;          // in the file menu
    int32_t infoOkButton, messageOkButton;
};
extern ViewerScreens viewerScreens;

// The current text style and every widget template, in the interface set `set` (may be -1).
void setupViewerStyle(int32_t set);
// Marks every screen closed, then opens the menu bar.
void createViewerScreens();
// Once a frame, before the interface is drawn: acts on the clicks of the last frame, in order the
// file menu, the menu bar, the file browser, the info box, the message box and the loading box
// (which runs the import on its second frame). Returns 1 when this frame imported a model, -1 when
// its import gave none, 0 otherwise.
int32_t runScreens();
// Shows text with an OK button, above every other screen (replacing a message shown before).
// A window of the toolkit at a layer (replacing `old` when it names one); the window template's
// layer is back at 0 afterwards.
int32_t openScreenWindow(int32_t old, int32_t layer, float x0, float y0, float x1, float y1);
// A label of the window with its text and layout, window-relative; returns the label.
int32_t addScreenLabel(int32_t window, const char* text, int32_t layout, float x0, float y0, float x1, float y1);
void showMessageBox(const char* text);
// Draws how much of the running import is done (0 to 1) as a bar in the loading box, when it is open.
void drawLoadingProgress(float done);
// Closes every open screen.
void closeViewerScreens();
