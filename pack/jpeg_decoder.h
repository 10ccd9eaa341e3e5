// Baseline JPEG decoder of the vorpack_1_11 module: sequential DCT, Huffman coding, 8-bit samples,
// one to three components, decoded whole from memory into tightly packed 8-bit RGB (rows top to
// bottom, pixels left to right, bytes R, G, B).
//
// The decoder keeps one module-wide state and is not re-entrant: call it from one thread at a time.
//
// Arithmetic. Coefficients are dequantised as (Q * coefficient) * s[column] * s[row] in single
// precision, with the scale factors of the Arai-Agui-Nakajima transform folded in; the float
// inverse transform runs on columns first, then rows, and each result v becomes the sample
// (trunc(v) >> 3) + 128, limited to 0..255. With three components, component 0 is taken as Y and
// sets the MCU size; components 1 and 2 are Cb and Cr, spread over H0/Hc x V0/Vc pixels (integer
// division), and converted with R = Y + 1.402 (Cr-128), G = Y - 0.34414 (Cb-128) - 0.71414 (Cr-128),
// B = Y + 1.772 (Cb-128), in single precision, limited to 0..255 and truncated. One component gives
// grey (R = G = B). Two components are stored as decoded: components 0 and 1 go to R and G
// unscaled and unconverted, B stays 0. Four components (CMYK, YCCK) are refused, and so are three
// that an Adobe APP14 segment marks as not YCbCr: the importer converts those instead.
// The table-driven Huffman path and the vectorised transform give exactly the bytes of the plain
// bit-by-bit decoder, which stays available as a reference (jpeg_select_decoder).
//
// Memory: the output is the only block that outlives the call; one work buffer of an MCU row of
// samples is allocated and freed during the decode (both through the tracked allocator). The
// output is written once, row by row, and asks for huge pages where the system offers them, so
// that its first touch is cheap. jpeg_decode_rows needs no output block at all.
//
// What the decoder does with input it cannot fully read:
// - Headers (everything up to the start of scan) are strict; any of these gives ok = 0, no pixels,
//   width and height untouched:
//   - the data is null or empty, or the headers run past the end of the data;
//   - a marker position (the first byte included) holds anything but 0xFF (0xFF fill bytes are
//     not skipped: 0xFF 0xFF reads as a segment with marker 0xFF, which is skipped by length);
//   - no start of scan before the end of the data, or a scan before any frame header;
//   - a frame header other than baseline (0xC1-0xC3, 0xC5-0xCB, 0xCD-0xCF: extended, progressive,
//     lossless, hierarchical, arithmetic), or an end of image (0xD9), before the scan;
//   - a frame header whose length is not 8 + 3 x components;
//   - a component count of 0 or above 4; a sampling factor of 0 or above 4;
//   - four components at the start of scan, or three with an Adobe APP14 segment (marker 0xEE,
//     payload "Adobe" and at least 12 bytes) whose transform byte is not 1 (YCbCr); the last such
//     segment before the scan counts, and with one component the transform does not matter;
//   - a width or height of 0, or width x height above 2^28 pixels;
//   - a component naming a quantisation table above 15;
//   - a segment length below 2;
//   - a Huffman table whose counts add up to more than 256 symbols.
// - Accepted on purpose (ok = 1):
//   - application segments, comments and the markers 0xCC, 0xD0-0xD7, 0xDC are skipped by length;
//   - Huffman and quantisation segments are read table by table while their length has bytes
//     left; a table that runs past the length is still read whole and parsing goes on after it.
//     The restart interval is read as two bytes and the scan header by its component count,
//     whatever their lengths say. The precision byte of the frame is not looked at;
//   - a restart-interval segment may appear anywhere before the scan (0 means none); a second
//     frame header replaces the first;
//   - quantisation tables of 16-bit precision (any non-zero precision nibble);
//   - a Huffman table that overflows the code space: the codes that do not fit in their length
//     can never be matched; the rest decode normally;
//   - a quantisation or Huffman table that is used but never defined is all zero / empty: a zero
//     quantisation table yields flat grey blocks (128); an empty Huffman table matches nothing
//     and ends the scan at its first use (see below);
//   - a scan component id that matches no frame component is ignored; frame components not named
//     by the scan use Huffman tables 0; an id shared by several frame components sets all of them;
//   - the scan always covers every frame component, interleaved in frame order.
// - Entropy-coded data (ok = 1 in every case): the scan ends early, leaving a defined partial
//   image, when the reader needs a byte beyond the end of the data, when 16 bits match no code
//   of the Huffman table, or when a DC category above 16 appears. Every block decoded completely
//   before that point is placed; every other pixel is black (0, 0, 0), and so is any pixel that
//   an unusual sampling layout never covers (its chroma counts as neutral 128).
// - A run of zero coefficients that passes coefficient 63 ends the block; the value bits that
//   follow the run are still read and the value is dropped.
// - The DC predictor is a 32-bit integer that wraps around; quantiser x coefficient is formed
//   exactly and rounded once to single precision; transform results beyond +-2^20 count as
//   +-2^20 (they limit to 255 or 0 either way).
// - Bytes 0xFF followed by any marker other than a restart marker inside the entropy-coded data
//   are skipped with the marker; the byte after the marker is taken as data. A restart marker
//   (0xD0-0xD7) clears the DC predictors when the reader reaches it.
// - With a restart interval of R MCUs the reader drops the rest of its current byte before every
//   R-th MCU (R = one MCU row: at the start of each row), so intervals of any length decode.
#pragma once
#include <cstdint>

