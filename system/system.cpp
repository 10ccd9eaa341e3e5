#include "system/system.h"

#include "system/clock.h"
#include "system/console.h"
#include "system/platform.h"

Rgba8 directoryColour = {255, 240, 224, 255};
Rgba8 fileColour = {224, 240, 255, 255};

void systemStart() {
    clockStart();
    consoleStart();
    directoryColour = Rgba8{255, 240, 224, 255};
    fileColour = Rgba8{224, 240, 255, 255};
}

void systemStop() {}

int32_t currentProcessId() { return platformProcessId(); }

bool processExists(int32_t pid) { return platformProcessAlive(pid); }
