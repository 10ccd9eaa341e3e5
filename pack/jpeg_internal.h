// What the JPEG decoder's own sources share; nothing outside pack/jpeg_*.cpp includes it (the API
// is pack/jpeg_decoder.h).
//   jpeg_decoder.cpp    entry points, header parsing, the module state
//   jpeg_entropy.cpp    Huffman tables, bit readers, block decoding, the scan loops
//   jpeg_transform.cpp  dequantisation, inverse transform, sample placement, colour conversion
// Each source includes this header after all its other headers (see the rounding note below).
#pragma once
#include <cstdint>

#include "pack/jpeg_decoder.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define JPEG_SSE2 1
#else
#define JPEG_SSE2 0
#endif
// AVX2 versions of the transform and the colour conversion, chosen at run time.
#if JPEG_SSE2 && (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define JPEG_AVX2 1
#define JPEG_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define JPEG_AVX2 0
#endif

// The transform and the colour conversion must round exactly like the plain scalar code, so
// no multiply-add may be fused, whatever the target flags. The setting covers every function
// defined after this point, which is why the header comes last in each source.
#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

static const char* const kModule = "vorpack_1_11";

namespace jpegdec {

enum { MAX_COMPONENTS = 4, TABLE_COUNT = 16, MAX_PIXELS = 1 << 28 };
// Bits of lookahead of the Huffman tables.
enum { FAST_BITS = 10, FAST_SIZE = 1 << FAST_BITS };

// Reader states of the fast bit reader: it stops prefetching at a restart marker (whose effect,
// clearing the DC predictors, must happen exactly when the reader reaches it) and at the end of
// the data.
enum { READER_OPEN = 0, READER_AT_RESTART = 1, READER_EXHAUSTED = 2 };

struct HuffmanTable {
    uint8_t counts[17];  // counts[l]: number of codes of length l, 1..16
    int32_t symbolCount;
    uint8_t symbols[256];
    uint8_t codeLength[256];  // per symbol, in canonical order
    int32_t code[256];        // canonical value; values that do not fit their length never match
    int32_t minCode[17];      // first code of each length
    int32_t maxCode[17];      // last code of each length (a length without codes has counts 0)
    int32_t firstIndex[17];   // index into symbols of the first code of each length
    uint16_t fast[FAST_SIZE];  // lookahead: (length << 8) | symbol; 0 = longer code or none
    // Lookahead of an AC code and its value bits together: (value << 8) | (run << 4) | (code
    // length + value length); 0 when they do not both fit in FAST_BITS.
    int32_t fastAc[FAST_SIZE];
};

struct Component {
    int32_t id, h, v, quant, dcTable, acTable;
};

// The module state (jpeg_decoder.cpp): the decoder variant, then the state of one decode, which
// is cleared at the start of every decode.
struct JpegDecoderState {
    int32_t variant;  // JPEG_DECODER_*; zero, JPEG_DECODER_FAST, until jpeg_select_decoder
    const uint8_t* data;
    int32_t size;
    int32_t pos;
    int32_t width, height, componentCount;
    Component components[MAX_COMPONENTS];
    uint16_t quant[TABLE_COUNT][64];  // zig-zag order, as stored in the file
    HuffmanTable dc[TABLE_COUNT];
    HuffmanTable ac[TABLE_COUNT];
    int32_t restartInterval;
    int32_t adobeTransform;  // colour transform of an Adobe APP14 segment; -1 without one
    // Bit reader of the reference decoder: the current byte and the bits already taken (0..7).
    int32_t currentByte;
    int32_t bitsTaken;
    // Bit reader of the fast decoder: up to 64 prefetched bits, most significant first.
    uint64_t bitBuffer;
    int32_t bitCount;
    int32_t readerState;
    int32_t markerPos;  // position of the restart marker byte while READER_AT_RESTART
    int32_t predictors[MAX_COMPONENTS];
    int32_t coefficients[64];
    float block[64];
    // The whole image, or with a sink (jpeg_decode_rows) one band: the rows of one MCU row.
    uint8_t* output;
    JpegRowSink sink;
    void* sinkUser;
    int32_t sinkStopped;  // the sink answered -1
};

extern JpegDecoderState state;

// Natural position (row * 8 + column) -> zig-zag index.
inline constexpr uint8_t kZigZag[64] = {0,  1,  5,  6,  14, 15, 27, 28, 2,  4,  7,  13, 16, 26, 29, 42,
                                        3,  8,  12, 17, 25, 30, 41, 43, 9,  11, 18, 24, 31, 40, 44, 53,
                                        10, 19, 23, 32, 39, 45, 52, 54, 20, 22, 33, 38, 46, 51, 55, 60,
                                        21, 34, 37, 47, 50, 56, 59, 61, 35, 36, 48, 49, 57, 58, 62, 63};
// Zig-zag index -> natural position: the inverse of kZigZag.
struct NaturalOrder {
    uint8_t at[64];
};
constexpr NaturalOrder makeNaturalOrder() {
    NaturalOrder n{};
    for (int i = 0; i < 64; i++) n.at[kZigZag[i]] = (uint8_t)i;
    return n;
}
inline constexpr NaturalOrder kNatural = makeNaturalOrder();

// Beyond this magnitude a transform output always limits to 0 or 255; clamping first keeps the
// truncation to int defined.
inline constexpr float kSampleLimit = 1048576.0f;

inline uint8_t sampleFromValue(float v) {
    if (v > kSampleLimit) v = kSampleLimit;
    if (v < -kSampleLimit) v = -kSampleLimit;
    int t = ((int)v >> 3) + 128;
    return (uint8_t)(t < 0 ? 0 : (t > 255 ? 255 : t));
}

// ------------------------------------------------------------------------------------------------
// Fast decoder: the scan loop (jpeg_entropy.cpp) decodes the blocks of one MCU row into planar
// samples; the output stage (jpeg_transform.cpp) owns those samples and turns them into pixels.

// Per component: the block rows of one MCU row, dequantisation factors in natural order, and
// how output columns and rows map onto samples.
struct Plane {
    uint8_t* strip;     // 8 * v rows of stride bytes
    int32_t stride;
    float quant[64];    // natural order
    int32_t fx, fy;
    int32_t columnKind;  // 0: sample column = pixel column, 1: pixel column / 2, 2: columnMap
    int32_t* columnMap;  // sample column of every pixel column, -1 when none covers it
};

// The routines of the running machine.
struct Kernels {
    void (*transform)(const int32_t*, const float*, uint8_t*, int);
    void (*ycc)(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, int);
    void (*grey)(const uint8_t*, uint8_t*, int);
    void (*raw)(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, int);
};

// Everything the output stage needs for one image; all buffers are carved from one work block.
struct FastOutput {
    Plane planes[3];
    int32_t channels;  // components that reach a channel
    int32_t mcusPerRow;
    Kernels kernels;
    uint8_t* work;
    uint8_t* scratch[2];
    uint8_t* flatZero;
    uint8_t* flatNeutral;
};

// jpeg_entropy.cpp
void buildHuffmanTable(HuffmanTable& t);
void referenceScan();
// Decodes the scan into state.output, or band by band into state.sink when one is set.
void fastScan();

// jpeg_transform.cpp
// Reference decoder: start from the initial samples, place one decoded block (state.coefficients)
// of component c at block (bx, by) of the MCU whose top left pixel is (x, y), convert at the end.
void referenceStartImage();
void referencePlaceBlock(int c, int x, int y, int bx, int by);
void referenceConvertImage();
// Fast decoder: allocate and lay out the planes, emit output rows y .. y + rows - 1 from the
// current MCU row (into the band from its top when there is a sink), fill what a scan that ended at block (by, bx) of component c in MCU column
// mx left undecoded, free the work block.
void openFastOutput(FastOutput& o);
void emitMcuRow(const FastOutput& o, int y, int rows);
void stopUnfinished(FastOutput& o, int mx, int c, int by, int bx);
void closeFastOutput(FastOutput& o);

}  // namespace jpegdec
