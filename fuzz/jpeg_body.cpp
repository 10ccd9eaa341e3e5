// Decodes arbitrary bytes as a JPEG with the fast, the portable and the bit-by-bit reference
// decoders; all must agree on the verdict and on every output byte. Declared sizes above a
// megapixel are only parsed, so that one input cannot stall the fuzzer on a huge allocation.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "fuzz/fuzz_target.h"
#include "pack/jpeg_decoder.h"
#include "system/memory.h"

VCV_FUZZ_TARGET(jpeg) {
    if (size > (1u << 24)) return 0;
    // An exact copy, so that any read past the end is caught by the address sanitiser.
    uint8_t* copy = size ? (uint8_t*)std::malloc(size) : nullptr;
    if (size) std::memcpy(copy, data, size);

    int32_t ok = -1, width = -7, height = -7;
    uint8_t* pixels = nullptr;
    jpeg_decode_memory(&pixels, copy, (int32_t)size, &width, &height, 1, &ok);
    if (pixels != nullptr || width != -7 || height != -7 || (ok != 0 && ok != 1)) std::abort();

    int32_t declaredW = 0, declaredH = 0;
    int32_t sized = jpeg_image_size(copy, (int32_t)size, &declaredW, &declaredH);
    if ((sized == 0) != (ok == 1)) std::abort();
    if (ok == 1 && (int64_t)declaredW * declaredH <= (1 << 20)) {
        uint8_t* fast = nullptr;
        int32_t okFast = -1, w = 0, h = 0;
        jpeg_decode_memory(&fast, copy, (int32_t)size, &w, &h, 0, &okFast);
        if (okFast != 1 || fast == nullptr || w != declaredW || h != declaredH) std::abort();
        for (int32_t variant : {JPEG_DECODER_PORTABLE, JPEG_DECODER_REFERENCE}) {
            uint8_t* other = nullptr;
            int32_t okOther = -1, wo = 0, ho = 0;
            jpeg_select_decoder(variant);
            jpeg_decode_memory(&other, copy, (int32_t)size, &wo, &ho, 0, &okOther);
            jpeg_select_decoder(JPEG_DECODER_FAST);
            if (okOther != 1 || wo != w || ho != h) std::abort();
            if (std::memcmp(fast, other, (size_t)w * h * 3) != 0) std::abort();
            memFree(other, "fuzz", __LINE__);
        }
        memFree(fast, "fuzz", __LINE__);
    }
    std::free(copy);
    return 0;
}
