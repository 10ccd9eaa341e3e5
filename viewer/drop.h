// Files dropped on the window. The window glue hands a drop over as it arrives; the frame then opens
// its first document through the same loading sequence as the file dialog, or says why it cannot.
#pragma once
#include <cstdint>

// Takes a drop of count paths as the window system delivers them: the first one whose extension is
// "dae" (in any case) is kept for the frame; a drop without one is kept as a message. A newer drop
// replaces one the frame has not taken yet.
void dropReceived(int32_t count, const char* const* paths);
// Once a frame, with the screens up. A kept document waits while a load is under way, then starts
// loading (the browse directory follows it): 1. A drop without a document opens the message box at
// once: -1. 0 when nothing was done.
int32_t serviceDrop();
// True while a drop waits for the frame.
bool dropPending();
