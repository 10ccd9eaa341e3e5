// The baseline JPEG decoder against libjpeg-turbo (encoding and reference decoding in process),
// against pictures from a small encoder in this file whose every decoded byte is known, and on
// damaged input. Where results must agree byte for byte, the fast decoder is compared with the
// bit-by-bit reference decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "pack/jpeg_decoder.h"
#include "support/reference_jpeg.h"
#include "support/test_support.h"
#include "system/memory.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Decoded {
    int32_t ok = -1, width = -1, height = -1;
    bool hasPixels = false;
    Bytes rgb;
};

Decoded decode(const Bytes& bytes, int32_t variant = JPEG_DECODER_FAST, int32_t headerOnly = 0) {
    // An exact-size copy, so that the address sanitiser sees any read past the end.
    std::unique_ptr<uint8_t[]> copy(bytes.empty() ? nullptr : new uint8_t[bytes.size()]);
    if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
    jpeg_select_decoder(variant);
    Decoded d;
    uint8_t* pixels = nullptr;
    jpeg_decode_memory(&pixels, copy.get(), (int32_t)bytes.size(), &d.width, &d.height, headerOnly, &d.ok);
    jpeg_select_decoder(JPEG_DECODER_FAST);
    if (pixels != nullptr) {
        d.hasPixels = true;
        d.rgb.assign(pixels, pixels + (size_t)d.width * d.height * 3);
        memFree(pixels, "test", __LINE__);
    }
    return d;
}

void expectSameRgb(const Bytes& got, const Bytes& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    size_t i = (size_t)(std::mismatch(got.begin(), got.end(), want.begin()).first - got.begin());
    if (i < got.size())
        FAIL() << what << ": first difference at pixel " << i / 3 << " channel " << i % 3 << " (" << (int)got[i]
               << " vs " << (int)want[i] << ")";
}

// The fast decoder (with the processor's best routines and with the portable ones) and the
// reference decoder agree on the verdict and on every byte.
void expectSameAsReference(const Bytes& bytes, const std::string& what) {
    Decoded reference = decode(bytes, JPEG_DECODER_REFERENCE);
    for (int32_t variant : {JPEG_DECODER_FAST, JPEG_DECODER_PORTABLE}) {
        Decoded fast = decode(bytes, variant);
        const std::string name = what + (variant == JPEG_DECODER_FAST ? " (fast)" : " (portable)");
        ASSERT_EQ(std::make_tuple(fast.ok, fast.hasPixels, fast.width, fast.height),
                  std::make_tuple(reference.ok, reference.hasPixels, reference.width, reference.height))
            << name;
        expectSameRgb(fast.rgb, reference.rgb, name);
    }
}

double psnr(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size() || a.empty()) return 0.0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); i++) sum += ((double)a[i] - b[i]) * ((double)a[i] - b[i]);
    return sum == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / (sum / (double)a.size()));
}

// Photo-like RGB: smooth gradients in different directions per channel, plus noise of +-6.
Bytes sourceRgb(int w, int h) {
    Bytes out;
    uint32_t seed = (uint32_t)(w * 131 + h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < 3; c++) {
                seed = seed * 1664525u + 1013904223u;
                int noise = (int)((seed >> 24) % 13) - 6;
                double v = c == 0   ? 128 + 70 * std::sin(0.045 * x + 0.02 * y) + 30 * std::cos(0.03 * y)
                           : c == 1 ? 128 + 60 * std::cos(0.035 * x - 0.04 * y + 1)
                                    : 120 + 70 * std::sin(0.05 * y + 0.01 * x + 2);
                out.push_back((uint8_t)std::clamp((int)v + noise, 0, 255));
            }
    return out;
}

// libjpeg settings with luma sampled h x v and chroma 1 x 1 (h 0: one grey component), then a change.
JpegSettings coded(int h, int v, const std::function<void(JpegSettings&)>& change = {}) {
    JpegSettings s;
    s.grey = h == 0;
    s.sampling[0][0] = h;
    s.sampling[0][1] = v;
    if (change) change(s);
    return s;
}

// A file encoded by libjpeg.
Bytes libjpeg(int w, int h, const JpegSettings& settings = coded(2, 2)) {
    Bytes jpeg = referenceJpegEncode(sourceRgb(w, h), w, h, settings);
    EXPECT_FALSE(jpeg.empty()) << "libjpeg could not encode " << w << "x" << h;
    return jpeg;
}

// libjpeg's own decode of a file.
Bytes reference(const Bytes& jpeg, int w, int h) {
    int rw = 0, rh = 0;
    Bytes rgb;
    EXPECT_TRUE(referenceJpegDecode(jpeg, &rw, &rh, &rgb));
    EXPECT_EQ(rw, w);
    EXPECT_EQ(rh, h);
    return rgb;
}

// ------------------------------------------------------------------------------------------------
// JPEG segments, for building damaged and unusual files from good ones.

struct Segment {
    uint8_t marker;
    Bytes payload;  // without the length field
};

struct Split {
    std::vector<Segment> segments;  // SOI excluded, SOS included
    Bytes entropy;                  // everything after the SOS header
};

