// Converts arbitrary bytes as the converter process does: the probe, then the image library and
// its JPEG writer. A converted picture must be a JPEG our decoder reads whole at the probed size;
// anything else must be a refusal. Pictures above a megapixel are only probed, so that one input
// cannot stall the fuzzer on a huge allocation.
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_target.h"
#include "import/image_convert.h"
#include "import/image_probe.h"
#include "pack/jpeg_decoder.h"
#include "system/memory.h"

VCV_FUZZ_TARGET(image) {
    if (size > (1u << 20)) return 0;
    // An exact copy, so that any read past the end is caught by the address sanitiser.
    uint8_t* copy = size ? (uint8_t*)std::malloc(size) : nullptr;
    if (size) std::memcpy(copy, data, size);
    ImageProbe probe;
    int32_t verdict = imageProbe(copy, (int64_t)size, &probe);
    if (verdict != PROBE_OK && verdict != PROBE_NOT_IMAGE && verdict != PROBE_TOO_LARGE) std::abort();
    if (verdict == PROBE_OK && (probe.width < 1 || probe.height < 1 || probe.width > IMAGE_MAX_EDGE ||
                                probe.height > IMAGE_MAX_EDGE))
        std::abort();
    if (verdict == PROBE_OK && (int64_t)probe.width * probe.height <= (1 << 20)) {
        uint8_t* jpeg = nullptr;
        int32_t jpegSize = 0;
        if (imageConvertBytes(copy, (int64_t)size, &jpeg, &jpegSize) == 0) {
            int32_t w = 0, h = 0, ok = 0;
            uint8_t* pixels = nullptr;
            jpeg_decode_memory(&pixels, jpeg, jpegSize, &w, &h, 0, &ok);
            if (ok != 1 || !pixels || w != probe.width || h != probe.height) std::abort();
            memFree(pixels, "fuzz", __LINE__);
            memFree(jpeg, "fuzz", __LINE__);
        } else if (jpeg != nullptr || jpegSize != 0) {
            std::abort();
        }
    }
    std::free(copy);
    return 0;
}
