// The baseline JPEG decoder against libjpeg-turbo's cjpeg and djpeg (files of every subsampling
// at many sizes, restart markers, unusual tables and layouts, rejected variants), against
// pictures from a small encoder in this file whose every decoded byte is known, and on damaged
// input (every truncation, byte corruptions, malformed headers). Where results must agree byte
// for byte, the fast decoder is compared with the bit-by-bit reference decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "pack/jpeg_decoder.h"
#include "support/test_support.h"
#include "system/memory.h"

namespace {

namespace fs = std::filesystem;

bool toolsPresent() {
    static const bool present =
        std::system("command -v cjpeg >/dev/null 2>&1 && command -v djpeg >/dev/null 2>&1") == 0;
    return present;
}

#define REQUIRE_TOOLS()                                                        \
    do {                                                                       \
        if (!toolsPresent()) {                                                 \
            GTEST_SKIP() << "cjpeg/djpeg (libjpeg-turbo-progs) not installed"; \
        }                                                                      \
    } while (0)

using Bytes = std::vector<uint8_t>;

struct Decoded {
    int32_t ok = -1;
    int32_t width = -1;
    int32_t height = -1;
    bool hasPixels = false;
    Bytes rgb;
};

// Selects a decoder variant while it lives.
struct DecoderVariant {
    explicit DecoderVariant(int32_t variant) { jpeg_select_decoder(variant); }
    ~DecoderVariant() { jpeg_select_decoder(JPEG_DECODER_FAST); }
};

Decoded decode(const Bytes& bytes, int32_t variant = JPEG_DECODER_FAST, int32_t headerOnly = 0) {
    // An exact-size copy, so that the address sanitiser sees any read past the end.
    std::unique_ptr<uint8_t[]> copy(bytes.empty() ? nullptr : new uint8_t[bytes.size()]);
    if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
    DecoderVariant mode(variant);
    Decoded d;
    uint8_t* pixels = nullptr;
    jpeg_decode_memory(&pixels, copy.get(), (int32_t)bytes.size(), &d.width, &d.height, headerOnly, &d.ok);
    if (pixels != nullptr) {
        d.hasPixels = true;
        d.rgb.assign(pixels, pixels + (size_t)d.width * d.height * 3);
        memFree(pixels, "test", __LINE__);
    }
    return d;
}

// The fast decoder (with the processor's best routines and with the portable ones) and the
// reference decoder agree on the verdict and on every byte.
void expectSameAsReference(const Bytes& bytes, const std::string& what) {
    Decoded reference = decode(bytes, JPEG_DECODER_REFERENCE);
    for (int32_t variant : {JPEG_DECODER_FAST, JPEG_DECODER_PORTABLE}) {
        Decoded fast = decode(bytes, variant);
        const char* name = variant == JPEG_DECODER_FAST ? " (fast)" : " (portable)";
        ASSERT_EQ(fast.ok, reference.ok) << what << name;
        ASSERT_EQ(fast.hasPixels, reference.hasPixels) << what << name;
        ASSERT_EQ(fast.width, reference.width) << what << name;
        ASSERT_EQ(fast.height, reference.height) << what << name;
        if (fast.rgb != reference.rgb) {
            size_t i = 0;
            while (fast.rgb[i] == reference.rgb[i]) i++;
            FAIL() << what << name << ": first difference at pixel " << i / 3 << " channel " << i % 3 << " ("
                   << (int)fast.rgb[i] << " vs " << (int)reference.rgb[i] << ")";
        }
    }
}

// Binary PGM/PPM as RGB (grey expanded).
struct Pnm {
    int w = 0, h = 0;
    Bytes rgb;
};

bool parsePnm(const Bytes& b, Pnm* out) {
    size_t p = 0;
    auto token = [&]() -> long {
        while (p < b.size()) {
            if (b[p] == '#') {
                while (p < b.size() && b[p] != '\n') p++;
            } else if (std::isspace(b[p])) {
                p++;
            } else {
                break;
            }
        }
        long v = 0;
        bool any = false;
        while (p < b.size() && b[p] >= '0' && b[p] <= '9') {
            v = v * 10 + (b[p++] - '0');
            any = true;
        }
        return any ? v : -1;
    };
    if (b.size() < 2 || b[0] != 'P' || (b[1] != '5' && b[1] != '6')) return false;
    bool grey = b[1] == '5';
    p = 2;
    long w = token(), h = token(), max = token();
    if (w <= 0 || h <= 0 || max != 255) return false;
    p++;  // the single whitespace after maxval
    size_t channels = grey ? 1 : 3;
    if (b.size() - p < (size_t)(w * h) * channels) return false;
    out->w = (int)w;
    out->h = (int)h;
    out->rgb.resize((size_t)w * h * 3);
    for (size_t i = 0; i < (size_t)(w * h); i++)
        for (int c = 0; c < 3; c++) out->rgb[i * 3 + c] = b[p + i * channels + (grey ? 0 : c)];
    return true;
}

double psnr(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size() || a.empty()) return 0.0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); i++) {
        double d = (double)a[i] - (double)b[i];
        sum += d * d;
    }
    if (sum == 0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 / (sum / (double)a.size()));
}

// Photo-like: smooth gradients (a few levels per pixel at most) running in different
// directions per channel, plus pseudo-random noise of +-6.
Bytes sourcePnm(int w, int h, bool grey, uint32_t seed) {
    std::string header = std::string(grey ? "P5\n" : "P6\n") + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    Bytes out(header.begin(), header.end());
    int channels = grey ? 1 : 3;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < channels; c++) {
                seed = seed * 1664525u + 1013904223u;
                int noise = (int)((seed >> 24) % 13) - 6;
                double v;
                if (c == 0)
                    v = 128 + 70 * std::sin(0.045 * x + 0.02 * y) + 30 * std::cos(0.03 * y);
                else if (c == 1)
                    v = 128 + 60 * std::cos(0.035 * x - 0.04 * y + 1);
                else
                    v = 120 + 70 * std::sin(0.05 * y + 0.01 * x + 2);
                out.push_back((uint8_t)std::clamp((int)v + noise, 0, 255));
            }
    return out;
}

// ------------------------------------------------------------------------------------------------
// The generated files: written and encoded once per test program run.

struct Variant {
    const char* name;
    const char* label;
    const char* options;
    bool grey;
};

void PrintTo(const Variant& v, std::ostream* os) { *os << v.label; }

const Variant kVariants[] = {
    {"v444", "4:4:4", "-sample 1x1", false},
    {"v422", "4:2:2", "-sample 2x1", false},
    {"v420", "4:2:0", "-sample 2x2", false},
    {"grey", "grey", "-grayscale", true},
};

struct Size {
    int w, h;
};

// Every width and every height from 1 to 47: all squares, and each width paired with a
// different height; then two large pictures.
std::vector<Size> sweepSizes() {
    std::vector<Size> sizes;
    for (int n = 1; n <= 47; n++) sizes.push_back({n, n});
    for (int w = 1; w <= 47; w++) {
        int h = (w * 17) % 47 + 1;
        if (h != w) sizes.push_back({w, h});
    }
    sizes.push_back({640, 480});
    sizes.push_back({1000, 777});
    return sizes;
}

bool isLarge(const Size& s) { return s.w > 47 || s.h > 47; }

std::string stem(const Variant& v, const Size& s) {
    return std::string(v.name) + "_" + std::to_string(s.w) + "x" + std::to_string(s.h);
}

// Extra files: name, source size, grey, cjpeg options, whether djpeg decodes it for reference.
struct Extra {
    const char* name;
    int w, h;
    bool grey;
    const char* options;
    bool reference;
};

