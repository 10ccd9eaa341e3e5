// What a viewer's window shows, grabbed from the X server by its window id.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/test_support.h"

// RGB rows from the top; empty when the grab failed.
struct Shot {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[3 * ((size_t)y * width + x)]; }
};

inline Shot grab(const std::string& id) {
    TempDir dir;
    std::string ppm = dir.file("shot.ppm");
    runCommand("/usr/bin/python3 " + sourceDirectory() + "tests/viewer/grab_window.py " + id + " " + ppm);
    std::vector<uint8_t> bytes = readBytes(ppm);
    Shot shot;
    if (bytes.size() < 16) return shot;
    std::string header((const char*)bytes.data(), 32);
    if (std::sscanf(header.c_str(), "P6 %d %d 255", &shot.width, &shot.height) != 2) return shot;
    size_t size = (size_t)shot.width * shot.height * 3;
    if (bytes.size() < size) return shot;
    shot.rgb.assign(bytes.end() - (long)size, bytes.end());
    return shot;
}
