#include "system/blob.h"

#include <cstring>

namespace {
struct Cursor {
    uint8_t* data = nullptr;
    int32_t position = 0;
    int32_t limit = 0;
    bool overflow = false;
};
struct BlobState {
    Cursor writer;
    Cursor reader;
};
BlobState blob;

// True when n more bytes fit; otherwise marks the overflow.
bool fits(Cursor& c, int32_t n) {
    if (n < 0 || (int64_t)c.position + n > c.limit) {
        c.overflow = true;
        return false;
    }
    return true;
}
}  // namespace

void blobWriteBegin(void* buffer, int32_t capacity) {
    blob.writer.data = (uint8_t*)buffer;
    blob.writer.position = 0;
    blob.writer.limit = capacity < 0 ? 0 : capacity;
    blob.writer.overflow = false;
}

void blobPutBytes(const void* src, int32_t n) {
    if (!fits(blob.writer, n)) return;
    if (n > 0) std::memcpy(blob.writer.data + blob.writer.position, src, (size_t)n);
    blob.writer.position += n;
}

void blobPut8(uint8_t v) { blobPutBytes(&v, 1); }

void blobPut16(uint16_t v) {
    uint8_t b[2] = {(uint8_t)v, (uint8_t)(v >> 8)};
    blobPutBytes(b, 2);
}

void blobPut32(uint32_t v) {
    uint8_t b[4] = {(uint8_t)v, (uint8_t)(v >> 8), (uint8_t)(v >> 16), (uint8_t)(v >> 24)};
    blobPutBytes(b, 4);
}

void blobPutFloat(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    blobPut32(bits);
}

int32_t blobWritePosition() { return blob.writer.position; }
bool blobWriteOverflow() { return blob.writer.overflow; }

void blobReadBegin(const void* buffer, int32_t size) {
    blob.reader.data = (uint8_t*)buffer;
    blob.reader.position = 0;
    blob.reader.limit = size < 0 ? 0 : size;
    blob.reader.overflow = false;
}

void blobGetBytes(void* dst, int32_t n) {
    if (!fits(blob.reader, n)) return;
    if (n > 0) std::memcpy(dst, blob.reader.data + blob.reader.position, (size_t)n);
    blob.reader.position += n;
}

void blobGet8(uint8_t* dst) { blobGetBytes(dst, 1); }

void blobGet16(uint16_t* dst) {
    uint8_t b[2];
    if (!fits(blob.reader, 2)) return;
    blobGetBytes(b, 2);
    *dst = (uint16_t)(b[0] | (b[1] << 8));
}

void blobGet32(uint32_t* dst) {
    uint8_t b[4];
    if (!fits(blob.reader, 4)) return;
    blobGetBytes(b, 4);
    *dst = (uint32_t)b[0] | ((uint32_t)b[1] << 8) | ((uint32_t)b[2] << 16) | ((uint32_t)b[3] << 24);
}

void blobGetInt32(int32_t* dst) {
    uint32_t v;
    if (!fits(blob.reader, 4)) return;
    blobGet32(&v);
    *dst = (int32_t)v;
}

void blobGetFloat(float* dst) {
    uint32_t v;
    if (!fits(blob.reader, 4)) return;
    blobGet32(&v);
    std::memcpy(dst, &v, 4);
}

void blobSkip(int32_t n) {
    if (!fits(blob.reader, n)) return;
    blob.reader.position += n;
}

int32_t blobReadPosition() { return blob.reader.position; }
int32_t blobReadRemaining() { return blob.reader.limit - blob.reader.position; }
bool blobReadOverflow() { return blob.reader.overflow; }