const Extra kExtras[] = {
    {"progressive", 40, 30, false, "-progressive", false},
    {"progressive_grey", 40, 30, true, "-progressive", false},
    {"arithmetic", 40, 30, false, "-arithmetic", false},
    {"extended", 40, 30, false, "-quality 5", false},
    {"optimized", 97, 61, false, "-sample 2x2 -optimize", true},
    {"quality100", 97, 61, false, "-sample 2x2 -quality 100", true},
    {"quality5", 97, 61, false, "-sample 2x2 -quality 5 -baseline", true},
    {"base_100x70", 100, 70, false, "-sample 2x2", true},
    {"restart_2rows_100x70", 100, 70, false, "-sample 2x2 -restart 2", true},
    {"restart_3mcu_100x70", 100, 70, false, "-sample 2x2 -restart 3B", true},
    {"restart_1mcu_100x70", 100, 70, false, "-sample 2x2 -restart 1B", true},
    {"sample_1x2", 71, 53, false, "-sample 1x2", true},
    {"sample_4x1", 71, 53, false, "-sample 4x1", true},
    {"sample_3x1", 71, 53, false, "-sample 3x1", true},
    {"sample_4x2", 71, 53, false, "-sample 4x2", true},
    {"sample_2x2_1x1_2x1", 71, 53, false, "-sample 2x2,1x1,2x1", true},
    {"small_420_restart", 32, 24, false, "-sample 2x2 -restart 1 -quality 60", true},
    {"small_grey", 19, 13, true, "-quality 60", true},
};

// The encoded files live in the build tree, keyed by a hash of the commands that make them, so
// that the separate test processes of ctest encode them once. A new set is made in a private
// folder and renamed into place when complete; a process that loses the race uses the winner's.
struct Corpus {
    std::string dir;  // ends in '/'
    std::string path(const std::string& name) const { return dir + name; }
};

const Corpus& corpus() {
    static Corpus c;
    static bool built = false;
    if (built) return c;
    built = true;
    // Source pictures: name, size, grey, seed.
    struct Source {
        std::string name;
        int w, h;
        bool grey;
        uint32_t seed;
    };
    std::vector<Source> sources;
    std::string script;
    auto add = [&](const std::string& cmd) { script += cmd + " || exit 1\n"; };
    for (const Variant& v : kVariants) {
        for (const Size& s : sweepSizes()) {
            std::string base = stem(v, s);
            sources.push_back({base + ".pnm", s.w, s.h, v.grey, (uint32_t)(s.w * 131 + s.h)});
            add(std::string("cjpeg ") + v.options + " -outfile " + base + ".jpg " + base + ".pnm");
            add(std::string("cjpeg ") + v.options + " -restart 1 -outfile " + base + "_r.jpg " + base + ".pnm");
            add("djpeg -pnm -outfile " + base + ".ref " + base + ".jpg");
            if (isLarge(s)) add("djpeg -pnm -outfile " + base + "_r.ref " + base + "_r.jpg");
        }
    }
    for (const Extra& e : kExtras) {
        std::string base = e.name;
        sources.push_back({base + ".pnm", e.w, e.h, e.grey, 77});
        add(std::string("cjpeg ") + e.options + " -outfile " + base + ".jpg " + base + ".pnm");
        if (e.reference) add("djpeg -pnm -outfile " + base + ".ref " + base + ".jpg");
    }
    // The key covers the commands and a sample of the picture generator.
    Bytes fingerprint = sourcePnm(23, 11, false, 5);
    Bytes greyFingerprint = sourcePnm(23, 11, true, 5);
    fingerprint.insert(fingerprint.end(), greyFingerprint.begin(), greyFingerprint.end());
    fingerprint.insert(fingerprint.end(), script.begin(), script.end());
    uint64_t key = 1469598103934665603ull;
    for (uint8_t b : fingerprint) key = (key ^ b) * 1099511628211ull;
    char hex[17];
    std::snprintf(hex, sizeof(hex), "%016llx", (unsigned long long)key);
    const fs::path parent = fs::path(VCV_BINARY_DIR) / "test_data";
    const fs::path ready = parent / (std::string("jpeg_decoder_") + hex);
    c.dir = ready.string() + "/";
    std::error_code ec;
    if (fs::exists(ready / "complete", ec)) return c;

    fs::create_directories(parent, ec);
    std::string pattern = (parent / "jpeg_decoder_new_XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) {
        ADD_FAILURE() << "cannot create a folder under " << parent;
        return c;
    }
    const fs::path work = buf.data();
    for (const Source& source : sources)
        writeBytes((work / source.name).string(), sourcePnm(source.w, source.h, source.grey, source.seed));
    writeBytes((work / "make.sh").string(), Bytes(script.begin(), script.end()));
    int status = std::system(("cd '" + work.string() + "' && sh make.sh >make.log 2>&1").c_str());
    if (status != 0) {
        Bytes log = readBytes((work / "make.log").string());
        ADD_FAILURE() << "encoding the test files failed:\n" << std::string(log.begin(), log.end());
        c.dir = work.string() + "/";
        return c;
    }
    writeBytes((work / "complete").string(), Bytes{'1'});
    fs::rename(work, ready, ec);
    if (ec) {
        // Another process published the same set first.
        fs::remove_all(work, ec);
    }
    return c;
}

Bytes file(const std::string& name) { return readBytes(corpus().path(name)); }