Split split(const Bytes& f) {
    Split s;
    for (size_t p = 2; p + 4 <= f.size();) {
        uint8_t marker = f[p + 1];
        size_t len = ((size_t)f[p + 2] << 8) | f[p + 3];
        s.segments.push_back({marker, Bytes(f.begin() + (long)p + 4, f.begin() + (long)(p + 2 + len))});
        p += 2 + len;
        if (marker == 0xDA) {
            s.entropy.assign(f.begin() + (long)p, f.end());
            break;
        }
    }
    return s;
}

Bytes segmentBytes(uint8_t marker, const Bytes& payload) {
    Bytes b = {0xFF, marker, (uint8_t)((payload.size() + 2) >> 8), (uint8_t)(payload.size() + 2)};
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

Bytes join(const Split& s) {
    Bytes b = {0xFF, 0xD8};
    for (const Segment& seg : s.segments) {
        Bytes one = segmentBytes(seg.marker, seg.payload);
        b.insert(b.end(), one.begin(), one.end());
    }
    b.insert(b.end(), s.entropy.begin(), s.entropy.end());
    return b;
}

Segment& find(Split& s, uint8_t marker) {
    for (Segment& seg : s.segments)
        if (seg.marker == marker) return seg;
    static Segment none{0, {}};
    ADD_FAILURE() << "no segment " << std::hex << (int)marker;
    return none;
}

size_t sosEnd(const Bytes& f) { return f.size() - split(f).entropy.size(); }

bool allPixelsEqual(const Bytes& rgb, uint8_t v) {
    return std::all_of(rgb.begin(), rgb.end(), [v](uint8_t c) { return c == v; });
}

// ------------------------------------------------------------------------------------------------

TEST(JpegDecoder, MatchesLibjpegInEveryLayoutSizeQualityAndRestartInterval) {
    struct Case {
        std::string what;
        int w, h;
        JpegSettings settings;
    };
    std::vector<Case> cases;
    const int layouts[][2] = {{1, 1}, {2, 1}, {2, 2}, {0, 0}};
    const int sizes[][2] = {{1, 1}, {8, 8}, {9, 47}, {17, 17}, {33, 20}, {47, 46}, {640, 480}};
    for (const auto& l : layouts)
        for (const auto& s : sizes)
            cases.push_back({"luma " + std::to_string(l[0]) + "x" + std::to_string(l[1]) + ", " +
                                 std::to_string(s[0]) + "x" + std::to_string(s[1]),
                             s[0], s[1], coded(l[0], l[1])});
    cases.push_back({"optimized tables", 97, 61, coded(2, 2, [](JpegSettings& s) { s.optimize = true; })});
    cases.push_back({"quality 100", 97, 61, coded(2, 2, [](JpegSettings& s) { s.quality = 100; })});
    cases.push_back({"quality 5", 97, 61, coded(2, 2, [](JpegSettings& s) { s.quality = 5; })});
    cases.push_back({"grey quality 60", 19, 13, coded(0, 0, [](JpegSettings& s) { s.quality = 60; })});
    for (const auto& l : {std::vector<int>{1, 2}, {4, 1}, {3, 1}, {4, 2}, {2, 2, 1, 1, 2, 1}})
        cases.push_back({"luma " + std::to_string(l[0]) + "x" + std::to_string(l[1]) + (l.size() > 2 ? ", Cr 2x1" : ""),
                         71, 53, coded(l[0], l[1], [&](JpegSettings& s) {
                             for (size_t c = 2; c < l.size(); c++) s.sampling[c / 2][c % 2] = l[c];
                         })});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes plainFile = libjpeg(c.w, c.h, c.settings);
        Decoded plain = decode(plainFile);
        ASSERT_EQ(plain.ok, 1);
        ASSERT_EQ(plain.width, c.w);
        ASSERT_EQ(plain.height, c.h);
        // Quality 5 is blocky for every decoder; the differences in rounding weigh more there.
        EXPECT_GE(psnr(plain.rgb, reference(plainFile, c.w, c.h)), c.settings.quality < 10 ? 30.0 : 35.0);
        for (size_t i = 0; c.settings.grey && i < plain.rgb.size(); i += 3)
            ASSERT_TRUE(plain.rgb[i] == plain.rgb[i + 1] && plain.rgb[i] == plain.rgb[i + 2]) << "pixel " << i / 3;
        expectSameAsReference(plainFile, "plain");
        // Restart markers change the coding, not the coefficients.
        for (auto [rows, mcus] : {std::pair{1, 0}, std::pair{0, 3}}) {
            JpegSettings restarts = c.settings;
            restarts.restartRows = rows;
            restarts.restartMcus = mcus;
            const Bytes f = libjpeg(c.w, c.h, restarts);
            ASSERT_NE(f, plainFile) << "libjpeg wrote no restart interval";
            EXPECT_TRUE(decode(f).rgb == plain.rgb) << rows << " rows, " << mcus << " MCUs";
            expectSameAsReference(f, "with restarts");
        }
    }
}

