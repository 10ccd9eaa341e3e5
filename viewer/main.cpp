// vcv: the COLLADA viewer.
#include "system/files.h"
#include "viewer/app.h"
#include "viewer/options.h"

int main(int argc, char** argv) {
    AppOptions options;
    optionsDefault(&options);
    int32_t parsed = optionsParse(&options, argc, argv);
    if (parsed != 0) return parsed > 0 ? 0 : 2;
    findProgramDirectory();
    appInit(&options);
    runMainLoop();
    return appExitStatus();
}
