#include "import/image_convert.h"

#include <IL/il.h>

#include <cerrno>
#include <cstring>

#include "pack/jpeg_decoder.h"
#include "system/files.h"
#include "system/memory.h"
#include "system/process.h"
#include "system/regular_file.h"

#if defined(__SANITIZE_ADDRESS__)
#define VCV_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VCV_ASAN 1
#endif
#endif
#if defined(VCV_ASAN)
#include <sanitizer/lsan_interface.h>
#endif

static const char* const kModule = "vor3d_import_1_11";

namespace {
struct ConverterState {
    char program[PATH_CAPACITY];  // "" until set or looked up
    int32_t timeLimitMs = 0;  // 0: from the picture
    bool devilStarted = false;
};
ConverterState converter;

// DevIL leaks on some broken files (its PNG reader, for one). Those leaks die with the child, so
// the leak checker of sanitizer builds is told to ignore what DevIL allocates.
void ignoreLibraryLeaks(bool ignore) {
#if defined(VCV_ASAN)
    if (ignore) __lsan_disable();
    else __lsan_enable();
#else
    (void)ignore;
#endif
}

ILenum devilType(int32_t format) {
    switch (format) {
        case IMAGE_PNG: return IL_PNG;
        case IMAGE_JPEG: return IL_JPG;
        case IMAGE_BMP: return IL_BMP;
        case IMAGE_TGA: return IL_TGA;
        case IMAGE_GIF: return IL_GIF;
        case IMAGE_TIFF: return IL_TIF;
        default: return IL_TYPE_UNKNOWN;
    }
}

// Encodes the bound image as a JPEG into out (capacity bytes); its size, or 0 when it does not fit
// or cannot be encoded. capacity 0 with a null out asks only for the size.
ILuint encodeJpeg(void* out, ILuint capacity) {
    while (ilGetError() != IL_NO_ERROR) {
    }
    ILuint n = ilSaveL(IL_JPG, out, capacity);
    return ilGetError() == IL_NO_ERROR ? n : 0;
}
// DevIL's record of the bound image agrees with itself: the channels of its format, the bytes of
// its sample type, its bytes per pixel and its data size. Some broken files (a 16-bit TGA, for
// one) leave them disagreeing, which neither its converter nor its JPEG writer survives.
bool consistentImage(const ImageProbe& probe) {
    int64_t channels = 0, sampleBytes = 0;
    switch (ilGetInteger(IL_IMAGE_FORMAT)) {
        case IL_COLOUR_INDEX:
        case IL_ALPHA:
        case IL_LUMINANCE: channels = 1; break;
        case IL_LUMINANCE_ALPHA: channels = 2; break;
        case IL_RGB:
        case IL_BGR: channels = 3; break;
        case IL_RGBA:
        case IL_BGRA: channels = 4; break;
        default: break;
    }
    switch (ilGetInteger(IL_IMAGE_TYPE)) {
        case IL_BYTE:
        case IL_UNSIGNED_BYTE: sampleBytes = 1; break;
        case IL_SHORT:
        case IL_UNSIGNED_SHORT:
        case IL_HALF: sampleBytes = 2; break;
        case IL_INT:
        case IL_UNSIGNED_INT:
        case IL_FLOAT: sampleBytes = 4; break;
        case IL_DOUBLE: sampleBytes = 8; break;
        default: break;
    }
    return channels > 0 && sampleBytes > 0 && ilGetInteger(IL_IMAGE_WIDTH) == probe.width &&
           ilGetInteger(IL_IMAGE_HEIGHT) == probe.height && ilGetInteger(IL_IMAGE_DEPTH) == 1 &&
           ilGetInteger(IL_IMAGE_BPC) == sampleBytes &&
           ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL) == channels * sampleBytes &&
           ilGetInteger(IL_IMAGE_SIZE_OF_DATA) == (int64_t)probe.width * probe.height * channels * sampleBytes &&
           ilGetData() != nullptr;
}