TEST(JpegDecoder, SixteenBitQuantisationTablesDecodeLikeEightBitOnes) {
    const Bytes f = libjpeg(33, 33);
    Split s = split(f);
    int rewritten = 0;
    for (Segment& seg : s.segments) {
        if (seg.marker != 0xDB) continue;
        Bytes wide;
        for (size_t p = 0; p < seg.payload.size(); p += 65, rewritten++) {
            ASSERT_EQ(seg.payload[p] >> 4, 0);
            wide.push_back((uint8_t)(0x10 | seg.payload[p]));
            for (int i = 0; i < 64; i++) wide.insert(wide.end(), {0, seg.payload[p + 1 + i]});
        }
        seg.payload = wide;
    }
    ASSERT_GE(rewritten, 2);
    Decoded widened = decode(join(s));
    ASSERT_EQ(widened.ok, 1);
    EXPECT_TRUE(widened.rgb == decode(f).rgb);
}

TEST(JpegDecoder, RejectsProgressiveArithmeticExtendedAndUnmarkedData) {
    const std::pair<const char*, JpegSettings> refused[] = {
        {"progressive", coded(2, 2, [](JpegSettings& s) { s.progressive = true; })},
        {"arithmetic", coded(2, 2, [](JpegSettings& s) { s.arithmetic = true; })},
        {"extended", coded(2, 2, [](JpegSettings& s) { s.quality = 5, s.forceBaseline = false; })}};
    for (const auto& [what, settings] : refused) {
        const Bytes f = libjpeg(40, 30, settings);
        ASSERT_GT(f.size(), 100u) << what;
        Decoded d = decode(f);
        EXPECT_EQ(std::make_tuple(d.ok, d.hasPixels, d.width, d.height), std::make_tuple(0, false, -1, -1)) << what;
        EXPECT_EQ(decode(f, JPEG_DECODER_FAST, 1).ok, 0) << what;
        int32_t w = -5, h = -5;
        EXPECT_EQ(jpeg_image_size(f.data(), (int32_t)f.size(), &w, &h), -1) << what;
        EXPECT_EQ(w, -5) << what;
    }
    const Bytes f = libjpeg(16, 16);
    Bytes prefixed = f;
    prefixed.insert(prefixed.begin(), 0x00);
    const Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (const Bytes& bad : {Bytes(f.begin() + 1, f.end()), prefixed, png})
        EXPECT_EQ(decode(bad).ok, 0) << bad.size() << " bytes";
    int32_t ok = 7;
    uint8_t* pixels = (uint8_t*)&ok;
    jpeg_decode_memory(&pixels, nullptr, 100, nullptr, nullptr, 0, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(pixels, nullptr);
}

TEST(JpegDecoder, DecodesFilesWritesPpmAndReadsHeadersAlone) {
    const Bytes small = libjpeg(40, 40, coded(2, 1)), big = libjpeg(640, 480);
    Decoded d = decode(small, JPEG_DECODER_FAST, 1);
    EXPECT_EQ(std::make_tuple(d.ok, d.hasPixels, d.width, d.height), std::make_tuple(1, false, -1, -1));
    int32_t w = 0, h = 0;
    EXPECT_EQ(jpeg_image_size(small.data(), (int32_t)small.size(), &w, &h), 0);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(40, 40));

    TempDir scratch;
    const std::string dir = scratch.path();
    writeBytes(scratch.file("big.jpg"), big);
    writeBytes(scratch.file("small.jpg"), small);
    uint8_t* pixels = nullptr;
    int32_t ok = -1;
    jpeg_decode_file(&pixels, "big.jpg", dir.c_str(), 0, &w, &h, 0, &ok);
    ASSERT_EQ(ok, 1);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(640, 480));
    const Decoded inMemory = decode(big);
    EXPECT_EQ(0, std::memcmp(pixels, inMemory.rgb.data(), inMemory.rgb.size()));
    ASSERT_EQ(rgb_write_ppm("out.ppm", dir.c_str(), pixels, w, h), 0);
    Bytes written = readBytes(scratch.file("out.ppm"));
    ASSERT_EQ(written.size(), 15u + 640 * 480 * 3);
    EXPECT_EQ(0, std::memcmp(written.data(), "P6\n640 480\n255\n", 15));
    EXPECT_TRUE(std::equal(inMemory.rgb.begin(), inMemory.rgb.end(), written.begin() + 15));
    int32_t ppmSize = 0;  // its bytes against the file: the vcvtool test
    EXPECT_EQ(rgb_to_ppm(nullptr, 4, 4, &ppmSize), nullptr);
    EXPECT_EQ(rgb_to_ppm(pixels, 0, 4, &ppmSize), nullptr);
    memFree(pixels, "test", __LINE__);
    // A file that cannot be read leaves every output as it was.
    pixels = (uint8_t*)&w;
    w = h = 3;
    ok = 9;
    jpeg_decode_file(&pixels, "missing.jpg", dir.c_str(), 0, &w, &h, 0, &ok);
    EXPECT_EQ(std::make_tuple(ok, w, pixels), std::make_tuple(9, 3, (uint8_t*)&w));
    pixels = nullptr;
    w = h = -1;
    jpeg_decode_file(&pixels, "small.jpg", dir.c_str(), 0, &w, &h, 1, &ok);
    EXPECT_EQ(std::make_tuple(ok, w, pixels), std::make_tuple(1, -1, (uint8_t*)nullptr));
}

// ------------------------------------------------------------------------------------------------
// The band-by-band decode: the whole-image bytes for every decoder variant, sampling layout and
// damaged scan, every row handed over once and in order, and a sink that stops the decode stops it.

