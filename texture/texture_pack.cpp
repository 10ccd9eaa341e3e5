#include "texture/texture_pack.h"

#include <cstring>

#include "pack/jpeg_decoder.h"
#include "strings/string_table.h"
#include "system/blob.h"
#include "system/files.h"
#include "system/memory.h"
#include "texture/texture_cache.h"
#include "texture/texture_image.h"

static const char* const kModule = "vor3d_texture_1_11";

void texture_record_init(TextureRecord* r) {
    std::memset(r, 0, sizeof *r);
    r->target = -1;
}

void texture_record_free(TextureRecord* r) {
    r->stored = (uint8_t*)MEM_FREE(r->stored);
    r->pixels = (uint8_t*)MEM_FREE(r->pixels);
}

void texture_record_decode(TextureRecord* r) {
    if (r->stored && r->dataSize > 0 && r->decoded == 0) {
        uint8_t* rgb = nullptr;
        int32_t width = 0, height = 0, ok = 0;
        jpeg_decode_memory(&rgb, r->stored, r->dataSize, &width, &height, 0, &ok);
        if (ok == 1 && rgb && width > 0 && height > 0) {
            r->pixels = (uint8_t*)MEM_FREE(r->pixels);
            r->pixels = texture_rgb_to_rgba(rgb, width, height);
            r->width = width;
            r->height = height;
        }
        MEM_FREE(rgb);
    }
    r->stored = (uint8_t*)MEM_FREE(r->stored);
}

void texture_header_write(const TextureRecord* r) {
    blobPut32((uint32_t)r->target);
    blobPut8(r->alphaMap);
    blobPut8(r->compression);
    char name[TEXTURE_NAME_SIZE];
    std::memset(name, 0, sizeof name);
    size_t length = strnlen(r->name, sizeof name - 1);
    std::memcpy(name, r->name, length);
    blobPutBytes(name, TEXTURE_NAME_SIZE);
    blobPut32((uint32_t)r->width);
    blobPut32((uint32_t)r->height);
    blobPut32((uint32_t)r->decoded);
    blobPut32((uint32_t)r->dataSize);
    blobPut8(r->alphaMask);
    const uint8_t filler[3] = {0, 0, 0};
    blobPutBytes(filler, 3);
}

int32_t texture_header_read(TextureRecord* r, const uint8_t* data, int32_t size) {
    if (!data || size < TEXTURE_HEADER_SIZE) return -1;
    blobReadBegin(data, TEXTURE_HEADER_SIZE);
    blobGetInt32(&r->target);
    blobGet8(&r->alphaMap);
    blobGet8(&r->compression);
    blobGetBytes(r->name, TEXTURE_NAME_SIZE);
    r->name[TEXTURE_NAME_SIZE - 1] = '\0';
    blobGetInt32(&r->width);
    blobGetInt32(&r->height);
    blobGetInt32(&r->decoded);
    blobGetInt32(&r->dataSize);
    blobGet8(&r->alphaMask);
    return 0;
}

int32_t texture_pack_parse(SlotTable* records, const uint8_t* data, int32_t size, int32_t decode,
                           TexturePackScan* scan) {
    TexturePackScan local = {0, 0, 0, 0};
    if (data && size >= 4) {
        blobReadBegin(data, size);
        blobGetInt32(&local.declared);
        local.end = 4;
    }
    // The decoder may be called between records, so the position is kept here, not in the reader.
    int32_t position = local.end;
    for (int32_t j = 0; j < local.declared && j < TEXTURE_MAX_ID; j++) {
        TextureRecord header;
        texture_record_init(&header);
        if (texture_header_read(&header, data + position, size - position) != 0) break;
        int32_t rest = size - position - TEXTURE_HEADER_SIZE;
        if (header.dataSize < 0 || header.dataSize > rest) break;
        int32_t slot = slotAdd(records, 1, j);
        TextureRecord* r = slotGet<TextureRecord>(records, slot);
        *r = header;
        if (header.dataSize > 0) {
            r->stored = (uint8_t*)MEM_ALLOC(nullptr, header.dataSize);
            std::memcpy(r->stored, data + position + TEXTURE_HEADER_SIZE, (size_t)header.dataSize);
        }
        if (decode == 1) texture_record_decode(r);
        position += TEXTURE_HEADER_SIZE + header.dataSize;
        local.loaded++;
        local.end = position;
    }
    local.complete = (local.end >= 4 && local.loaded == local.declared && local.end == size) ? 1 : 0;
    if (scan) *scan = local;
    return local.loaded;
}

