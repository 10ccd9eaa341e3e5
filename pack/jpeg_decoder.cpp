#include "pack/jpeg_decoder.h"

#include <cstdio>
#include <cstring>

#include "system/files.h"
#include "system/memory.h"

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
// no multiply-add may be fused, whatever the target flags.
#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

static const char* const kModule = "vorpack_1_11";

namespace {

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

// The module-wide decoder state, cleared at the start of every decode.
struct JpegDecoderState {
    const uint8_t* data;
    int32_t size;
    int32_t pos;
    int32_t width, height, componentCount;
    Component components[MAX_COMPONENTS];
    uint16_t quant[TABLE_COUNT][64];  // zig-zag order, as stored in the file
    HuffmanTable dc[TABLE_COUNT];
    HuffmanTable ac[TABLE_COUNT];
    int32_t restartInterval;
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
    uint8_t* output;
};

JpegDecoderState state;
int32_t decoderVariant = JPEG_DECODER_FAST;

// Natural position (row * 8 + column) -> zig-zag index.
constexpr uint8_t kZigZag[64] = {0,  1,  5,  6,  14, 15, 27, 28, 2,  4,  7,  13, 16, 26, 29, 42,
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
constexpr NaturalOrder kNatural = makeNaturalOrder();

// Scale factors folded into dequantisation: s[0] = 1, s[k] = sqrt(2) cos(k pi / 16).
const float kScale[8] = {1.0f,        1.3870399f,   1.3065630f,   1.1758755f,
                         1.0f,        0.78569496f,  0.54119611f,  0.27589938f};

const float kC1414 = 1.414213562f;
const float kC1847 = 1.847759065f;
const float kC1082 = 1.0823922f;
const float kC2613 = 2.61312593f;

const float kCr2R = 1.402f;
const float kCb2G = 0.34414f;
const float kCr2G = 0.71414f;
const float kCb2B = 1.772f;

// Beyond this magnitude a transform output always limits to 0 or 255; clamping first keeps the
// truncation to int defined.
const float kSampleLimit = 1048576.0f;

// ------------------------------------------------------------------------------------------------
// Headers

int readByte() {
    JpegDecoderState& s = state;
    if (s.pos >= s.size) return -1;
    return s.data[s.pos++];
}

int readWord() {
    int hi = readByte();
    if (hi < 0) return -1;
    int lo = readByte();
    if (lo < 0) return -1;
    return (hi << 8) | lo;
}

inline int32_t extendValue(uint32_t v, int n) {
    if (n == 0) return 0;
    if (v & (1u << (n - 1))) return (int32_t)v;
    return (int32_t)v - (int32_t)((1u << n) - 1);
}

// Canonical codes (lengths 1 to 16 in order, counting up within a length, doubling from one
// length to the next) and the lookup tables derived from them.
void buildHuffmanTable(HuffmanTable& t) {
    int32_t code = 0;
    int32_t index = 0;
    for (int len = 1; len <= 16; len++) {
        t.firstIndex[len] = index;
        t.minCode[len] = code;
        for (int i = 0; i < t.counts[len]; i++) {
            t.codeLength[index] = (uint8_t)len;
            t.code[index] = code;
            index++;
            code++;
        }
        t.maxCode[len] = t.counts[len] ? code - 1 : -1;
        code <<= 1;
    }
    std::memset(t.fast, 0, sizeof(t.fast));
    for (int i = 0; i < t.symbolCount; i++) {
        int len = t.codeLength[i];
        if (len > FAST_BITS || t.code[i] >= (1 << len)) continue;
        int first = t.code[i] << (FAST_BITS - len);
        int n = 1 << (FAST_BITS - len);
        for (int j = 0; j < n; j++) t.fast[first + j] = (uint16_t)((len << 8) | t.symbols[i]);
    }
    for (int i = 0; i < FAST_SIZE; i++) {
        t.fastAc[i] = 0;
        if (!t.fast[i]) continue;
        int len = t.fast[i] >> 8, rs = t.fast[i] & 0xFF;
        int size = rs & 15;
        if (size == 0 || len + size > FAST_BITS) continue;
        uint32_t bits = ((uint32_t)i >> (FAST_BITS - len - size)) & ((1u << size) - 1);
        t.fastAc[i] = extendValue(bits, size) * 256 + ((rs >> 4) << 4) + len + size;
    }
}

// Parses everything up to and including the start of scan. Returns 1 when the headers are
// acceptable; the entropy-coded data then starts at state.pos.
int32_t parseHeaders() {
    JpegDecoderState& s = state;
    for (;;) {
        if (readByte() != 0xFF) return 0;
        int marker = readByte();
        if (marker < 0) return 0;
        if (marker == 0xD8) continue;
        int length = readWord();
        if (length < 2) return 0;
        int payload = length - 2;
        if (marker == 0xC0) {
            readByte();  // sample precision
            int height = readWord();
            int width = readWord();
            int n = readByte();
            if (height < 0 || width < 0 || n < 0) return 0;
            if (length != 8 + 3 * n) return 0;
            if (n < 1 || n > MAX_COMPONENTS) return 0;
            if (width == 0 || height == 0 || (int64_t)width * height > MAX_PIXELS) return 0;
            s.width = width;
            s.height = height;
            s.componentCount = n;
            for (int c = 0; c < n; c++) {
                int id = readByte();
                int sampling = readByte();
                int quant = readByte();
                if (id < 0 || sampling < 0 || quant < 0) return 0;
                Component& comp = s.components[c];
                comp.id = id;
                comp.h = sampling >> 4;
                comp.v = sampling & 15;
                comp.quant = quant;
                if (comp.h < 1 || comp.h > 4 || comp.v < 1 || comp.v > 4) return 0;
                if (quant >= TABLE_COUNT) return 0;
            }
        } else if (marker == 0xC4) {
            while (payload > 0) {
                int tc = readByte();
                if (tc < 0) return 0;
                HuffmanTable& t = (tc & 0x10) ? s.ac[tc & 15] : s.dc[tc & 15];
                int total = 0;
                t.counts[0] = 0;
                for (int len = 1; len <= 16; len++) {
                    int count = readByte();
                    if (count < 0) return 0;
                    t.counts[len] = (uint8_t)count;
                    total += count;
                }
                if (total > 256) return 0;
                for (int i = 0; i < total; i++) {
                    int symbol = readByte();
                    if (symbol < 0) return 0;
                    t.symbols[i] = (uint8_t)symbol;
                }
                t.symbolCount = total;
                buildHuffmanTable(t);
                payload -= 17 + total;
            }
        } else if (marker == 0xDB) {
            while (payload > 0) {
                int pq = readByte();
                if (pq < 0) return 0;
                uint16_t* q = s.quant[pq & 15];
                int wide = (pq >> 4) != 0;
                for (int i = 0; i < 64; i++) {
                    int v = wide ? readWord() : readByte();
                    if (v < 0) return 0;
                    q[i] = (uint16_t)v;
                }
                payload -= wide ? 129 : 65;
            }
        } else if (marker == 0xDD) {
            int interval = readWord();
            if (interval < 0) return 0;
            s.restartInterval = interval;
        } else if (marker == 0xDA) {
            int n = readByte();
            if (n < 0) return 0;
            for (int i = 0; i < n; i++) {
                int id = readByte();
                int tables = readByte();
                if (id < 0 || tables < 0) return 0;
                for (int c = 0; c < s.componentCount; c++) {
                    if (s.components[c].id != id) continue;
                    s.components[c].dcTable = tables >> 4;
                    s.components[c].acTable = tables & 15;
                }
            }
            for (int i = 0; i < 3; i++)
                if (readByte() < 0) return 0;  // spectral selection and approximation: baseline
            return s.componentCount > 0 ? 1 : 0;
        } else if (marker == 0xCC || (marker >= 0xD0 && marker <= 0xD7) || marker == 0xDC ||
                   marker < 0xC0 || marker > 0xDD) {
            if (payload > s.size - s.pos) return 0;
            s.pos += payload;
        } else {
            return 0;  // other frame types, arithmetic coding, end of image
        }
    }
}

// ------------------------------------------------------------------------------------------------
// Shared block arithmetic

inline uint8_t sampleFromValue(float v) {
    if (v > kSampleLimit) v = kSampleLimit;
    if (v < -kSampleLimit) v = -kSampleLimit;
    int t = ((int)v >> 3) + 128;
    return (uint8_t)(t < 0 ? 0 : (t > 255 ? 255 : t));
}

inline float dequantised(uint16_t q, int32_t coefficient) {
    return (float)((int64_t)q * coefficient);
}

// One 8-point pass of the scaled transform over d[0], d[stride], ..., d[7 * stride].
inline void inverseTransform8(float* d, int stride) {
    float t0 = d[0], t1 = d[2 * stride], t2 = d[4 * stride], t3 = d[6 * stride];
    float tmp10 = t0 + t2;
    float tmp11 = t0 - t2;
    float tmp13 = t1 + t3;
    float tmp12 = (t1 - t3) * kC1414 - tmp13;
    float e0 = tmp10 + tmp13;
    float e3 = tmp10 - tmp13;
    float e1 = tmp11 + tmp12;
    float e2 = tmp11 - tmp12;

    float t4 = d[stride], t5 = d[3 * stride], t6 = d[5 * stride], t7 = d[7 * stride];
    float z13 = t6 + t5;
    float z10 = t6 - t5;
    float z11 = t4 + t7;
    float z12 = t4 - t7;
    float o7 = z11 + z13;
    float o11 = (z11 - z13) * kC1414;
    float z5 = (z10 + z12) * kC1847;
    float o10 = z5 - z12 * kC1082;
    float o12 = z5 - z10 * kC2613;
    float o6 = o12 - o7;
    float o5 = o11 - o6;
    float o4 = o10 - o5;

    d[0] = e0 + o7;
    d[7 * stride] = e0 - o7;
    d[stride] = e1 + o6;
    d[6 * stride] = e1 - o6;
    d[2 * stride] = e2 + o5;
    d[5 * stride] = e2 - o5;
    d[3 * stride] = e3 + o4;
    d[4 * stride] = e3 - o4;
}

// Dequantises coefficients (zig-zag order) into the float block and transforms it in place.
void transformBlockScalar(const int32_t* coefficients, const uint16_t* q, float* f) {
    for (int r = 0; r < 8; r++)
        for (int c = 0; c < 8; c++) {
            int z = kZigZag[r * 8 + c];
            f[r * 8 + c] = dequantised(q[z], coefficients[z]) * kScale[c] * kScale[r];
        }
    for (int c = 0; c < 8; c++) inverseTransform8(f + c, 8);
    for (int r = 0; r < 8; r++) inverseTransform8(f + r * 8, 1);
}

void clearPredictors() {
    for (int c = 0; c < MAX_COMPONENTS; c++) state.predictors[c] = 0;
}

// Chroma replication factors: only a three-component image spreads components 1 and 2.
void replicationFactors(int c, int* fx, int* fy) {
    const JpegDecoderState& s = state;
    *fx = 1;
    *fy = 1;
    if (s.componentCount == 3 && c > 0) {
        *fx = s.components[0].h / s.components[c].h;
        *fy = s.components[0].v / s.components[c].v;
    }
}

// Sample value of channel c before anything is placed: black after the output stage.
inline uint8_t initialSample(int c) { return (state.componentCount == 3 && c > 0) ? 128 : 0; }

inline uint8_t clampTruncate(float v) {
    if (v < 0.0f) v = 0.0f;
    if (v > 255.0f) v = 255.0f;
    return (uint8_t)(int)v;
}

// ------------------------------------------------------------------------------------------------
// Reference decoder: one bit at a time, one pixel at a time.

// Next data byte of the entropy-coded segment under the stuffing and marker rules, or -1 at the
// end of the data.
int referenceNextByte() {
    JpegDecoderState& s = state;
    if (s.pos >= s.size) return -1;
    int b = s.data[s.pos++];
    if (b != 0xFF) return b;
    int m;
    do {
        if (s.pos >= s.size) return -1;
        m = s.data[s.pos++];
    } while (m == 0xFF);
    if (m >= 0xD0 && m <= 0xD7) clearPredictors();
    if (m != 0) {
        if (s.pos >= s.size) return -1;
        return s.data[s.pos++];
    }
    return 0xFF;
}

int referenceBit() {
    JpegDecoderState& s = state;
    if (s.bitsTaken == 0) {
        int b = referenceNextByte();
        if (b < 0) return -1;
        s.currentByte = b;
    }
    int bit = (s.currentByte >> (7 - s.bitsTaken)) & 1;
    s.bitsTaken = (s.bitsTaken + 1) & 7;
    return bit;
}

// n <= 16 bits, first bit highest; -1 at the end of the data.
int32_t referenceReceive(int n) {
    int32_t v = 0;
    for (int i = 0; i < n; i++) {
        int bit = referenceBit();
        if (bit < 0) return -1;
        v = (v << 1) | bit;
    }
    return v;
}

// Symbol, or -1 at the end of the data, -2 when 16 bits match no code.
int referenceSymbol(const HuffmanTable& t) {
    int32_t code = 0;
    for (int len = 1; len <= 16; len++) {
        int bit = referenceBit();
        if (bit < 0) return -1;
        code = (code << 1) | bit;
        for (int i = 0; i < t.symbolCount; i++)
            if (t.codeLength[i] == len && t.code[i] == code) return t.symbols[i];
    }
    return -2;
}

// Decodes one block into state.coefficients (zig-zag order). 0 when the scan must end.
int referenceBlock(int c) {
    JpegDecoderState& s = state;
    const Component& comp = s.components[c];
    std::memset(s.coefficients, 0, sizeof(s.coefficients));
    int t = referenceSymbol(s.dc[comp.dcTable]);
    if (t < 0 || t > 16) return 0;
    int32_t bits = referenceReceive(t);
    if (bits < 0) return 0;
    s.predictors[c] = (int32_t)((uint32_t)s.predictors[c] + (uint32_t)extendValue((uint32_t)bits, t));
    s.coefficients[0] = s.predictors[c];
    for (int k = 1; k < 64;) {
        int rs = referenceSymbol(s.ac[comp.acTable]);
        if (rs < 0) return 0;
        if (rs == 0) break;
        k += rs >> 4;
        int n = rs & 15;
        int32_t v = referenceReceive(n);
        if (v < 0) return 0;
        if (k < 64) s.coefficients[k] = extendValue((uint32_t)v, n);
        k++;
    }
    return 1;
}

void referenceScan() {
    JpegDecoderState& s = state;
    const int n = s.componentCount;
    const int w = s.width, h = s.height;
    uint8_t* out = s.output;
    for (int i = 0; i < w * h; i++)
        for (int c = 0; c < 3; c++) out[i * 3 + c] = initialSample(c);

    const int mcuW = 8 * s.components[0].h, mcuH = 8 * s.components[0].v;
    clearPredictors();
    s.bitsTaken = 0;
    int64_t mcuIndex = 0;
    for (int y = 0; y < h; y += mcuH) {
        for (int x = 0; x < w; x += mcuW, mcuIndex++) {
            if (s.restartInterval > 0 && mcuIndex % s.restartInterval == 0) s.bitsTaken = 0;
            for (int c = 0; c < n; c++) {
                const Component& comp = s.components[c];
                int fx, fy;
                replicationFactors(c, &fx, &fy);
                for (int by = 0; by < comp.v; by++)
                    for (int bx = 0; bx < comp.h; bx++) {
                        if (!referenceBlock(c)) goto finished;
                        if (c >= 3) continue;  // no channel for a fourth component
                        transformBlockScalar(s.coefficients, s.quant[comp.quant], s.block);
                        for (int r = 0; r < 8; r++)
                            for (int q = 0; q < 8; q++) {
                                uint8_t sample = sampleFromValue(s.block[r * 8 + q]);
                                for (int dy = 0; dy < fy; dy++)
                                    for (int dx = 0; dx < fx; dx++) {
                                        int px = (q + 8 * bx) * fx + x + dx;
                                        int py = (r + 8 * by) * fy + y + dy;
                                        if (px < w && py < h) out[((int64_t)py * w + px) * 3 + c] = sample;
                                    }
                            }
                    }
            }
        }
    }
finished:
    for (int64_t i = 0; i < (int64_t)w * h; i++) {
        uint8_t* p = out + i * 3;
        if (n == 3) {
            int yv = p[0], cb = p[1], cr = p[2];
            p[0] = clampTruncate(yv + kCr2R * (cr - 128));
            p[1] = clampTruncate(yv - kCb2G * (cb - 128) - kCr2G * (cr - 128));
            p[2] = clampTruncate(yv + kCb2B * (cb - 128));
        } else if (n == 1) {
            p[1] = p[0];
            p[2] = p[0];
        }
    }
}

// ------------------------------------------------------------------------------------------------
// Fast decoder: 64-bit bit buffer, Huffman lookahead tables, vectorised transform, one MCU row of
// planar samples at a time. Every step rounds exactly like the reference decoder above.

// Moves the next data byte(s) into the bit buffer when they need special handling (0xFF, end of
// data). Returns false when nothing more can be prefetched.
bool fillSpecial() {
    JpegDecoderState& s = state;
    if (s.readerState != READER_OPEN) return false;
    if (s.pos >= s.size) {
        s.readerState = READER_EXHAUSTED;
        return false;
    }
    // data[pos] is 0xFF: find the end of the 0xFF run.
    int q = s.pos + 1;
    while (q < s.size && s.data[q] == 0xFF) q++;
    if (q >= s.size) {
        s.readerState = READER_EXHAUSTED;
        return false;
    }
    int m = s.data[q];
    if (m == 0) {
        s.bitBuffer |= (uint64_t)0xFF << (56 - s.bitCount);
        s.bitCount += 8;
        s.pos = q + 1;
        return true;
    }
    if (m >= 0xD0 && m <= 0xD7) {
        s.readerState = READER_AT_RESTART;
        s.markerPos = q;
        return false;
    }
    if (q + 1 >= s.size) {
        s.readerState = READER_EXHAUSTED;
        return false;
    }
    s.bitBuffer |= (uint64_t)s.data[q + 1] << (56 - s.bitCount);
    s.bitCount += 8;
    s.pos = q + 2;
    return true;
}

void fillBits() {
    JpegDecoderState& s = state;
    while (s.bitCount <= 56) {
        if (s.pos < s.size) {
            uint8_t b = s.data[s.pos];
            if (b != 0xFF) {
                s.bitBuffer |= (uint64_t)b << (56 - s.bitCount);
                s.bitCount += 8;
                s.pos++;
                continue;
            }
        }
        if (!fillSpecial()) return;
    }
}

// Crosses a pending restart marker: the predictors are cleared now, when the reader needs the
// byte after it, exactly as the byte-at-a-time reader does.
void passRestartMarker() {
    JpegDecoderState& s = state;
    clearPredictors();
    int q = s.markerPos;
    if (q + 1 >= s.size) {
        s.readerState = READER_EXHAUSTED;
        return;
    }
    s.bitBuffer |= (uint64_t)s.data[q + 1] << (56 - s.bitCount);
    s.bitCount += 8;
    s.pos = q + 2;
    s.readerState = READER_OPEN;
    fillBits();
}

int slowBit() {
    JpegDecoderState& s = state;
    if (s.bitCount == 0) {
        fillBits();
        if (s.bitCount == 0 && s.readerState == READER_AT_RESTART) passRestartMarker();
        if (s.bitCount == 0) return -1;
    }
    int bit = (int)(s.bitBuffer >> 63);
    s.bitBuffer <<= 1;
    s.bitCount--;
    return bit;
}

int32_t slowReceive(int n) {
    int32_t v = 0;
    for (int i = 0; i < n; i++) {
        int bit = slowBit();
        if (bit < 0) return -1;
        v = (v << 1) | bit;
    }
    return v;
}

int slowSymbol(const HuffmanTable& t) {
    int32_t code = 0;
    for (int len = 1; len <= 16; len++) {
        int bit = slowBit();
        if (bit < 0) return -1;
        code = (code << 1) | bit;
        if (t.counts[len] && code >= t.minCode[len] && code <= t.maxCode[len])
            return t.symbols[t.firstIndex[len] + code - t.minCode[len]];
    }
    return -2;
}

// Slow path for one symbol and its value bits (near a marker or the end of the data): symbol in
// *rs, value returned; false when the scan must end.
bool slowSymbolAndValue(const HuffmanTable& t, int* rs, int32_t* value, bool dc) {
    int symbol = slowSymbol(t);
    if (symbol < 0) return false;
    int n = dc ? symbol : (symbol & 15);
    if (dc && n > 16) return false;
    int32_t bits = slowReceive(n);
    if (bits < 0) return false;
    *rs = symbol;
    *value = extendValue((uint32_t)bits, n);
    return true;
}

// The fast reader's bit buffer lives in locals of the block decoder; the slow paths work on
// the copy in the state.
struct Bits {
    uint64_t buffer;
    int32_t count;
    int32_t pos;
};

inline void storeBits(const Bits& b) {
    state.bitBuffer = b.buffer;
    state.bitCount = b.count;
    state.pos = b.pos;
}

inline void loadBits(Bits& b) {
    b.buffer = state.bitBuffer;
    b.count = state.bitCount;
    b.pos = state.pos;
}

// Tops the buffer up to more than 56 bits while the bytes are plain data. Called when fewer than
// 32 bits (one code and its value bits at most) are left.
inline void refill(Bits& b) {
    const uint8_t* data = state.data;
    const int32_t size = state.size;
    if (b.pos + 8 <= size) {
        // Eight bytes at once when none of those that fit is 0xFF.
        uint64_t w;
        std::memcpy(&w, data + b.pos, 8);
        w = __builtin_bswap64(w);
        int n = (64 - b.count) >> 3;
        uint64_t t = ~w;
        uint64_t ff = (t - 0x0101010101010101ull) & ~t & 0x8080808080808080ull;
        uint64_t topBytes = n == 8 ? ~0ull : ~(~0ull >> (8 * n));
        if ((ff & topBytes) == 0) {
            b.buffer |= (n == 8 ? w : (w >> (64 - 8 * n))) << ((64 - b.count) & 7);
            b.count += 8 * n;
            b.pos += n;
            return;
        }
    }
    while (b.count <= 56) {
        if (b.pos < size && data[b.pos] != 0xFF) {
            b.buffer |= (uint64_t)data[b.pos] << (56 - b.count);
            b.count += 8;
            b.pos++;
            continue;
        }
        storeBits(b);
        bool more = fillSpecial();
        loadBits(b);
        if (!more) return;
    }
}

// Symbol with at least 16 bits in the buffer: lookahead table, then the canonical search.
inline int fastSymbol(const HuffmanTable& t, Bits& b) {
    uint32_t entry = t.fast[b.buffer >> (64 - FAST_BITS)];
    if (entry) {
        int len = (int)(entry >> 8);
        b.buffer <<= len;
        b.count -= len;
        return (int)(entry & 0xFF);
    }
    uint32_t peek = (uint32_t)(b.buffer >> 48);
    for (int len = FAST_BITS + 1; len <= 16; len++) {
        int32_t code = (int32_t)(peek >> (16 - len));
        if (t.counts[len] && code >= t.minCode[len] && code <= t.maxCode[len]) {
            b.buffer <<= len;
            b.count -= len;
            return t.symbols[t.firstIndex[len] + code - t.minCode[len]];
        }
    }
    return -2;
}

inline uint32_t fastReceive(int n, Bits& b) {
    if (n == 0) return 0;
    uint32_t v = (uint32_t)(b.buffer >> (64 - n));
    b.buffer <<= n;
    b.count -= n;
    return v;
}

// Decodes one block into coefficients (natural order, all zero on entry; the caller clears
// them). Returns -1 when the scan must end, else the zig-zag index of the last coefficient
// written (0 = only the DC value).
inline int fastBlock(int c, int32_t* coefficients, Bits& b) {
    JpegDecoderState& s = state;
    const Component& comp = s.components[c];
    const HuffmanTable& dc = s.dc[comp.dcTable];
    const HuffmanTable& ac = s.ac[comp.acTable];

    if (b.count < 32) refill(b);
    int32_t diff;
    if (b.count >= 32) {
        int t = fastSymbol(dc, b);
        if (t < 0 || t > 16) return -1;
        diff = extendValue(fastReceive(t, b), t);
    } else {
        int t;
        storeBits(b);
        bool more = slowSymbolAndValue(dc, &t, &diff, true);
        loadBits(b);
        if (!more) return -1;
    }
    s.predictors[c] = (int32_t)((uint32_t)s.predictors[c] + (uint32_t)diff);
    coefficients[0] = s.predictors[c];

    int last = 0;
    for (int k = 1; k < 64;) {
        if (b.count < 32) refill(b);
        int rs;
        int32_t value;
        if (b.count >= 32) {
            // Short code and short value together: one lookup.
            int32_t e = ac.fastAc[b.buffer >> (64 - FAST_BITS)];
            if (e) {
                int total = e & 15;
                b.buffer <<= total;
                b.count -= total;
                k += (e >> 4) & 15;
                if (k < 64) {
                    coefficients[kNatural.at[k]] = e >> 8;
                    last = k;
                }
                k++;
                continue;
            }
            rs = fastSymbol(ac, b);
            if (rs < 0) return -1;
            if (rs == 0) break;
            value = extendValue(fastReceive(rs & 15, b), rs & 15);
        } else {
            storeBits(b);
            bool more = slowSymbolAndValue(ac, &rs, &value, false);
            loadBits(b);
            if (!more) return -1;
            if (rs == 0) break;
        }
        k += rs >> 4;
        if (k < 64) {
            coefficients[kNatural.at[k]] = value;
            last = k;
        }
        k++;
    }
    return last;
}

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

#if JPEG_SSE2
inline void butterfly(__m128* d) {
    const __m128 c1414 = _mm_set1_ps(kC1414), c1847 = _mm_set1_ps(kC1847);
    const __m128 c1082 = _mm_set1_ps(kC1082), c2613 = _mm_set1_ps(kC2613);
    __m128 t0 = d[0], t1 = d[2], t2 = d[4], t3 = d[6];
    __m128 tmp10 = _mm_add_ps(t0, t2);
    __m128 tmp11 = _mm_sub_ps(t0, t2);
    __m128 tmp13 = _mm_add_ps(t1, t3);
    __m128 tmp12 = _mm_sub_ps(_mm_mul_ps(_mm_sub_ps(t1, t3), c1414), tmp13);
    __m128 e0 = _mm_add_ps(tmp10, tmp13);
    __m128 e3 = _mm_sub_ps(tmp10, tmp13);
    __m128 e1 = _mm_add_ps(tmp11, tmp12);
    __m128 e2 = _mm_sub_ps(tmp11, tmp12);

    __m128 t4 = d[1], t5 = d[3], t6 = d[5], t7 = d[7];
    __m128 z13 = _mm_add_ps(t6, t5);
    __m128 z10 = _mm_sub_ps(t6, t5);
    __m128 z11 = _mm_add_ps(t4, t7);
    __m128 z12 = _mm_sub_ps(t4, t7);
    __m128 o7 = _mm_add_ps(z11, z13);
    __m128 o11 = _mm_mul_ps(_mm_sub_ps(z11, z13), c1414);
    __m128 z5 = _mm_mul_ps(_mm_add_ps(z10, z12), c1847);
    __m128 o10 = _mm_sub_ps(z5, _mm_mul_ps(z12, c1082));
    __m128 o12 = _mm_sub_ps(z5, _mm_mul_ps(z10, c2613));
    __m128 o6 = _mm_sub_ps(o12, o7);
    __m128 o5 = _mm_sub_ps(o11, o6);
    __m128 o4 = _mm_sub_ps(o10, o5);

    d[0] = _mm_add_ps(e0, o7);
    d[7] = _mm_sub_ps(e0, o7);
    d[1] = _mm_add_ps(e1, o6);
    d[6] = _mm_sub_ps(e1, o6);
    d[2] = _mm_add_ps(e2, o5);
    d[5] = _mm_sub_ps(e2, o5);
    d[3] = _mm_add_ps(e3, o4);
    d[4] = _mm_sub_ps(e3, o4);
}

inline __m128i samplesOf(__m128 v) {
    const __m128 limit = _mm_set1_ps(kSampleLimit), negLimit = _mm_set1_ps(-kSampleLimit);
    v = _mm_min_ps(_mm_max_ps(v, negLimit), limit);
    __m128i t = _mm_srai_epi32(_mm_cvttps_epi32(v), 3);
    return _mm_add_epi32(t, _mm_set1_epi32(128));
}

// Dequantises and transforms one block, writing 8 rows of 8 samples.
void transformBlockFast(const int32_t* coefficients, const float* quant, uint8_t* dst, int stride) {
    // lo[r] / hi[r]: columns 0-3 / 4-7 of row r.
    __m128 lo[8], hi[8];
    const __m128 scaleLo = _mm_loadu_ps(kScale), scaleHi = _mm_loadu_ps(kScale + 4);
    for (int r = 0; r < 8; r++) {
        __m128 cl = _mm_cvtepi32_ps(_mm_loadu_si128((const __m128i*)(coefficients + r * 8)));
        __m128 ch = _mm_cvtepi32_ps(_mm_loadu_si128((const __m128i*)(coefficients + r * 8 + 4)));
        __m128 sr = _mm_set1_ps(kScale[r]);
        lo[r] = _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(_mm_loadu_ps(quant + r * 8), cl), scaleLo), sr);
        hi[r] = _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(_mm_loadu_ps(quant + r * 8 + 4), ch), scaleHi), sr);
    }
    // The DC product may not be exact in single precision: form it exactly, round once.
    lo[0] = _mm_move_ss(lo[0], _mm_set_ss((float)((int64_t)(int32_t)quant[0] * coefficients[0])));
    butterfly(lo);  // columns 0-3
    butterfly(hi);  // columns 4-7
    // Transpose so that each vector holds one column: cols[q] rows 0-3, cols[q + 8] rows 4-7.
    __m128 a[8], b[8];
    for (int i = 0; i < 8; i += 4) {
        __m128 r0 = lo[i], r1 = lo[i + 1], r2 = lo[i + 2], r3 = lo[i + 3];
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        // Columns 0-3, rows i..i+3.
        __m128* target = i == 0 ? a : b;
        target[0] = r0;
        target[1] = r1;
        target[2] = r2;
        target[3] = r3;
        __m128 s0 = hi[i], s1 = hi[i + 1], s2 = hi[i + 2], s3 = hi[i + 3];
        _MM_TRANSPOSE4_PS(s0, s1, s2, s3);
        target[4] = s0;
        target[5] = s1;
        target[6] = s2;
        target[7] = s3;
    }
    // a[q]: column q, rows 0-3; b[q]: column q, rows 4-7. Row transform = butterfly across q.
    butterfly(a);
    butterfly(b);
    // a[q] / b[q] now hold output column q; convert, then transpose the 8x8 int16 to rows.
    __m128i col[8];
    for (int q = 0; q < 8; q++) col[q] = _mm_packs_epi32(samplesOf(a[q]), samplesOf(b[q]));
    __m128i t0 = _mm_unpacklo_epi16(col[0], col[1]), t1 = _mm_unpackhi_epi16(col[0], col[1]);
    __m128i t2 = _mm_unpacklo_epi16(col[2], col[3]), t3 = _mm_unpackhi_epi16(col[2], col[3]);
    __m128i t4 = _mm_unpacklo_epi16(col[4], col[5]), t5 = _mm_unpackhi_epi16(col[4], col[5]);
    __m128i t6 = _mm_unpacklo_epi16(col[6], col[7]), t7 = _mm_unpackhi_epi16(col[6], col[7]);
    __m128i u0 = _mm_unpacklo_epi32(t0, t2), u1 = _mm_unpackhi_epi32(t0, t2);
    __m128i u2 = _mm_unpacklo_epi32(t1, t3), u3 = _mm_unpackhi_epi32(t1, t3);
    __m128i u4 = _mm_unpacklo_epi32(t4, t6), u5 = _mm_unpackhi_epi32(t4, t6);
    __m128i u6 = _mm_unpacklo_epi32(t5, t7), u7 = _mm_unpackhi_epi32(t5, t7);
    __m128i row01 = _mm_packus_epi16(_mm_unpacklo_epi64(u0, u4), _mm_unpackhi_epi64(u0, u4));
    __m128i row23 = _mm_packus_epi16(_mm_unpacklo_epi64(u1, u5), _mm_unpackhi_epi64(u1, u5));
    __m128i row45 = _mm_packus_epi16(_mm_unpacklo_epi64(u2, u6), _mm_unpackhi_epi64(u2, u6));
    __m128i row67 = _mm_packus_epi16(_mm_unpacklo_epi64(u3, u7), _mm_unpackhi_epi64(u3, u7));
    _mm_storel_epi64((__m128i*)(dst), row01);
    _mm_storel_epi64((__m128i*)(dst + stride), _mm_srli_si128(row01, 8));
    _mm_storel_epi64((__m128i*)(dst + 2 * stride), row23);
    _mm_storel_epi64((__m128i*)(dst + 3 * stride), _mm_srli_si128(row23, 8));
    _mm_storel_epi64((__m128i*)(dst + 4 * stride), row45);
    _mm_storel_epi64((__m128i*)(dst + 5 * stride), _mm_srli_si128(row45, 8));
    _mm_storel_epi64((__m128i*)(dst + 6 * stride), row67);
    _mm_storel_epi64((__m128i*)(dst + 7 * stride), _mm_srli_si128(row67, 8));
}
#else
void transformBlockFast(const int32_t* coefficients, const float* quant, uint8_t* dst, int stride) {
    float f[64];
    for (int r = 0; r < 8; r++)
        for (int c = 0; c < 8; c++) {
            int i = r * 8 + c;
            f[i] = (float)((int64_t)(int32_t)quant[i] * coefficients[i]) * kScale[c] * kScale[r];
        }
    for (int c = 0; c < 8; c++) inverseTransform8(f + c, 8);
    for (int r = 0; r < 8; r++) inverseTransform8(f + r * 8, 1);
    for (int r = 0; r < 8; r++)
        for (int c = 0; c < 8; c++) dst[r * stride + c] = sampleFromValue(f[r * 8 + c]);
}
#endif