Pnm reference(const std::string& name) {
    Pnm p;
    EXPECT_TRUE(parsePnm(readBytes(corpus().path(name)), &p)) << name;
    return p;
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
    size_t p = 2;
    while (p + 4 <= f.size()) {
        uint8_t marker = f[p + 1];
        size_t len = ((size_t)f[p + 2] << 8) | f[p + 3];
        Segment seg{marker, Bytes(f.begin() + p + 4, f.begin() + p + 2 + len)};
        s.segments.push_back(seg);
        p += 2 + len;
        if (marker == 0xDA) {
            s.entropy.assign(f.begin() + p, f.end());
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

size_t sosEnd(const Bytes& f) {
    Split s = split(f);
    return f.size() - s.entropy.size();
}

bool allPixelsEqual(const Bytes& rgb, uint8_t r, uint8_t g, uint8_t b) {
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        if (rgb[i] != r || rgb[i + 1] != g || rgb[i + 2] != b) return false;
    return true;
}

// ------------------------------------------------------------------------------------------------

class JpegSweep : public ::testing::TestWithParam<Variant> {};

TEST_P(JpegSweep, MatchesDjpegAtEverySmallSizeAndLargeSizesWithAndWithoutRestarts) {
    REQUIRE_TOOLS();
    const Variant& v = GetParam();
    double minPlain = 99, minRestart = 99;
    std::string worstPlain, worstRestart;
    for (const Size& s : sweepSizes()) {
        std::string name = stem(v, s);
        SCOPED_TRACE(name);
        Bytes plainFile = file(name + ".jpg"), restartFile = file(name + "_r.jpg");
        Decoded plain = decode(plainFile);
        Decoded restart = decode(restartFile);
        ASSERT_EQ(plain.ok, 1);
        ASSERT_EQ(restart.ok, 1);
        ASSERT_EQ(plain.width, s.w);
        ASSERT_EQ(plain.height, s.h);
        ASSERT_TRUE(plain.hasPixels);
        Pnm ref = reference(name + ".ref");
        ASSERT_EQ(ref.w, s.w);
        ASSERT_EQ(ref.h, s.h);
        double p = psnr(plain.rgb, ref.rgb);
        double r = psnr(restart.rgb, isLarge(s) ? reference(name + "_r.ref").rgb : ref.rgb);
        EXPECT_GE(p, 35.0);
        EXPECT_GE(r, 35.0);
        if (p < minPlain) minPlain = p, worstPlain = name;
        if (r < minRestart) minRestart = r, worstRestart = name;
        // Restart markers change the coding, not the coefficients.
        EXPECT_TRUE(plain.rgb == restart.rgb);
        if (v.grey) {
            bool equal = true;
            for (size_t i = 0; i < plain.rgb.size(); i += 3)
                equal = equal && plain.rgb[i] == plain.rgb[i + 1] && plain.rgb[i] == plain.rgb[i + 2];
            EXPECT_TRUE(equal) << "grey pixels with unequal channels";
        }
        // Every small file, and one large one per layout, byte for byte like the reference.
        if (!isLarge(s) || s.w == 640) {
            expectSameAsReference(plainFile, name);
            expectSameAsReference(restartFile, name + "_r");
        }
    }
    std::printf("[   PSNR   ] %-5s min %.2f dB (%s), with restarts min %.2f dB (%s)\n", v.label, minPlain,
                worstPlain.c_str(), minRestart, worstRestart.c_str());
    RecordProperty("min_psnr_plain", std::to_string(minPlain));
    RecordProperty("min_psnr_restart", std::to_string(minRestart));
}

INSTANTIATE_TEST_SUITE_P(Subsampling, JpegSweep, ::testing::ValuesIn(kVariants),
                         [](const ::testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

TEST(JpegDecoder, UnusualTablesQualitiesAndSamplingsMatchDjpeg) {
    REQUIRE_TOOLS();
    for (const char* name : {"optimized", "quality100", "quality5", "sample_1x2", "sample_4x1", "sample_3x1",
                             "sample_4x2", "sample_2x2_1x1_2x1", "small_grey", "small_420_restart"}) {
        SCOPED_TRACE(name);
        Bytes f = file(std::string(name) + ".jpg");
        Decoded d = decode(f);
        ASSERT_EQ(d.ok, 1);
        Pnm ref = reference(std::string(name) + ".ref");
        ASSERT_EQ(d.width, ref.w);
        ASSERT_EQ(d.height, ref.h);
        // Quality 5 is blocky for every decoder; the differences in rounding weigh more there.
        EXPECT_GE(psnr(d.rgb, ref.rgb), std::string(name) == "quality5" ? 30.0 : 35.0);
        expectSameAsReference(f, name);
    }
}

TEST(JpegDecoder, RestartIntervalsOfAnyLengthDecode) {
    REQUIRE_TOOLS();
    Decoded base = decode(file("base_100x70.jpg"));
    ASSERT_EQ(base.ok, 1);
    EXPECT_GE(psnr(base.rgb, reference("base_100x70.ref").rgb), 35.0);
    for (const char* name : {"restart_2rows_100x70", "restart_3mcu_100x70", "restart_1mcu_100x70"}) {
        SCOPED_TRACE(name);
        Bytes f = file(std::string(name) + ".jpg");
        ASSERT_NE(split(f).segments.size(), 0u);
        Split s = split(f);
        ASSERT_NE(find(s, 0xDD).payload.size(), 0u) << "cjpeg wrote no restart interval";
        Decoded d = decode(f);
        ASSERT_EQ(d.ok, 1);
        EXPECT_TRUE(d.rgb == base.rgb);
        expectSameAsReference(f, name);
    }
}

TEST(JpegDecoder, SixteenBitQuantisationTablesDecodeLikeEightBitOnes) {
    REQUIRE_TOOLS();
    Bytes f = file("v420_33x33.jpg");
    Split s = split(f);
    int rewritten = 0;
    for (Segment& seg : s.segments) {
        if (seg.marker != 0xDB) continue;
        Bytes wide;
        for (size_t p = 0; p < seg.payload.size(); p += 65) {
            ASSERT_EQ(seg.payload[p] >> 4, 0);
            wide.push_back((uint8_t)(0x10 | seg.payload[p]));
            for (int i = 0; i < 64; i++) {
                wide.push_back(0);
                wide.push_back(seg.payload[p + 1 + i]);
            }
            rewritten++;
        }
        seg.payload = wide;
    }
    ASSERT_GE(rewritten, 2);
    Decoded original = decode(f), widened = decode(join(s));
    ASSERT_EQ(widened.ok, 1);
    EXPECT_TRUE(widened.rgb == original.rgb);
}

TEST(JpegDecoder, RejectsProgressiveArithmeticAndExtendedFiles) {
    REQUIRE_TOOLS();
    for (const char* name : {"progressive", "progressive_grey", "arithmetic", "extended"}) {
        SCOPED_TRACE(name);
        Bytes f = file(std::string(name) + ".jpg");
        ASSERT_GT(f.size(), 100u);
        Decoded d = decode(f);
        EXPECT_EQ(d.ok, 0);
        EXPECT_FALSE(d.hasPixels);
        EXPECT_EQ(d.width, -1);
        EXPECT_EQ(d.height, -1);
        EXPECT_EQ(decode(f, JPEG_DECODER_FAST, 1).ok, 0);
    }
    // The extended file really is extended sequential (16-bit tables need SOF1).
    Split ext = split(file("extended.jpg"));
    bool sof1 = false;
    for (const Segment& seg : ext.segments) sof1 = sof1 || seg.marker == 0xC1;
    EXPECT_TRUE(sof1);
}

TEST(JpegDecoder, RejectsDataThatDoesNotStartWithAMarker) {
    REQUIRE_TOOLS();
    Bytes f = file("v420_16x16.jpg");
    Bytes shifted(f.begin() + 1, f.end());  // starts with 0xD8
    EXPECT_EQ(decode(shifted).ok, 0);
    Bytes prefixed = f;
    prefixed.insert(prefixed.begin(), 0x00);
    EXPECT_EQ(decode(prefixed).ok, 0);
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0};
    EXPECT_EQ(decode(png).ok, 0);
    EXPECT_EQ(decode(Bytes{}).ok, 0);
    EXPECT_EQ(decode(Bytes{0xFF}).ok, 0);
    EXPECT_EQ(decode(Bytes{0xFF, 0xD8}).ok, 0);
    int32_t ok = 7;
    uint8_t* pixels = (uint8_t*)&ok;
    jpeg_decode_memory(&pixels, nullptr, 100, nullptr, nullptr, 0, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(pixels, nullptr);
}

TEST(JpegDecoder, HeaderOnlyAcceptsWithoutPixelsOrSize) {
    REQUIRE_TOOLS();
    Bytes f = file("v422_40x40.jpg");
    Decoded d = decode(f, JPEG_DECODER_FAST, 1);
    EXPECT_EQ(d.ok, 1);
    EXPECT_FALSE(d.hasPixels);
    EXPECT_EQ(d.width, -1);
    EXPECT_EQ(d.height, -1);
    int32_t w = 0, h = 0;
    EXPECT_EQ(jpeg_image_size(f.data(), (int32_t)f.size(), &w, &h), 0);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 40);
    Bytes progressive = file("progressive.jpg");
    w = h = -5;
    EXPECT_EQ(jpeg_image_size(progressive.data(), (int32_t)progressive.size(), &w, &h), -1);
    EXPECT_EQ(w, -5);
}

TEST(JpegDecoder, DecodesFilesAndWritesPpm) {
    REQUIRE_TOOLS();
    const std::string dir = corpus().dir;
    TempDir scratch;
    uint8_t* pixels = nullptr;
    int32_t w = 0, h = 0, ok = -1;
    jpeg_decode_file(&pixels, "v420_640x480.jpg", dir.c_str(), 0, &w, &h, 0, &ok);
    ASSERT_EQ(ok, 1);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    Decoded inMemory = decode(file("v420_640x480.jpg"));
    EXPECT_EQ(0, std::memcmp(pixels, inMemory.rgb.data(), inMemory.rgb.size()));

    ASSERT_EQ(rgb_write_ppm("out.ppm", scratch.path().c_str(), pixels, w, h), 0);
    Pnm back;
    ASSERT_TRUE(parsePnm(readBytes(scratch.file("out.ppm")), &back));
    EXPECT_EQ(back.w, 640);
    EXPECT_EQ(back.h, 480);
    EXPECT_TRUE(back.rgb == inMemory.rgb);
    int32_t ppmSize = 0;
    uint8_t* ppm = rgb_to_ppm(pixels, w, h, &ppmSize);
    ASSERT_NE(ppm, nullptr);
    EXPECT_EQ(ppmSize, (int32_t)(15 + 640 * 480 * 3));
    EXPECT_EQ(0, std::memcmp(ppm, "P6\n640 480\n255\n", 15));
    memFree(ppm, "test", __LINE__);
    EXPECT_EQ(rgb_to_ppm(nullptr, 4, 4, &ppmSize), nullptr);
    EXPECT_EQ(rgb_to_ppm(pixels, 0, 4, &ppmSize), nullptr);
    memFree(pixels, "test", __LINE__);

    // A file that cannot be read leaves every output as it was.
    pixels = (uint8_t*)&w;
    w = h = 3;
    ok = 9;
    jpeg_decode_file(&pixels, "missing.jpg", dir.c_str(), 0, &w, &h, 0, &ok);
    EXPECT_EQ(ok, 9);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(pixels, (uint8_t*)&w);
    // Header only through the file variant.
    pixels = nullptr;
    w = h = -1;
    ok = -1;
    jpeg_decode_file(&pixels, "grey_10x10.jpg", dir.c_str(), 0, &w, &h, 1, &ok);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(pixels, nullptr);
    EXPECT_EQ(w, -1);
}

// ------------------------------------------------------------------------------------------------
// Hand-made pictures whose every block holds only a DC value, encoded by a few lines below, so
// that every decoded sample and pixel is known exactly: a quantiser of 1 and a DC coefficient
// of 8 (v - 128) give back v.

struct BitWriter {
    Bytes out;
    uint32_t acc = 0;
    int n = 0;
    void put(uint32_t bits, int count) {
        for (int i = count - 1; i >= 0; i--) {
            acc = (acc << 1) | ((bits >> i) & 1);
            if (++n == 8) {
                out.push_back((uint8_t)acc);
                if (acc == 0xFF) out.push_back(0);
                acc = 0;
                n = 0;
            }
        }
    }
    void align() {
        while (n) put(1, 1);
    }
};

struct Layout {
    int h, v;  // sampling factors
};

// Coefficients of block (bx, by) of component c, in zig-zag order.
using BlockCoefficients = std::function<void(int c, int bx, int by, int* zigzag)>;

// A small baseline encoder over given coefficients. One quantisation table for every component;
// DC categories have 4-bit codes equal to the category; every AC symbol has an 8-bit code.
Bytes encodeJpeg(int w, int h, const std::vector<Layout>& comps, const BlockCoefficients& coefficients,
                 const uint8_t quant[64], int restartInterval = 0) {
    Bytes f = {0xFF, 0xD8};
    auto segment = [&](uint8_t marker, const Bytes& payload) {
        Bytes one = segmentBytes(marker, payload);
        f.insert(f.end(), one.begin(), one.end());
    };
    Bytes dqt = {0};
    dqt.insert(dqt.end(), quant, quant + 64);
    segment(0xDB, dqt);
    Bytes sof = {8, (uint8_t)(h >> 8), (uint8_t)h, (uint8_t)(w >> 8), (uint8_t)w, (uint8_t)comps.size()};
    for (size_t c = 0; c < comps.size(); c++) {
        sof.push_back((uint8_t)(c + 1));
        sof.push_back((uint8_t)(comps[c].h << 4 | comps[c].v));
        sof.push_back(0);
    }
    segment(0xC0, sof);
    Bytes dc = {0x00, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 12; i++) dc.push_back((uint8_t)i);
    segment(0xC4, dc);
    std::vector<int> acSymbols = {0x00, 0xF0};
    for (int run = 0; run < 16; run++)
        for (int size = 1; size <= 10; size++) acSymbols.push_back(run << 4 | size);
    int acCode[256];
    Bytes ac = {0x10, 0, 0, 0, 0, 0, 0, 0, (uint8_t)acSymbols.size(), 0, 0, 0, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < acSymbols.size(); i++) {
        ac.push_back((uint8_t)acSymbols[i]);
        acCode[acSymbols[i]] = (int)i;
    }
    segment(0xC4, ac);
    if (restartInterval) segment(0xDD, Bytes{(uint8_t)(restartInterval >> 8), (uint8_t)restartInterval});
    Bytes sos = {(uint8_t)comps.size()};
    for (size_t c = 0; c < comps.size(); c++) {
        sos.push_back((uint8_t)(c + 1));
        sos.push_back(0x00);
    }
    sos.insert(sos.end(), {0, 63, 0});
    segment(0xDA, sos);

    auto category = [](int v) {
        int magnitude = v < 0 ? -v : v, t = 0;
        while (magnitude >> t) t++;
        return t;
    };
    auto valueBits = [](int v, int t) { return (uint32_t)(v >= 0 ? v : v + (1 << t) - 1); };
    const int mcuW = 8 * comps[0].h, mcuH = 8 * comps[0].v;
    const int mcusX = (w + mcuW - 1) / mcuW, mcusY = (h + mcuH - 1) / mcuH;
    BitWriter bits;
    std::vector<int> predictor(comps.size(), 0);
    int mcu = 0, restarts = 0;
    for (int my = 0; my < mcusY; my++)
        for (int mx = 0; mx < mcusX; mx++, mcu++) {
            if (restartInterval && mcu > 0 && mcu % restartInterval == 0) {
                bits.align();
                bits.out.push_back(0xFF);
                bits.out.push_back((uint8_t)(0xD0 + (restarts++ & 7)));
                std::fill(predictor.begin(), predictor.end(), 0);
            }
            for (size_t c = 0; c < comps.size(); c++)
                for (int by = 0; by < comps[c].v; by++)
                    for (int bx = 0; bx < comps[c].h; bx++) {
                        int zz[64] = {0};
                        coefficients((int)c, mx * comps[c].h + bx, my * comps[c].v + by, zz);
                        int diff = zz[0] - predictor[c];
                        predictor[c] = zz[0];
                        int t = category(diff);
                        bits.put((uint32_t)t, 4);
                        if (t) bits.put(valueBits(diff, t), t);
                        int run = 0;
                        for (int k = 1; k < 64; k++) {
                            if (zz[k] == 0) {
                                run++;
                                continue;
                            }
                            for (; run > 15; run -= 16) bits.put((uint32_t)acCode[0xF0], 8);
                            int size = category(zz[k]);
                            bits.put((uint32_t)acCode[run << 4 | size], 8);
                            bits.put(valueBits(zz[k], size), size);
                            run = 0;
                        }
                        if (run) bits.put((uint32_t)acCode[0x00], 8);
                    }
        }
    bits.align();
    f.insert(f.end(), bits.out.begin(), bits.out.end());
    f.push_back(0xFF);
    f.push_back(0xD9);
    return f;
}

using BlockValue = std::function<int(int c, int bx, int by)>;

// Every block flat: with a quantiser of 1, a DC coefficient of 8 (v - 128) decodes to v.
Bytes dcOnlyJpeg(int w, int h, const std::vector<Layout>& comps, const BlockValue& value, int restartInterval = 0) {
    uint8_t ones[64];
    std::fill(ones, ones + 64, 1);
    return encodeJpeg(
        w, h, comps, [&](int c, int bx, int by, int* zz) { zz[0] = 8 * (value(c, bx, by) - 128); }, ones,
        restartInterval);
}

// Block values spread over 0..255, the extremes included.
int blockValue(int c, int bx, int by) {
    uint32_t x = (uint32_t)(c * 7919 + bx * 131 + by * 977) * 2654435761u;
    int v = (int)(x >> 24);
    if ((x & 0xF) == 1) return 0;
    if ((x & 0xF) == 2) return 255;
    return v;
}

uint8_t limitTruncate(float v) { return v < 0.0f ? 0 : (v > 255.0f ? 255 : (uint8_t)(int)v); }

void expectPixel(const Decoded& d, int x, int y, int yv, int cb, int cr, const std::string& what) {
    const uint8_t* p = &d.rgb[((size_t)y * d.width + x) * 3];
    uint8_t r = limitTruncate(yv + 1.402f * (cr - 128));
    uint8_t g = limitTruncate(yv - 0.34414f * (cb - 128) - 0.71414f * (cr - 128));
    uint8_t b = limitTruncate(yv + 1.772f * (cb - 128));
    ASSERT_TRUE(p[0] == r && p[1] == g && p[2] == b)
        << what << " pixel " << x << "," << y << ": " << (int)p[0] << " " << (int)p[1] << " " << (int)p[2]
        << " instead of " << (int)r << " " << (int)g << " " << (int)b << " (Y " << yv << " Cb " << cb << " Cr "
        << cr << ")";
}

TEST(JpegExact, ColourConversionLimitsAndTruncates) {
    // 4096 blocks, each its own Y, Cb, Cr.
    Bytes f = dcOnlyJpeg(512, 512, {{1, 1}, {1, 1}, {1, 1}}, blockValue);
    Decoded d = decode(f);
    ASSERT_EQ(d.ok, 1);
    for (int y = 0; y < 512; y++)
        for (int x = 0; x < 512; x++) {
            expectPixel(d, x, y, blockValue(0, x / 8, y / 8), blockValue(1, x / 8, y / 8), blockValue(2, x / 8, y / 8),
                        "4:4:4");
            if (HasFatalFailure()) return;
        }
    expectSameAsReference(f, "4:4:4 DC only");
}

// Natural position (row * 8 + column) of each zig-zag index, walked along the anti-diagonals.
std::vector<int> zigzagWalk() {
    std::vector<int> order;
    for (int s = 0; s < 15; s++) {
        int lo = std::max(0, s - 7), hi = std::min(s, 7);
        if (s % 2) {
            for (int r = lo; r <= hi; r++) order.push_back(r * 8 + (s - r));
        } else {
            for (int r = hi; r >= lo; r--) order.push_back(r * 8 + (s - r));
        }
    }
    return order;
}

TEST(JpegExact, TransformAgreesWithTheMathematicalInverseDct) {
    // A random quantiser and sparse random coefficients. Each sample is compared with the
    // inverse DCT computed in double precision (scaled by 8 as the decoder keeps it, truncated,
    // shifted right by 3), except within 0.02 of a step, where single precision may go either way.
    const std::vector<int> natural = zigzagWalk();
    uint32_t seed = 99;
    auto rnd = [&](int n) {
        seed = seed * 1664525u + 1013904223u;
        return (int)((seed >> 8) % (uint32_t)n);
    };
    uint8_t quant[64];
    for (int i = 0; i < 64; i++) quant[i] = (uint8_t)(1 + rnd(24));
    const int w = 512, h = 256, bw = w / 8;
    std::vector<std::vector<int>> blocks((size_t)bw * (h / 8), std::vector<int>(64, 0));
    for (std::vector<int>& b : blocks) {
        int n = 1 + rnd(8);
        for (int i = 0; i < n; i++) {
            int z = rnd(64), limit = 300 / quant[z];
            b[z] = rnd(2 * limit + 1) - limit;
        }
    }
    Bytes f = encodeJpeg(
        w, h, {{1, 1}}, [&](int, int bx, int by, int* zz) { std::copy_n(blocks[(size_t)by * bw + bx].data(), 64, zz); },
        quant);
    Decoded d = decode(f);
    ASSERT_EQ(d.ok, 1);
    const double pi = std::acos(-1.0);
    double basis[8][8];  // basis[u][x] = C(u) cos((2x + 1) u pi / 16)
    for (int u = 0; u < 8; u++)
        for (int x = 0; x < 8; x++) basis[u][x] = (u ? 1.0 : std::sqrt(0.5)) * std::cos((2 * x + 1) * u * pi / 16);
    auto step = [](double v) { return (long)std::trunc(v) >> 3; };
    int checked = 0, inRange = 0, mismatches = 0;
    for (int by = 0; by < h / 8; by++)
        for (int bx = 0; bx < bw; bx++) {
            const std::vector<int>& b = blocks[(size_t)by * bw + bx];
            double F[64] = {0};
            for (int z = 0; z < 64; z++) F[natural[z]] = (double)quant[z] * b[z];
            for (int y = 0; y < 8; y++)
                for (int x = 0; x < 8; x++) {
                    double sum = 0;
                    for (int r = 0; r < 8; r++)
                        for (int q = 0; q < 8; q++) sum += basis[r][y] * basis[q][x] * F[r * 8 + q];
                    double v = 8 * 0.25 * sum;
                    long lo = step(v - 0.02), hi = step(v + 0.02);
                    if (lo != hi) continue;
                    int expected = (int)std::clamp(lo + 128, 0L, 255L);
                    int got = d.rgb[(((size_t)by * 8 + y) * w + bx * 8 + x) * 3];
                    checked++;
                    inRange += expected > 0 && expected < 255;
                    if (got != expected && mismatches++ < 5)
                        ADD_FAILURE() << "block " << bx << "," << by << " sample " << x << "," << y << ": " << got
                                      << " instead of " << expected << " (v = " << v << ")";
                }
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(checked, 120000);
    EXPECT_GT(inRange, 40000);
    expectSameAsReference(f, "random coefficients");
}

TEST(JpegExact, ChromaFillsTheWholeMcuAreaOfItsSamples) {
    struct Case {
        const char* what;
        std::vector<Layout> layout;
    };
    const Case cases[] = {
        {"4:2:0", {{2, 2}, {1, 1}, {1, 1}}}, {"4:2:2", {{2, 1}, {1, 1}, {1, 1}}},
        {"4:4:0", {{1, 2}, {1, 1}, {1, 1}}}, {"4:1:1", {{4, 1}, {1, 1}, {1, 1}}},
        {"4x2 luma", {{4, 2}, {1, 1}, {1, 1}}}, {"Cb 1x1, Cr 2x1", {{2, 2}, {1, 1}, {2, 1}}},
        {"4x4 luma, 2x2 chroma", {{4, 4}, {2, 2}, {2, 2}}},
    };
    for (const Case& c : cases) {
        for (Size size : {Size{45, 27}, Size{1, 1}, Size{64, 64}, Size{17, 33}}) {
            std::string what = std::string(c.what) + " " + std::to_string(size.w) + "x" + std::to_string(size.h);
            Bytes f = dcOnlyJpeg(size.w, size.h, c.layout, blockValue);
            Decoded d = decode(f);
            ASSERT_EQ(d.ok, 1) << what;
            ASSERT_EQ(d.width, size.w);
            for (int y = 0; y < size.h; y++)
                for (int x = 0; x < size.w; x++) {
                    int chroma[3];
                    for (int k = 1; k < 3; k++) {
                        int fx = c.layout[0].h / c.layout[k].h, fy = c.layout[0].v / c.layout[k].v;
                        chroma[k] = blockValue(k, x / (8 * fx), y / (8 * fy));
                    }
                    expectPixel(d, x, y, blockValue(0, x / 8, y / 8), chroma[1], chroma[2], what);
                    if (HasFatalFailure()) return;
                }
            expectSameAsReference(f, what);
        }
    }
}

TEST(JpegExact, ChromaThatCannotCoverItsMcuLeavesNeutralPixels) {
    // Luma 3x1, chroma 2x1: each chroma sample covers one pixel, so the last 8 columns of every
    // 24-pixel MCU get no chroma.
    Bytes f = dcOnlyJpeg(50, 10, {{3, 1}, {2, 1}, {2, 1}}, blockValue);
    Decoded d = decode(f);
    ASSERT_EQ(d.ok, 1);
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 50; x++) {
            int lx = x % 24, mx = x / 24;
            int cb = lx < 16 ? blockValue(1, mx * 2 + lx / 8, y / 8) : 128;
            int cr = lx < 16 ? blockValue(2, mx * 2 + lx / 8, y / 8) : 128;
            expectPixel(d, x, y, blockValue(0, x / 8, y / 8), cb, cr, "3x1 / 2x1");
            if (HasFatalFailure()) return;
        }
    expectSameAsReference(f, "3x1 / 2x1");
    // Chroma sampled finer than luma: the factor is 0 and no chroma is placed at all.
    Bytes g = dcOnlyJpeg(20, 20, {{1, 1}, {2, 1}, {1, 2}}, blockValue);
    Decoded e = decode(g);
    ASSERT_EQ(e.ok, 1);
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 20; x++) expectPixel(e, x, y, blockValue(0, x / 8, y / 8), 128, 128, "finer chroma");
    expectSameAsReference(g, "finer chroma");
}

TEST(JpegExact, GreyTwoAndFourComponents) {
    Bytes grey = dcOnlyJpeg(30, 20, {{1, 1}}, blockValue);
    Decoded d = decode(grey);
    ASSERT_EQ(d.ok, 1);
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 30; x++) {
            int v = blockValue(0, x / 8, y / 8);
            const uint8_t* p = &d.rgb[((size_t)y * 30 + x) * 3];
            ASSERT_TRUE(p[0] == v && p[1] == v && p[2] == v) << x << "," << y;
        }
    // Two components: stored as decoded in R and G, B stays 0. Four: the first three in R, G, B.
    Bytes two = dcOnlyJpeg(30, 20, {{1, 1}, {1, 1}}, blockValue);
    Bytes four = dcOnlyJpeg(30, 20, {{1, 1}, {1, 1}, {1, 1}, {1, 1}}, blockValue);
    Decoded d2 = decode(two), d4 = decode(four);
    ASSERT_EQ(d2.ok, 1);
    ASSERT_EQ(d4.ok, 1);
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 30; x++) {
            const uint8_t* p = &d2.rgb[((size_t)y * 30 + x) * 3];
            ASSERT_EQ(p[0], blockValue(0, x / 8, y / 8));
            ASSERT_EQ(p[1], blockValue(1, x / 8, y / 8));
            ASSERT_EQ(p[2], 0);
            const uint8_t* q = &d4.rgb[((size_t)y * 30 + x) * 3];
            for (int c = 0; c < 3; c++) ASSERT_EQ(q[c], blockValue(c, x / 8, y / 8));
        }
    expectSameAsReference(two, "two components");
    expectSameAsReference(four, "four components");
    // Two components sampled 2x2 and 1x1 are not spread (only three-component images are).
    Bytes spread = dcOnlyJpeg(32, 16, {{2, 2}, {1, 1}}, blockValue);
    Decoded ds = decode(spread);
    ASSERT_EQ(ds.ok, 1);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 32; x++) {
            int lx = x % 16;
            int expected = (lx < 8 && y < 8) ? blockValue(1, x / 16, 0) : 0;
            ASSERT_EQ(ds.rgb[((size_t)y * 32 + x) * 3 + 1], expected) << x << "," << y;
        }
    expectSameAsReference(spread, "two components, 2x2 and 1x1");
}

