// Real JPEG files for the texture tests: a generated PPM (or PGM) image encoded by cjpeg.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "support/test_support.h"

struct TestRgb {
    uint8_t r, g, b;
};

// Writes path with cjpeg from a width x height picture (one grey component when grey is set, from
// the red of pixel); false when cjpeg failed.
inline bool makeJpeg(const std::string& path, int width, int height, const std::function<TestRgb(int, int)>& pixel,
                     int quality = 100, bool grey = false) {
    std::string header = (grey ? "P5\n" : "P6\n") + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.reserve(bytes.size() + (size_t)width * height * (grey ? 1 : 3));
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            TestRgb c = pixel(x, y);
            bytes.insert(bytes.end(), {c.r, c.g, c.b});
            if (grey) bytes.resize(bytes.size() - 2);
        }
    std::string pnm = path + ".pnm";
    writeBytes(pnm, bytes);
    int code = -1;
    runCommand("cjpeg -quality " + std::to_string(quality) + " -outfile '" + path + "' '" + pnm + "'", &code);
    std::remove(pnm.c_str());
    return code == 0 && !readBytes(path).empty();
}

inline bool makeFlatJpeg(const std::string& path, int width, int height, TestRgb colour, bool grey = false) {
    return makeJpeg(path, width, height, [colour](int, int) { return colour; }, grey ? 90 : 100, grey);
}