struct Collected {
    Bytes rgb;
    int32_t width = -1, nextRow = 0, calls = 0, stopAfter = -1;
    bool inOrder = true;
};

int32_t collect(void* user, const uint8_t* rows, int32_t width, int32_t first, int32_t count) {
    Collected* c = (Collected*)user;
    if (c->width < 0) c->width = width;
    c->inOrder = c->inOrder && width == c->width && first == c->nextRow && count > 0;
    c->nextRow = first + count;
    c->rgb.insert(c->rgb.end(), rows, rows + (size_t)width * 3 * count);
    c->calls++;
    return c->calls == c->stopAfter ? -1 : 0;
}

TEST(JpegRows, BandsGiveTheWholeImageBytesInEveryLayoutVariantAndDamagedScan) {
    std::vector<std::pair<std::string, Bytes>> files = {
        {"4:2:0 odd size", libjpeg(203, 77)},
        {"4:4:4 with restarts", libjpeg(64, 40, coded(1, 1, [](JpegSettings& s) { s.restartRows = 1; }))},
        {"4:2:2", libjpeg(50, 33, coded(2, 1))},
        {"grey", libjpeg(31, 19, coded(0, 0))},
    };
    Bytes cut = files[0].second;
    cut.resize(cut.size() * 2 / 3);  // the scan ends early: the rows it never reaches are black
    files.push_back({"truncated scan", cut});
    for (const auto& [what, jpeg] : files)
        for (int32_t variant : {JPEG_DECODER_FAST, JPEG_DECODER_PORTABLE, JPEG_DECODER_REFERENCE}) {
            SCOPED_TRACE(what + " variant " + std::to_string(variant));
            const Decoded whole = decode(jpeg, variant);
            ASSERT_EQ(whole.ok, 1);
            jpeg_select_decoder(variant);
            Collected got, stopped;
            stopped.stopAfter = 1;
            EXPECT_EQ(jpeg_decode_rows(jpeg.data(), (int32_t)jpeg.size(), collect, &got), 0);
            // Stopping after the first band: no further rows, and the decode says so.
            EXPECT_EQ(jpeg_decode_rows(jpeg.data(), (int32_t)jpeg.size(), collect, &stopped), -1);
            jpeg_select_decoder(JPEG_DECODER_FAST);
            EXPECT_TRUE(got.inOrder);
            EXPECT_EQ(std::make_pair(got.width, got.nextRow), std::make_pair(whole.width, whole.height));
            EXPECT_TRUE(got.rgb == whole.rgb);
            EXPECT_EQ(stopped.calls, 1);
        }
    // Headers the decoder refuses: -1 and the sink never hears of it; the next decode is unharmed.
    const Bytes progressive = libjpeg(40, 40, coded(2, 2, [](JpegSettings& s) { s.progressive = true; }));
    Collected none;
    EXPECT_EQ(jpeg_decode_rows(progressive.data(), (int32_t)progressive.size(), collect, &none), -1);
    EXPECT_EQ(jpeg_decode_rows(nullptr, 0, collect, &none), -1);
    EXPECT_EQ(none.calls, 0);
    EXPECT_EQ(decode(files[0].second).rgb.size(), (size_t)203 * 77 * 3);
}

// ------------------------------------------------------------------------------------------------
// A small baseline encoder of flat blocks, so that every decoded byte is known. With a quantiser
// of 1, a DC coefficient of 8 (v - 128) decodes to v; DC categories have 4-bit codes equal to the
// category, and the only AC symbol, end of block, the 1-bit code 0.

struct Layout {
    int h, v;  // sampling factors
};

// Block values spread over 0..255, the extremes included.
int blockValue(int c, int bx, int by) {
    uint32_t x = (uint32_t)(c * 7919 + bx * 131 + by * 977) * 2654435761u;
    return (x & 0xF) == 1 ? 0 : (x & 0xF) == 2 ? 255 : (int)(x >> 24);
}