// Every width and height from 1 to 47 in each common layout, without and with a restart marker
// after every MCU row: every pixel exact.
TEST(JpegExact, EverySizeUpTo47x47DecodesExactly) {
    struct Case {
        const char* what;
        std::vector<Layout> layout;
    };
    const Case cases[] = {
        {"4:4:4", {{1, 1}, {1, 1}, {1, 1}}},
        {"4:2:2", {{2, 1}, {1, 1}, {1, 1}}},
        {"4:2:0", {{2, 2}, {1, 1}, {1, 1}}},
        {"grey", {{1, 1}}},
    };
    for (const Case& c : cases)
        for (int h = 1; h <= 47; h++)
            for (int w = 1; w <= 47; w++) {
                const int fx = c.layout[0].h, fy = c.layout[0].v;
                Bytes expected((size_t)w * h * 3);
                for (int y = 0; y < h; y++)
                    for (int x = 0; x < w; x++) {
                        uint8_t* p = &expected[((size_t)y * w + x) * 3];
                        int yv = blockValue(0, x / 8, y / 8);
                        if (c.layout.size() == 1) {
                            p[0] = p[1] = p[2] = (uint8_t)yv;
                            continue;
                        }
                        int cb = blockValue(1, x / (8 * fx), y / (8 * fy));
                        int cr = blockValue(2, x / (8 * fx), y / (8 * fy));
                        p[0] = limitTruncate(yv + 1.402f * (cr - 128));
                        p[1] = limitTruncate(yv - 0.34414f * (cb - 128) - 0.71414f * (cr - 128));
                        p[2] = limitTruncate(yv + 1.772f * (cb - 128));
                    }
                const int mcusPerRow = (w + 8 * fx - 1) / (8 * fx);
                for (int interval : {0, mcusPerRow}) {
                    Decoded d = decode(dcOnlyJpeg(w, h, c.layout, blockValue, interval));
                    ASSERT_EQ(d.ok, 1);
                    ASSERT_EQ(d.width, w);
                    ASSERT_EQ(d.height, h);
                    ASSERT_TRUE(d.rgb == expected) << c.what << " " << w << "x" << h << " restart " << interval;
                }
            }
}