void texture_records_free(SlotTable* records) {
    for (int32_t i = slotFirst(records); i != -1; i = slotNext(records))
        texture_record_free(slotGet<TextureRecord>(records, i));
    slotFree(records);
}

int64_t texture_pack_size(const SlotTable* records) {
    int64_t total = 4;
    for (int32_t i = 0; i < records->capacity; i++) {
        const TextureRecord* r = slotGet<TextureRecord>(records, i);
        if (r) total += TEXTURE_HEADER_SIZE + (r->dataSize > 0 ? r->dataSize : 0);
    }
    return total;
}

int32_t texture_pack_write(const SlotTable* records, uint8_t* buffer, int32_t capacity) {
    if (texture_pack_size(records) > capacity) return -1;
    int32_t count = 0;
    for (int32_t i = 0; i < records->capacity; i++)
        if (slotData(records, i)) count++;
    blobWriteBegin(buffer, capacity);
    blobPut32((uint32_t)count);
    for (int32_t i = 0; i < records->capacity; i++) {
        const TextureRecord* r = slotGet<TextureRecord>(records, i);
        if (!r) continue;
        TextureRecord header = *r;
        if (header.dataSize < 0 || !header.stored) header.dataSize = 0;
        texture_header_write(&header);
        if (header.dataSize > 0) blobPutBytes(r->stored, header.dataSize);
    }
    return blobWriteOverflow() ? -1 : blobWritePosition();
}

void texture_apply_alpha_masks(SlotTable* records) {
    for (int32_t i = 0; i < records->capacity; i++) {
        TextureRecord* r = slotGet<TextureRecord>(records, i);
        if (r) r->alphaMask = 0;
    }
    for (int32_t i = 0; i < records->capacity; i++) {
        TextureRecord* map = slotGet<TextureRecord>(records, i);
        if (!map || map->alphaMap != 1 || map->target == -1) continue;
        TextureRecord* colour = slotGet<TextureRecord>(records, map->target);
        if (!colour || !colour->pixels || !map->pixels) continue;
        if (texture_alpha_from_map(colour->pixels, colour->width, colour->height, map->pixels, map->width,
                                   map->height) == 0)
            colour->alphaMask = 1;
    }
}

void texture_pack_name(char* out, const char* dir) {
    char last[PATH_CAPACITY];
    pathComponent(pathDepth(dir) - 1, last, dir);
    replaceExtension(out, last, "stf");
}

int32_t texture_pack_build(const char* dir) {
    SlotTable records;
    slotInit(&records, 4, (int32_t)sizeof(TextureRecord));
    int32_t names = listFiles(TEXTURE_CACHE_PATTERN, dir, (const uint8_t*)"\0\0\0\0");
    TextureCacheName entry;
    for (int32_t i = 0; i < stringTableCount(names); i++) {
        const char* fileName = stringTableText(names, i);
        if (texture_cache_parse_name(fileName, &entry) != 0) continue;
        TextureRecord* old = slotGet<TextureRecord>(&records, entry.id);
        if (old) texture_record_free(old);
        int32_t slot = slotAdd(&records, 1, entry.id);
        TextureRecord* r = slotGet<TextureRecord>(&records, slot);
        texture_record_init(r);
        r->target = entry.target;
        r->alphaMap = entry.alphaMap;
        r->compression = entry.compression;
        std::memcpy(r->name, entry.name, TEXTURE_NAME_SIZE);
        int32_t size = 0;
        if (readWholeFile(fileName, dir, &r->stored, &size) == 0) r->dataSize = size;
    }
    stringTableDestroy(names);

    int32_t result = -1;
    int64_t total = texture_pack_size(&records);
    char packName[PATH_CAPACITY];
    texture_pack_name(packName, dir);
    if (total <= INT32_MAX && packName[0]) {
        uint8_t* buffer = (uint8_t*)MEM_ALLOC(nullptr, total);
        int32_t written = texture_pack_write(&records, buffer, (int32_t)total);
        if (written == total) result = writeWholeFile(packName, dir, buffer, written);
        MEM_FREE(buffer);
    }
    texture_records_free(&records);
    return result;
}
