// What a viewer's window shows, grabbed from the X server by its window id or read from the PNG
// the viewer saved.
#pragma once
#include <IL/il.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.h"

// RGB rows from the top; empty when the picture cannot be read.
struct Shot {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[3 * ((size_t)y * width + x)]; }
};

// The pixels of a PNG or PPM file (DevIL reads both rows from the top).
inline Shot loadPicture(const std::string& path) {
    ilInit();
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    Shot shot;
    if (ilLoadImage(path.c_str()) == IL_TRUE && ilConvertImage(IL_RGB, IL_UNSIGNED_BYTE) == IL_TRUE) {
        shot.width = ilGetInteger(IL_IMAGE_WIDTH);
        shot.height = ilGetInteger(IL_IMAGE_HEIGHT);
        const uint8_t* p = ilGetData();
        shot.rgb.assign(p, p + (size_t)shot.width * shot.height * 3);
    }
    ilDeleteImages(1, &image);
    return shot;
}

// What the window of the given X id shows.
inline Shot grab(const std::string& id) {
    TempDir dir;
    int code = -1;
    runCommand("/usr/bin/python3 " + sourceDirectory() + "tests/viewer/grab_window.py " + id + " " + dir.file("shot.ppm"), &code);
    EXPECT_EQ(code, 0) << "grab_window.py failed (python3-xlib missing?)";
    return loadPicture(dir.file("shot.ppm"));
}
