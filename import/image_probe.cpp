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
// Pixels that all frames or pages of one file may hold together: as many as one picture of the
// largest size, since the image library keeps every frame.
constexpr int64_t kMaxTotalPixels = (int64_t)IMAGE_MAX_EDGE * IMAGE_MAX_EDGE;

// A chain of GIF data sub-blocks (a length byte, that many bytes, ..., a zero length) lying wholly
// in the file; the position after it, or -1.
int64_t skipSubBlocks(const Bytes& b, int64_t pos) {
    for (;;) {
        if (!b.has(pos, 1)) return -1;
        uint32_t length = b.u8(pos++);
        if (length == 0) return pos;
        if (!b.has(pos, length)) return -1;
        pos += length;
    }
}

// Every block up to the trailer (or the end of the file, between blocks) lies in the file, every
// frame within the logical screen; at least one frame; all frames together within the pixel budget.
int32_t probeGif(const Bytes& b, ImageProbe* out) {
    if (!b.has(0, 13) || (std::memcmp(b.data, "GIF87a", 6) != 0 && std::memcmp(b.data, "GIF89a", 6) != 0))
        return PROBE_NOT_IMAGE;
    uint32_t width = b.le16(6), height = b.le16(8), flags = b.u8(10);
    if (width == 0 || height == 0) return PROBE_NOT_IMAGE;
    int64_t pos = 13 + ((flags & 0x80) ? 3 * ((int64_t)2 << (flags & 7)) : 0);
    int64_t frames = 0;
    while (b.has(pos, 1) && b.u8(pos) != 0x3B) {
        uint32_t block = b.u8(pos);
        if (block == 0x21) {  // extension: label, then data sub-blocks
            if (!b.has(pos, 2)) return PROBE_NOT_IMAGE;
            pos = skipSubBlocks(b, pos + 2);
        } else if (block == 0x2C) {  // image: descriptor, local colour table, code size, data
            if (!b.has(pos, 11)) return PROBE_NOT_IMAGE;
            uint32_t left = b.le16(pos + 1), top = b.le16(pos + 3), w = b.le16(pos + 5), h = b.le16(pos + 7);
            uint32_t local = b.u8(pos + 9);
            if (w == 0 || h == 0 || left + w > width || top + h > height) return PROBE_NOT_IMAGE;
            pos += 10 + ((local & 0x80) ? 3 * ((int64_t)2 << (local & 7)) : 0);
            if (!b.has(pos, 1) || b.u8(pos) < 2 || b.u8(pos) > 8) return PROBE_NOT_IMAGE;
            pos = skipSubBlocks(b, pos + 1);
            frames++;
        } else {
            return PROBE_NOT_IMAGE;
        }
        if (pos < 0) return PROBE_NOT_IMAGE;
    }
    int32_t verdict = sized(out, IMAGE_GIF, width, height);
    if (verdict != PROBE_OK) return verdict;
    return frames > 0 && frames * width * height <= kMaxTotalPixels ? PROBE_OK : PROBE_NOT_IMAGE;
}

// Bytes of one value of a TIFF field type; 0 for a type no reader knows.
int64_t tiffTypeBytes(uint32_t type) {
    static const int64_t kBytes[19] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 0, 0, 8, 8, 8};
    return type < 19 ? kBytes[type] : 0;
}

