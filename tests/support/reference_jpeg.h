// Reference JPEG files made and read in process by libjpeg-turbo, and zip archives made by minizip's
// writer: the outside codecs the tests compare the engine with.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// How a reference JPEG is coded (the choices cjpeg offers).
struct JpegSettings {
    int quality = 75;
    bool forceBaseline = true;  // false lets low qualities use 16-bit tables (an extended frame)
    bool grey = false;          // one component, from the first sample of each pixel
    int sampling[3][2] = {{2, 2}, {1, 1}, {1, 1}};  // horizontal, vertical per component
    int restartRows = 0;        // a restart interval in MCU rows...
    int restartMcus = 0;        // ...or in MCUs
    bool progressive = false, arithmetic = false, optimize = false;
};

// Encodes width x height RGB pixels (3 bytes each, rows from the top); empty on failure.
std::vector<uint8_t> referenceJpegEncode(const std::vector<uint8_t>& rgb, int width, int height,
                                         const JpegSettings& settings);
// Decodes with libjpeg's defaults (as djpeg does) to RGB, grey expanded; false on failure.
bool referenceJpegDecode(const std::vector<uint8_t>& jpeg, int* width, int* height, std::vector<uint8_t>* rgb);

// A zip archive of (name, bytes) members, each deflated or stored; false when minizip failed.
struct ZipEntry {
    std::string name;
    std::string bytes;
    bool deflate = true;
};
bool writeZip(const std::string& path, const std::vector<ZipEntry>& entries);
