#include "import/image_probe.h"

#include <cstring>

namespace {
// A bounded view of the file: every read checks the size first.
struct Bytes {
    const uint8_t* data;
    int64_t size;
    bool has(int64_t offset, int64_t count) const { return offset >= 0 && count >= 0 && offset <= size - count; }
    uint32_t u8(int64_t o) const { return data[o]; }
    uint32_t be16(int64_t o) const { return (uint32_t)data[o] << 8 | data[o + 1]; }
    uint32_t be32(int64_t o) const { return be16(o) << 16 | be16(o + 2); }
    uint32_t le16(int64_t o) const { return (uint32_t)data[o + 1] << 8 | data[o]; }
    uint32_t le32(int64_t o) const { return le16(o + 2) << 16 | le16(o); }
};

// The verdict for a header that is sound in every field but its size.
int32_t sized(ImageProbe* out, int32_t format, int64_t width, int64_t height) {
    out->format = format;
    out->width = width > INT32_MAX ? INT32_MAX : (int32_t)width;
    out->height = height > INT32_MAX ? INT32_MAX : (int32_t)height;
    return (width > IMAGE_MAX_EDGE || height > IMAGE_MAX_EDGE) ? PROBE_TOO_LARGE : PROBE_OK;
}

uint32_t crc32(const uint8_t* p, int64_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (int64_t i = 0; i < n; i++) {
        c ^= p[i];
        for (int k = 0; k < 8; k++) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return c ^ 0xFFFFFFFFu;
}

int32_t probePng(const Bytes& b, ImageProbe* out) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!b.has(0, 33) || std::memcmp(b.data, kSignature, 8) != 0) return PROBE_NOT_IMAGE;
    if (b.be32(8) != 13 || std::memcmp(b.data + 12, "IHDR", 4) != 0) return PROBE_NOT_IMAGE;
    if (crc32(b.data + 12, 17) != b.be32(29)) return PROBE_NOT_IMAGE;
    uint32_t width = b.be32(16), height = b.be32(20);
    uint32_t depth = b.u8(24), colour = b.u8(25);
    bool depthOk = false;
    switch (colour) {
        case 0: depthOk = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16; break;
        case 3: depthOk = depth == 1 || depth == 2 || depth == 4 || depth == 8; break;
        case 2:
        case 4:
        case 6: depthOk = depth == 8 || depth == 16; break;
        default: break;
    }
    if (!depthOk || b.u8(26) != 0 || b.u8(27) != 0 || b.u8(28) > 1) return PROBE_NOT_IMAGE;
    if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu) return PROBE_NOT_IMAGE;
    // Every chunk up to IEND lies within the file and at least one IDAT comes before it: a length
    // running past the end keeps some readers spinning at the end of their input.
    bool data = false;
    for (int64_t pos = 33;;) {
        if (!b.has(pos, 12)) return PROBE_NOT_IMAGE;
        uint32_t length = b.be32(pos);
        if (length > 0x7FFFFFFFu || !b.has(pos + 12, length)) return PROBE_NOT_IMAGE;
        const uint8_t* type = b.data + pos + 4;
        if (std::memcmp(type, "IHDR", 4) == 0) return PROBE_NOT_IMAGE;
        if (std::memcmp(type, "IDAT", 4) == 0) data = true;
        if (std::memcmp(type, "IEND", 4) == 0) {
            if (!data) return PROBE_NOT_IMAGE;
            break;
        }
        pos += 12 + (int64_t)length;
    }
    return sized(out, IMAGE_PNG, width, height);
}

