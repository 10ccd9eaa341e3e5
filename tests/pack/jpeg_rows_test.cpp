// The band-by-band decode against the whole-image decode: the same bytes for every decoder
// variant, sampling layout and damaged scan, every row handed over once and in order, and a sink
// that stops the decode stops it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pack/jpeg_decoder.h"
#include "support/reference_jpeg.h"
#include "system/memory.h"

namespace {

using Bytes = std::vector<uint8_t>;

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

Bytes wholeImage(const Bytes& jpeg, int32_t* ok, int32_t* w, int32_t* h) {
    uint8_t* pixels = nullptr;
    jpeg_decode_memory(&pixels, jpeg.data(), (int32_t)jpeg.size(), w, h, 0, ok);
    Bytes rgb;
    if (pixels) rgb.assign(pixels, pixels + (size_t)*w * *h * 3);
    memFree(pixels, "test", __LINE__);
    return rgb;
}

// A gradient with noise, encoded by libjpeg with the given settings.
Bytes encoded(int w, int h, const JpegSettings& settings) {
    Bytes rgb;
    uint32_t seed = 7;
    for (int i = 0; i < w * h * 3; i++) {
        seed = seed * 1664525u + 1013904223u;
        rgb.push_back((uint8_t)((i / 3 % w) * 200 / w + (i % 3) * 20 + (seed >> 28)));
    }
    return referenceJpegEncode(rgb, w, h, settings);
}

JpegSettings sampling(int h, int v) {
    JpegSettings s;
    s.sampling[0][0] = h;
    s.sampling[0][1] = v;
    return s;
}

TEST(JpegRows, BandsGiveTheWholeImageBytesInEveryLayoutVariantAndDamagedScan) {
    JpegSettings restarts = sampling(1, 1), grey;
    restarts.restartRows = 1;
    grey.grey = true;
    std::vector<std::pair<std::string, Bytes>> files = {
        {"4:2:0 odd size", encoded(203, 77, sampling(2, 2))},
        {"4:4:4 with restarts", encoded(64, 40, restarts)},
        {"4:2:2", encoded(50, 33, sampling(2, 1))},
        {"grey", encoded(31, 19, grey)},
    };
    Bytes cut = files[0].second;
    cut.resize(cut.size() * 2 / 3);  // the scan ends early: the rows it never reaches are black
    files.push_back({"truncated scan", cut});
    for (const auto& [what, jpeg] : files) {
        ASSERT_FALSE(jpeg.empty()) << what;
        for (int32_t variant : {JPEG_DECODER_FAST, JPEG_DECODER_PORTABLE, JPEG_DECODER_REFERENCE}) {
            SCOPED_TRACE(what + " variant " + std::to_string(variant));
            jpeg_select_decoder(variant);
            int32_t ok = 0, w = 0, h = 0;
            Bytes whole = wholeImage(jpeg, &ok, &w, &h);
            ASSERT_EQ(ok, 1);
            Collected got;
            EXPECT_EQ(jpeg_decode_rows(jpeg.data(), (int32_t)jpeg.size(), collect, &got), 0);
            EXPECT_TRUE(got.inOrder);
            EXPECT_EQ(got.width, w);
            EXPECT_EQ(got.nextRow, h);
            EXPECT_TRUE(got.rgb == whole);
            // Stopping after the first band: no further rows, and the decode says so.
            Collected stopped;
            stopped.stopAfter = 1;
            EXPECT_EQ(jpeg_decode_rows(jpeg.data(), (int32_t)jpeg.size(), collect, &stopped), -1);
            EXPECT_EQ(stopped.calls, 1);
        }
    }
    jpeg_select_decoder(JPEG_DECODER_FAST);

    // Headers the decoder refuses: -1 and the sink never hears of it; the next decode is unharmed.
    JpegSettings progressiveSettings;
    progressiveSettings.progressive = true;
    Bytes progressive = encoded(40, 40, progressiveSettings);
    Collected none;
    EXPECT_EQ(jpeg_decode_rows(progressive.data(), (int32_t)progressive.size(), collect, &none), -1);
    EXPECT_EQ(jpeg_decode_rows(nullptr, 0, collect, &none), -1);
    EXPECT_EQ(none.calls, 0);
    int32_t ok = 0, w = 0, h = 0;
    Bytes after = wholeImage(files[0].second, &ok, &w, &h);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(after.size(), (size_t)203 * 77 * 3);
}

}  // namespace
