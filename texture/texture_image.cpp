#include "texture/texture_image.h"

#include <cstring>

#include "system/memory.h"

static const char* const kModule = "vor3d_texture_1_11";

int32_t texture_round_steps(int32_t value, int32_t top) {
    for (int32_t c = top; c > 3; c /= 2)
        if (c / 2 < value && value < c) value = c / 2;
    return value;
}

void texture_limit_aspect(int32_t* w, int32_t* h) {
    while (*w / 8 > *h) *w /= 2;
    while (*h / 8 > *w) *h /= 2;
}

void texture_level0_size(int32_t width, int32_t height, int32_t limit, int32_t* w, int32_t* h) {
    int32_t x = width < limit ? width : limit;
    int32_t y = height < limit ? height : limit;
    x = texture_round_steps(x < 1 ? 1 : x, limit);
    y = texture_round_steps(y < 1 ? 1 : y, limit);
    texture_limit_aspect(&x, &y);
    *w = x;
    *h = y;
}

namespace {
// The usual mipmap step: every target pixel is the truncated mean of a 2 x 2 block.
void halveBoth(const uint8_t* src, int32_t sw, uint8_t* dst, int32_t dw, int32_t dh) {
    for (int32_t y = 0; y < dh; y++) {
        const uint8_t* a = src + (int64_t)(2 * y) * sw * 4;
        const uint8_t* b = a + (int64_t)sw * 4;
        uint8_t* out = dst + (int64_t)y * dw * 4;
        for (int32_t x = 0; x < dw; x++, a += 8, b += 8, out += 4)
            for (int c = 0; c < 4; c++) out[c] = (uint8_t)((a[c] + a[c + 4] + b[c] + b[c + 4]) >> 2);
    }
}
}  // namespace

void texture_box_resample(const uint8_t* src, int32_t sw, int32_t sh, uint8_t* dst, int32_t dw, int32_t dh) {
    if (dw < 1 || dh < 1) return;
    if (sw == dw && sh == dh) {
        std::memcpy(dst, src, (size_t)((int64_t)dw * dh * 4));
        return;
    }
    if (sw == 2 * dw && sh == 2 * dh) {
        halveBoth(src, sw, dst, dw, dh);
        return;
    }
    // Column spans once per call rather than once per pixel.
    int32_t* spans = (int32_t*)MEM_ALLOC(nullptr, (int64_t)dw * 2 * 4);
    if (spans == nullptr) return;
    for (int32_t x = 0; x < dw; x++) {
        int32_t x0 = (int32_t)((int64_t)sw * x / dw);
        int32_t x1 = (int32_t)((int64_t)sw * (x + 1) / dw);
        spans[2 * x] = x0;
        spans[2 * x + 1] = x1 <= x0 ? x0 + 1 : x1;
    }
    for (int32_t y = 0; y < dh; y++) {
        int32_t y0 = (int32_t)((int64_t)sh * y / dh);
        int32_t y1 = (int32_t)((int64_t)sh * (y + 1) / dh);
        if (y1 <= y0) y1 = y0 + 1;
        for (int32_t x = 0; x < dw; x++) {
            int32_t x0 = spans[2 * x], x1 = spans[2 * x + 1];
            uint64_t sum[4] = {0, 0, 0, 0};
            for (int32_t sy = y0; sy < y1; sy++) {
                const uint8_t* row = src + ((int64_t)sy * sw + x0) * 4;
                for (int32_t sx = x0; sx < x1; sx++, row += 4) {
                    sum[0] += row[0];
                    sum[1] += row[1];
                    sum[2] += row[2];
                    sum[3] += row[3];
                }
            }
            uint64_t n = (uint64_t)(x1 - x0) * (uint64_t)(y1 - y0);
            uint8_t* out = dst + ((int64_t)y * dw + x) * 4;
            for (int c = 0; c < 4; c++) out[c] = (uint8_t)(sum[c] / n);
        }
    }
    MEM_FREE(spans);
}

static uint8_t* resampled(const uint8_t* src, int32_t sw, int32_t sh, int32_t dw, int32_t dh) {
    uint8_t* out = (uint8_t*)MEM_ALLOC(nullptr, (int64_t)dw * dh * 4);
    texture_box_resample(src, sw, sh, out, dw, dh);
    return out;
}

int32_t texture_build_levels(ImageLevels* levels, const uint8_t* pixels, int32_t width, int32_t height,
                             int32_t w, int32_t h, int32_t mipmaps) {
    std::memset(levels, 0, sizeof *levels);
    if (!pixels || width < 1 || height < 1 || w < 1 || h < 1) return -1;
    levels->level[0].width = w;
    levels->level[0].height = h;
    levels->level[0].pixels = resampled(pixels, width, height, w, h);
    levels->count = 1;
    // Each level comes from the one before, not from level 0: cheaper, and what the chain is defined by.
    while (mipmaps && (w > 1 || h > 1) && levels->count < IMAGE_MAX_LEVELS) {
        const ImageLevel& prev = levels->level[levels->count - 1];
        if (w > 1) w /= 2;
        if (h > 1) h /= 2;
        ImageLevel& next = levels->level[levels->count];
        next.width = w;
        next.height = h;
        next.pixels = resampled(prev.pixels, prev.width, prev.height, w, h);
        levels->count++;
    }
    return 0;
}

void texture_free_levels(ImageLevels* levels) {
    for (int32_t k = 0; k < levels->count; k++) {
        levels->level[k].pixels = (uint8_t*)MEM_FREE(levels->level[k].pixels);
        levels->level[k].compressed = (uint8_t*)MEM_FREE(levels->level[k].compressed);
    }
    levels->count = 0;
}

uint8_t* texture_rgb_to_rgba(const uint8_t* rgb, int32_t width, int32_t height) {
    int64_t n = (int64_t)width * height;
    uint8_t* out = (uint8_t*)MEM_ALLOC(nullptr, n * 4);
    for (int64_t i = 0; i < n; i++) {
        out[i * 4] = rgb[i * 3];
        out[i * 4 + 1] = rgb[i * 3 + 1];
        out[i * 4 + 2] = rgb[i * 3 + 2];
        out[i * 4 + 3] = 255;
    }
    return out;
}

int32_t texture_alpha_from_map(uint8_t* colour, int32_t colourWidth, int32_t colourHeight,
                               const uint8_t* map, int32_t mapWidth, int32_t mapHeight) {
    if (!colour || !map || colourWidth != mapWidth || colourHeight != mapHeight) return -1;
    int64_t n = (int64_t)colourWidth * colourHeight;
    for (int64_t i = 0; i < n; i++) {
        const uint8_t* m = map + i * 4;
        colour[i * 4 + 3] = (uint8_t)((float)(m[0] + m[1] + m[2]) * 0.3333333f);
    }
    return 0;
}
