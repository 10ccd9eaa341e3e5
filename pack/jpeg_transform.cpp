#include <cstring>

#include "pack/jpeg_decoder.h"
#include "system/memory.h"
#include "pack/jpeg_internal.h"

namespace jpegdec {
namespace {

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

// ------------------------------------------------------------------------------------------------
// Block arithmetic

inline float dequantised(uint16_t q, int32_t coefficient) {
    return (float)((int64_t)q * coefficient);
}

// One 8-point pass of the scaled transform over d[0], d[stride], ..., d[7 * stride]. The plain
// code runs it on floats, the vector routines on __m128 or __m256 with stride 1, four or eight
// lines at once: one body, so that every decoder rounds alike. (GCC and Clang give the vector
// types arithmetic operators; a float operand counts for every lane.) Always inlined, because in
// the AVX2 routines it must be compiled for AVX2 like its caller.
template <class V>
__attribute__((always_inline)) inline void inverseTransform8(V* d, int stride) {
    V t0 = d[0], t1 = d[2 * stride], t2 = d[4 * stride], t3 = d[6 * stride];
    V tmp10 = t0 + t2;
    V tmp11 = t0 - t2;
    V tmp13 = t1 + t3;
    V tmp12 = (t1 - t3) * kC1414 - tmp13;
    V e0 = tmp10 + tmp13;
    V e3 = tmp10 - tmp13;
    V e1 = tmp11 + tmp12;
    V e2 = tmp11 - tmp12;

    V t4 = d[stride], t5 = d[3 * stride], t6 = d[5 * stride], t7 = d[7 * stride];
    V z13 = t6 + t5;
    V z10 = t6 - t5;
    V z11 = t4 + t7;
    V z12 = t4 - t7;
    V o7 = z11 + z13;
    V o11 = (z11 - z13) * kC1414;
    V z5 = (z10 + z12) * kC1847;
    V o10 = z5 - z12 * kC1082;
    V o12 = z5 - z10 * kC2613;
    V o6 = o12 - o7;
    V o5 = o11 - o6;
    V o4 = o10 - o5;

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

// One pixel of the colour conversion; the vector routines round exactly like it.
inline void yccToRgb(int yv, int cb, int cr, uint8_t* out) {
    out[0] = clampTruncate(yv + kCr2R * (cr - 128));
    out[1] = clampTruncate(yv - kCb2G * (cb - 128) - kCr2G * (cr - 128));
    out[2] = clampTruncate(yv + kCb2B * (cb - 128));
}

// ------------------------------------------------------------------------------------------------
// Vector routines of the fast decoder

#if JPEG_SSE2
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
    inverseTransform8(lo, 1);  // columns 0-3
    inverseTransform8(hi, 1);  // columns 4-7
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
    // a[q]: column q, rows 0-3; b[q]: column q, rows 4-7. Row transform = one pass across q.
    inverseTransform8(a, 1);
    inverseTransform8(b, 1);
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
        yccToRgb(yr[i], cbr[i], crr[i], out + i * 3);
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
    inverseTransform8(r, 1);  // columns
    transpose8(r);
    inverseTransform8(r, 1);  // rows; r[q] now holds output column q
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
        yccToRgb(yr[i], cbr[i], crr[i], out + i * 3);
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

// The AVX2 routines only for JPEG_DECODER_FAST, and only on a processor that has them.
Kernels chooseKernels() {
#if JPEG_AVX2
    if (state.variant == JPEG_DECODER_FAST && cpuHasAvx2())
        return Kernels{transformBlockAvx2, convertRowYccAvx2, convertRowGreyAvx2, convertRowRawAvx2};
#endif
    return Kernels{transformBlockFast, convertRowYcc, convertRowGrey, convertRowRaw};
}

// ------------------------------------------------------------------------------------------------
// Sample placement and output

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

}  // namespace

// Reference decoder: every pixel of the image holds its samples until the conversion at the end.

void referenceStartImage() {
    const JpegDecoderState& s = state;
    const int w = s.width, h = s.height;
    uint8_t* out = s.output;
    for (int i = 0; i < w * h; i++)
        for (int c = 0; c < 3; c++) out[i * 3 + c] = initialSample(c);
}

void referencePlaceBlock(int c, int x, int y, int bx, int by) {
    JpegDecoderState& s = state;
    const Component& comp = s.components[c];
    const int w = s.width, h = s.height;
    uint8_t* out = s.output;
    int fx, fy;
    replicationFactors(c, &fx, &fy);
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

void referenceConvertImage() {
    const JpegDecoderState& s = state;
    const int n = s.componentCount;
    const int w = s.width, h = s.height;
    uint8_t* out = s.output;
    for (int64_t i = 0; i < (int64_t)w * h; i++) {
        uint8_t* p = out + i * 3;
        if (n == 3) {
            yccToRgb(p[0], p[1], p[2], p);
        } else if (n == 1) {
            p[1] = p[0];
            p[2] = p[0];
        }
    }
}

// Fast decoder: one MCU row of planar samples at a time.

void openFastOutput(FastOutput& o) {
    const JpegDecoderState& s = state;
    const int n = s.componentCount;
    const int w = s.width;
    const int mcuW = 8 * s.components[0].h;
    o.mcusPerRow = (w + mcuW - 1) / mcuW;
    o.channels = n < 3 ? n : 3;
    o.kernels = chooseKernels();

    // One work buffer: strips, column maps, two scratch rows and two flat rows.
    int64_t bytes = 0;
    for (int c = 0; c < o.channels; c++)
        bytes += (int64_t)o.mcusPerRow * 8 * s.components[c].h * 8 * s.components[c].v + 16;
    bytes += (int64_t)w * sizeof(int32_t) * 2 + (int64_t)(w + 32) * 4 + 64;
    o.work = (uint8_t*)memAlloc(nullptr, bytes, kModule, __LINE__);
    uint8_t* cursor = o.work;
    for (int c = 0; c < o.channels; c++) {
        const Component& comp = s.components[c];
        Plane& p = o.planes[c];
        p.stride = o.mcusPerRow * 8 * comp.h;
        p.strip = cursor;
        cursor += (int64_t)p.stride * 8 * comp.v + 16;
        for (int i = 0; i < 64; i++) p.quant[i] = (float)s.quant[comp.quant][kZigZag[i]];
        replicationFactors(c, &p.fx, &p.fy);
        p.columnKind = 0;
        p.columnMap = nullptr;
    }
    int32_t* maps = (int32_t*)(((uintptr_t)cursor + 7) & ~(uintptr_t)7);
    cursor = (uint8_t*)(maps + 2 * (int64_t)w);
    o.scratch[0] = cursor;
    o.scratch[1] = cursor + w + 32;
    o.flatZero = cursor + 2 * (w + 32);
    o.flatNeutral = o.flatZero + (w + 32);
    std::memset(o.flatZero, 0, w);
    std::memset(o.flatNeutral, 128, w);
    for (int c = 1; c < o.channels; c++) {
        Plane& p = o.planes[c];
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
}

void emitMcuRow(const FastOutput& o, int y, int rows) {
    const JpegDecoderState& s = state;
    const int n = s.componentCount;
    const int w = s.width;
    const Plane* planes = o.planes;
    for (int ly = 0; ly < rows; ly++) {
        uint8_t* out = s.output + ((int64_t)((s.sink ? 0 : y) + ly) * w) * 3;
        const uint8_t* r0 = channelRow(planes[0], 0, ly, w, nullptr, nullptr);
        if (n == 1) {
            o.kernels.grey(r0, out, w);
            continue;
        }
        const uint8_t* flat1 = n == 3 ? o.flatNeutral : o.flatZero;
        const uint8_t* r1 = channelRow(planes[1], 1, ly, w, o.scratch[0], flat1);
        const uint8_t* r2 = o.channels > 2 ? channelRow(planes[2], 2, ly, w, o.scratch[1], flat1) : o.flatZero;
        if (n == 3)
            o.kernels.ycc(r0, r1, r2, out, w);
        else
            o.kernels.raw(r0, r1, r2, out, w);
    }
}

// The scan ended at block (by, bx) of component c in MCU column mx: every block of the MCU row
// not decoded yet gets the initial samples.
void stopUnfinished(FastOutput& o, int mx, int c, int by, int bx) {
    for (int cc = 0; cc < o.channels; cc++) {
        const Component& k = state.components[cc];
        Plane& p = o.planes[cc];
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

void closeFastOutput(FastOutput& o) { o.work = (uint8_t*)memFree(o.work, kModule, __LINE__); }

}  // namespace jpegdec
