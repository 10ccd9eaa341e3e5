// The image probe on sound and hostile headers: what is taken, at which size, and what is refused.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "image_files.h"
#include "import/image_probe.h"

namespace {
struct Case {
    std::string what;
    ImageBytes bytes;
    int32_t verdict;
    int32_t format = IMAGE_UNKNOWN;
    int32_t width = 0, height = 0;
};

ImageBytes changed(ImageBytes b, const std::function<void(ImageBytes&)>& change) {
    change(b);
    return b;
}

// A PNG whose header bytes at the given offsets are changed, with its CRC made right again.
ImageBytes pngHeaderChanged(ImageBytes b, size_t at, uint8_t value, size_t at2 = 0, uint8_t value2 = 0) {
    b[at] = value;
    if (at2) b[at2] = value2;
    uint32_t crc = (uint32_t)crc32(0, &b[12], 17);
    for (int i = 0; i < 4; i++) b[29 + (size_t)i] = (uint8_t)(crc >> (24 - 8 * i));
    return b;
}

ImageBytes text(const char* t, size_t n = 0) { return ImageBytes(t, t + (n ? n : std::strlen(t))); }

ImageBytes cut(ImageBytes b, size_t size) {
    b.resize(size);
    return b;
}

// A JPEG's segment bytes replaced: offsets from its marker (by default the frame header, SOF0).
ImageBytes jpegFrame(const ImageBytes& f, const std::function<void(ImageBytes&, size_t)>& change,
                     uint8_t marker = 0xC0) {
    ImageBytes b = f;
    for (size_t p = 2; p + 1 < b.size(); p++)
        if (b[p] == 0xFF && b[p + 1] == marker) {
            change(b, p);
            break;
        }
    return b;
}
}  // namespace