// Converts one output row from three sample rows.
void convertRowYcc(const uint8_t* yr, const uint8_t* cbr, const uint8_t* crr, uint8_t* out, int w) {
    int i = 0;
#if JPEG_SSE2
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias = _mm_set1_epi16(128);
    const __m128 cr2r = _mm_set1_ps(kCr2R), cb2g = _mm_set1_ps(kCb2G);
    const __m128 cr2g = _mm_set1_ps(kCr2G), cb2b = _mm_set1_ps(kCb2B);
    const __m128 lo = _mm_setzero_ps(), hi = _mm_set1_ps(255.0f);
    const __m128i mask24 = _mm_set_epi32(0, 0xFFFFFF, 0, 0xFFFFFF);
    const __m128i mask24hi = _mm_set_epi32(0xFFFF, 0xFF000000, 0xFFFF, 0xFF000000);
    const __m128i low8 = _mm_set_epi32(0, 0, -1, -1);
    for (; i + 16 <= w; i += 16) {
        __m128i y8 = _mm_loadu_si128((const __m128i*)(yr + i));
        __m128i cb8 = _mm_loadu_si128((const __m128i*)(cbr + i));
        __m128i cr8 = _mm_loadu_si128((const __m128i*)(crr + i));
        __m128i y16[2] = {_mm_unpacklo_epi8(y8, zero), _mm_unpackhi_epi8(y8, zero)};
        __m128i cb16[2] = {_mm_sub_epi16(_mm_unpacklo_epi8(cb8, zero), bias),
                           _mm_sub_epi16(_mm_unpackhi_epi8(cb8, zero), bias)};
        __m128i cr16[2] = {_mm_sub_epi16(_mm_unpacklo_epi8(cr8, zero), bias),
                           _mm_sub_epi16(_mm_unpackhi_epi8(cr8, zero), bias)};
        __m128i rq[4], gq[4], bq[4];
        for (int j = 0; j < 4; j++) {
            __m128i ys = j & 1 ? _mm_unpackhi_epi16(y16[j >> 1], zero) : _mm_unpacklo_epi16(y16[j >> 1], zero);
            // Sign-extend the centred chroma: unpack into the high half, shift back.
            __m128i cbs = _mm_srai_epi32(j & 1 ? _mm_unpackhi_epi16(zero, cb16[j >> 1])
                                               : _mm_unpacklo_epi16(zero, cb16[j >> 1]), 16);
            __m128i crs = _mm_srai_epi32(j & 1 ? _mm_unpackhi_epi16(zero, cr16[j >> 1])
                                               : _mm_unpacklo_epi16(zero, cr16[j >> 1]), 16);
            __m128 yf = _mm_cvtepi32_ps(ys), cbf = _mm_cvtepi32_ps(cbs), crf = _mm_cvtepi32_ps(crs);
            __m128 r = _mm_add_ps(yf, _mm_mul_ps(cr2r, crf));
            __m128 g = _mm_sub_ps(_mm_sub_ps(yf, _mm_mul_ps(cb2g, cbf)), _mm_mul_ps(cr2g, crf));
            __m128 b = _mm_add_ps(yf, _mm_mul_ps(cb2b, cbf));
            rq[j] = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(r, lo), hi));
            gq[j] = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(g, lo), hi));
            bq[j] = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(b, lo), hi));
        }
        __m128i r8 = _mm_packus_epi16(_mm_packs_epi32(rq[0], rq[1]), _mm_packs_epi32(rq[2], rq[3]));
        __m128i g8 = _mm_packus_epi16(_mm_packs_epi32(gq[0], gq[1]), _mm_packs_epi32(gq[2], gq[3]));
        __m128i b8 = _mm_packus_epi16(_mm_packs_epi32(bq[0], bq[1]), _mm_packs_epi32(bq[2], bq[3]));
        // R G B 0 per pixel, four pixels a vector.
        __m128i rg0 = _mm_unpacklo_epi8(r8, g8), rg1 = _mm_unpackhi_epi8(r8, g8);
        __m128i bz0 = _mm_unpacklo_epi8(b8, zero), bz1 = _mm_unpackhi_epi8(b8, zero);
        __m128i px[4] = {_mm_unpacklo_epi16(rg0, bz0), _mm_unpackhi_epi16(rg0, bz0),
                         _mm_unpacklo_epi16(rg1, bz1), _mm_unpackhi_epi16(rg1, bz1)};
        // Squeeze each vector to 12 bytes: two pixels into each 64-bit half, then the halves.
        __m128i p12[4];
        for (int j = 0; j < 4; j++) {
            __m128i v = _mm_or_si128(_mm_and_si128(px[j], mask24),
                                     _mm_and_si128(_mm_srli_epi64(px[j], 8), mask24hi));
            p12[j] = _mm_or_si128(_mm_and_si128(v, low8), _mm_slli_si128(_mm_srli_si128(v, 8), 6));
        }
        __m128i o0 = _mm_or_si128(p12[0], _mm_slli_si128(p12[1], 12));
        __m128i o1 = _mm_or_si128(_mm_srli_si128(p12[1], 4), _mm_slli_si128(p12[2], 8));
        __m128i o2 = _mm_or_si128(_mm_srli_si128(p12[2], 8), _mm_slli_si128(p12[3], 4));
        _mm_storeu_si128((__m128i*)(out + i * 3), o0);
        _mm_storeu_si128((__m128i*)(out + i * 3 + 16), o1);
        _mm_storeu_si128((__m128i*)(out + i * 3 + 32), o2);
    }