TEST(JpegExact, RestartIntervalsOfAnyLengthDecodeExactly) {
    // 40 x 40 in 4:2:0: 3 x 3 MCUs.
    const std::vector<Layout> layout = {{2, 2}, {1, 1}, {1, 1}};
    Decoded plain = decode(dcOnlyJpeg(40, 40, layout, blockValue));
    ASSERT_EQ(plain.ok, 1);
    for (int interval : {1, 2, 3, 4, 5, 6, 8, 9, 100, 65535}) {
        Bytes f = dcOnlyJpeg(40, 40, layout, blockValue, interval);
        Decoded d = decode(f);
        ASSERT_EQ(d.ok, 1);
        EXPECT_TRUE(d.rgb == plain.rgb) << "interval " << interval;
        expectSameAsReference(f, "interval " + std::to_string(interval));
    }
    for (int y = 0; y < 40; y++)
        for (int x = 0; x < 40; x++) {
            expectPixel(plain, x, y, blockValue(0, x / 8, y / 8), blockValue(1, x / 16, y / 16),
                        blockValue(2, x / 16, y / 16), "4:2:0 40x40");
            if (HasFatalFailure()) return;
        }
}

// ------------------------------------------------------------------------------------------------
// Damaged and hand-made input.

TEST(JpegRobustness, EveryTruncationGivesADefinedResult) {
    REQUIRE_TOOLS();
    const Bytes f = file("small_420_restart.jpg");
    const size_t headerEnd = sosEnd(f);
    Decoded full = decode(f);
    ASSERT_EQ(full.ok, 1);
    for (size_t n = 0; n <= f.size(); n++) {
        Bytes prefix(f.begin(), f.begin() + n);
        std::string what = "prefix of " + std::to_string(n) + " bytes";
        Decoded d = decode(prefix);
        if (n < headerEnd) {
            EXPECT_EQ(d.ok, 0) << what;
            EXPECT_FALSE(d.hasPixels) << what;
            continue;
        }
        ASSERT_EQ(d.ok, 1) << what;
        ASSERT_EQ(d.width, 32);
        if (n == headerEnd) {
            EXPECT_TRUE(allPixelsEqual(d.rgb, 0, 0, 0)) << "no entropy data: black";
        }
        expectSameAsReference(prefix, what);
    }
    // Only the end-of-image marker missing: nothing lost.
    Decoded noEoi = decode(Bytes(f.begin(), f.end() - 2));
    EXPECT_TRUE(noEoi.rgb == full.rgb);
    // Cut at the restart marker after the first MCU row: that row decodes as before, the
    // second (rows 16 to 23) is black.
    size_t marker = headerEnd;
    while (marker + 1 < f.size() && !(f[marker] == 0xFF && f[marker + 1] == 0xD0)) marker++;
    ASSERT_LT(marker + 1, f.size());
    Decoded half = decode(Bytes(f.begin(), f.begin() + marker));
    EXPECT_EQ(0, std::memcmp(half.rgb.data(), full.rgb.data(), 32 * 3 * 16));
    EXPECT_TRUE(allPixelsEqual(Bytes(half.rgb.begin() + 32 * 3 * 16, half.rgb.end()), 0, 0, 0));
}

