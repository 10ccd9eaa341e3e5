// What an image file claims to be, read from its bytes before any decoder sees them. Image files
// named by a document are untrusted: only the formats the converter reads are accepted, their
// headers are checked field by field, and the picture must fit the size cap. Pure functions on
// memory; nothing here allocates or reads outside data[0, size).
//
// Formats:
// - PNG: signature, IHDR with its CRC, then every chunk within the file up to IEND, with at least
//   one IDAT.
// - JPEG: SOI, every segment up to the start of scan with exactly one frame header (any coding
//   process) before it, and every marker segment after it within the file.
// - BMP: "BM" with a core, info or v2-v5 header; 1/4/8/16/24/32 bits per pixel, uncompressed,
//   RLE8, RLE4 or bit fields; a colour count within what the depth allows; palette and masks
//   before the pixels, and the pixel rows of an uncompressed file present.
// - TGA: no magic, so every field of the 18-byte header must be consistent: colour-mapped,
//   true-colour or grey, raw or RLE, with its palette and, for raw files, all its pixels present;
//   RLE files must be long enough for their pixel count.
// - GIF: signature, logical screen, then every block up to the trailer within the file; frames
//   within the screen; at least one frame.
// - TIFF: either byte order, every directory (page) within the file with its width and height, and
//   everything it points at (field values, strips or tiles) within the file; at most 64 pages.
// The frames of a GIF or the pages of a TIFF together hold no more pixels than one picture of the
// largest size. Everything else is refused.
#pragma once
#include <cstdint>

enum : int32_t { IMAGE_UNKNOWN = 0, IMAGE_PNG = 1, IMAGE_JPEG = 2, IMAGE_BMP = 3, IMAGE_TGA = 4, IMAGE_GIF = 5,
                 IMAGE_TIFF = 6 };

// The size cap: each side at most this many pixels. It bounds what decoding may allocate (an RGBA
// picture of 256 MiB); the texture manager scales what it uploads down to its own limit, which
// start-up keeps within the GL maximum texture size.
enum : int32_t { IMAGE_MAX_EDGE = 8192 };
// The largest image file read: an uncompressed 8192 x 8192 picture with alpha and its headers.
constexpr int64_t IMAGE_MAX_FILE_BYTES = (int64_t)320 << 20;

// What a probe found.
struct ImageProbe {
    int32_t format;  // IMAGE_*
    int32_t width;   // as the header gives them (0 when unknown)
    int32_t height;
};

enum : int32_t { PROBE_OK = 0, PROBE_NOT_IMAGE = -1, PROBE_TOO_LARGE = -2 };

// PROBE_OK with the format and size; PROBE_TOO_LARGE when the header is sound but a side is above
// IMAGE_MAX_EDGE (format and size filled in); PROBE_NOT_IMAGE otherwise (out cleared).
int32_t imageProbe(const uint8_t* data, int64_t size, ImageProbe* out);
// "PNG", "JPEG", "BMP", "TGA", "GIF", "TIFF" or "unknown".
const char* imageFormatName(int32_t format);
