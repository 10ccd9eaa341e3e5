// The system layer's start-up and shut-down, and the colours it hands to the file browser.
#pragma once
#include <cstdint>

struct Rgba8 {
    uint8_t r, g, b, a;
};

// List-entry colours of the file browser: directories and files.
extern Rgba8 directoryColour;
extern Rgba8 fileColour;

// Starts the clock and the console and sets the two list colours.
void systemStart();
// Nothing to release.
void systemStop();
// This process's id, and whether a process of that id still runs (for folders named after a
// process that may have crashed).
int32_t currentProcessId();
bool processExists(int32_t pid);
