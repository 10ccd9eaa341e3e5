#include "system/console.h"

#include "system/platform.h"

ConsoleLine consoleLine;

namespace {
struct ConsoleState {
    bool open = false;
};
ConsoleState console;
}  // namespace

void consoleStart() {
    console.open = platformConsoleOpen();
    consoleLine.length = 0;
    consoleLine.text[0] = '\0';
}

bool consoleFeed(int32_t c) {
    if (c == '\r' || c == '\n') {
        consoleLine.text[consoleLine.length] = '\0';
        consoleLine.length = 0;
        return true;
    }
    if (consoleLine.length < 2047) consoleLine.text[consoleLine.length++] = (char)c;
    return false;
}

bool pollConsoleLine() {
    // The terminal echoes what is typed itself, so nothing is printed back here.
    if (!console.open) return false;
    int32_t c = platformConsoleReadByte();
    if (c < 0) return false;
    return consoleFeed(c);
}