// Segments up to the first start of scan, exactly one frame header (any coding process) before it;
// after it, every marker segment between and after the scans (more scans, tables, comments) must
// lie within the file: a length running past the end keeps some readers spinning. A file that
// ends inside the coded data is accepted (the decoders show what is there).
int32_t probeJpeg(const Bytes& b, ImageProbe* out) {
    if (!b.has(0, 2) || b.u8(0) != 0xFF || b.u8(1) != 0xD8) return PROBE_NOT_IMAGE;
    int64_t pos = 2;
    int32_t frames = 0;
    uint32_t width = 0, height = 0;
    bool scanned = false;
    for (;;) {
        if (scanned) {
            // Coded data: skip to the next marker, if any.
            const void* next = pos < b.size ? std::memchr(b.data + pos, 0xFF, (size_t)(b.size - pos)) : nullptr;
            if (!next) break;
            pos = (const uint8_t*)next - b.data;
        }
        if (!b.has(pos, 2) || b.u8(pos) != 0xFF) {
            if (scanned) break;
            return PROBE_NOT_IMAGE;
        }
        while (b.has(pos, 2) && b.u8(pos + 1) == 0xFF) pos++;  // fill bytes
        if (!b.has(pos, 2)) {
            if (scanned) break;
            return PROBE_NOT_IMAGE;
        }
        uint32_t marker = b.u8(pos + 1);
        pos += 2;
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
        if (marker == 0x00) {
            if (scanned) continue;  // a stuffed 0xFF in the coded data
            return PROBE_NOT_IMAGE;
        }
        if (marker == 0xD9) {
            if (scanned) break;
            return PROBE_NOT_IMAGE;
        }
        if (!b.has(pos, 2)) return PROBE_NOT_IMAGE;
        uint32_t length = b.be16(pos);
        if (length < 2 || !b.has(pos, length)) return PROBE_NOT_IMAGE;
        bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (scanned || length < 8) return PROBE_NOT_IMAGE;
            uint32_t components = b.u8(pos + 7);
            if (components < 1 || components > 4 || length != 8 + 3 * components) return PROBE_NOT_IMAGE;
            height = b.be16(pos + 3);
            width = b.be16(pos + 5);
            if (width == 0 || height == 0) return PROBE_NOT_IMAGE;  // a height given later (DNL) is not read
            frames++;
        } else if (marker == 0xDA) {
            if (frames != 1) return PROBE_NOT_IMAGE;
            scanned = true;
        }
        pos += length;
    }
    return sized(out, IMAGE_JPEG, width, height);
}

int32_t probeBmp(const Bytes& b, ImageProbe* out) {
    if (!b.has(0, 26) || b.u8(0) != 'B' || b.u8(1) != 'M') return PROBE_NOT_IMAGE;
    uint32_t dataOffset = b.le32(10), headerSize = b.le32(14);
    int64_t width = 0, height = 0;
    uint32_t planes = 0, bits = 0, compression = 0;
    bool topDown = false;
    if (headerSize == 12) {
        width = b.le16(18);
        height = b.le16(20);
        planes = b.le16(22);
        bits = b.le16(24);
        if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return PROBE_NOT_IMAGE;
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124) {
        if (!b.has(0, 14 + (int64_t)headerSize)) return PROBE_NOT_IMAGE;
        width = (int32_t)b.le32(18);
        int32_t h = (int32_t)b.le32(22);
        if (h == INT32_MIN) return PROBE_NOT_IMAGE;
        topDown = h < 0;
        height = h < 0 ? -(int64_t)h : h;
        planes = b.le16(26);
        bits = b.le16(28);
        compression = b.le32(30);
        bool fits = false;
        switch (compression) {
            case 0: fits = bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32; break;
            case 1: fits = bits == 8 && !topDown; break;   // RLE8
            case 2: fits = bits == 4 && !topDown; break;   // RLE4
            case 3: fits = bits == 16 || bits == 32; break;  // bit fields
            default: break;
        }
        if (!fits) return PROBE_NOT_IMAGE;
    } else {
        return PROBE_NOT_IMAGE;
    }
    if (planes != 1 || width <= 0 || height <= 0) return PROBE_NOT_IMAGE;
    // The palette (the colours the header counts, else all of them below 9 bits) and the masks of
    // bit fields lie between the header and the pixels; readers size the palette from the count.
    int64_t colours = bits <= 8 ? (int64_t)1 << bits : 0;
    int64_t entryBytes = headerSize == 12 ? 3 : 4, masks = (headerSize == 40 && compression == 3) ? 12 : 0;
    if (headerSize != 12) {
        uint32_t used = b.le32(46);
        if (used > (bits <= 8 ? (uint32_t)colours : 256u)) return PROBE_NOT_IMAGE;
        if (used != 0) colours = used;
    }
    if ((int64_t)dataOffset < 14 + (int64_t)headerSize + masks + colours * entryBytes || (int64_t)dataOffset >= b.size)
        return PROBE_NOT_IMAGE;
    int32_t verdict = sized(out, IMAGE_BMP, width, height);
    if (verdict != PROBE_OK) return verdict;
    if (compression == 0 || compression == 3) {
        int64_t stride = (width * bits + 31) / 32 * 4;
        if (!b.has(dataOffset, stride * height)) return PROBE_NOT_IMAGE;
    }
    return PROBE_OK;
}

