// Saving what the window shows as a PNG file.
#pragma once
#include <cstdint>

// Copies width x height pixels of the back buffer (the frame about to be shown), replacing the
// previous capture.
void captureFrame(int32_t width, int32_t height);
// Writes the last capture, top row first, as a PNG made by DevIL. 0, or -1 when nothing was captured
// or the file cannot be written completely (reason, reasonCap bytes, says why).
int32_t writeCapturedFrame(const char* path, char* reason, int32_t reasonCap);
// Frees the capture.
void releaseCapturedFrame();
