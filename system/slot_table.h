// The engine's one general container: a growable array of numbered slots, each owning a heap buffer
// of a whole number of fixed-size units. sizes[i] > 0: slot in use with that many units; 0: never
// used; < 0: released (the buffer of -sizes[i] units is kept for reuse). Buffers are never cleared.
#pragma once
#include <cstdint>

struct SlotTable {
    int32_t* sizes;     // unit count per slot (capacity entries)
    int32_t capacity;   // slots allocated in both arrays
    int32_t entrySize;  // width of one slot-array entry as recorded in blobs; always 4
    int32_t unitSize;   // bytes per unit of a slot buffer
    int32_t firstFree;  // where slotAdd(-1) starts its search
    int32_t cursor;     // iteration cursor of slotNext
    void** slots;       // buffer per slot, null when never used
};

// Resets the table to empty with the given sizes; frees nothing and leaves cursor as it was.
void slotInit(SlotTable* t, int32_t entrySize, int32_t unitSize);
// Puts a slot of `units` units in use at index (-1 = first free) and returns it. A released slot of
// the same unit count keeps its buffer and contents. Growth: 2 * capacity + 2, or 2 * index + 2 for
// an explicit index past the end. units < 1, index < -1 and indices too large to grow to
// (>= 2^29) return -1 and touch nothing.
int32_t slotAdd(SlotTable* t, int32_t units, int32_t index);
// Releases a slot (keeps its buffer); indices outside 0 .. capacity - 1 are ignored.
void slotRelease(SlotTable* t, int32_t index);
// sizes[index], or -1 when index is out of range.
int32_t slotUnits(const SlotTable* t, int32_t index);
// The buffer of a slot in use, or null.
void* slotData(const SlotTable* t, int32_t index);
// Releases every slot in use.
void slotReleaseAll(SlotTable* t);
// cursor = 0, then slotNext.
int32_t slotFirst(SlotTable* t);
// Next slot in use at or after cursor (cursor moves past it), or -1 at the end.
int32_t slotNext(SlotTable* t);
// Bytes of the serialised form: 12 + sum over slots in use of 4 + units * unitSize; count = slots in use.
int32_t slotBlobSize(const SlotTable* t, int32_t* count);
// Serialises into *blob, (re)allocated with memAlloc; *size receives its length.
void slotToBlob(uint8_t** blob, int32_t* size, const SlotTable* t);
// Writes the serialised table as a file. 0, or -1 when the file cannot be written.
int32_t slotSave(const char* name, const char* dir, const SlotTable* t);
// Loads a serialised table into an empty table; loaded slots take indices 0 .. N - 1.
// Returns 0 when the whole blob was read. Bad input returns -1 and loads only the records before the
// first bad one: a header shorter than 12 bytes, an entry size other than 4, a unit size below 1, a
// unit size other than the one the table was initialised with (when it was, i.e. unitSize > 0), a
// negative N, a record whose unit count is below 1 or whose bytes run past the blob.
int32_t slotFromBlob(SlotTable* t, const uint8_t* blob, int32_t size);
// Reads the file and loads it with slotFromBlob. -1 when the file cannot be read (table untouched)
// or when slotFromBlob reports bad input.
int32_t slotLoad(const char* name, const char* dir, SlotTable* t);
// Frees every buffer (in use or released) and both arrays; capacity becomes 0.
void slotFree(SlotTable* t);

// Typed access to a slot holding one record: slotGet<Node>(&nodeTable, i) is null when i is not in use.
template <typename T>
inline T* slotGet(const SlotTable* t, int32_t index) {
    return static_cast<T*>(slotData(t, index));
}
