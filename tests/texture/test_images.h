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

// Writes path with cjpeg from a width x height picture; false when cjpeg failed.
inline bool makeJpeg(const std::string& path, int width, int height,
                     const std::function<TestRgb(int, int)>& pixel, int quality = 100) {
    std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.reserve(bytes.size() + (size_t)width * height * 3);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            TestRgb c = pixel(x, y);
            bytes.push_back(c.r);
            bytes.push_back(c.g);
            bytes.push_back(c.b);
        }
    std::string ppm = path + ".ppm";
    writeBytes(ppm, bytes);
    int code = -1;
    runCommand("cjpeg -quality " + std::to_string(quality) + " -outfile '" + path + "' '" + ppm + "'", &code);
    std::remove(ppm.c_str());
    return code == 0 && !readBytes(path).empty();
}

// A flat-coloured JPEG.
inline bool makeFlatJpeg(const std::string& path, int width, int height, TestRgb colour) {
    return makeJpeg(path, width, height, [colour](int, int) { return colour; });
}

// A grey JPEG (one component) of any size, cheap to write even when large.
inline bool makeGreyJpeg(const std::string& path, int width, int height, uint8_t level) {
    std::string header = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.resize(bytes.size() + (size_t)width * height, level);
    std::string pgm = path + ".pgm";
    writeBytes(pgm, bytes);
    int code = -1;
    runCommand("cjpeg -quality 90 -outfile '" + path + "' '" + pgm + "'", &code);
    std::remove(pgm.c_str());
    return code == 0 && !readBytes(path).empty();
}