TEST(ImageProbe, TakesSoundHeadersAndRefusesLiesUnknownFieldsAndOtherFiles) {
    const ImageBytes png = pngFile(5, 3), jpeg = flatJpeg(17, 9, {100, 128, 128}), bmp = bmpFile(3, 2),
                     tga = tgaFile(4, 2);
    ImageBytes tgaRle = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 200, 0, 100, 0, 24, 0};
    for (int i = 0; i < (200 * 100 + 127) / 128; i++) tgaRle.insert(tgaRle.end(), {0xFF, 1, 2, 3});  // 128-pixel runs
    ImageBytes tgaMapped = {0, 1, 1, 0, 0, 2, 0, 24, 0, 0, 0, 0, 2, 0, 1, 0, 8, 0, 0, 0, 0, 255, 255, 255, 0, 1};
    // A core (OS/2) header: 16-bit width and height, then one 24-bit pixel and its padding.
    ImageBytes bmpCore = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0, 12, 0,
                          0,   0,   1, 0, 1, 0, 1, 0, 24, 0, 9, 9, 9, 0};
    ImageBytes progressive = jpegFrame(jpeg, [](ImageBytes& b, size_t p) { b[p + 1] = 0xC2; });
    ImageBytes twoFrames = jpeg;
    twoFrames.insert(twoFrames.begin() + 2, {0xFF, 0xC0, 0, 11, 8, 0xFF, 0xFF, 0xFF, 0xFF, 1, 1, 0x11, 0});
    ImageBytes fill = jpeg;
    fill.insert(fill.begin() + 2, {0xFF, 0xFF});
    // After the scan: a comment that fits, a comment whose length runs past the end, coded data cut short.
    ImageBytes commentAfter = cut(jpeg, jpeg.size() - 2), commentPast = commentAfter;
    commentAfter.insert(commentAfter.end(), {0xFF, 0xFE, 0, 4, 'h', 'i', 0xFF, 0xD9});
    commentPast.insert(commentPast.end(), {0xFF, 0xFE, 0xFF, 0x82});

    const std::vector<Case> cases = {
        {"PNG", png, PROBE_OK, IMAGE_PNG, 5, 3},
        {"JPEG", jpeg, PROBE_OK, IMAGE_JPEG, 17, 9},
        {"progressive JPEG", progressive, PROBE_OK, IMAGE_JPEG, 17, 9},
        {"JPEG with fill bytes", fill, PROBE_OK, IMAGE_JPEG, 17, 9},
        {"BMP", bmp, PROBE_OK, IMAGE_BMP, 3, 2},
        {"top-down BMP", changed(bmp, [](ImageBytes& b) { b[22] = 0xFE, b[23] = b[24] = b[25] = 0xFF; }), PROBE_OK,
         IMAGE_BMP, 3, 2},
        {"OS/2 BMP", bmpCore, PROBE_OK, IMAGE_BMP, 1, 1},
        {"TGA", tga, PROBE_OK, IMAGE_TGA, 4, 2},
        {"run-length TGA", tgaRle, PROBE_OK, IMAGE_TGA, 200, 100},
        {"colour-mapped TGA", tgaMapped, PROBE_OK, IMAGE_TGA, 2, 1},
        {"run-length TGA of 8192 x 8192 without its packets", tgaFile(0, 0, 8192, 8192, 10), PROBE_NOT_IMAGE},
        // Sizes beyond the cap, whatever the rest of the file.
        {"TGA of 37838 x 37838 (w*h*3 wraps)", tgaFile(40, 40, 37838, 37838), PROBE_TOO_LARGE, IMAGE_TGA, 37838, 37838},
        {"truncated TGA of 65535 x 65535", tgaFile(4, 4, 65535, 65535), PROBE_TOO_LARGE, IMAGE_TGA, 65535, 65535},
        {"BMP of 37838 x 37838", bmpFile(4, 4, 37838, 37838), PROBE_TOO_LARGE, IMAGE_BMP, 37838, 37838},
        {"PNG of 20000 x 20000", pngFile(4, 4, false, 20000, 20000), PROBE_TOO_LARGE, IMAGE_PNG, 20000, 20000},
        {"PNG of 1 x 8193", pngFile(4, 4, false, 1, 8193), PROBE_TOO_LARGE, IMAGE_PNG, 1, 8193},
        {"JPEG of 65535 x 65535",
         jpegFrame(jpeg, [](ImageBytes& b, size_t p) { std::memset(&b[p + 5], 0xFF, 4); }), PROBE_TOO_LARGE,
         IMAGE_JPEG, 65535, 65535},
        // Lies and unknown fields.
        {"JPEG with a comment after its scan", commentAfter, PROBE_OK, IMAGE_JPEG, 17, 9},
        {"JPEG cut in its coded data", cut(jpeg, jpeg.size() - 4), PROBE_OK, IMAGE_JPEG, 17, 9},
        {"JPEG with a segment past the end after its scan", commentPast, PROBE_NOT_IMAGE},
        {"JPEG with a second frame header", twoFrames, PROBE_NOT_IMAGE},
        {"JPEG frame header too long for its components", jpegFrame(jpeg, [](ImageBytes& b, size_t p) { b[p + 9] = 1; }),
         PROBE_NOT_IMAGE},
        {"JPEG with height 0 (DNL)", jpegFrame(jpeg, [](ImageBytes& b, size_t p) { b[p + 5] = b[p + 6] = 0; }),
         PROBE_NOT_IMAGE},
        {"JPEG cut before its scan", cut(jpeg, 100), PROBE_NOT_IMAGE},
        {"JPEG scan header of length 0", jpegFrame(jpeg, [](ImageBytes& b, size_t p) { b[p + 2] = b[p + 3] = 0; }, 0xDA),
         PROBE_NOT_IMAGE},
        {"JPEG ending before a frame", {0xFF, 0xD8, 0xFF, 0xD9}, PROBE_NOT_IMAGE},
        {"PNG with a bad header CRC", changed(png, [](ImageBytes& b) { b[29] ^= 1; }), PROBE_NOT_IMAGE},
        {"PNG of bit depth 7", pngHeaderChanged(png, 24, 7), PROBE_NOT_IMAGE},
        {"PNG of colour type 5", pngHeaderChanged(png, 25, 5), PROBE_NOT_IMAGE},
        {"PNG of interlace method 2", pngHeaderChanged(png, 28, 2), PROBE_NOT_IMAGE},
        {"16-bit grey PNG", pngHeaderChanged(png, 25, 0, 24, 16), PROBE_OK, IMAGE_PNG, 5, 3},
        {"PNG signature only", cut(png, 8), PROBE_NOT_IMAGE},
        {"PNG without its end", cut(png, png.size() - 12), PROBE_NOT_IMAGE},
        {"PNG chunk running past the end", changed(png, [](ImageBytes& b) { b[33] = 0x40; }), PROBE_NOT_IMAGE},
        {"PNG end chunk running past the end", changed(png, [](ImageBytes& b) { b[b.size() - 9] = 1; }),
         PROBE_NOT_IMAGE},
        {"PNG without image data", changed(cut(png, 33), [](ImageBytes& b) { pngChunk(b, "IEND", {}); }),
         PROBE_NOT_IMAGE},
        {"BMP cut in its rows", cut(bmp, bmp.size() - 1), PROBE_NOT_IMAGE},
        {"BMP of 7 bits", changed(bmp, [](ImageBytes& b) { b[28] = 7; }), PROBE_NOT_IMAGE},
        {"BMP with JPEG inside", changed(bmp, [](ImageBytes& b) { b[30] = 4; }), PROBE_NOT_IMAGE},
        {"BMP of two planes", changed(bmp, [](ImageBytes& b) { b[26] = 2; }), PROBE_NOT_IMAGE},
        {"BMP of width 0", bmpFile(0, 2), PROBE_NOT_IMAGE},
        {"TGA cut in its pixels", cut(tga, tga.size() - 1), PROBE_NOT_IMAGE},
        {"TGA of type 4", tgaFile(2, 2, 0, 0, 4), PROBE_NOT_IMAGE},
        {"TGA with colour-map type 2", changed(tga, [](ImageBytes& b) { b[1] = 2; }), PROBE_NOT_IMAGE},
        {"TGA of 23 bits", changed(tga, [](ImageBytes& b) { b[16] = 23; }), PROBE_NOT_IMAGE},
        {"interleaved TGA", changed(tga, [](ImageBytes& b) { b[17] = 0x40; }), PROBE_NOT_IMAGE},
        {"TGA of height 0", changed(tga, [](ImageBytes& b) { b[14] = 0; }), PROBE_NOT_IMAGE},
        {"text", text("root:x:0:0:root:/root:/bin/bash\n"), PROBE_NOT_IMAGE},
        {"GIF", gifFile(30, 20), PROBE_OK, IMAGE_GIF, 30, 20},
        {"GIF without a colour table", text("GIF89a\1\0\1\0\0\0\0,\0\0\0\0\1\0\1\0\0\2\2L\1\0;", 29), PROBE_OK,
         IMAGE_GIF, 1, 1},
        {"GIF of 9000 x 1", gifFile(1, 1, 9000, 1), PROBE_TOO_LARGE, IMAGE_GIF, 9000, 1},
        {"GIF whose frame lies outside its screen", gifFile(30, 20, 20, 20), PROBE_NOT_IMAGE},
        {"GIF cut in its data", cut(gifFile(30, 20), 900), PROBE_NOT_IMAGE},
        {"GIF without a frame", changed(cut(gifFile(1, 1), 781), [](ImageBytes& b) { b.push_back(';'); }),
         PROBE_NOT_IMAGE},
        {"TIFF", tiffFile({{640, 480}}), PROBE_OK, IMAGE_TIFF, 640, 480},
        {"big-endian TIFF of two pages", tiffFile({{64, 32}, {8, 8}}, false), PROBE_OK, IMAGE_TIFF, 64, 32},
        {"TIFF of 20000 x 20000", tiffFile({{20000, 20000}}), PROBE_TOO_LARGE, IMAGE_TIFF, 20000, 20000},
        {"TIFF whose pages loop", tiffFile({{64, 64}, {64, 64}}, true, 8), PROBE_NOT_IMAGE},
        {"TIFF whose pages hold too many pixels", tiffFile({{8192, 8192}, {8192, 1}}), PROBE_NOT_IMAGE},
        {"TIFF without a page", changed(tiffFile({{64, 64}}), [](ImageBytes& b) { b[4] = 0; }), PROBE_NOT_IMAGE},
        {"TIFF directory past the end", cut(tiffFile({{64, 64}}), 20), PROBE_NOT_IMAGE},
        {"TIFF strip past the end", cut(tiffFile({{64, 64}}), 70), PROBE_NOT_IMAGE},
        {"TIFF field of an unknown type", changed(tiffFile({{64, 64}}), [](ImageBytes& b) { b[12] = 99; }),
         PROBE_NOT_IMAGE},
        {"empty", {}, PROBE_NOT_IMAGE},
    };
    for (const Case& c : cases) {
        // An exact-size copy, so that the address sanitiser sees any read past the end.
        std::vector<uint8_t> copy(c.bytes);
        copy.shrink_to_fit();
        ImageProbe probe;
        EXPECT_EQ(imageProbe(copy.empty() ? nullptr : copy.data(), (int64_t)copy.size(), &probe), c.verdict) << c.what;
        EXPECT_EQ(probe.format, c.format) << c.what;
        EXPECT_EQ(probe.width, c.width) << c.what;
        EXPECT_EQ(probe.height, c.height) << c.what;
        // Every prefix is judged too, and none reads past its end.
        for (size_t n = 0; n < copy.size() && n < 64; n++) {
            std::vector<uint8_t> prefix(copy.begin(), copy.begin() + (long)n);
            imageProbe(prefix.data(), (int64_t)n, &probe);
        }
    }
}