// A TIFF's byte order and its directories (pages), at most 64 of them (a chain that loops ends
// there). Everything a directory points at lies in the file: the values of every field that do not
// fit in the entry, and every strip or tile (offset and byte count, both given, as many of each).
// The image library's memory reader goes astray when the TIFF reader seeks past the end. Each page
// has a width and a height given once; the first page is the picture, and all pages together stay
// within the pixel budget.
int32_t probeTiff(const Bytes& b, ImageProbe* out) {
    if (!b.has(0, 8)) return PROBE_NOT_IMAGE;
    bool little = b.u8(0) == 'I' && b.u8(1) == 'I', big = b.u8(0) == 'M' && b.u8(1) == 'M';
    auto u16 = [&](int64_t o) { return little ? b.le16(o) : b.be16(o); };
    auto u32 = [&](int64_t o) { return little ? b.le32(o) : b.be32(o); };
    if ((!little && !big) || u16(2) != 42) return PROBE_NOT_IMAGE;
    int64_t directory = u32(4), total = 0;
    if (directory == 0) return PROBE_NOT_IMAGE;  // no page at all
    uint32_t firstWidth = 0, firstHeight = 0;
    for (int32_t page = 0; directory != 0; page++) {
        if (page == 64 || !b.has(directory, 2)) return PROBE_NOT_IMAGE;
        int64_t entries = u16(directory);
        if (entries == 0 || !b.has(directory + 2, 12 * entries + 4)) return PROBE_NOT_IMAGE;
        uint32_t size[2] = {0, 0};
        // Where the strip (or tile) offsets and byte counts are: the entry, or -1 when absent.
        int64_t parts[2] = {-1, -1};
        for (int64_t e = 0; e < entries; e++) {
            int64_t at = directory + 2 + 12 * e;
            uint32_t tag = u16(at), type = u16(at + 2), count = u32(at + 4);
            int64_t bytes = tiffTypeBytes(type) * count;
            if (bytes == 0 || (bytes > 4 && !b.has(u32(at + 8), bytes))) return PROBE_NOT_IMAGE;
            if (tag == 256 || tag == 257) {
                if (count != 1 || size[tag - 256] != 0 || (type != 3 && type != 4)) return PROBE_NOT_IMAGE;
                size[tag - 256] = type == 3 ? u16(at + 8) : u32(at + 8);
            } else if (tag == 273 || tag == 279 || tag == 324 || tag == 325) {
                int32_t which = (tag == 273 || tag == 324) ? 0 : 1;
                if ((type != 3 && type != 4) || parts[which] >= 0) return PROBE_NOT_IMAGE;
                parts[which] = at;
            }
        }
        if (size[0] == 0 || size[1] == 0 || parts[0] < 0 || parts[1] < 0) return PROBE_NOT_IMAGE;
        uint32_t count = u32(parts[0] + 4);
        if (count == 0 || count != u32(parts[1] + 4)) return PROBE_NOT_IMAGE;
        // The i-th value of an offset or byte-count field, wherever its values are.
        auto value = [&](int64_t entry, int64_t i) -> int64_t {
            bool shorts = u16(entry + 2) == 3;
            int64_t values = (shorts ? 2 : 4) * (int64_t)u32(entry + 4) <= 4 ? entry + 8 : u32(entry + 8);
            return shorts ? u16(values + 2 * i) : u32(values + 4 * i);
        };
        for (int64_t i = 0; i < count; i++)
            if (!b.has(value(parts[0], i), value(parts[1], i))) return PROBE_NOT_IMAGE;
        if (page == 0) {
            firstWidth = size[0];
            firstHeight = size[1];
        }
        // A page beyond the size cap exceeds the total on its own; clamped, the sum cannot overflow.
        auto clamp = [](uint32_t v) { return (int64_t)(v > IMAGE_MAX_EDGE ? IMAGE_MAX_EDGE + 1 : v); };
        total += clamp(size[0]) * clamp(size[1]);
        directory = u32(directory + 2 + 12 * entries);
    }
    int32_t verdict = sized(out, IMAGE_TIFF, firstWidth, firstHeight);
    if (verdict != PROBE_OK) return verdict;
    return total <= kMaxTotalPixels ? PROBE_OK : PROBE_NOT_IMAGE;
}
}  // namespace

int32_t imageProbe(const uint8_t* data, int64_t size, ImageProbe* out) {
    *out = ImageProbe{IMAGE_UNKNOWN, 0, 0};
    if (!data || size <= 0) return PROBE_NOT_IMAGE;
    Bytes b{data, size};
    int32_t verdict;
    // The second byte of each signature ('P', 0xD8, 'M', 'I') is never a valid TGA colour-map type,
    // so the choice is unambiguous.
    uint32_t first = b.has(0, 2) ? b.u8(0) : 0, second = b.has(0, 2) ? b.u8(1) : 0;
    if (first == 0x89 && second == 'P') verdict = probePng(b, out);
    else if (first == 0xFF && second == 0xD8) verdict = probeJpeg(b, out);
    else if (first == 'B' && second == 'M') verdict = probeBmp(b, out);
    else if (first == 'G' && second == 'I') verdict = probeGif(b, out);
    else if ((first == 'I' && second == 'I') || (first == 'M' && second == 'M')) verdict = probeTiff(b, out);
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
        case IMAGE_GIF: return "GIF";
        case IMAGE_TIFF: return "TIFF";
        default: return "unknown";
    }
}
