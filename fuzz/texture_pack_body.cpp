// Parses arbitrary bytes as a texture pack, without GL. A parse that is written back must parse and
// write back to the same bytes; then every record's JPEG is decoded (when it claims a modest size)
// and the alpha masks are applied, which touches every pixel buffer.
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_target.h"
#include "system/memory.h"
#include "texture/texture_pack.h"

namespace {

int32_t writeBack(SlotTable* records, uint8_t** out) {
    int64_t size = texture_pack_size(records);
    *out = (uint8_t*)memAlloc(nullptr, size, "fuzz", __LINE__);
    int32_t written = texture_pack_write(records, *out, (int32_t)size);
    if (written != size) std::abort();
    return written;
}
}  // namespace

VCV_FUZZ_TARGET(texture_pack) {
    if (size > (1u << 22)) return 0;
    SlotTable records;
    slotInit(&records, 4, (int32_t)sizeof(TextureRecord));
    TexturePackScan scan;
    int32_t n = texture_pack_parse(&records, data, (int32_t)size, 0, &scan);
    if (n != scan.loaded || scan.end > (int32_t)size || (n > 0 && scan.end < 4)) std::abort();

    uint8_t* first = nullptr;
    uint8_t* second = nullptr;
    int32_t firstSize = writeBack(&records, &first);
    SlotTable again;
    slotInit(&again, 4, (int32_t)sizeof(TextureRecord));
    if (texture_pack_parse(&again, first, firstSize, 0, nullptr) != n) std::abort();
    int32_t secondSize = writeBack(&again, &second);
    if (secondSize != firstSize || std::memcmp(first, second, (size_t)firstSize) != 0) std::abort();
    texture_records_free(&again);
    memFree(first, "fuzz", __LINE__);
    memFree(second, "fuzz", __LINE__);

    for (int32_t i = slotFirst(&records); i != -1; i = slotNext(&records)) {
        TextureRecord* r = slotGet<TextureRecord>(&records, i);
        if (r->stored && fuzzJpegIsSmall(r->stored, r->dataSize)) texture_record_decode(r);
        if (r->pixels && memBlockSize(r->pixels) < (int64_t)r->width * r->height * 4) std::abort();
    }
    texture_apply_alpha_masks(&records);
    texture_records_free(&records);
    return 0;
}
