#include "support/gl_window.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdio>
#include <cstring>

#include "viewer/window.h"

namespace {
// Drawing on Mesa's software rasterizer leaves a few driver allocations that are never freed, and
// closing the window library unloads the driver, after which the leak checker cannot name their
// library. Marking every loaded library "never unload" keeps the names.
int pinLoadedLibrary(struct dl_phdr_info* info, size_t, void*) {
    if (info->dlpi_name && info->dlpi_name[0]) dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    return 0;
}
}  // namespace

bool openTestWindow(const char* title, int32_t width, int32_t height) {
    std::memset(&windowRequest, 0, sizeof windowRequest);
    std::snprintf(windowRequest.title, sizeof windowRequest.title, "%s", title);
    windowRequest.width = width;
    windowRequest.height = height;
    windowRequest.depthBits = 24;
    windowRequest.stencilBits = 8;
    if (windowLibraryStart() != 0) return false;
    windowOpen();
    if (!windowIsOpen()) return false;
    keepLoadedLibraries();
    return true;
}

void keepLoadedLibraries() { dl_iterate_phdr(pinLoadedLibrary, nullptr); }

void closeTestWindow() {
    windowClose();
    windowLibraryStop();
}

GLint levelParam(GLenum name, GLint level) {
    GLint v = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, name, &v);
    return v;
}

GLint textureParam(GLenum name) {
    GLint v = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, name, &v);
    return v;
}
