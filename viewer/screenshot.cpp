#include "viewer/screenshot.h"

#include <IL/il.h>

#include <cstdio>

#include "render/gl.h"
#include "system/files.h"
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

int32_t writeCapturedFrame(const char* path, char* reason, int32_t reasonCap) {
    if (reasonCap > 0) reason[0] = '\0';
    if (!capture.pixels) {
        std::snprintf(reason, (size_t)reasonCap, "no frame was drawn");
        return -1;
    }
    ilInit();
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    // GL rows run bottom to top, which is DevIL's default origin for new images; the PNG writer
    // turns them the right way up. The PNG is made in memory and written by us, because DevIL's own
    // file writer does not notice a write that fails when the file is closed (a full disk).
    int64_t raw = (int64_t)capture.width * capture.height * 3;
    int64_t capacity = raw + raw / 8 + capture.height + 65536;
    uint8_t* png = capacity <= UINT32_MAX ? (uint8_t*)MEM_ALLOC(nullptr, capacity) : nullptr;
    ILuint bytes = 0;
    if (png && ilTexImage((ILuint)capture.width, (ILuint)capture.height, 1, 3, IL_RGB, IL_UNSIGNED_BYTE,
                          capture.pixels) == IL_TRUE)
        bytes = ilSaveL(IL_PNG, png, (ILuint)capacity);
    ilDeleteImages(1, &image);
    int32_t result = -1;
    if (bytes == 0 || bytes > INT32_MAX) {
        std::snprintf(reason, (size_t)reasonCap, "the PNG could not be made");
    } else if (writeWholeFile(path, "", png, (int32_t)bytes) == 0) {
        result = 0;
    } else {
        lastFileError(reason, reasonCap);
    }
    MEM_FREE(png);
    return result;
}

void releaseCapturedFrame() {
    capture.pixels = (uint8_t*)MEM_FREE(capture.pixels);
    capture.width = capture.height = 0;
}
