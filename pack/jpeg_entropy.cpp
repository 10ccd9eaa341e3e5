#include <cstring>

#include "pack/jpeg_internal.h"

namespace jpegdec {
namespace {

inline int32_t extendValue(uint32_t v, int n) {
    if (n == 0) return 0;
    if (v & (1u << (n - 1))) return (int32_t)v;
    return (int32_t)v - (int32_t)((1u << n) - 1);
}

}  // namespace

// ------------------------------------------------------------------------------------------------
// Huffman tables

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

namespace {

void clearPredictors() {
    for (int c = 0; c < MAX_COMPONENTS; c++) state.predictors[c] = 0;
}

// ------------------------------------------------------------------------------------------------
// Reference decoder: one bit at a time.

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

// ------------------------------------------------------------------------------------------------
// Fast decoder: 64-bit bit buffer and Huffman lookahead tables. It consumes the same bits and
// stops at the same block as the reference decoder above.

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

}  // namespace

// ------------------------------------------------------------------------------------------------
// Scan loops: MCU by MCU in frame order, restart intervals, and where a broken scan stops.

void referenceScan() {
    JpegDecoderState& s = state;
    const int n = s.componentCount;
    const int w = s.width, h = s.height;
    referenceStartImage();

    const int mcuW = 8 * s.components[0].h, mcuH = 8 * s.components[0].v;
    clearPredictors();
    s.bitsTaken = 0;
    int64_t mcuIndex = 0;
    for (int y = 0; y < h; y += mcuH) {
        for (int x = 0; x < w; x += mcuW, mcuIndex++) {
            if (s.restartInterval > 0 && mcuIndex % s.restartInterval == 0) s.bitsTaken = 0;
            for (int c = 0; c < n; c++) {
                const Component& comp = s.components[c];
                for (int by = 0; by < comp.v; by++)
                    for (int bx = 0; bx < comp.h; bx++) {
                        if (!referenceBlock(c)) goto finished;
                        if (c >= 3) continue;  // no channel for a fourth component
                        referencePlaceBlock(c, x, y, bx, by);
                    }
            }
        }
    }
finished:
    referenceConvertImage();
}

// Gives the band, rows y .. y + rows - 1, to the sink; false when it asks to stop.
static bool handOver(int y, int rows) {
    JpegDecoderState& s = state;
    if (s.sink(s.sinkUser, s.output, s.width, y, rows) == 0) return true;
    s.sinkStopped = 1;
    return false;
}

// Kept in the same source as fastBlock so that it inlines and the bit buffer stays in registers.
void fastScan() {
    JpegDecoderState& s = state;
    const int n = s.componentCount;
    const int w = s.width, h = s.height;
    const int mcuH = 8 * s.components[0].v;
    FastOutput o;
    openFastOutput(o);

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
        for (int mx = 0; mx < o.mcusPerRow && !stopped; mx++, mcuIndex++) {
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
                            stopUnfinished(o, mx, c, by, bx);
                            std::memset(coefficients, 0, sizeof(coefficients));
                            stopped = true;
                            break;
                        }
                        if (c < o.channels) {
                            Plane& p = o.planes[c];
                            uint8_t* dst = p.strip + (int64_t)by * 8 * p.stride + (mx * comp.h + bx) * 8;
                            if (last == 0) {
                                float f = (float)((int64_t)(int32_t)p.quant[0] * coefficients[0]);
                                uint8_t v = sampleFromValue(f);
                                for (int r = 0; r < 8; r++) std::memset(dst + (int64_t)r * p.stride, v, 8);
                            } else {
                                o.kernels.transform(coefficients, p.quant, dst, p.stride);
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
        int rows = h - y < mcuH ? h - y : mcuH;
        emitMcuRow(o, y, rows);
        if (s.sink && !handOver(y, rows)) break;
        if (stopped) {
            if (s.sink) {
                // The rows the scan never reached are black, one band at a time.
                std::memset(s.output, 0, (size_t)mcuH * w * 3);
                for (int yy = y + rows; yy < h && handOver(yy, h - yy < mcuH ? h - yy : mcuH);) yy += mcuH;
            } else {
                int64_t done = (int64_t)(y + rows) * w * 3;
                std::memset(s.output + done, 0, (size_t)((int64_t)w * h * 3 - done));
            }
            break;
        }
    }
    closeFastOutput(o);
}

}  // namespace jpegdec
