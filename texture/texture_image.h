// Pixel work shared by the texture manager and the interface texture sets, free of OpenGL so that
// tests and fuzzers run it on plain memory: the size rules of level 0, the box filter, the mip
// chain, RGB to RGBA and alpha maps. Pixels are RGBA bytes, rows top to bottom, tightly packed.
#pragma once
#include <cstdint>

// Enough for any side that fits in an int32.
enum { IMAGE_MAX_LEVELS = 32 };

// One level of a texture about to be uploaded.
struct ImageLevel {
    int32_t width, height;
    uint8_t* pixels;         // width * height * 4 bytes
    int32_t internalFormat;  // format the driver compressed to; 0 while uncompressed
    int32_t compressedSize;  // bytes at compressed
    uint8_t* compressed;     // the driver's compressed bytes, or null
};

// Level 0 and its mip chain.
struct ImageLevels {
    int32_t count;
    ImageLevel level[IMAGE_MAX_LEVELS];
};

// Rounds a side down by the halving steps c = top, top / 2, ... while c > 3: a value strictly
// between c / 2 and c becomes c / 2. With a power-of-two top every value up to top becomes a power
// of two; values above top are left as they are.
int32_t texture_round_steps(int32_t value, int32_t top);
// Halves w while w / 8 > h, then h while h / 8 > w, so that no side exceeds eight times the other.
void texture_limit_aspect(int32_t* w, int32_t* h);
// The texture manager's level-0 size of a width x height image under the size limit: each side
// limited, rounded by texture_round_steps from the limit, then the aspect rule. Sides below 1 count
// as 1.
void texture_level0_size(int32_t width, int32_t height, int32_t limit, int32_t* w, int32_t* h);
// Box filter from sw x sh to dw x dh: target pixel (x, y) is the truncated per-channel mean of the
// source columns sw*x/dw .. sw*(x+1)/dw - 1 and the matching rows (at least one of each, so that
// enlarging repeats source pixels).
void texture_box_resample(const uint8_t* src, int32_t sw, int32_t sh, uint8_t* dst, int32_t dw, int32_t dh);
// Fills levels with level 0 = the box-resampled w x h copy of the width x height pixels and, when
// mipmaps is not 0, the chain that halves every side above 1 down to 1 x 1, each level resampled
// from the one before. 0, or -1 (levels empty) when a size is below 1 or pixels is null.
int32_t texture_build_levels(ImageLevels* levels, const uint8_t* pixels, int32_t width, int32_t height,
                             int32_t w, int32_t h, int32_t mipmaps);
// Frees every level buffer; count becomes 0.
void texture_free_levels(ImageLevels* levels);
// A new width x height RGBA buffer (memAlloc) from RGB bytes, alpha 255.
uint8_t* texture_rgb_to_rgba(const uint8_t* rgb, int32_t width, int32_t height);
// Alpha of the colour image from the map image of the same size: trunc((r + g + b) * 0.3333333)
// per pixel in single precision (white gives 254). -1, nothing changed, when the sizes differ or a
// buffer is null; otherwise 0.
int32_t texture_alpha_from_map(uint8_t* colour, int32_t colourWidth, int32_t colourHeight,
                               const uint8_t* map, int32_t mapWidth, int32_t mapHeight);