// Decodes size bytes at data. On success ok = 1; unless headerOnly is non-zero, *pixels receives
// width x height x 3 bytes allocated with memAlloc (the caller frees them with memFree) and width
// and height are written. With headerOnly set only ok is written (pixels null, width and height
// untouched). On rejected headers ok = 0 and pixels is null. Never reads outside data[0, size).
void jpeg_decode_memory(uint8_t** pixels, const uint8_t* data, int32_t size, int32_t* width,
                        int32_t* height, int32_t headerOnly, int32_t* ok);

// Receives rows first .. first + count - 1 of the image: count rows of width x 3 bytes, laid out
// as in jpeg_decode_memory. The rows are valid only during the call. 0 goes on, -1 stops.
typedef int32_t (*JpegRowSink)(void* user, const uint8_t* rows, int32_t width, int32_t first,
                               int32_t count);

// Decodes like jpeg_decode_memory, with the same bytes and the same results for damaged data,
// but hands the image to sink in bands of rows, top to bottom, each row exactly once, instead of
// allocating it whole: the fast decoders hold one band (the rows of one MCU row), the reference
// decoder decodes the whole image first. 0 when every row was handed over; -1 when the headers
// are not acceptable (sink never called) or sink stopped the decode.
int32_t jpeg_decode_rows(const uint8_t* data, int32_t size, JpegRowSink sink, void* user);

// Reads dir + name whole and decodes it as above. When the file cannot be read every output is
// left untouched (ok included): callers set ok = 0 first. readOptions is passed by callers of the
// texture layer and has no effect on reading.
void jpeg_decode_file(uint8_t** pixels, const char* name, const char* dir, int32_t readOptions,
                      int32_t* width, int32_t* height, int32_t headerOnly, int32_t* ok);

// Width and height that the frame header declares, when the headers are acceptable (the same
// checks as jpeg_decode_memory): 0, else -1 with the outputs untouched. Decodes nothing.
int32_t jpeg_image_size(const uint8_t* data, int32_t size, int32_t* width, int32_t* height);

// Which decoder runs: JPEG_DECODER_FAST (the default: table-driven Huffman decoding and the best
// vector routines the processor offers), JPEG_DECODER_PORTABLE (the same without the run-time
// choice of AVX2 routines), or JPEG_DECODER_REFERENCE (bit-by-bit Huffman decoding, scalar
// transform, pixel-by-pixel placement and conversion). All give the same bytes; tests, the
// fuzz target and the benchmark compare them.
enum { JPEG_DECODER_FAST = 0, JPEG_DECODER_REFERENCE = 1, JPEG_DECODER_PORTABLE = 2 };
void jpeg_select_decoder(int32_t variant);

// Binary PPM (P6) of an RGB image: the header and the pixels in one memAlloc'd buffer (freed with
// memFree). Returns null for a null image or non-positive dimensions.
uint8_t* rgb_to_ppm(const uint8_t* rgb, int32_t width, int32_t height, int32_t* ppmSize);
// Writes the PPM to dir + name. 0 on success, -1 on failure.
int32_t rgb_write_ppm(const char* name, const char* dir, const uint8_t* rgb, int32_t width,
                      int32_t height);
