// The viewer's screens: the look of the interface (text style and widget templates), the menu bar
// that lives as long as the program, the file menu and the info box, serviced once a frame.
#pragma once
#include <cstdint>

// Window handles of the open screens (-1 = closed) and the buttons the viewer reads.
struct ViewerScreens {
    int32_t menuBar, fileMenu, infoBox;
    int32_t menuFileButton, menuInfoButton;  // in the menu bar
    int32_t openButton, quitButton;          // in the file menu
    int32_t infoOkButton;                    // in the info box
};
extern ViewerScreens viewerScreens;

// The current text style and every widget template, in the interface set `set` (may be -1).
void setupViewerStyle(int32_t set);
// Marks every screen closed, then opens the menu bar.
void createViewerScreens();
// Once a frame, before the interface is drawn: acts on the clicks of the last frame.
void runScreens();
// Closes every open screen.
void closeViewerScreens();
