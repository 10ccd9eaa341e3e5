// Loads arbitrary bytes as a serialised slot table; a blob that loads whole must serialise back to
// exactly the bytes it was read from.
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_target.h"
#include "system/memory.h"
#include "system/slot_table.h"

VCV_FUZZ_TARGET(slot_blob) {
    if (size > (1u << 24)) return 0;
    SlotTable table{};
    int32_t result = slotFromBlob(&table, data, (int32_t)size);
    int64_t bytes = 0;
    for (int32_t i = slotFirst(&table); i != -1; i = slotNext(&table)) {
        bytes += (int64_t)slotUnits(&table, i) * table.unitSize;
        volatile uint8_t last = ((uint8_t*)slotData(&table, i))[slotUnits(&table, i) * table.unitSize - 1];
        (void)last;
    }
    if (bytes > (int64_t)size) std::abort();
    if (result == 0) {
        uint8_t* blob = nullptr;
        int32_t blobSize = 0;
        slotToBlob(&blob, &blobSize, &table);
        if (blobSize > (int32_t)size || std::memcmp(blob, data, (size_t)blobSize) != 0) std::abort();
        memFree(blob, "fuzz", __LINE__);
    }
    slotFree(&table);
    return 0;
}
