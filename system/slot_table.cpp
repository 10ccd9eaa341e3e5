#include "system/slot_table.h"

#include <cstring>

#include "system/blob.h"
#include "system/files.h"
#include "system/memory.h"

static const char* const kModule = "vorsystem_1_11";

// Largest index whose growth (2 * index + 2 slots) still fits comfortably in int32 arithmetic.
static const int32_t kMaxIndex = (1 << 29) - 1;

void slotInit(SlotTable* t, int32_t entrySize, int32_t unitSize) {
    t->slots = nullptr;
    t->sizes = nullptr;
    t->capacity = 0;
    t->firstFree = 0;
    t->entrySize = entrySize;
    t->unitSize = unitSize;
}

// Gives slot i a buffer of `units` units, keeping the old one when its unit count matches.
static void slotTake(SlotTable* t, int32_t i, int32_t units) {
    if (t->sizes[i] < 0) t->sizes[i] = -t->sizes[i];
    if (t->sizes[i] != units) {
        t->slots[i] = MEM_ALLOC(t->slots[i], (int64_t)units * t->unitSize);
        t->sizes[i] = units;
    }
}

int32_t slotAdd(SlotTable* t, int32_t units, int32_t index) {
    if (units < 1 || index < -1 || index > kMaxIndex) return -1;
    int32_t newCapacity;
    if (index == -1) {
        for (int32_t i = t->firstFree < 0 ? 0 : t->firstFree; i < t->capacity; i++) {
            if (t->sizes[i] <= 0) {
                slotTake(t, i, units);
                t->firstFree = i;
                return i;
            }
        }
        if (t->capacity > kMaxIndex) return -1;
        newCapacity = 2 * t->capacity + 2;
        index = t->capacity;
    } else {
        if (index < t->capacity) {
            slotTake(t, index, units);
            return index;
        }
        newCapacity = 2 * index + 2;
    }
    // The slot array holds pointers, whatever entry size the table records.
    t->slots = (void**)MEM_REALLOC(t->slots, (int64_t)newCapacity * (int64_t)sizeof(void*));
    t->sizes = (int32_t*)MEM_REALLOC(t->sizes, (int64_t)newCapacity * 4);
    for (int32_t i = t->capacity; i < newCapacity; i++) {
        t->slots[i] = nullptr;
        t->sizes[i] = 0;
    }
    t->capacity = newCapacity;
    t->slots[index] = MEM_ALLOC(nullptr, (int64_t)units * t->unitSize);
    t->sizes[index] = units;
    return index;
}

void slotRelease(SlotTable* t, int32_t index) {
    if (index < 0 || index >= t->capacity) return;
    if (t->sizes[index] >= 0) t->sizes[index] = -t->sizes[index];
    if (index < t->firstFree) t->firstFree = index;
}

int32_t slotUnits(const SlotTable* t, int32_t index) {
    if (index < 0 || index >= t->capacity) return -1;
    return t->sizes[index];
}

void* slotData(const SlotTable* t, int32_t index) {
    if (index < 0 || index >= t->capacity || t->sizes[index] <= 0) return nullptr;
    return t->slots[index];
}

void slotReleaseAll(SlotTable* t) {
    for (int32_t i = 0; i < t->capacity; i++)
        if (t->sizes[i] > 0) slotRelease(t, i);
}

int32_t slotFirst(SlotTable* t) {
    t->cursor = 0;
    return slotNext(t);
}

int32_t slotNext(SlotTable* t) {
    if (t->cursor < 0) t->cursor = 0;
    while (t->cursor < t->capacity) {
        int32_t i = t->cursor++;
        if (t->sizes[i] > 0) return i;
    }
    return -1;
}

int32_t slotBlobSize(const SlotTable* t, int32_t* count) {
    int64_t bytes = 12;
    int32_t n = 0;
    for (int32_t i = 0; i < t->capacity; i++) {
        if (t->sizes[i] > 0) {
            bytes += 4 + (int64_t)t->sizes[i] * t->unitSize;
            n++;
        }
    }
    if (count) *count = n;
    return bytes > INT32_MAX ? -1 : (int32_t)bytes;
}

void slotToBlob(uint8_t** blob, int32_t* size, const SlotTable* t) {
    int32_t count = 0;
    int32_t bytes = slotBlobSize(t, &count);
    if (bytes < 0) {  // a table this large cannot be a blob; report an empty result
        *blob = (uint8_t*)MEM_FREE(*blob);
        *size = 0;
        return;
    }
    *blob = (uint8_t*)MEM_ALLOC(*blob, bytes);
    *size = bytes;
    blobWriteBegin(*blob, bytes);
    blobPut32((uint32_t)count);
    blobPut32((uint32_t)t->entrySize);
    blobPut32((uint32_t)t->unitSize);
    for (int32_t i = 0; i < t->capacity; i++) {
        if (t->sizes[i] <= 0) continue;
        blobPut32((uint32_t)t->sizes[i]);
        blobPutBytes(t->slots[i], t->sizes[i] * t->unitSize);
    }
}

int32_t slotSave(const char* name, const char* dir, const SlotTable* t) {
    uint8_t* blob = nullptr;
    int32_t size = 0;
    slotToBlob(&blob, &size, t);
    int32_t result = size > 0 ? writeWholeFile(name, dir, blob, size) : -1;
    MEM_FREE(blob);
    return result;
}

int32_t slotFromBlob(SlotTable* t, const uint8_t* blob, int32_t size) {
    if (blob == nullptr || size < 12) return -1;
    int32_t count = 0, entrySize = 0, unitSize = 0;
    blobReadBegin(blob, size);
    blobGetInt32(&count);
    blobGetInt32(&entrySize);
    blobGetInt32(&unitSize);
    if (entrySize != 4 || unitSize < 1 || count < 0) return -1;
    if (t->unitSize > 0 && t->unitSize != unitSize) return -1;
    slotInit(t, entrySize, unitSize);
    for (int32_t n = 0; n < count; n++) {
        int32_t units = 0;
        blobGetInt32(&units);
        if (blobReadOverflow() || units < 1 ||
            (int64_t)units * unitSize > (int64_t)blobReadRemaining())
            return -1;
        int32_t i = slotAdd(t, units, -1);
        if (i < 0) return -1;
        blobGetBytes(t->slots[i], units * unitSize);
    }
    return 0;
}

int32_t slotLoad(const char* name, const char* dir, SlotTable* t) {
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    if (readWholeFile(name, dir, &buffer, &size) != 0) return -1;
    int32_t result = slotFromBlob(t, buffer, size);
    MEM_FREE(buffer);
    return result;
}

void slotFree(SlotTable* t) {
    if (t->slots == nullptr) return;
    for (int32_t i = 0; i < t->capacity; i++) t->slots[i] = MEM_FREE(t->slots[i]);
    t->slots = (void**)MEM_FREE(t->slots);
    t->sizes = (int32_t*)MEM_FREE(t->sizes);
    t->capacity = 0;
}
