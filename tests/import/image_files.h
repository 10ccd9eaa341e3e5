// Small image files made byte by byte for the importer tests: sound ones and hostile ones (headers
// that lie about the size, fields no reader knows).
#pragma once
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using ImageBytes = std::vector<uint8_t>;

inline void putLe(ImageBytes& b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) b.push_back((uint8_t)(v >> (8 * i)));
}
inline void putBe(ImageBytes& b, uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; i--) b.push_back((uint8_t)(v >> (8 * i)));
}

// A PNG chunk with its CRC.
inline void pngChunk(ImageBytes& b, const char* type, const ImageBytes& data) {
    putBe(b, (uint32_t)data.size(), 4);
    ImageBytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    b.insert(b.end(), body.begin(), body.end());
    putBe(b, (uint32_t)crc32(0, body.data(), (uInt)body.size()), 4);
}

// An 8-bit PNG (colour type 2, RGB, or 0, grey) whose pixel (x, y) is given; the header may claim
// another size (claimW, claimH) than the rows written.
inline ImageBytes pngFile(int w, int h, bool grey = false, uint32_t claimW = 0, uint32_t claimH = 0) {
    ImageBytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ImageBytes ihdr;
    putBe(ihdr, claimW ? claimW : (uint32_t)w, 4);
    putBe(ihdr, claimH ? claimH : (uint32_t)h, 4);
    ihdr.insert(ihdr.end(), {8, (uint8_t)(grey ? 0 : 2), 0, 0, 0});
    pngChunk(b, "IHDR", ihdr);
    ImageBytes raw;
    for (int y = 0; y < h; y++) {
        raw.push_back(0);
        for (int x = 0; x < w * (grey ? 1 : 3); x++) raw.push_back((uint8_t)(x * 29 + y * 71));
    }
    uLongf size = compressBound((uLong)raw.size());
    ImageBytes packed(size);
    compress(packed.data(), &size, raw.data(), (uLong)raw.size());
    packed.resize(size);
    pngChunk(b, "IDAT", packed);
    pngChunk(b, "IEND", {});
    return b;
}

// A GIF of w x h with a 256-colour table. Its LZW codes are all literal and 9 bits wide: a clear
// code every 250 pixels keeps the code table from growing.
inline ImageBytes gifFile(int w, int h, int claimW = 0, int claimH = 0) {
    ImageBytes b = {'G', 'I', 'F', '8', '9', 'a'};
    putLe(b, (uint32_t)(claimW ? claimW : w), 2);
    putLe(b, (uint32_t)(claimH ? claimH : h), 2);
    b.insert(b.end(), {0xF7, 0, 0});
    for (int i = 0; i < 256; i++) b.insert(b.end(), {(uint8_t)i, (uint8_t)(255 - i), (uint8_t)(i * 7)});
    b.push_back(',');
    for (int v : {0, 0, w, h}) putLe(b, (uint32_t)v, 2);
    b.insert(b.end(), {0, 8});
    std::vector<int> codes;
    for (int i = 0; i < w * h; i++) {
        if (i % 250 == 0) codes.push_back(256);
        codes.push_back((i * 29) & 255);
    }
    codes.push_back(257);
    ImageBytes data;
    uint32_t bits = 0;
    int held = 0;
    for (int c : codes) {
        bits |= (uint32_t)c << held;
        for (held += 9; held >= 8; held -= 8, bits >>= 8) data.push_back((uint8_t)bits);
    }
    if (held) data.push_back((uint8_t)bits);
    for (size_t i = 0; i < data.size(); i += 255) {
        size_t n = std::min<size_t>(255, data.size() - i);
        b.push_back((uint8_t)n);
        b.insert(b.end(), data.begin() + (long)i, data.begin() + (long)(i + n));
    }
    b.insert(b.end(), {0, ';'});
    return b;
}

// A TIFF header and one directory per page (width, height, one strip), little- or big-endian, the
// pages sharing 16 bytes of strip data at the end; lastLink is the last directory's link (0 ends
// the chain; 8 loops back to the first page).
inline ImageBytes tiffFile(const std::vector<std::pair<uint32_t, uint32_t>>& pages, bool little = true,
                           int64_t lastLink = 0) {
    auto put = [&](ImageBytes& b, uint32_t v, int n) { little ? putLe(b, v, n) : putBe(b, v, n); };
    ImageBytes b = little ? ImageBytes{'I', 'I'} : ImageBytes{'M', 'M'};
    put(b, 42, 2);
    put(b, 8, 4);
    const uint32_t strip = (uint32_t)(8 + 54 * pages.size());
    for (size_t p = 0; p < pages.size(); p++) {
        put(b, 4, 2);
        const uint32_t fields[4][2] = {{256, pages[p].first}, {257, pages[p].second}, {273, strip}, {279, 16}};
        for (const auto& f : fields) {
            put(b, f[0], 2);
            put(b, 4, 2);
            put(b, 1, 4);
            put(b, f[1], 4);
        }
        bool last = p + 1 == pages.size();
        put(b, last ? (uint32_t)lastLink : (uint32_t)(b.size() + 4), 4);
    }
    b.insert(b.end(), 16, 0x55);
    return b;
}

