// JPEG files for the set builder: 8-bit samples, DevIL's encoder, and a check by our own decoder.
#include <IL/il.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "pack/jpeg_decoder.h"
#include "system/files.h"
#include "system/memory.h"
#include "tools/bake.h"

static const char* const kModule = "vcvbake";

namespace {
// Quality of libjpeg's scale (DevIL passes it on): high enough that glyph edges and thin rims
// survive, low enough that flat areas cost little.
const int32_t kJpegQuality = 95;
// What the decoded samples may differ from ours: a mean per sample and a bound for any sample
// (ringing right beside a sharp edge).
const double kMeanErrorLimit = 1.5;
const int32_t kMaxErrorLimit = 64;

struct JpegState {
    bool started;
    int64_t bytesWritten;
    int32_t filesWritten;
    double worstMean;
    int32_t worstMax;
};
JpegState jpeg;

uint8_t toByte(float v) { return (uint8_t)std::lround(clamp01(v) * 255.0f); }

// Encodes the samples with DevIL into a memAlloc'd buffer; its size, or 0.
int32_t encode(const uint8_t* samples, int32_t width, int32_t height, int32_t channels, uint8_t** out) {
    *out = nullptr;
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    ILuint written = 0;
    if (ilTexImage((ILuint)width, (ILuint)height, 1, (ILubyte)channels, channels == 1 ? IL_LUMINANCE : IL_RGB,
                   IL_UNSIGNED_BYTE, const_cast<uint8_t*>(samples)) == IL_TRUE) {
        // Our rows run top to bottom.
        ilRegisterOrigin(IL_ORIGIN_UPPER_LEFT);
        ilSetInteger(IL_JPG_QUALITY, kJpegQuality);
        ilSetInteger(IL_JPG_SAVE_FORMAT, IL_JFIF);
        int64_t capacity = (int64_t)width * height * channels + 65536;
        for (int32_t attempt = 0; attempt < 2 && written == 0 && capacity <= INT32_MAX; attempt++) {
            *out = (uint8_t*)MEM_ALLOC(*out, capacity);
            while (ilGetError() != IL_NO_ERROR) {
            }
            written = ilSaveL(IL_JPG, *out, (ILuint)capacity);
            if (ilGetError() != IL_NO_ERROR) written = 0;
            if (written == 0 && attempt == 0) capacity = ilSaveL(IL_JPG, nullptr, 0);
        }
    }
    ilDeleteImages(1, &image);
    if (written == 0) *out = (uint8_t*)MEM_FREE(*out);
    return (int32_t)written;
}

// Decodes the JPEG with the engine's decoder and compares it with the samples. 0 when it matches.
int32_t verify(const char* name, const uint8_t* jpegData, int32_t jpegSize, const uint8_t* samples, int32_t width,
               int32_t height, int32_t channels) {
    uint8_t* rgb = nullptr;
    int32_t w = 0, h = 0, ok = 0;
    jpeg_decode_memory(&rgb, jpegData, jpegSize, &w, &h, 0, &ok);
    if (ok != 1 || w != width || h != height) {
        std::fprintf(stderr, "vcvbake: %s: our decoder reads %s (%dx%d, expected %dx%d)\n", name,
                     ok == 1 ? "another size" : "nothing", w, h, width, height);
        MEM_FREE(rgb);
        return -1;
    }
    int64_t total = 0;
    int32_t worst = 0;
    int64_t count = (int64_t)width * height * 3;
    for (int64_t i = 0; i < count; i++) {
        int32_t expected = channels == 3 ? samples[i] : samples[i / 3];
        int32_t d = std::abs((int32_t)rgb[i] - expected);
        total += d;
        if (d > worst) worst = d;
    }
    MEM_FREE(rgb);
    double mean = (double)total / (double)count;
    if (mean > jpeg.worstMean) jpeg.worstMean = mean;
    if (worst > jpeg.worstMax) jpeg.worstMax = worst;
    if (mean > kMeanErrorLimit || worst > kMaxErrorLimit) {
        std::fprintf(stderr, "vcvbake: %s: decoded samples differ too much (mean %.2f, largest %d)\n", name, mean,
                     worst);
        return -1;
    }
    return 0;
}
}  // namespace

void bakeJpegOpen() {
    if (!jpeg.started) ilInit();
    jpeg = JpegState{};
    jpeg.started = true;
    ilEnable(IL_FILE_OVERWRITE);
}

void bakeJpegClose() {
    if (!jpeg.started) return;
    std::printf("vcvbake: %d JPEG files, %lld bytes; decoder check: worst mean error %.2f, largest error %d\n",
                jpeg.filesWritten, (long long)jpeg.bytesWritten, jpeg.worstMean, jpeg.worstMax);
    ilShutDown();
    jpeg.started = false;
}

int32_t writeSetJpeg(const char* dir, int32_t number, const char* name, const Picture* picture, int32_t alpha,
                     int32_t grey) {
    char fileName[PATH_CAPACITY];
    std::snprintf(fileName, sizeof fileName, "N_%04d_T_00_A_%d_Q_2_%s", number, alpha ? 1 : 0, name);
    int32_t width = picture->width;
    int32_t half = picture->height;
    int32_t height = alpha ? half * 2 : half;
    if (alpha && half % 16 != 0) {
        std::fprintf(stderr, "vcvbake: %s: a half of %d rows would share JPEG blocks with the other\n", fileName,
                     half);
        return -1;
    }
    int32_t channels = grey ? 1 : 3;
    uint8_t* samples = (uint8_t*)MEM_ALLOC(nullptr, (int64_t)width * height * channels);
    for (int32_t y = 0; y < half; y++) {
        for (int32_t x = 0; x < width; x++) {
            const float* p = picture->rgba + ((int64_t)y * width + x) * 4;
            uint8_t* top = samples + ((int64_t)y * width + x) * channels;
            for (int32_t c = 0; c < channels; c++) top[c] = toByte(p[c]);
            if (!alpha) continue;
            uint8_t* bottom = samples + ((int64_t)(y + half) * width + x) * channels;
            for (int32_t c = 0; c < channels; c++) bottom[c] = toByte(p[3]);
        }
    }
    uint8_t* data = nullptr;
    int32_t size = encode(samples, width, height, channels, &data);
    int32_t result = -1;
    if (size == 0) {
        std::fprintf(stderr, "vcvbake: %s: DevIL writes no JPEG\n", fileName);
    } else if (verify(fileName, data, size, samples, width, height, channels) == 0) {
        result = writeWholeFile(fileName, dir, data, size);
        if (result != 0) std::fprintf(stderr, "vcvbake: cannot write %s%s\n", dir, fileName);
        jpeg.bytesWritten += size;
        jpeg.filesWritten++;
    }
    MEM_FREE(data);
    MEM_FREE(samples);
    return result;
}