// TGA has no magic: the header must be consistent in every field the converter relies on.
int32_t probeTga(const Bytes& b, ImageProbe* out) {
    if (!b.has(0, 18)) return PROBE_NOT_IMAGE;
    uint32_t idLength = b.u8(0), mapType = b.u8(1), type = b.u8(2);
    uint32_t mapFirst = b.le16(3), mapLength = b.le16(5), mapBits = b.u8(7);
    uint32_t width = b.le16(12), height = b.le16(14), bits = b.u8(16), descriptor = b.u8(17);
    bool mapped = type == 1 || type == 9, trueColour = type == 2 || type == 10, grey = type == 3 || type == 11;
    if (!mapped && !trueColour && !grey) return PROBE_NOT_IMAGE;
    if (mapType > 1 || (mapped && mapType != 1)) return PROBE_NOT_IMAGE;
    if (mapType == 1) {
        if (mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32) return PROBE_NOT_IMAGE;
        if (mapLength == 0 || mapFirst + mapLength > 256) return PROBE_NOT_IMAGE;
    } else if (mapLength != 0) {
        return PROBE_NOT_IMAGE;
    }
    if (mapped && bits != 8) return PROBE_NOT_IMAGE;
    if (trueColour && bits != 15 && bits != 16 && bits != 24 && bits != 32) return PROBE_NOT_IMAGE;
    if (grey && bits != 8 && bits != 16) return PROBE_NOT_IMAGE;
    if ((descriptor & 0xC0) != 0 || (descriptor & 0x0F) > 8) return PROBE_NOT_IMAGE;
    if (width == 0 || height == 0) return PROBE_NOT_IMAGE;
    int32_t verdict = sized(out, IMAGE_TGA, width, height);
    if (verdict != PROBE_OK) return verdict;
    int64_t pixelBytes = (bits + 7) / 8;
    int64_t dataStart = 18 + (int64_t)idLength + (mapType == 1 ? (int64_t)mapLength * ((mapBits + 7) / 8) : 0);
    int64_t pixels = (int64_t)width * height;
    // Raw pixels must all be there; a run-length packet covers at most 128 pixels.
    int64_t least = type < 9 ? pixels * pixelBytes : (pixels + 127) / 128 * (1 + pixelBytes);
    return b.has(dataStart, least) ? PROBE_OK : PROBE_NOT_IMAGE;
}
}  // namespace

int32_t imageProbe(const uint8_t* data, int64_t size, ImageProbe* out) {
    *out = ImageProbe{IMAGE_UNKNOWN, 0, 0};
    if (!data || size <= 0) return PROBE_NOT_IMAGE;
    Bytes b{data, size};
    int32_t verdict;
    // The second byte of each signature ('P', 0xD8, 'M') is never a valid TGA colour-map type, so
    // the choice is unambiguous.
    if (b.has(0, 2) && b.u8(0) == 0x89 && b.u8(1) == 'P') verdict = probePng(b, out);
    else if (b.has(0, 2) && b.u8(0) == 0xFF && b.u8(1) == 0xD8) verdict = probeJpeg(b, out);
    else if (b.has(0, 2) && b.u8(0) == 'B' && b.u8(1) == 'M') verdict = probeBmp(b, out);
    else verdict = probeTga(b, out);
    if (verdict == PROBE_NOT_IMAGE) *out = ImageProbe{IMAGE_UNKNOWN, 0, 0};
    return verdict;
}

const char* imageFormatName(int32_t format) {
    switch (format) {
        case IMAGE_PNG: return "PNG";
        case IMAGE_JPEG: return "JPEG";
        case IMAGE_BMP: return "BMP";
        case IMAGE_TGA: return "TGA";
        default: return "unknown";
    }
}
