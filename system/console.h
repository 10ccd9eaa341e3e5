// A line reader for a terminal on standard input, polled without blocking.
#pragma once
#include <cstdint>

struct ConsoleLine {
    char text[2048];
    int32_t length;  // at most 2047 characters are kept
};
extern ConsoleLine consoleLine;

// Takes standard input if it is a terminal; empties the line.
void consoleStart();
// Reads at most one waiting character. CR or LF completes the line (true, text terminated, length 0
// again); other characters are appended while fewer than 2047 are held. False without a terminal.
bool pollConsoleLine();
// The same for one character code, as a terminal delivers it (used by pollConsoleLine).
bool consoleFeed(int32_t c);
