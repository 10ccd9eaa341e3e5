#include "texsets/set_file.h"

#include <cstring>

#include "pack/jpeg_decoder.h"
#include "strings/string_table.h"
#include "system/blob.h"
#include "system/memory.h"

static const char* const kModule = "VOR3DTEXTURE_1_11";

char interfaceSetErrorName[PATH_CAPACITY];

namespace {
const int32_t kRecordHeader = 8;  // S, kind, T, A, Q

const char* listPattern(int32_t jpegOnly) { return jpegOnly == 1 ? "N_*.JPG" : "N_*.*"; }

// Value of count decimal digits, or -1 when one is not a digit.
int32_t digits(const char* text, int32_t count) {
    int32_t v = 0;
    for (int32_t i = 0; i < count; i++) {
        if (text[i] < '0' || text[i] > '9') return -1;
        v = v * 10 + (text[i] - '0');
    }
    return v;
}

// A growing output buffer for the builder.
struct Output {
    uint8_t* bytes;
    int64_t length;
    int64_t capacity;
};

void append(Output* out, const void* data, int64_t n) {
    if (out->length + n > out->capacity) {
        int64_t want = out->capacity * 2 + n + 256;
        out->bytes = (uint8_t*)MEM_REALLOC(out->bytes, want);
        out->capacity = want;
    }
    if (n > 0) std::memcpy(out->bytes + out->length, data, (size_t)n);
    out->length += n;
}
}  // namespace

int32_t setFileBegin(SetFileCursor* cursor, const uint8_t* data, int32_t size, int32_t offset) {
    std::memset(cursor, 0, sizeof *cursor);
    cursor->data = data;
    cursor->size = size;
    if (!data || offset < 0 || size - offset < 4) {
        cursor->position = size;
        return -1;
    }
    blobReadBegin(data + offset, 4);
    blobGetInt32(&cursor->count);
    cursor->position = offset + 4;
    return 0;
}

int32_t setFileNext(SetFileCursor* cursor, SetFileRecord* record) {
    if (cursor->index >= cursor->count) return -1;
    int32_t rest = cursor->size - cursor->position;
    if (rest < kRecordHeader) return -1;
    SetFileRecord r;
    // The decoder may run between records, so every record restarts the reader on its own bytes.
    blobReadBegin(cursor->data + cursor->position, kRecordHeader);
    blobGetInt32(&r.size);
    blobGet8(&r.kind);
    blobGet8(&r.tag);
    blobGet8(&r.alpha);
    blobGet8(&r.quality);
    if (r.size < 0 || r.size > rest - kRecordHeader) return -1;
    r.data = cursor->data + cursor->position + kRecordHeader;
    cursor->position += kRecordHeader + r.size;
    cursor->index++;
    *record = r;
    return 0;
}

int32_t decodeSetPixels(const uint8_t* data, int32_t size, uint8_t alpha, uint8_t** pixels, int32_t* width,
                        int32_t* height) {
    uint8_t* rgb = nullptr;
    int32_t w = 0, h = 0, ok = 0;
    jpeg_decode_memory(&rgb, data, size, &w, &h, 0, &ok);
    int32_t rows = alpha == 1 ? h / 2 : h;
    if (ok != 1 || !rgb || w < 1 || rows < 1) {
        MEM_FREE(rgb);
        return -1;
    }
    uint8_t* out = (uint8_t*)MEM_ALLOC(nullptr, (int64_t)w * rows * 4);
    for (int32_t y = 0; y < rows; y++) {
        const uint8_t* colour = rgb + (int64_t)y * w * 3;
        const uint8_t* mask = rgb + (int64_t)(y + rows) * w * 3;
        uint8_t* o = out + (int64_t)y * w * 4;
        for (int32_t x = 0; x < w; x++) {
            o[x * 4] = colour[x * 3];
            o[x * 4 + 1] = colour[x * 3 + 1];
            o[x * 4 + 2] = colour[x * 3 + 2];
            o[x * 4 + 3] = alpha == 1 ? mask[x * 3] : 255;
        }
    }
    MEM_FREE(rgb);
    *pixels = out;
    *width = w;
    *height = rows;
    return 0;
}