TEST(JpegRobustness, SingleByteCorruptionsGiveDefinedResults) {
    REQUIRE_TOOLS();
    for (const char* name : {"small_420_restart.jpg", "small_grey.jpg"}) {
        const Bytes f = file(name);
        for (size_t i = 0; i < f.size(); i++) {
            for (int kind = 0; kind < 4; kind++) {
                Bytes g = f;
                uint8_t values[4] = {0x00, 0xFF, (uint8_t)(f[i] ^ 0x55), (uint8_t)(f[i] + 1)};
                g[i] = values[kind];
                expectSameAsReference(g, std::string(name) + " byte " + std::to_string(i) + " = " +
                                             std::to_string(values[kind]));
                if (HasFatalFailure()) return;
            }
        }
    }
}

TEST(JpegRobustness, MalformedFrameHeadersAreRejected) {
    REQUIRE_TOOLS();
    const Bytes f = file("v420_24x24.jpg");
    ASSERT_EQ(decode(f).ok, 1);
    auto withFrame = [&](const Bytes& payload) {
        Split s = split(f);
        find(s, 0xC0).payload = payload;
        return join(s);
    };
    Split s = split(f);
    const Bytes frame = find(s, 0xC0).payload;  // P, H, W, N, then id, sampling, table per component
    ASSERT_EQ(frame.size(), 15u);
    auto patched = [&](size_t at, uint8_t value) {
        Bytes p = frame;
        p[at] = value;
        return p;
    };
    struct Case {
        const char* what;
        Bytes payload;
    };
    Bytes noComponents(frame.begin(), frame.begin() + 6);
    noComponents[5] = 0;
    Bytes fiveComponents = frame;
    fiveComponents[5] = 5;
    for (int i = 0; i < 6; i++) fiveComponents.push_back((uint8_t)(i % 3 == 0 ? 4 + i : 0x11));
    Bytes lengthMismatch = frame;
    lengthMismatch.push_back(0);
    Case cases[] = {
        {"zero components", noComponents},
        {"five components", fiveComponents},
        {"length not 8 + 3N", lengthMismatch},
        {"height 0", [&] { Bytes p = patched(1, 0); p[2] = 0; return p; }()},
        {"width 0", [&] { Bytes p = patched(3, 0); p[4] = 0; return p; }()},
        {"65535 x 65535", [&] { Bytes p = frame; p[1] = p[2] = p[3] = p[4] = 0xFF; return p; }()},
        {"16385 x 16384", [&] { Bytes p = frame; p[1] = 0x40; p[2] = 0; p[3] = 0x40; p[4] = 1; return p; }()},
        {"horizontal factor 0", patched(7, 0x02)},
        {"vertical factor 0", patched(7, 0x20)},
        {"horizontal factor 5", patched(7, 0x51)},
        {"vertical factor 5", patched(10, 0x15)},
        {"quantisation table 16", patched(8, 16)},
        {"quantisation table 255", patched(14, 255)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes g = withFrame(c.payload);
        EXPECT_EQ(decode(g).ok, 0);
        EXPECT_EQ(decode(g, JPEG_DECODER_FAST, 1).ok, 0);
    }
    // The largest accepted picture: 2^28 pixels (header only, nothing allocated).
    Bytes largest = frame;
    largest[1] = 0x40;
    largest[2] = 0;
    largest[3] = 0x40;
    largest[4] = 0;
    EXPECT_EQ(decode(withFrame(largest), JPEG_DECODER_FAST, 1).ok, 1);
    // Four sampling factors are fine: a 4x4 luma with 1x1 chroma.
    EXPECT_EQ(decode(withFrame(patched(7, 0x44)), JPEG_DECODER_FAST, 1).ok, 1);
}

TEST(JpegRobustness, MalformedSegmentsAreRejected) {
    REQUIRE_TOOLS();
    const Bytes f = file("v444_20x20.jpg");
    ASSERT_EQ(decode(f).ok, 1);
    // Every non-baseline frame type, and an end of image before the scan.
    for (int marker : {0xC1, 0xC2, 0xC3, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCD, 0xCE, 0xCF}) {
        Split s = split(f);
        find(s, 0xC0).marker = (uint8_t)marker;
        EXPECT_EQ(decode(join(s)).ok, 0) << std::hex << marker;
    }
    {
        Split s = split(f);
        Bytes b = join(s);
        size_t sos = b.size() - s.entropy.size() - (find(s, 0xDA).payload.size() + 4);
        Bytes eoiFirst(b.begin(), b.begin() + sos);
        eoiFirst.push_back(0xFF);
        eoiFirst.push_back(0xD9);
        EXPECT_EQ(decode(eoiFirst).ok, 0) << "end of image before the scan";
        EXPECT_EQ(decode(Bytes(b.begin(), b.begin() + sos)).ok, 0) << "no scan at all";
    }
    {
        // The scan header before the frame header.
        Split s = split(f);
        std::vector<Segment> reordered;
        for (const Segment& seg : s.segments)
            if (seg.marker != 0xC0 && seg.marker != 0xDA) reordered.push_back(seg);
        reordered.push_back(find(s, 0xDA));
        reordered.push_back(find(s, 0xC0));
        s.segments = reordered;
        EXPECT_EQ(decode(join(s)).ok, 0) << "scan before frame";
    }
    {
        // A Huffman table with more than 256 symbols.
        Split s = split(f);
        Bytes table = {0x00};
        for (int i = 0; i < 16; i++) table.push_back(17);
        for (int i = 0; i < 16 * 17; i++) table.push_back((uint8_t)i);
        s.segments.insert(s.segments.begin(), Segment{0xC4, table});
        EXPECT_EQ(decode(join(s)).ok, 0) << "272 symbols";
    }
    {
        // Segment lengths below 2.
        for (int len : {0, 1}) {
            Bytes b = {0xFF, 0xD8, 0xFF, 0xFE, 0x00, (uint8_t)len};
            Bytes rest = join(split(f));
            b.insert(b.end(), rest.begin() + 2, rest.end());
            EXPECT_EQ(decode(b).ok, 0) << "length " << len;
        }
    }
    {
        // Fill bytes are not markers: 0xFF 0xFF before a segment reads as a segment 0xFF.
        Bytes b = join(split(f));
        b.insert(b.begin() + 2, 0xFF);
        EXPECT_EQ(decode(b).ok, 0);
    }
    {
        // Headers cut inside a segment.
        Bytes b = join(split(f));
        for (size_t n = 0; n < sosEnd(b); n++)
            EXPECT_EQ(decode(Bytes(b.begin(), b.begin() + n)).ok, 0) << n;
    }
}

TEST(JpegRobustness, SkippableSegmentsAreSkipped) {
    REQUIRE_TOOLS();
    const Bytes f = file("v420_31x31.jpg");
    Decoded base = decode(f);
    ASSERT_EQ(base.ok, 1);
    for (int marker : {0xCC, 0xD0, 0xD5, 0xD7, 0xDC, 0xE1, 0xEF, 0xFE, 0x01, 0x7F, 0xBF, 0xDE, 0xDF, 0xF0}) {
        Split s = split(f);
        s.segments.insert(s.segments.begin() + 1, Segment{(uint8_t)marker, Bytes{1, 2, 3, 0xFF, 0xD9}});
        Decoded d = decode(join(s));
        EXPECT_EQ(d.ok, 1) << std::hex << marker;
        EXPECT_TRUE(d.rgb == base.rgb) << std::hex << marker;
    }
    // A repeated SOI is allowed too, and a zero restart interval means none.
    Split s = split(f);
    s.segments.insert(s.segments.begin(), Segment{0xDD, Bytes{0, 0}});
    Bytes b = join(s);
    b.insert(b.begin() + 2, {0xFF, 0xD8});
    Decoded d = decode(b);
    EXPECT_EQ(d.ok, 1);
    EXPECT_TRUE(d.rgb == base.rgb);
}

TEST(JpegRobustness, OddTablesAndScanHeadersDecodeToDefinedImages) {
    REQUIRE_TOOLS();
    const Bytes f = file("v420_40x40.jpg");
    {
        // Components naming a quantisation table that was never defined: all coefficients 0.
        Split s = split(f);
        Segment& frame = find(s, 0xC0);
        frame.payload[8] = frame.payload[11] = frame.payload[14] = 3;
        Decoded d = decode(join(s));
        ASSERT_EQ(d.ok, 1);
        EXPECT_TRUE(allPixelsEqual(d.rgb, 128, 128, 128));
        expectSameAsReference(join(s), "undefined quantisation table");
    }
    {
        // A scan naming Huffman tables that were never defined: the scan ends at once.
        Split s = split(f);
        Segment& scan = find(s, 0xDA);
        for (int c = 0; c < 3; c++) scan.payload[2 + 2 * c] = 0x23;
        Decoded d = decode(join(s));
        ASSERT_EQ(d.ok, 1);
        EXPECT_TRUE(allPixelsEqual(d.rgb, 0, 0, 0));
        expectSameAsReference(join(s), "undefined Huffman tables");
        // An empty table matches nothing, not even a run of zero bits.
        s.entropy.assign(64, 0x00);
        Decoded zeros = decode(join(s));
        ASSERT_EQ(zeros.ok, 1);
        EXPECT_TRUE(allPixelsEqual(zeros.rgb, 0, 0, 0));
        expectSameAsReference(join(s), "undefined Huffman tables, zero bits");
    }
    {
        // Scan component ids that match no frame component: every component keeps tables 0.
        Split s = split(f);
        Segment& scan = find(s, 0xDA);
        for (int c = 0; c < 3; c++) scan.payload[1 + 2 * c] = (uint8_t)(90 + c);
        EXPECT_EQ(decode(join(s)).ok, 1);
        expectSameAsReference(join(s), "unknown scan ids");
    }
    {
        // A DC table that overflows the code space (three codes of length 1), and AC tables
        // whose codes are partly missing or push runs past coefficient 63.
        Split s = split(f);
        Bytes dc = {0x00, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 1, 2};
        s.segments.insert(s.segments.end() - 1, Segment{0xC4, dc});
        expectSameAsReference(join(s), "overflowing DC table");
        EXPECT_EQ(decode(join(s)).ok, 1);
    }
    {
        Split s = split(f);
        for (Segment& seg : s.segments) {
            if (seg.marker != 0xC4) continue;
            size_t p = 0;
            while (p < seg.payload.size()) {
                int count = 0;
                for (int i = 1; i <= 16; i++) count += seg.payload[p + i];
                if (seg.payload[p] & 0x10)
                    for (int i = 0; i < count; i++) seg.payload[p + 17 + i] |= 0xF0;  // long runs
                p += 17 + count;
            }
        }
        Decoded d = decode(join(s));
        EXPECT_EQ(d.ok, 1);
        expectSameAsReference(join(s), "runs past 63");
    }
    {
        // Only the first two codes of each AC table left: most bit patterns match nothing.
        Split s = split(f);
        for (Segment& seg : s.segments) {
            if (seg.marker != 0xC4) continue;
            size_t p = 0;
            while (p < seg.payload.size()) {
                int count = 0;
                for (int i = 1; i <= 16; i++) count += seg.payload[p + i];
                if (seg.payload[p] & 0x10) {
                    int kept = 0;
                    for (int i = 1; i <= 16; i++) {
                        int take = std::min<int>(seg.payload[p + i], 2 - kept);
                        seg.payload[p + i] = (uint8_t)take;
                        kept += take;
                    }
                    Bytes& pl = seg.payload;
                    pl.erase(pl.begin() + (long)(p + 17 + 2), pl.begin() + (long)(p + 17 + count));
                    count = 2;
                }
                p += 17 + count;
            }
        }
        Decoded d = decode(join(s));
        EXPECT_EQ(d.ok, 1);
        expectSameAsReference(join(s), "codes missing from the table");
    }
    {
        // Restart markers where no restart interval says so, and other markers in the data.
        Split s = split(f);
        Bytes damaged = join(s);
        size_t start = damaged.size() - s.entropy.size();
        for (size_t at : {start + 5, start + 40, start + 41, start + 100}) {
            Bytes g = damaged;
            g.insert(g.begin() + (long)at, {0xFF, 0xD3});
            expectSameAsReference(g, "stray restart marker");
            Bytes h = damaged;
            h.insert(h.begin() + (long)at, {0xFF, 0xFF, 0xC4, 0xFF});
            expectSameAsReference(h, "stray marker");
        }
    }
}

}  // namespace