Bytes dcOnlyJpeg(int w, int h, const std::vector<Layout>& comps, int restartInterval = 0) {
    Split s;
    Bytes sof = {8, (uint8_t)(h >> 8), (uint8_t)h, (uint8_t)(w >> 8), (uint8_t)w, (uint8_t)comps.size()};
    Bytes sos = {(uint8_t)comps.size()};
    for (size_t c = 0; c < comps.size(); c++) {
        sof.insert(sof.end(), {(uint8_t)(c + 1), (uint8_t)(comps[c].h << 4 | comps[c].v), 0});
        sos.insert(sos.end(), {(uint8_t)(c + 1), 0x00});
    }
    sos.insert(sos.end(), {0, 63, 0});
    Bytes dqt(65, 1), dc = {0x00, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    Bytes ac = {0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00};
    dqt[0] = 0;
    s.segments = {{0xDB, dqt}, {0xC0, sof}, {0xC4, dc}, {0xC4, ac}};
    if (restartInterval) s.segments.push_back({0xDD, {(uint8_t)(restartInterval >> 8), (uint8_t)restartInterval}});
    s.segments.push_back({0xDA, sos});
    uint32_t acc = 0;
    int n = 0;
    auto put = [&](uint32_t bits, int count) {
        for (int i = count - 1; i >= 0; i--) {
            acc = (acc << 1) | ((bits >> i) & 1);
            if (++n < 8) continue;
            s.entropy.push_back((uint8_t)acc);
            if (acc == 0xFF) s.entropy.push_back(0);
            acc = n = 0;
        }
    };
    const int mcuW = 8 * comps[0].h, mcuH = 8 * comps[0].v, mcusX = (w + mcuW - 1) / mcuW;
    const int mcus = mcusX * ((h + mcuH - 1) / mcuH);
    std::vector<int> predictor(comps.size(), 0);
    for (int mcu = 0; mcu < mcus; mcu++) {
        if (restartInterval && mcu > 0 && mcu % restartInterval == 0) {
            while (n) put(1, 1);
            s.entropy.insert(s.entropy.end(), {0xFF, (uint8_t)(0xD0 + ((mcu / restartInterval - 1) & 7))});
            std::fill(predictor.begin(), predictor.end(), 0);
        }
        for (size_t c = 0; c < comps.size(); c++)
            for (int by = 0; by < comps[c].v; by++)
                for (int bx = 0; bx < comps[c].h; bx++) {
                    int dc = 8 * (blockValue((int)c, mcu % mcusX * comps[c].h + bx, mcu / mcusX * comps[c].v + by) - 128);
                    int v = dc - predictor[c], t = 0;
                    while ((v < 0 ? -v : v) >> t) t++;
                    put((uint32_t)t, 4);
                    if (t) put((uint32_t)(v >= 0 ? v : v + (1 << t) - 1), t);
                    predictor[c] = dc;
                    put(0, 1);  // end of block
                }
    }
    while (n) put(1, 1);
    s.entropy.insert(s.entropy.end(), {0xFF, 0xD9});
    return join(s);
}

uint8_t limitTruncate(float v) { return v < 0.0f ? 0 : (v > 255.0f ? 255 : (uint8_t)(int)v); }

// The pixels of dcOnlyJpeg: each chroma block fills its factor's share of the MCU; chroma that
// cannot reach a part of the MCU, or is finer than luma, is neutral. Two components are stored
// without conversion (blue 0), the second filling only its own 8x8 blocks.
Bytes expectedDcOnly(int w, int h, const std::vector<Layout>& L) {
    Bytes out((size_t)w * h * 3);
    const int mcuW = 8 * L[0].h, mcuH = 8 * L[0].v;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint8_t* p = &out[((size_t)y * w + x) * 3];
            int c[3] = {blockValue(0, x / 8, y / 8), 128, 128};
            for (int k = 1; k < (int)L.size(); k++) {
                int fx = L[0].h / L[k].h, fy = L[0].v / L[k].v;
                if (fx == 0 || fy == 0) continue;
                int bx = x % mcuW / (8 * fx), by = y % mcuH / (8 * fy);
                if (bx < L[k].h && by < L[k].v) c[k] = blockValue(k, x / mcuW * L[k].h + bx, y / mcuH * L[k].v + by);
            }
            if (L.size() == 1) {
                p[0] = p[1] = p[2] = (uint8_t)c[0];
                continue;
            }
            if (L.size() == 2) {
                const int bx = x % mcuW / 8, by = y % mcuH / 8;
                p[0] = (uint8_t)c[0];
                p[1] = bx < L[1].h && by < L[1].v ? blockValue(1, x / mcuW * L[1].h + bx, y / mcuH * L[1].v + by) : 0;
                p[2] = 0;
                continue;
            }
            p[0] = limitTruncate(c[0] + 1.402f * (c[2] - 128));
            p[1] = limitTruncate(c[0] - 0.34414f * (c[1] - 128) - 0.71414f * (c[2] - 128));
            p[2] = limitTruncate(c[0] + 1.772f * (c[1] - 128));
        }
    return out;
}

void expectExact(const Bytes& f, int w, int h, const std::vector<Layout>& layout, const std::string& what) {
    Decoded d = decode(f);
    ASSERT_EQ(std::make_tuple(d.ok, d.width, d.height), std::make_tuple(1, w, h)) << what;
    expectSameRgb(d.rgb, expectedDcOnly(w, h, layout), what);
    expectSameAsReference(f, what);
}

const std::vector<Layout> k444 = {{1, 1}, {1, 1}, {1, 1}}, k420 = {{2, 2}, {1, 1}, {1, 1}}, kGrey = {{1, 1}};