// A colour-indexed image must have a palette that covers every index: DevIL's palette conversion
// reads past its palette for an index beyond it (a BMP whose colour count is too small, for one).
bool paletteCovers(const ImageProbe& probe) {
    if (ilGetInteger(IL_IMAGE_FORMAT) != IL_COLOUR_INDEX) return true;
    ILint type = ilGetInteger(IL_PALETTE_TYPE), entryBytes = ilGetInteger(IL_PALETTE_BPP);
    ILint colours = ilGetInteger(IL_PALETTE_NUM_COLS);
    bool known = type == IL_PAL_RGB24 || type == IL_PAL_BGR24 || type == IL_PAL_RGB32 || type == IL_PAL_RGBA32 ||
                 type == IL_PAL_BGR32 || type == IL_PAL_BGRA32;
    const ILubyte* index = ilGetData();
    if (!known || entryBytes < 3 || entryBytes > 4 || colours < 1 || colours > 256 || !ilGetPalette() || !index ||
        ilGetInteger(IL_IMAGE_TYPE) != IL_UNSIGNED_BYTE)
        return false;
    for (int64_t i = 0, n = (int64_t)probe.width * probe.height; i < n; i++)
        if (index[i] >= colours) return false;
    return true;
}

// DevIL hands a CMYK or YCCK JPEG over as the four channels libjpeg gives (CMYK in Adobe's
// inverted form: 255 is no ink) and would keep the first three as RGB, losing the black. Each
// pixel becomes RGB as libjpeg-turbo's own CMYK conversion makes it: channel x K / 255, rounded.
void inkToRgb(const ImageProbe& probe) {
    if (ilGetInteger(IL_IMAGE_FORMAT) != IL_RGBA || ilGetInteger(IL_IMAGE_TYPE) != IL_UNSIGNED_BYTE) return;
    int64_t pixels = (int64_t)probe.width * probe.height;
    ILubyte* p = ilGetData();
    if (!p || ilGetInteger(IL_IMAGE_SIZE_OF_DATA) < pixels * 4) return;
    for (int64_t i = 0; i < pixels; i++, p += 4) {
        uint32_t k = p[3];
        for (int c = 0; c < 3; c++) p[c] = (ILubyte)((2 * p[c] * k + 255) / 510);
        p[3] = 255;
    }
}
}  // namespace

void imageConverterSetProgram(const char* path) {
    size_t n = std::strlen(path);
    if (n >= sizeof converter.program) n = 0;
    std::memcpy(converter.program, path, n);
    converter.program[n] = '\0';
}

const char* imageConverterProgram() {
    if (converter.program[0]) return converter.program;
    char exe[PATH_CAPACITY], dir[PATH_CAPACITY] = "";
    if (processProgramPath(exe, PATH_CAPACITY) == 0) directoryPart(dir, exe);
    char path[PATH_CAPACITY];
    if (joinPath(path, dir, "vcvtool") == 0 && !fileExists(path)) {
        char built[PATH_CAPACITY];
        if (joinPath(built, dir, "../tools/vcvtool") == 0 && fileExists(built)) std::memcpy(path, built, sizeof path);
    }
    imageConverterSetProgram(path);
    return converter.program;
}

void imageConverterSetTimeLimit(int32_t milliseconds) { converter.timeLimitMs = milliseconds > 0 ? milliseconds : 0; }

int32_t imageConvertCpuSeconds(const ImageProbe* probe) {
    const int64_t perSecond = (int64_t)4 << 20;
    return 2 + (int32_t)(((int64_t)probe->width * probe->height + perSecond - 1) / perSecond);
}

int32_t imageConvertIsolated(const char* inPath, const char* outPath, const ImageProbe* probe, int32_t* error) {
    *error = 0;
    const char* program = imageConverterProgram();
    const char* argv[] = {program, "convert-image", inPath, outPath, nullptr};
    int32_t waitMs = converter.timeLimitMs > 0 ? converter.timeLimitMs : (2 * imageConvertCpuSeconds(probe) + 1) * 1000;
    ProcessOutcome run = processRun(program, argv, waitMs);
    if (run.status == PROCESS_NOT_STARTED) {
        *error = run.code;
        return IMAGE_CONVERT_NOT_STARTED;
    }
    int32_t result = IMAGE_CONVERT_REFUSED;
    bool writeFailed = run.code > IMAGE_CONVERT_EXIT_WRITE && run.code <= IMAGE_CONVERT_EXIT_WRITE + 127;
    if (run.status == PROCESS_EXITED && writeFailed) {
        *error = run.code - IMAGE_CONVERT_EXIT_WRITE;
        result = IMAGE_CONVERT_WRITE_FAILED;
    } else if (run.status == PROCESS_EXITED && run.code == IMAGE_CONVERT_EXIT_OK) {
        // The child's word is not enough: its output must be what our decoder reads, at the size probed.
        uint8_t* jpeg = nullptr;
        int64_t size = 0;
        int32_t readError = 0, width = 0, height = 0;
        if (readRegularFile(outPath, IMAGE_MAX_FILE_BYTES, &jpeg, &size, &readError) == REGULAR_FILE_OK &&
            jpeg_image_size(jpeg, (int32_t)size, &width, &height) == 0 && width == probe->width &&
            height == probe->height)
            result = IMAGE_CONVERT_OK;
        MEM_FREE(jpeg);
    }
    if (result != IMAGE_CONVERT_OK) deleteFile(outPath, "");
    return result;
}

