// Real JPEG files for the texture tests, encoded by libjpeg from a generated picture.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/reference_jpeg.h"
#include "support/test_support.h"

struct TestRgb {
    uint8_t r, g, b;
};

// Writes path from a width x height picture (one grey component, from the red of pixel, when grey
// is set); false when encoding failed.
inline bool makeJpeg(const std::string& path, int width, int height, const std::function<TestRgb(int, int)>& pixel,
                     int quality = 100, bool grey = false) {
    std::vector<uint8_t> rgb;
    rgb.reserve((size_t)width * height * 3);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            TestRgb c = pixel(x, y);
            rgb.insert(rgb.end(), {c.r, c.g, c.b});
        }
    JpegSettings settings;
    settings.quality = quality;
    settings.grey = grey;
    std::vector<uint8_t> jpeg = referenceJpegEncode(rgb, width, height, settings);
    if (jpeg.empty()) return false;
    writeBytes(path, jpeg);
    return readBytes(path).size() == jpeg.size();
}

inline bool makeFlatJpeg(const std::string& path, int width, int height, TestRgb colour, bool grey = false) {
    return makeJpeg(path, width, height, [colour](int, int) { return colour; }, grey ? 90 : 100, grey);
}
