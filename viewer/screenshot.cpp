#include "viewer/screenshot.h"

#include <IL/il.h>

#include <vector>

#include "render/gl.h"

int32_t saveScreenshot(const char* path, int32_t width, int32_t height, bool fromFront) {
    if (width <= 0 || height <= 0) return -1;
    std::vector<uint8_t> pixels((size_t)width * (size_t)height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(fromFront ? GL_FRONT : GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    ilInit();
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    // GL rows run bottom to top, which is DevIL's default origin for new images; the PNG writer
    // turns them the right way up.
    bool ok = ilTexImage((ILuint)width, (ILuint)height, 1, 3, IL_RGB, IL_UNSIGNED_BYTE, pixels.data()) == IL_TRUE;
    if (ok) {
        ilEnable(IL_FILE_OVERWRITE);
        ok = ilSave(IL_PNG, path) == IL_TRUE;
    }
    ilDeleteImages(1, &image);
    return ok ? 0 : -1;
}