int32_t imageConvertBytes(const uint8_t* data, int64_t size, uint8_t** jpeg, int32_t* jpegSize) {
    *jpeg = nullptr;
    *jpegSize = 0;
    ImageProbe probe;
    if (imageProbe(data, size, &probe) != PROBE_OK) return -1;
    ignoreLibraryLeaks(true);
    if (!converter.devilStarted) {
        ilInit();
        converter.devilStarted = true;
    }
    ilEnable(IL_FILE_OVERWRITE);
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    bool loaded = ilLoadL(devilType(probe.format), data, (ILuint)size) == IL_TRUE && consistentImage(probe) &&
                  paletteCovers(probe);
    int64_t channels = 0;
    if (loaded && probe.format == IMAGE_JPEG) inkToRgb(probe);
    if (loaded) {
        ILint format = ilGetInteger(IL_IMAGE_FORMAT);
        bool grey = format == IL_LUMINANCE || format == IL_LUMINANCE_ALPHA;
        // JPEG holds no alpha; DevIL's writer wants one or three channels of bytes.
        loaded = ilConvertImage(grey ? IL_LUMINANCE : IL_RGB, IL_UNSIGNED_BYTE) == IL_TRUE && consistentImage(probe) &&
                 ilGetInteger(IL_IMAGE_FORMAT) == (grey ? IL_LUMINANCE : IL_RGB);
        ilSetInteger(IL_JPG_QUALITY, 96);
        ilSetInteger(IL_JPG_SAVE_FORMAT, IL_JFIF);
        channels = grey ? 1 : 3;
    }
    ignoreLibraryLeaks(false);
    // Almost every JPEG of quality 96 is smaller than its pixels; when one is not, DevIL measures it.
    int64_t capacity = loaded ? (int64_t)probe.width * probe.height * channels + 65536 : 0;
    uint8_t* out = nullptr;
    ILuint written = 0;
    for (int attempt = 0; attempt < 2 && capacity > 0 && capacity <= INT32_MAX && written == 0; attempt++) {
        out = (uint8_t*)MEM_ALLOC(out, capacity);
        ignoreLibraryLeaks(true);
        written = encodeJpeg(out, (ILuint)capacity);
        if (written == 0 && attempt == 0) capacity = encodeJpeg(nullptr, 0);
        ignoreLibraryLeaks(false);
    }
    ignoreLibraryLeaks(true);
    ilDeleteImages(1, &image);
    ignoreLibraryLeaks(false);
    if (written == 0 || (int64_t)written > capacity) {
        MEM_FREE(out);
        return -1;
    }
    *jpeg = out;
    *jpegSize = (int32_t)written;
    return 0;
}

int32_t imageConvertCommand(const char* inPath, const char* outPath) {
    uint8_t* data = nullptr;
    int64_t size = 0;
    int32_t error = 0;
    ImageProbe probe;
    if (readRegularFile(inPath, IMAGE_MAX_FILE_BYTES, &data, &size, &error) != REGULAR_FILE_OK ||
        imageProbe(data, size, &probe) != PROBE_OK) {
        MEM_FREE(data);
        return IMAGE_CONVERT_EXIT_REFUSED;
    }
#if defined(VCV_ASAN)
    processLimitResources(imageConvertCpuSeconds(&probe), 0);
#else
    processLimitResources(imageConvertCpuSeconds(&probe), IMAGE_CONVERT_ADDRESS_SPACE);
#endif
    uint8_t* jpeg = nullptr;
    int32_t jpegSize = 0;
    int32_t converted = imageConvertBytes(data, size, &jpeg, &jpegSize);
    MEM_FREE(data);
    if (converted != 0) return IMAGE_CONVERT_EXIT_REFUSED;
    int32_t status = IMAGE_CONVERT_EXIT_OK;
    if (writeWholeFile(outPath, "", jpeg, jpegSize) != 0) {
        int32_t reason = errno;
        status = IMAGE_CONVERT_EXIT_WRITE + (reason > 0 && reason <= 127 ? reason : EIO);
    }
    MEM_FREE(jpeg);
    return status;
}