#endif
    for (; i < w; i++) {
        int yv = yr[i], cb = cbr[i], cr = crr[i];
        out[i * 3] = clampTruncate(yv + kCr2R * (cr - 128));
        out[i * 3 + 1] = clampTruncate(yv - kCb2G * (cb - 128) - kCr2G * (cr - 128));
        out[i * 3 + 2] = clampTruncate(yv + kCb2B * (cb - 128));
    }
}

void convertRowGrey(const uint8_t* yr, uint8_t* out, int w) {
    for (int i = 0; i < w; i++) {
        out[i * 3] = yr[i];
        out[i * 3 + 1] = yr[i];
        out[i * 3 + 2] = yr[i];
    }
}

void convertRowRaw(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* out, int w) {
    for (int i = 0; i < w; i++) {
        out[i * 3] = a[i];
        out[i * 3 + 1] = b[i];
        out[i * 3 + 2] = c[i];
    }
}

#if JPEG_AVX2
JPEG_TARGET_AVX2 inline void butterfly8(__m256* d) {
    const __m256 c1414 = _mm256_set1_ps(kC1414), c1847 = _mm256_set1_ps(kC1847);
    const __m256 c1082 = _mm256_set1_ps(kC1082), c2613 = _mm256_set1_ps(kC2613);
    __m256 t0 = d[0], t1 = d[2], t2 = d[4], t3 = d[6];
    __m256 tmp10 = _mm256_add_ps(t0, t2);
    __m256 tmp11 = _mm256_sub_ps(t0, t2);
    __m256 tmp13 = _mm256_add_ps(t1, t3);
    __m256 tmp12 = _mm256_sub_ps(_mm256_mul_ps(_mm256_sub_ps(t1, t3), c1414), tmp13);
    __m256 e0 = _mm256_add_ps(tmp10, tmp13);
    __m256 e3 = _mm256_sub_ps(tmp10, tmp13);
    __m256 e1 = _mm256_add_ps(tmp11, tmp12);
    __m256 e2 = _mm256_sub_ps(tmp11, tmp12);

    __m256 t4 = d[1], t5 = d[3], t6 = d[5], t7 = d[7];
    __m256 z13 = _mm256_add_ps(t6, t5);
    __m256 z10 = _mm256_sub_ps(t6, t5);
    __m256 z11 = _mm256_add_ps(t4, t7);
    __m256 z12 = _mm256_sub_ps(t4, t7);
    __m256 o7 = _mm256_add_ps(z11, z13);
    __m256 o11 = _mm256_mul_ps(_mm256_sub_ps(z11, z13), c1414);
    __m256 z5 = _mm256_mul_ps(_mm256_add_ps(z10, z12), c1847);
    __m256 o10 = _mm256_sub_ps(z5, _mm256_mul_ps(z12, c1082));
    __m256 o12 = _mm256_sub_ps(z5, _mm256_mul_ps(z10, c2613));
    __m256 o6 = _mm256_sub_ps(o12, o7);
    __m256 o5 = _mm256_sub_ps(o11, o6);
    __m256 o4 = _mm256_sub_ps(o10, o5);

    d[0] = _mm256_add_ps(e0, o7);
    d[7] = _mm256_sub_ps(e0, o7);
    d[1] = _mm256_add_ps(e1, o6);
    d[6] = _mm256_sub_ps(e1, o6);
    d[2] = _mm256_add_ps(e2, o5);
    d[5] = _mm256_sub_ps(e2, o5);
    d[3] = _mm256_add_ps(e3, o4);
    d[4] = _mm256_sub_ps(e3, o4);
}

