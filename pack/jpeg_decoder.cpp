#include "pack/jpeg_decoder.h"

#include <cstdio>
#include <cstring>

#include "system/files.h"
#include "system/memory.h"
#include "pack/jpeg_internal.h"

namespace jpegdec {

// The module state; the other jpeg sources reach it through jpeg_internal.h.
JpegDecoderState state;

namespace {

// Clears the state for a new decode; only the chosen variant outlives a call.
void resetState() {
    const int32_t variant = state.variant;
    std::memset(&state, 0, sizeof(state));
    state.variant = variant;
    state.adobeTransform = -1;
}

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
            // CMYK and YCCK (four components), and three components that an Adobe segment marks as
            // not YCbCr (RGB), would come out in wrong colours: refused, so they are converted.
            if (s.componentCount == 4) return 0;
            if (s.componentCount == 3 && s.adobeTransform >= 0 && s.adobeTransform != 1) return 0;
            return s.componentCount > 0 ? 1 : 0;
        } else if (marker == 0xCC || (marker >= 0xD0 && marker <= 0xD7) || marker == 0xDC ||
                   marker < 0xC0 || marker > 0xDD) {
            if (payload > s.size - s.pos) return 0;
            // Adobe APP14: "Adobe", version, two flag words, then the transform byte.
            if (marker == 0xEE && payload >= 12 && std::memcmp(s.data + s.pos, "Adobe", 5) == 0)
                s.adobeTransform = s.data[s.pos + 11];
            s.pos += payload;
        } else {
            return 0;  // other frame types, arithmetic coding, end of image
        }
    }
}

}  // namespace
}  // namespace jpegdec

using jpegdec::state;

void jpeg_select_decoder(int32_t variant) {
    state.variant = (variant == JPEG_DECODER_REFERENCE || variant == JPEG_DECODER_PORTABLE) ? variant
                                                                                           : JPEG_DECODER_FAST;
}

void jpeg_decode_memory(uint8_t** pixels, const uint8_t* data, int32_t size, int32_t* width,
                        int32_t* height, int32_t headerOnly, int32_t* ok) {
    if (pixels) *pixels = nullptr;
    jpegdec::resetState();
    int32_t accepted = 0;
    if (data != nullptr && size > 0) {
        state.data = data;
        state.size = size;
        accepted = jpegdec::parseHeaders();
    }
    if (ok) *ok = accepted;
    if (!accepted || headerOnly) return;

    int64_t bytes = (int64_t)state.width * state.height * 3;
    state.output = (uint8_t*)memAlloc(nullptr, bytes, kModule, __LINE__);
    if (state.output == nullptr) return;
    memAdviseHugePages(state.output, bytes);
    if (state.variant == JPEG_DECODER_REFERENCE)
        jpegdec::referenceScan();
    else
        jpegdec::fastScan();
    if (pixels)
        *pixels = state.output;
    else
        memFree(state.output, kModule, __LINE__);
    if (width) *width = state.width;
    if (height) *height = state.height;
    state.output = nullptr;
    state.data = nullptr;
}

int32_t jpeg_decode_rows(const uint8_t* data, int32_t size, JpegRowSink sink, void* user) {
    if (sink == nullptr) return -1;
    if (state.variant == JPEG_DECODER_REFERENCE) {
        // The reference decoder places samples anywhere in the image: decode it whole.
        uint8_t* pixels = nullptr;
        int32_t w = 0, h = 0, ok = 0;
        jpeg_decode_memory(&pixels, data, size, &w, &h, 0, &ok);
        if (pixels == nullptr) return -1;
        int32_t result = 0;
        for (int32_t y = 0; y < h && result == 0; y += 16)
            result = sink(user, pixels + (int64_t)y * w * 3, w, y, h - y < 16 ? h - y : 16);
        memFree(pixels, kModule, __LINE__);
        return result == 0 ? 0 : -1;
    }
    jpegdec::resetState();
    if (data == nullptr || size <= 0) return -1;
    state.data = data;
    state.size = size;
    int32_t result = -1;
    if (jpegdec::parseHeaders()) {
        const int64_t band = (int64_t)8 * state.components[0].v * state.width * 3;
        state.output = (uint8_t*)memAlloc(nullptr, band, kModule, __LINE__);
        state.sink = sink;
        state.sinkUser = user;
        jpegdec::fastScan();
        result = state.sinkStopped ? -1 : 0;
        state.output = (uint8_t*)memFree(state.output, kModule, __LINE__);
        state.sink = nullptr;
        state.sinkUser = nullptr;
    }
    state.data = nullptr;
    return result;
}

int32_t jpeg_image_size(const uint8_t* data, int32_t size, int32_t* width, int32_t* height) {
    jpegdec::resetState();
    if (data == nullptr || size <= 0) return -1;
    state.data = data;
    state.size = size;
    int32_t accepted = jpegdec::parseHeaders();
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