TEST(JpegExact, ColourConversionChromaPlacementAndEdgesInEveryLayoutSizeAndRestartInterval) {
    struct Case {
        const char* what;
        std::vector<Layout> layout;
        std::vector<std::pair<int, int>> sizes;
    };
    std::vector<std::pair<int, int>> every;  // every size up to 47 x 47
    for (int h = 1; h <= 47; h++)
        for (int w = 1; w <= 47; w++) every.push_back({w, h});
    const std::vector<std::pair<int, int>> some = {{45, 27}, {1, 1}, {64, 64}, {17, 33}};
    const Case cases[] = {
        {"4:4:4", k444, every},
        {"4:2:2", {{2, 1}, {1, 1}, {1, 1}}, every},
        {"4:2:0", k420, every},
        {"grey", kGrey, every},
        // 4096 blocks, each its own Y, Cb, Cr: the conversion limits and truncates.
        {"4:4:4", k444, {{512, 512}}},
        {"4:4:0", {{1, 2}, {1, 1}, {1, 1}}, some},
        {"4:1:1", {{4, 1}, {1, 1}, {1, 1}}, some},
        {"4x2 luma", {{4, 2}, {1, 1}, {1, 1}}, some},
        {"Cb 1x1, Cr 2x1", {{2, 2}, {1, 1}, {2, 1}}, some},
        {"4x4 luma, 2x2 chroma", {{4, 4}, {2, 2}, {2, 2}}, some},
        {"3x1 luma, 2x1 chroma: the last 8 columns of each MCU neutral", {{3, 1}, {2, 1}, {2, 1}}, {{50, 10}}},
        {"chroma finer than luma: neutral", {{1, 1}, {2, 1}, {1, 2}}, {{20, 20}}},
        {"two components", {{1, 1}, {1, 1}}, {{30, 20}}},
        {"two components, 2x2 luma", {{2, 2}, {1, 1}}, {{30, 20}}},
    };
    for (const Case& c : cases)
        for (auto [w, h] : c.sizes) {
            const std::string what = std::string(c.what) + " " + std::to_string(w) + "x" + std::to_string(h);
            const Bytes expected = expectedDcOnly(w, h, c.layout);
            // Without restarts, and with one every MCU row.
            for (int interval : {0, (w + 8 * c.layout[0].h - 1) / (8 * c.layout[0].h)}) {
                Decoded d = decode(dcOnlyJpeg(w, h, c.layout, interval));
                ASSERT_TRUE(d.ok == 1 && d.width == w && d.height == h && d.rgb == expected) << what << " restart " << interval;
            }
            if (w == h || c.sizes.size() < 10) expectSameAsReference(dcOnlyJpeg(w, h, c.layout), what);
            ASSERT_FALSE(HasFatalFailure());
        }
    // 40 x 40 in 4:2:0 is 3 x 3 MCUs.
    for (int interval : {1, 2, 3, 4, 5, 6, 8, 9, 100, 65535})
        expectExact(dcOnlyJpeg(40, 40, k420, interval), 40, 40, k420, "interval " + std::to_string(interval));
}

