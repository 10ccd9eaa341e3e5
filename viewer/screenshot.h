// Saving what the window shows as a PNG file.
#pragma once
#include <cstdint>

// Reads width x height pixels of the colour buffer (`fromFront`: the front buffer, else the back
// buffer) and writes them top row first as a PNG through DevIL. 0, or -1 when it cannot be written.
int32_t saveScreenshot(const char* path, int32_t width, int32_t height, bool fromFront);
