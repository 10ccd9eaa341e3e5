#include "viewer/screenshot.h"

#include <IL/il.h>

#include "render/gl.h"
#include "system/memory.h"

static const char* const kModule = "vor_cv_main";

namespace {
struct Capture {
    uint8_t* pixels = nullptr;  // RGB rows, bottom row first as GL gives them
    int32_t width = 0;
    int32_t height = 0;
};
Capture capture;
}  // namespace

void captureFrame(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    if (width != capture.width || height != capture.height || !capture.pixels) {
        capture.pixels = (uint8_t*)MEM_ALLOC(capture.pixels, (int64_t)width * height * 3);
        capture.width = width;
        capture.height = height;
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, capture.pixels);
}

int32_t writeCapturedFrame(const char* path) {
    if (!capture.pixels) return -1;
    ilInit();
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    // GL rows run bottom to top, which is DevIL's default origin for new images; the PNG writer
    // turns them the right way up.
    bool ok = ilTexImage((ILuint)capture.width, (ILuint)capture.height, 1, 3, IL_RGB, IL_UNSIGNED_BYTE,
                         capture.pixels) == IL_TRUE;
    if (ok) {
        ilEnable(IL_FILE_OVERWRITE);
        ok = ilSave(IL_PNG, path) == IL_TRUE;
    }
    ilDeleteImages(1, &image);
    return ok ? 0 : -1;
}

void releaseCapturedFrame() {
    capture.pixels = (uint8_t*)MEM_FREE(capture.pixels);
    capture.width = capture.height = 0;
}