JPEG_TARGET_AVX2 inline void transpose8(__m256* r) {
    __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
    __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
    __m256 t4 = _mm256_unpacklo_ps(r[4], r[5]), t5 = _mm256_unpackhi_ps(r[4], r[5]);
    __m256 t6 = _mm256_unpacklo_ps(r[6], r[7]), t7 = _mm256_unpackhi_ps(r[6], r[7]);
    __m256 u0 = _mm256_shuffle_ps(t0, t2, 0x44), u1 = _mm256_shuffle_ps(t0, t2, 0xEE);
    __m256 u2 = _mm256_shuffle_ps(t1, t3, 0x44), u3 = _mm256_shuffle_ps(t1, t3, 0xEE);
    __m256 u4 = _mm256_shuffle_ps(t4, t6, 0x44), u5 = _mm256_shuffle_ps(t4, t6, 0xEE);
    __m256 u6 = _mm256_shuffle_ps(t5, t7, 0x44), u7 = _mm256_shuffle_ps(t5, t7, 0xEE);
    r[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
    r[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
    r[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
    r[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
    r[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
    r[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
    r[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
    r[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
}

JPEG_TARGET_AVX2 inline __m128i samplesOf8(__m256 v) {
    const __m256 limit = _mm256_set1_ps(kSampleLimit), negLimit = _mm256_set1_ps(-kSampleLimit);
    v = _mm256_min_ps(_mm256_max_ps(v, negLimit), limit);
    __m256i t = _mm256_add_epi32(_mm256_srai_epi32(_mm256_cvttps_epi32(v), 3), _mm256_set1_epi32(128));
    return _mm_packs_epi32(_mm256_castsi256_si128(t), _mm256_extracti128_si256(t, 1));
}

JPEG_TARGET_AVX2 void transformBlockAvx2(const int32_t* coefficients, const float* quant, uint8_t* dst,
                                         int stride) {
    __m256 r[8];
    const __m256 scale = _mm256_loadu_ps(kScale);
    for (int i = 0; i < 8; i++) {
        __m256 c = _mm256_cvtepi32_ps(_mm256_loadu_si256((const __m256i*)(coefficients + i * 8)));
        r[i] = _mm256_mul_ps(_mm256_mul_ps(_mm256_mul_ps(_mm256_loadu_ps(quant + i * 8), c), scale),
                             _mm256_set1_ps(kScale[i]));
    }
    // The DC product may not be exact in single precision: form it exactly, round once.
    __m256 dc = _mm256_castps128_ps256(_mm_set_ss((float)((int64_t)(int32_t)quant[0] * coefficients[0])));
    r[0] = _mm256_blend_ps(r[0], dc, 1);
    butterfly8(r);  // columns
    transpose8(r);
    butterfly8(r);  // rows; r[q] now holds output column q
    transpose8(r);
    for (int i = 0; i < 8; i += 2) {
        __m128i two = _mm_packus_epi16(samplesOf8(r[i]), samplesOf8(r[i + 1]));
        _mm_storel_epi64((__m128i*)(dst + i * stride), two);
        _mm_storel_epi64((__m128i*)(dst + (i + 1) * stride), _mm_srli_si128(two, 8));
    }
}

// Shuffle masks that interleave 16 R, 16 G and 16 B bytes into 48 bytes of RGB.
struct RgbMasks {
    uint8_t m[3][3][16];  // [output vector][source channel][byte]
};

RgbMasks makeRgbMasks() {
    RgbMasks masks;
    for (int o = 0; o < 3; o++)
        for (int ch = 0; ch < 3; ch++)
            for (int j = 0; j < 16; j++) {
                int byte = o * 16 + j;
                masks.m[o][ch][j] = byte % 3 == ch ? (uint8_t)(byte / 3) : 0x80;
            }
    return masks;
}

const RgbMasks kRgbMasks = makeRgbMasks();

JPEG_TARGET_AVX2 inline void storeRgb(uint8_t* out, __m128i r, __m128i g, __m128i b) {
    for (int o = 0; o < 3; o++) {
        __m128i v = _mm_or_si128(
            _mm_or_si128(_mm_shuffle_epi8(r, _mm_loadu_si128((const __m128i*)kRgbMasks.m[o][0])),
                         _mm_shuffle_epi8(g, _mm_loadu_si128((const __m128i*)kRgbMasks.m[o][1]))),
            _mm_shuffle_epi8(b, _mm_loadu_si128((const __m128i*)kRgbMasks.m[o][2])));
        _mm_storeu_si128((__m128i*)(out + o * 16), v);
    }
}

JPEG_TARGET_AVX2 void convertRowYccAvx2(const uint8_t* yr, const uint8_t* cbr, const uint8_t* crr,
                                        uint8_t* out, int w) {
    const __m256i bias = _mm256_set1_epi32(128);
    const __m256 cr2r = _mm256_set1_ps(kCr2R), cb2g = _mm256_set1_ps(kCb2G);
    const __m256 cr2g = _mm256_set1_ps(kCr2G), cb2b = _mm256_set1_ps(kCb2B);
    const __m256 lo = _mm256_setzero_ps(), hi = _mm256_set1_ps(255.0f);
    int i = 0;
    for (; i + 16 <= w; i += 16) {
        __m128i rr[2], gg[2], bb[2];
        for (int j = 0; j < 2; j++) {
            __m256 yf = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_loadl_epi64((const __m128i*)(yr + i + 8 * j))));
            __m256 cbf = _mm256_cvtepi32_ps(
                _mm256_sub_epi32(_mm256_cvtepu8_epi32(_mm_loadl_epi64((const __m128i*)(cbr + i + 8 * j))), bias));
            __m256 crf = _mm256_cvtepi32_ps(
                _mm256_sub_epi32(_mm256_cvtepu8_epi32(_mm_loadl_epi64((const __m128i*)(crr + i + 8 * j))), bias));
            __m256 r = _mm256_add_ps(yf, _mm256_mul_ps(cr2r, crf));
            __m256 g = _mm256_sub_ps(_mm256_sub_ps(yf, _mm256_mul_ps(cb2g, cbf)), _mm256_mul_ps(cr2g, crf));
            __m256 b = _mm256_add_ps(yf, _mm256_mul_ps(cb2b, cbf));
            __m256i ri = _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(r, lo), hi));
            __m256i gi = _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(g, lo), hi));
            __m256i bi = _mm256_cvttps_epi32(_mm256_min_ps(_mm256_max_ps(b, lo), hi));
            rr[j] = _mm_packs_epi32(_mm256_castsi256_si128(ri), _mm256_extracti128_si256(ri, 1));
            gg[j] = _mm_packs_epi32(_mm256_castsi256_si128(gi), _mm256_extracti128_si256(gi, 1));
            bb[j] = _mm_packs_epi32(_mm256_castsi256_si128(bi), _mm256_extracti128_si256(bi, 1));
        }
        storeRgb(out + i * 3, _mm_packus_epi16(rr[0], rr[1]), _mm_packus_epi16(gg[0], gg[1]),
                 _mm_packus_epi16(bb[0], bb[1]));
    }
    for (; i < w; i++) {
        int yv = yr[i], cb = cbr[i], cr = crr[i];
        out[i * 3] = clampTruncate(yv + kCr2R * (cr - 128));
        out[i * 3 + 1] = clampTruncate(yv - kCb2G * (cb - 128) - kCr2G * (cr - 128));
        out[i * 3 + 2] = clampTruncate(yv + kCb2B * (cb - 128));
    }
}

JPEG_TARGET_AVX2 void convertRowGreyAvx2(const uint8_t* yr, uint8_t* out, int w) {
    int i = 0;
    for (; i + 16 <= w; i += 16) {
        __m128i y = _mm_loadu_si128((const __m128i*)(yr + i));
        storeRgb(out + i * 3, y, y, y);
    }
    for (; i < w; i++) out[i * 3] = out[i * 3 + 1] = out[i * 3 + 2] = yr[i];
}

JPEG_TARGET_AVX2 void convertRowRawAvx2(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* out,
                                        int w) {
    int i = 0;
    for (; i + 16 <= w; i += 16)
        storeRgb(out + i * 3, _mm_loadu_si128((const __m128i*)(a + i)), _mm_loadu_si128((const __m128i*)(b + i)),
                 _mm_loadu_si128((const __m128i*)(c + i)));
    for (; i < w; i++) {
        out[i * 3] = a[i];
        out[i * 3 + 1] = b[i];
        out[i * 3 + 2] = c[i];
    }
}

bool cpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") != 0;
    return has;
}
#endif

// The routines of the running machine.
struct Kernels {
    void (*transform)(const int32_t*, const float*, uint8_t*, int);
    void (*ycc)(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, int);
    void (*grey)(const uint8_t*, uint8_t*, int);
    void (*raw)(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, int);
};

Kernels chooseKernels() {
#if JPEG_AVX2
    if (decoderVariant == JPEG_DECODER_FAST && cpuHasAvx2())
        return Kernels{transformBlockAvx2, convertRowYccAvx2, convertRowGreyAvx2, convertRowRawAvx2};
#endif
    return Kernels{transformBlockFast, convertRowYcc, convertRowGrey, convertRowRaw};
}

// Row of channel c for output row ly of the current MCU row, as a pointer to w samples.
const uint8_t* channelRow(const Plane& p, int c, int ly, int w, uint8_t* scratch, const uint8_t* flat) {
    if (c == 0) return p.strip + (int64_t)ly * p.stride;
    if (p.fy == 0 || p.fx == 0) return flat;
    int sy = ly / p.fy;
    if (sy >= 8 * state.components[c].v) return flat;
    const uint8_t* src = p.strip + (int64_t)sy * p.stride;
    if (p.columnKind == 0) return src;
    if (p.columnKind == 1) {
        int i = 0;
#if JPEG_SSE2
        for (; i + 32 <= w; i += 32) {
            __m128i v = _mm_loadu_si128((const __m128i*)(src + i / 2));
            _mm_storeu_si128((__m128i*)(scratch + i), _mm_unpacklo_epi8(v, v));
            _mm_storeu_si128((__m128i*)(scratch + i + 16), _mm_unpackhi_epi8(v, v));
        }
#endif
        for (; i < w; i++) scratch[i] = src[i >> 1];
        return scratch;
    }
    const uint8_t fill = initialSample(c);
    for (int i = 0; i < w; i++) {
        int32_t m = p.columnMap[i];
        scratch[i] = m < 0 ? fill : src[m];
    }
    return scratch;
}

// The scan ended at block (by, bx) of component c in MCU column mx: every block of the MCU row
// not decoded yet gets the initial samples.
void stopUnfinished(Plane* planes, int channels, int mx, int c, int by, int bx) {
    for (int cc = 0; cc < channels; cc++) {
        const Component& k = state.components[cc];
        Plane& p = planes[cc];
        const int mcuColumns = 8 * k.h;
        for (int b = 0; b < k.v; b++) {
            int first = mx * mcuColumns;  // components after c: this MCU on
            if (cc < c || (cc == c && b < by)) first = (mx + 1) * mcuColumns;
            else if (cc == c && b == by) first += 8 * bx;
            for (int yy = 8 * b; yy < 8 * b + 8; yy++)
                std::memset(p.strip + (int64_t)yy * p.stride + first, initialSample(cc),
                            (size_t)(p.stride - first));
        }
    }
}

void fastScan() {
    JpegDecoderState& s = state;
    const int n = s.componentCount;
    const int w = s.width, h = s.height;
    const int mcuW = 8 * s.components[0].h, mcuH = 8 * s.components[0].v;
    const int mcusPerRow = (w + mcuW - 1) / mcuW;
    const int channels = n < 3 ? n : 3;  // components that reach a channel
    const Kernels kernels = chooseKernels();

    // One work buffer: strips, column maps, two scratch rows and two flat rows.
    int64_t bytes = 0;
    for (int c = 0; c < channels; c++)
        bytes += (int64_t)mcusPerRow * 8 * s.components[c].h * 8 * s.components[c].v + 16;
    bytes += (int64_t)w * sizeof(int32_t) * 2 + (int64_t)(w + 32) * 4 + 64;
    uint8_t* work = (uint8_t*)memAlloc(nullptr, bytes, kModule, __LINE__);
    uint8_t* cursor = work;
    Plane planes[3];
    int32_t* maps = nullptr;
    for (int c = 0; c < channels; c++) {
        const Component& comp = s.components[c];
        Plane& p = planes[c];
        p.stride = mcusPerRow * 8 * comp.h;
        p.strip = cursor;
        cursor += (int64_t)p.stride * 8 * comp.v + 16;
        for (int i = 0; i < 64; i++) p.quant[i] = (float)s.quant[comp.quant][kZigZag[i]];
        replicationFactors(c, &p.fx, &p.fy);
        p.columnKind = 0;
        p.columnMap = nullptr;
    }
    maps = (int32_t*)(((uintptr_t)cursor + 7) & ~(uintptr_t)7);
    cursor = (uint8_t*)(maps + 2 * (int64_t)w);
    uint8_t* scratch[2] = {cursor, cursor + w + 32};
    uint8_t* flatZero = cursor + 2 * (w + 32);
    uint8_t* flatNeutral = flatZero + (w + 32);
    std::memset(flatZero, 0, w);
    std::memset(flatNeutral, 128, w);
    for (int c = 1; c < channels; c++) {
        Plane& p = planes[c];
        const int sw = 8 * s.components[c].h;
        p.columnMap = maps + (int64_t)(c - 1) * w;
        bool identity = true, half = true;
        for (int px = 0; px < w; px++) {
            int32_t m = -1;
            if (p.fx > 0) {
                int sx = (px % mcuW) / p.fx;
                if (sx < sw) m = (px / mcuW) * sw + sx;
            }
            p.columnMap[px] = m;
            identity = identity && m == px;
            half = half && m == px / 2;
        }
        p.columnKind = identity ? 0 : (half ? 1 : 2);
    }

    clearPredictors();
    s.bitBuffer = 0;
    s.bitCount = 0;
    s.readerState = READER_OPEN;
    Bits bits;
    loadBits(bits);

    alignas(16) int32_t coefficients[64];
    std::memset(coefficients, 0, sizeof(coefficients));
    int64_t mcuIndex = 0;
    bool stopped = false;
    for (int y = 0; y < h; y += mcuH) {
        for (int mx = 0; mx < mcusPerRow && !stopped; mx++, mcuIndex++) {
            if (s.restartInterval > 0 && mcuIndex % s.restartInterval == 0) {
                // Drop the rest of the current byte.
                int drop = bits.count & 7;
                bits.buffer <<= drop;
                bits.count -= drop;
            }
            for (int c = 0; c < n && !stopped; c++) {
                const Component& comp = s.components[c];
                for (int by = 0; by < comp.v && !stopped; by++)
                    for (int bx = 0; bx < comp.h; bx++) {
                        int last = fastBlock(c, coefficients, bits);
                        if (last < 0) {
                            stopUnfinished(planes, channels, mx, c, by, bx);
                            std::memset(coefficients, 0, sizeof(coefficients));
                            stopped = true;
                            break;
                        }
                        if (c < channels) {
                            Plane& p = planes[c];
                            uint8_t* dst = p.strip + (int64_t)by * 8 * p.stride + (mx * comp.h + bx) * 8;
                            if (last == 0) {
                                float f = (float)((int64_t)(int32_t)p.quant[0] * coefficients[0]);
                                uint8_t v = sampleFromValue(f);
                                for (int r = 0; r < 8; r++) std::memset(dst + (int64_t)r * p.stride, v, 8);
                            } else {
                                kernels.transform(coefficients, p.quant, dst, p.stride);
                            }
                        }
                        // Clear what the block used.
#if JPEG_SSE2
                        const __m128i z = _mm_setzero_si128();
                        for (int i = 0; i < 64; i += 4) _mm_store_si128((__m128i*)(coefficients + i), z);
#else
                        std::memset(coefficients, 0, sizeof(coefficients));
#endif
                    }
            }
        }
        // Emit the output rows of this MCU row.
        int rows = h - y < mcuH ? h - y : mcuH;
        for (int ly = 0; ly < rows; ly++) {
            uint8_t* out = s.output + ((int64_t)(y + ly) * w) * 3;
            const uint8_t* r0 = channelRow(planes[0], 0, ly, w, nullptr, nullptr);
            if (n == 1) {
                kernels.grey(r0, out, w);
                continue;
            }
            const uint8_t* flat1 = n == 3 ? flatNeutral : flatZero;
            const uint8_t* r1 = channelRow(planes[1], 1, ly, w, scratch[0], flat1);
            const uint8_t* r2 = channels > 2 ? channelRow(planes[2], 2, ly, w, scratch[1], flat1) : flatZero;
            if (n == 3)
                kernels.ycc(r0, r1, r2, out, w);
            else
                kernels.raw(r0, r1, r2, out, w);
        }
        if (stopped) {
            int64_t done = (int64_t)(y + rows) * w * 3;
            std::memset(s.output + done, 0, (size_t)((int64_t)w * h * 3 - done));
            break;
        }
    }
    memFree(work, kModule, __LINE__);
}

}  // namespace