uint8_t parseSetImageName(const char* fileName, int32_t* n, uint8_t* t, uint8_t* a, uint8_t* q, char* name,
                          int32_t nameSize) {
    if (!fileName || std::strlen(fileName) < 20 || fileName[0] != 'N' || fileName[1] != '_') return SET_NAME_BAD;
    int32_t vn = digits(fileName + 2, 4), vt = digits(fileName + 9, 2);
    int32_t va = digits(fileName + 14, 1), vq = digits(fileName + 18, 1);
    if (vn < 0 || vt < 0 || va < 0 || vq < 0) return SET_NAME_BAD;
    *n = vn;
    *t = (uint8_t)vt;
    *a = (uint8_t)va;
    *q = (uint8_t)vq;
    if (name && nameSize > 0) {
        std::strncpy(name, fileName + 20, (size_t)nameSize - 1);
        name[nameSize - 1] = '\0';
    }
    return 0;
}

int32_t buildInterfaceSetFileTo(const char* outName, const char* outDir, const char* dir, int32_t jpegOnly) {
    int32_t names = listFiles(listPattern(jpegOnly), dir, (const uint8_t*)"\0\0\0\0");
    // The output exists (empty) from here on, whatever happens next.
    if (writeWholeFile(outName, outDir, nullptr, 0) != 0) {
        stringTableDestroy(names);
        return 2;
    }
    int32_t count = stringTableCount(names);
    Output out = {nullptr, 0, 0};
    uint8_t field[kRecordHeader];
    blobWriteBegin(field, 4);
    blobPut32((uint32_t)count);
    append(&out, field, 4);
    int32_t result = 0;
    for (int32_t i = 0; i < count && result == 0; i++) {
        const char* fileName = stringTableText(names, i);
        int32_t n = -1;
        uint8_t t = 0, a = 0, q = 0;
        if (parseSetImageName(fileName, &n, &t, &a, &q, nullptr, 0) != 0 || n != i) {
            std::strncpy(interfaceSetErrorName, fileName, PATH_CAPACITY - 1);
            interfaceSetErrorName[PATH_CAPACITY - 1] = '\0';
            result = 1;
            break;
        }
        uint8_t* bytes = nullptr;
        int32_t size = 0;
        if (readWholeFile(fileName, dir, &bytes, &size) != 0 && size != 0) {
            result = 2;
            break;
        }
        if (size < 0) size = 0;
        blobWriteBegin(field, kRecordHeader);
        blobPut32((uint32_t)size);
        blobPut8(0);
        blobPut8(t);
        blobPut8(a);
        blobPut8(q);
        append(&out, field, kRecordHeader);
        append(&out, bytes, size);
        MEM_FREE(bytes);
    }
    stringTableDestroy(names);
    if (result == 0 && (out.length > INT32_MAX - 2 ||
                        writeWholeFile(outName, outDir, out.bytes, (int32_t)out.length) != 0 ||
                        scrambleFile(outName, outDir) != 0))
        result = 2;
    MEM_FREE(out.bytes);
    return result;
}

int32_t buildInterfaceSetFile(const char* outName, const char* dir, int32_t jpegOnly) {
    return buildInterfaceSetFileTo(outName, dir, dir, jpegOnly);
}

int32_t countSetImages(const char* dir, int32_t jpegOnly) {
    int32_t names = listFiles(listPattern(jpegOnly), dir, (const uint8_t*)"\0\0\0\0");
    int32_t highest = -1;
    for (int32_t i = 0; i < stringTableCount(names); i++) {
        int32_t n = -1;
        uint8_t t, a, q;
        if (parseSetImageName(stringTableText(names, i), &n, &t, &a, &q, nullptr, 0) == 0 && n > highest)
            highest = n;
    }
    stringTableDestroy(names);
    return highest + 1;
}

int32_t findSetImage(const char* name, const char* dir, int32_t jpegOnly) {
    int32_t names = listFiles(listPattern(jpegOnly), dir, (const uint8_t*)"\0\0\0\0");
    int32_t found = -1;
    char own[PATH_CAPACITY];
    for (int32_t i = 0; i < stringTableCount(names); i++) {
        int32_t n = -1;
        uint8_t t, a, q;
        if (parseSetImageName(stringTableText(names, i), &n, &t, &a, &q, own, PATH_CAPACITY) == 0 &&
            std::strcmp(own, name) == 0)
            found = n;
    }
    stringTableDestroy(names);
    return found;
}
