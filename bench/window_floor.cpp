// The floor under "start to first frame": the viewer's own window glue opens the window the viewer
// opens (same request, same GLFW hints), clears it once, shows that frame and closes again, with
// none of the engine, data files or interface. bench/run.sh times it as a whole process beside
// `vcv --frames 1`, so that what start-up costs above the window system and the GL driver shows.
//   window_floor [WIDTH HEIGHT]
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/gl.h"
#include "viewer/window.h"

int main(int argc, char** argv) {
    std::memset(&windowRequest, 0, sizeof windowRequest);
    std::snprintf(windowRequest.title, sizeof windowRequest.title, "%s", "window floor");
    windowRequest.width = argc > 2 ? std::atoi(argv[1]) : 800;
    windowRequest.height = argc > 2 ? std::atoi(argv[2]) : 600;
    windowRequest.colourBits = 32;
    windowRequest.depthBits = 32;
    windowRequest.stencilBits = 8;
    if (windowLibraryStart() != 0) return 1;
    windowOpen();
    if (!windowIsOpen()) return 1;
    glClearColor(96 / 255.0f, 136 / 255.0f, 176 / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    swapWindow();
    windowClose();
    windowLibraryStop();
    return 0;
}