void jpeg_select_decoder(int32_t variant) {
    decoderVariant = (variant == JPEG_DECODER_REFERENCE || variant == JPEG_DECODER_PORTABLE) ? variant
                                                                                            : JPEG_DECODER_FAST;
}

void jpeg_decode_memory(uint8_t** pixels, const uint8_t* data, int32_t size, int32_t* width,
                        int32_t* height, int32_t headerOnly, int32_t* ok) {
    if (pixels) *pixels = nullptr;
    std::memset(&state, 0, sizeof(state));
    int32_t accepted = 0;
    if (data != nullptr && size > 0) {
        state.data = data;
        state.size = size;
        accepted = parseHeaders();
    }
    if (ok) *ok = accepted;
    if (!accepted || headerOnly) return;

    int64_t bytes = (int64_t)state.width * state.height * 3;
    state.output = (uint8_t*)memAlloc(nullptr, bytes, kModule, __LINE__);
    if (state.output == nullptr) return;
    if (decoderVariant == JPEG_DECODER_REFERENCE)
        referenceScan();
    else
        fastScan();
    if (pixels)
        *pixels = state.output;
    else
        memFree(state.output, kModule, __LINE__);
    if (width) *width = state.width;
    if (height) *height = state.height;
    state.output = nullptr;
    state.data = nullptr;
}

