// The converted-image cache: inside the import directory every converted image is copied to a file
// named "vorten_texture_<id>_<target>_<alpha-map flag>_<compression>_<name>.jpg", so that the
// directory itself records each texture's id and properties until the pack is built.
#pragma once
#include <cstdint>

#include "texture/texture_pack.h"

// What a cache file name carries.
struct TextureCacheName {
    int32_t id;
    int32_t target;       // id of the colour texture an alpha map belongs to, else -1
    uint8_t alphaMap;     // 1 for an alpha map
    uint8_t compression;  // 0 none, 1 DXT5, 2 DXT1
    char name[TEXTURE_NAME_SIZE];  // field 7: the image name up to its first '_' (so with ".jpg")
};

// Listing pattern of the cache files.
#define TEXTURE_CACHE_PATTERN "vorten_texture_*.*"

// Splits a cache file name at runs of '_' (field 1 "vorten" and 2 "texture" are not checked). 0, or
// -1 when it has fewer than seven fields, when one of fields 3 to 6 is not a whole decimal int32
// (optional '-', digits only) or when the id is outside 0 .. TEXTURE_MAX_ID - 1: such files are not
// cache files for the lookup or the pack builder. Flags are kept as their low byte.
int32_t texture_cache_parse_name(const char* fileName, TextureCacheName* out);
// The cache file name of an image: its name with stripExtension fills the last field, so the
// result ends in ".jpg" whatever the image's extension. out holds PATH_CAPACITY bytes ("" if too long).
void texture_cache_format_name(char* out, int32_t id, int32_t target, uint8_t alphaMap, uint8_t compression,
                               const char* imageName);
// The id of the cache file of dir whose target, flags (compared as bytes) and field 7 (compared
// exactly with imageName, as given) match; otherwise the largest id seen + 1, or 0 without cache
// files. A name containing '_' never matches: field 7 stops at its first '_'.
int32_t texture_cache_find_id(const char* dir, int32_t target, uint8_t alphaMap, uint8_t compression,
                              const char* imageName);
// Registers a converted image of dir: finds its id and copies dir + imageName to the cache name in
// the same directory. Returns the id even when the image cannot be read (nothing is copied then).
int32_t texture_cache_add(const char* imageName, const char* dir, int32_t target, uint8_t alphaMap,
                          uint8_t compression);