TEST(JpegExact, CmykYcckAndAdobeRgbAreRefusedSoTheyGetConverted) {
    // An Adobe APP14 segment: "Adobe", version 100, two flag words, then the colour transform.
    auto adobe = [](uint8_t transform) {
        return segmentBytes(0xEE, Bytes{'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, transform});
    };
    auto withSegment = [](Bytes f, const Bytes& segment) {
        f.insert(f.begin() + 2, segment.begin(), segment.end());
        return f;
    };
    const Bytes cmyk = dcOnlyJpeg(16, 16, {{1, 1}, {1, 1}, {1, 1}, {1, 1}}), ycc = dcOnlyJpeg(16, 16, k444);
    for (const auto& [what, f] : std::vector<std::pair<std::string, Bytes>>{
             {"four components", cmyk},
             {"CMYK (Adobe transform 0)", withSegment(cmyk, adobe(0))},
             {"YCCK (Adobe transform 2)", withSegment(cmyk, adobe(2))},
             {"RGB (Adobe transform 0)", withSegment(ycc, adobe(0))},
             {"three components, Adobe transform 2", withSegment(ycc, adobe(2))},
             {"a later Adobe segment says RGB", withSegment(withSegment(ycc, adobe(0)), adobe(1))}}) {
        Decoded d = decode(f);
        EXPECT_EQ(std::make_pair(d.ok, d.hasPixels), std::make_pair(0, false)) << what;
        EXPECT_EQ(decode(f, JPEG_DECODER_FAST, 1).ok, 0) << what << " (header only)";
        int32_t w = 0, h = 0;
        EXPECT_EQ(jpeg_image_size(f.data(), (int32_t)f.size(), &w, &h), -1) << what;
    }
    // YCbCr marked as such, grey whatever the transform, and a segment too short to be Adobe's.
    for (const auto& [what, f, layout] : std::vector<std::tuple<std::string, Bytes, std::vector<Layout>>>{
             {"YCbCr (Adobe transform 1)", withSegment(ycc, adobe(1)), k444},
             {"grey (Adobe transform 0)", withSegment(dcOnlyJpeg(16, 16, kGrey), adobe(0)), kGrey},
             {"short APP14", withSegment(ycc, segmentBytes(0xEE, Bytes{'A', 'd', 'o', 'b', 'e', 0, 100})), k444}})
        expectExact(f, 16, 16, layout, what);
}

// ------------------------------------------------------------------------------------------------
// Damaged and hand-made input.

const JpegSettings kSmallRestarts = coded(2, 2, [](JpegSettings& s) { s.restartRows = 1, s.quality = 60; });

TEST(JpegRobustness, EveryTruncationGivesADefinedResult) {
    const Bytes f = libjpeg(32, 24, kSmallRestarts);
    const size_t headerEnd = sosEnd(f);
    const Decoded full = decode(f);
    ASSERT_EQ(full.ok, 1);
    for (size_t n = 0; n <= f.size(); n++) {
        Bytes prefix(f.begin(), f.begin() + (long)n);
        std::string what = "prefix of " + std::to_string(n) + " bytes";
        Decoded d = decode(prefix);
        ASSERT_EQ(d.ok, n < headerEnd ? 0 : 1) << what;
        if (n < headerEnd) {
            EXPECT_FALSE(d.hasPixels) << what;
            continue;
        }
        if (n == headerEnd) {
            EXPECT_TRUE(allPixelsEqual(d.rgb, 0)) << "no entropy data: black";
        }
        expectSameAsReference(prefix, what);
    }
    EXPECT_TRUE(decode(Bytes(f.begin(), f.end() - 2)).rgb == full.rgb) << "only the end of image missing";
    // Cut at the restart marker after the first MCU row: that row decodes as before, rows 16 to 23 black.
    size_t marker = headerEnd;
    while (marker + 1 < f.size() && !(f[marker] == 0xFF && f[marker + 1] == 0xD0)) marker++;
    ASSERT_LT(marker + 1, f.size());
    Decoded half = decode(Bytes(f.begin(), f.begin() + (long)marker));
    EXPECT_EQ(0, std::memcmp(half.rgb.data(), full.rgb.data(), 32 * 3 * 16));
    EXPECT_TRUE(allPixelsEqual(Bytes(half.rgb.begin() + 32 * 3 * 16, half.rgb.end()), 0));
}

TEST(JpegRobustness, SingleByteCorruptionsGiveDefinedResults) {
    for (const Bytes& f : {libjpeg(32, 24, kSmallRestarts), libjpeg(19, 13, coded(0, 0))})
        for (size_t i = 0; i < f.size(); i++)
            for (uint8_t value : {(uint8_t)0x00, (uint8_t)0xFF, (uint8_t)(f[i] ^ 0x55), (uint8_t)(f[i] + 1)}) {
                Bytes g = f;
                g[i] = value;
                expectSameAsReference(g, std::to_string(f.size()) + " bytes, byte " + std::to_string(i) + " = " +
                                             std::to_string(value));
                if (HasFatalFailure()) return;
            }
}

TEST(JpegRobustness, MalformedHeadersAreRejected) {
    const Bytes f = libjpeg(24, 24);
    ASSERT_EQ(decode(f).ok, 1);
    const Split s = split(f);
    auto with = [&](const std::function<void(Split&)>& change) {
        Split t = s;
        change(t);
        return join(t);
    };
    // The frame payload: P, H, W, N, then id, sampling, table per component (15 bytes here).
    auto frame = [&](std::vector<std::pair<size_t, uint8_t>> changes, size_t size = 15) {
        return with([&](Split& t) {
            Bytes& p = find(t, 0xC0).payload;
            p.resize(size, 0x11);
            for (auto [at, value] : changes) p[at] = value;
        });
    };
    auto prefixed = [&](const Bytes& extra) {
        Bytes g = f;
        g.insert(g.begin() + 2, extra.begin(), extra.end());
        return g;
    };
    const Bytes noScan(f.begin(), f.begin() + (long)(sosEnd(f) - 4 - s.segments.back().payload.size()));
    std::vector<std::pair<std::string, Bytes>> cases = {
        {"zero components", frame({{5, 0}}, 6)},
        {"five components", frame({{5, 5}, {15, 4}, {18, 7}}, 21)},
        {"length not 8 + 3N", frame({}, 16)},
        {"length not 8 + 3N, the extra bytes a start of image", frame({{15, 0xFF}, {16, 0xD8}}, 17)},
        {"height 0", frame({{1, 0}, {2, 0}})},
        {"width 0", frame({{3, 0}, {4, 0}})},
        {"65535 x 65535", frame({{1, 0xFF}, {2, 0xFF}, {3, 0xFF}, {4, 0xFF}})},
        {"16385 x 16384", frame({{1, 0x40}, {2, 0}, {3, 0x40}, {4, 1}})},
        {"horizontal factor 0", frame({{7, 0x02}})},
        {"vertical factor 0", frame({{7, 0x20}})},
        {"horizontal factor 5", frame({{7, 0x51}})},
        {"vertical factor 5", frame({{10, 0x15}})},
        {"quantisation table 16", frame({{8, 16}})},
        {"scan before frame", with([](Split& t) {
             auto at = [&](uint8_t m) {
                 return std::find_if(t.segments.begin(), t.segments.end(), [m](auto& g) { return g.marker == m; });
             };
             std::rotate(at(0xC0), at(0xC0) + 1, at(0xDA) + 1);
         })},
        {"272 Huffman symbols", with([](Split& t) {
             Bytes table(17, 17);
             table[0] = 0;
             for (int i = 0; i < 16 * 17; i++) table.push_back((uint8_t)i);
             t.segments.insert(t.segments.begin(), Segment{0xC4, table});
         })},
        {"fill byte read as segment 0xFF", prefixed({0xFF})},
        {"segment length 0", prefixed({0xFF, 0xFE, 0x00, 0x00})},
        {"segment length 1", prefixed({0xFF, 0xFE, 0x00, 0x01})},
        {"no scan at all", noScan},
        {"end of image before the scan", noScan},
    };
    cases.back().second.insert(cases.back().second.end(), {0xFF, 0xD9});
    for (int marker : {0xC1, 0xC2, 0xC3, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCD, 0xCE, 0xCF})
        cases.push_back({"frame marker " + std::to_string(marker),
                         with([&](Split& t) { find(t, 0xC0).marker = (uint8_t)marker; })});
    for (const auto& [what, g] : cases) {
        EXPECT_EQ(decode(g).ok, 0) << what;
        EXPECT_EQ(decode(g, JPEG_DECODER_FAST, 1).ok, 0) << what << " (header only)";
    }
    // Accepted (header only): the largest picture, 2^28 pixels, and four sampling factors.
    EXPECT_EQ(decode(frame({{1, 0x40}, {2, 0}, {3, 0x40}, {4, 0}}), JPEG_DECODER_FAST, 1).ok, 1);
    EXPECT_EQ(decode(frame({{7, 0x44}}), JPEG_DECODER_FAST, 1).ok, 1);
}

TEST(JpegRobustness, SkippableSegmentsAreSkipped) {
    const Bytes f = libjpeg(31, 31);
    const Decoded base = decode(f);
    ASSERT_EQ(base.ok, 1);
    for (int marker : {0xCC, 0xD0, 0xD5, 0xD7, 0xDC, 0xE1, 0xEF, 0xFE, 0x01, 0x7F, 0xBF, 0xDE, 0xDF, 0xF0, -1}) {
        Split s = split(f);
        if (marker >= 0)
            s.segments.insert(s.segments.begin() + 1, Segment{(uint8_t)marker, Bytes{1, 2, 3, 0xFF, 0xD9}});
        else
            s.segments.insert(s.segments.begin(), Segment{0xDD, Bytes{0, 0}});  // interval 0: none
        Bytes b = join(s);
        if (marker < 0) b.insert(b.begin() + 2, {0xFF, 0xD8});  // and a repeated SOI
        Decoded d = decode(b);
        EXPECT_EQ(d.ok, 1) << std::hex << marker;
        EXPECT_TRUE(d.rgb == base.rgb) << std::hex << marker;
    }
}

// Applies change to each AC Huffman table (class 1) of every DHT segment; change returns the new
// symbol count after editing counts [p + 1, p + 17) and symbols from p + 17.
void editAcTables(Split& s, const std::function<int(Bytes& payload, size_t p, int count)>& change) {
    for (Segment& seg : s.segments) {
        if (seg.marker != 0xC4) continue;
        for (size_t p = 0; p < seg.payload.size();) {
            int count = 0;
            for (int i = 1; i <= 16; i++) count += seg.payload[p + i];
            if (seg.payload[p] & 0x10) count = change(seg.payload, p, count);
            p += 17 + (size_t)count;
        }
    }
}

TEST(JpegRobustness, OddTablesAndScanHeadersDecodeToDefinedImages) {
    const Bytes f = libjpeg(40, 40);
    auto check = [](const Split& s, const std::string& what, int flat = -1) {
        Decoded d = decode(join(s));
        EXPECT_EQ(d.ok, 1) << what;
        if (flat >= 0) {
            EXPECT_TRUE(allPixelsEqual(d.rgb, (uint8_t)flat)) << what;
        }
        expectSameAsReference(join(s), what);
    };
    Split s = split(f);
    Segment& frame = find(s, 0xC0);
    frame.payload[8] = frame.payload[11] = frame.payload[14] = 3;
    check(s, "undefined quantisation table: all coefficients 0", 128);
    s = split(f);
    for (int c = 0; c < 3; c++) find(s, 0xDA).payload[2 + 2 * c] = 0x23;
    check(s, "undefined Huffman tables: the scan ends at once", 0);
    s.entropy.assign(64, 0x00);
    check(s, "undefined Huffman tables match not even a run of zero bits", 0);
    s = split(f);
    for (int c = 0; c < 3; c++) find(s, 0xDA).payload[1 + 2 * c] = (uint8_t)(90 + c);
    check(s, "scan ids matching no component keep tables 0");
    s = split(f);
    s.segments.insert(s.segments.end() - 1, Segment{0xC4, {0x00, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 1, 2}});
    check(s, "DC table overflowing the code space");
    s = split(f);
    editAcTables(s, [](Bytes& pl, size_t p, int count) {
        for (int i = 0; i < count; i++) pl[p + 17 + (size_t)i] |= 0xF0;
        return count;
    });
    check(s, "runs past coefficient 63");
    s = split(f);
    editAcTables(s, [](Bytes& pl, size_t p, int count) {  // only the first two codes left
        for (int i = 1, kept = 0; i <= 16; i++) {
            pl[p + (size_t)i] = (uint8_t)std::min<int>(pl[p + (size_t)i], 2 - kept);
            kept += pl[p + (size_t)i];
        }
        pl.erase(pl.begin() + (long)(p + 19), pl.begin() + (long)(p + 17 + (size_t)count));
        return 2;
    });
    check(s, "codes missing from the table");
    // Restart markers where no restart interval says so, and other markers in the data.
    const size_t start = sosEnd(f);
    for (size_t at : {start + 5, start + 40, start + 41, start + 100})
        for (const Bytes& inserted : {Bytes{0xFF, 0xD3}, Bytes{0xFF, 0xFF, 0xC4, 0xFF}}) {
            Bytes g = f;
            g.insert(g.begin() + (long)at, inserted.begin(), inserted.end());
            expectSameAsReference(g, "stray marker at " + std::to_string(at - start));
        }
}

}  // namespace
