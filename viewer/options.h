// The command line: vcv [options] [model.dae].
#pragma once
#include <cstdint>

struct AppOptions {
    int32_t frames;          // quit after this many frames; 0 = run until asked to quit
    char screenshot[2048];   // PNG written from the last frame; "" = none
    int32_t width, height;   // window size
    char model[2048];        // model imported at start-up; "" = none
    char up;                 // 'X', 'Y' or 'Z': the up axis of every model; 0 = each document's
};

// Defaults: no frame limit, no screenshot, 800 x 600, no model.
void optionsDefault(AppOptions* options);
// Parses the arguments. 0 = run; 1 = done (help or version printed); -1 = bad arguments (message
// printed to standard error).
int32_t optionsParse(AppOptions* options, int argc, char** argv);
