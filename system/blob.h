// The process-wide BlobWriter and BlobReader: one write cursor and one read cursor over a byte
// buffer, little-endian. An access that would end past the limit copies nothing, keeps the position
// and sets the cursor's overflow flag; a destination that was not filled keeps its previous value.
#pragma once
#include <cstdint>

// Starts the writer on buffer with the given capacity; position 0, overflow cleared.
void blobWriteBegin(void* buffer, int32_t capacity);
// Copies n bytes to the buffer and advances.
void blobPutBytes(const void* src, int32_t n);
void blobPut8(uint8_t v);
void blobPut16(uint16_t v);
void blobPut32(uint32_t v);
// Stores a float's 32 bits.
void blobPutFloat(float v);
// Writer position and overflow flag.
int32_t blobWritePosition();
bool blobWriteOverflow();

// Starts the reader on buffer with the given size; position 0, overflow cleared.
void blobReadBegin(const void* buffer, int32_t size);
// Copies n bytes from the buffer and advances.
void blobGetBytes(void* dst, int32_t n);
void blobGet8(uint8_t* dst);
void blobGet16(uint16_t* dst);
void blobGet32(uint32_t* dst);
void blobGetInt32(int32_t* dst);
void blobGetFloat(float* dst);
// Moves the read position n bytes on (same overflow rule as a read).
void blobSkip(int32_t n);
// Reader position, bytes left and overflow flag.
int32_t blobReadPosition();
int32_t blobReadRemaining();
bool blobReadOverflow();