int32_t jpeg_image_size(const uint8_t* data, int32_t size, int32_t* width, int32_t* height) {
    std::memset(&state, 0, sizeof(state));
    if (data == nullptr || size <= 0) return -1;
    state.data = data;
    state.size = size;
    int32_t accepted = parseHeaders();
    state.data = nullptr;
    if (!accepted) return -1;
    if (width) *width = state.width;
    if (height) *height = state.height;
    return 0;
}

void jpeg_decode_file(uint8_t** pixels, const char* name, const char* dir, int32_t readOptions,
                      int32_t* width, int32_t* height, int32_t headerOnly, int32_t* ok) {
    (void)readOptions;
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    if (readWholeFile(name, dir, &buffer, &size) != 0) return;
    jpeg_decode_memory(pixels, buffer, size, width, height, headerOnly, ok);
    memFree(buffer, kModule, __LINE__);
}

uint8_t* rgb_to_ppm(const uint8_t* rgb, int32_t width, int32_t height, int32_t* ppmSize) {
    if (ppmSize) *ppmSize = 0;
    if (rgb == nullptr || width <= 0 || height <= 0) return nullptr;
    char header[48];
    int headerSize = std::snprintf(header, sizeof(header), "P6\n%d %d\n255\n", (int)width, (int)height);
    int64_t pixelBytes = (int64_t)width * height * 3;
    int64_t total = headerSize + pixelBytes;
    if (total > 0x7FFFFFFF) return nullptr;
    uint8_t* out = (uint8_t*)memAlloc(nullptr, total, kModule, __LINE__);
    std::memcpy(out, header, (size_t)headerSize);
    std::memcpy(out + headerSize, rgb, (size_t)pixelBytes);
    if (ppmSize) *ppmSize = (int32_t)total;
    return out;
}

int32_t rgb_write_ppm(const char* name, const char* dir, const uint8_t* rgb, int32_t width,
                      int32_t height) {
    int32_t size = 0;
    uint8_t* ppm = rgb_to_ppm(rgb, width, height, &size);
    if (ppm == nullptr) return -1;
    int32_t result = writeWholeFile(name, dir, ppm, size);
    memFree(ppm, kModule, __LINE__);
    return result == 0 ? 0 : -1;
}
