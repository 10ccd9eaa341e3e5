// Loads arbitrary bytes as a scrambled interface set file into the store without uploading (no GL):
// every pending image must own a buffer of its size, and the records seen by the reader must lie
// inside the input. JPEGs are decoded only when every record claims a modest size.
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_target.h"
#include "system/files.h"
#include "system/memory.h"
#include "texsets/interface_sets.h"
#include "texsets/set_file.h"

namespace {

void check(int32_t set) {
    for (int32_t i = 0; i < SET_IMAGES; i++) {
        const SetImage* im = setImageGet(set, i);
        if (im->texture != 0) std::abort();
        if (im->pending != (im->pixels ? 1 : 0)) std::abort();
        if (im->pixels && memBlockSize(im->pixels) < (int64_t)im->width * im->height * 4) std::abort();
    }
}
}  // namespace

VCV_FUZZ_TARGET(set_file) {
    if (size > (1u << 22)) return 0;
    int32_t n = (int32_t)size;
    uint8_t* plain = (uint8_t*)memAlloc(nullptr, n > 0 ? n : 1, "fuzz", __LINE__);
    if (n > 0) std::memcpy(plain, data, size);
    int32_t offset = unscrambleBlob(plain, n);
    SetFileCursor cursor;
    SetFileRecord record;
    setFileBegin(&cursor, plain, n, offset);
    bool small = true;
    int32_t firstImage = -1;
    while (setFileNext(&cursor, &record) == 0) {
        if (record.data < plain + offset || record.data + record.size > plain + n) std::abort();
        small = small && fuzzJpegIsSmall(record.data, record.size);
        if (firstImage < 0 && record.kind == 0) firstImage = cursor.index - 1;
    }
    if (cursor.position > n && n >= 6) std::abort();

    if (small && n > 0) {
        // The whole set, then one record alone into image 0.
        std::memcpy(plain, data, size);
        int32_t set = loadInterfaceSetBlob(-1, -1, plain, n, 1);
        if (set != -1) {
            check(set);
            std::memcpy(plain, data, size);
            if (loadInterfaceSetBlob(set, firstImage < 0 ? 0 : firstImage, plain, n, 1) != set) std::abort();
            check(set);
            for (int32_t i = 1; i < SET_IMAGES; i++)
                if (setImageGet(set, i)->pixels) std::abort();
            freeInterfaceSet(set);
        }
    }
    memFree(plain, "fuzz", __LINE__);
    return 0;
}
