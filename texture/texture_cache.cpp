#include "texture/texture_cache.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "strings/string_table.h"
#include "strings/text.h"
#include "system/files.h"

namespace {
// A whole decimal int32: optional '-', at least one digit, nothing else.
bool parseInt(const char* text, int32_t* out) {
    const char* p = text[0] == '-' ? text + 1 : text;
    if (!*p) return false;
    for (const char* q = p; *q; q++)
        if (*q < '0' || *q > '9') return false;
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 10);
    if (v < INT32_MIN || v > INT32_MAX) return false;
    *out = (int32_t)v;
    return true;
}
}  // namespace

int32_t texture_cache_parse_name(const char* fileName, TextureCacheName* out) {
    char field[TEXTURE_NAME_SIZE];
    int32_t numbers[4] = {0, 0, 0, 0};
    int32_t position = 0;
    for (int32_t f = 1; f <= 7; f++) {
        position = nextToken(field, (int32_t)sizeof field, fileName, position, '_');
        if (position < 0) return -1;
        if (f >= 3 && f <= 6 && !parseInt(field, &numbers[f - 3])) return -1;
    }
    if (numbers[0] < 0 || numbers[0] >= TEXTURE_MAX_ID) return -1;
    out->id = numbers[0];
    out->target = numbers[1];
    out->alphaMap = (uint8_t)numbers[2];
    out->compression = (uint8_t)numbers[3];
    std::memcpy(out->name, field, sizeof out->name);
    return 0;
}

void texture_cache_format_name(char* out, int32_t id, int32_t target, uint8_t alphaMap, uint8_t compression,
                               const char* imageName) {
    char stem[PATH_CAPACITY];
    stripExtension(stem, imageName);
    int n = std::snprintf(out, PATH_CAPACITY, "vorten_texture_%d_%d_%d_%d_%s.jpg", id, target, alphaMap,
                          compression, stem);
    if (n < 0 || n >= PATH_CAPACITY) out[0] = '\0';
}

int32_t texture_cache_find_id(const char* dir, int32_t target, uint8_t alphaMap, uint8_t compression,
                              const char* imageName) {
    int32_t names = listFiles(TEXTURE_CACHE_PATTERN, dir, (const uint8_t*)"\0\0\0\0");
    int32_t largest = -1, found = -1;
    TextureCacheName entry;
    for (int32_t i = 0; i < stringTableCount(names) && found < 0; i++) {
        if (texture_cache_parse_name(stringTableText(names, i), &entry) != 0) continue;
        if (entry.target == target && entry.alphaMap == alphaMap && entry.compression == compression &&
            std::strcmp(entry.name, imageName) == 0)
            found = entry.id;
        if (entry.id > largest) largest = entry.id;
    }
    stringTableDestroy(names);
    return found >= 0 ? found : largest + 1;
}

int32_t texture_cache_add(const char* imageName, const char* dir, int32_t target, uint8_t alphaMap,
                          uint8_t compression) {
    int32_t id = texture_cache_find_id(dir, target, alphaMap, compression, imageName);
    char cacheName[PATH_CAPACITY];
    texture_cache_format_name(cacheName, id, target, alphaMap, compression, imageName);
    if (cacheName[0]) copyWholeFile(cacheName, dir, imageName, dir);
    return id;
}