// An uncompressed 24-bit TGA of w x h grey-ish pixels; the header may claim another size.
inline ImageBytes tgaFile(int w, int h, uint32_t claimW = 0, uint32_t claimH = 0, uint8_t type = 2) {
    ImageBytes b = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    putLe(b, claimW ? claimW : (uint32_t)w, 2);
    putLe(b, claimH ? claimH : (uint32_t)h, 2);
    b.insert(b.end(), {24, 0});
    for (int i = 0; i < w * h * 3; i++) b.push_back((uint8_t)(i * 13));
    return b;
}

// A bottom-up 24-bit BMP (info header) of w x h; the header may claim another size.
inline ImageBytes bmpFile(int w, int h, int32_t claimW = 0, int32_t claimH = 0) {
    int stride = (w * 3 + 3) / 4 * 4;
    ImageBytes b = {'B', 'M'};
    putLe(b, (uint32_t)(54 + stride * h), 4);
    putLe(b, 0, 4);
    putLe(b, 54, 4);
    putLe(b, 40, 4);
    putLe(b, (uint32_t)(claimW ? claimW : w), 4);
    putLe(b, (uint32_t)(claimH ? claimH : h), 4);
    putLe(b, 1, 2);
    putLe(b, 24, 2);
    for (int i = 0; i < 6; i++) putLe(b, 0, 4);
    for (int i = 0; i < stride * h; i++) b.push_back((uint8_t)(i * 7));
    return b;
}

// A baseline JPEG of w x h whose every pixel has the given component values (one to four), with
// an Adobe APP14 segment of that transform when adobeTransform >= 0. Quantiser 1, DC only.
inline ImageBytes flatJpeg(int w, int h, const std::vector<int>& values, int adobeTransform = -1) {
    const int n = (int)values.size();
    ImageBytes b = {0xFF, 0xD8};
    if (adobeTransform >= 0) {
        b.insert(b.end(), {0xFF, 0xEE, 0, 14, 'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, (uint8_t)adobeTransform});
    }
    b.insert(b.end(), {0xFF, 0xDB, 0, 67, 0});
    b.insert(b.end(), 64, 1);
    b.insert(b.end(), {0xFF, 0xC0});
    putBe(b, (uint32_t)(8 + 3 * n), 2);
    b.push_back(8);
    putBe(b, (uint32_t)h, 2);
    putBe(b, (uint32_t)w, 2);
    b.push_back((uint8_t)n);
    for (int c = 0; c < n; c++) b.insert(b.end(), {(uint8_t)(c + 1), 0x11, 0});
    // DC: twelve codes of four bits for categories 0..11; AC: one code "0" for end of block.
    b.insert(b.end(), {0xFF, 0xC4, 0, 31, 0x00, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    for (int i = 0; i < 12; i++) b.push_back((uint8_t)i);
    b.insert(b.end(), {0xFF, 0xC4, 0, 20, 0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    b.insert(b.end(), {0xFF, 0xDA});
    putBe(b, (uint32_t)(6 + 2 * n), 2);
    b.push_back((uint8_t)n);
    for (int c = 0; c < n; c++) b.insert(b.end(), {(uint8_t)(c + 1), 0});
    b.insert(b.end(), {0, 63, 0});
    std::vector<int> bits, predictor(n, 0);
    for (int block = 0; block < (w + 7) / 8 * ((h + 7) / 8); block++)
        for (int c = 0; c < n; c++) {
            int dc = 8 * (values[c] - 128), d = dc - predictor[c], category = 0;
            predictor[c] = dc;
            while ((d < 0 ? -d : d) >> category) category++;
            for (int k = 3; k >= 0; k--) bits.push_back((category >> k) & 1);
            int v = d > 0 ? d : d + (1 << category) - 1;
            for (int k = category - 1; k >= 0; k--) bits.push_back((v >> k) & 1);
            bits.push_back(0);
        }
    while (bits.size() % 8) bits.push_back(1);
    for (size_t i = 0; i < bits.size(); i += 8) {
        int byte = 0;
        for (int k = 0; k < 8; k++) byte = byte << 1 | bits[i + (size_t)k];
        b.push_back((uint8_t)byte);
        if (byte == 0xFF) b.push_back(0);
    }
    b.insert(b.end(), {0xFF, 0xD9});
    return b;
}
