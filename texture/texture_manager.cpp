#include "texture/texture_manager.h"

#include <cstring>

#include "object/material.h"
#include "render/gl.h"
#include "render/mesh_draw.h"
#include "render/render_state.h"
#include "system/memory.h"
#include "texture/texture_gl.h"
#include "texture/texture_image.h"

static const char* const kModule = "vor3d_texture_1_11";

int32_t TEXTURE_SIZE_LIMIT = 2048;
uint8_t TEXTURE_FILTER_MODE = 3;

namespace {
struct TextureManager {
    SlotTable sets;
};
TextureManager manager;

void deleteTexture(TextureRecord* r) {
    if (r->glName == 0) return;
    GLuint name = r->glName;
    glDeleteTextures(1, &name);
    r->glName = 0;
}

void uploadRecord(TextureRecord* r) {
    deleteTexture(r);  // uploading again replaces the texture instead of leaking it
    if (!r->pixels || r->width < 1 || r->height < 1) return;
    int32_t w = 0, h = 0;
    texture_level0_size(r->width, r->height, TEXTURE_SIZE_LIMIT, &w, &h);
    ImageLevels levels;
    int32_t mipmaps = (TEXTURE_FILTER_MODE == 2 || TEXTURE_FILTER_MODE == 3) ? 1 : 0;
    if (texture_build_levels(&levels, r->pixels, r->width, r->height, w, h, mipmaps) != 0) return;
    if (extensions.flag[EXT_TEXTURE_COMPRESSION] == 1 && (r->compression == 1 || r->compression == 2))
        texture_compress_levels(&levels, r->compression == 1 ? GL_COMPRESSED_RGBA_S3TC_DXT5_EXT
                                                             : GL_COMPRESSED_RGBA_S3TC_DXT1_EXT);
    GLuint name = 0;
    glGenTextures(1, &name);
    r->glName = name;
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    texture_apply_filter(TEXTURE_FILTER_MODE);
    texture_upload_levels(&levels);
    texture_free_levels(&levels);
}

void freeSet(int32_t set) {
    TextureSet* s = texture_set_get(set);
    for (int32_t i = 0; i < s->textures.capacity; i++) {
        TextureRecord* r = slotGet<TextureRecord>(&s->textures, i);
        if (r) deleteTexture(r);
    }
    texture_records_free(&s->textures);
    s->references = 0;
    slotRelease(&manager.sets, set);
}

// The forms in which the object model asks for sets, installed by texture_init.
int32_t loadForMaterial(int32_t old, const char* name, const char* dir) { return texture_set_load(old, name, dir, 0); }
bool hasAlphaMask(int32_t set, int32_t id) {
    const TextureRecord* record = texture_record_get(set, id);
    return record && record->alphaMask == 1;
}
}  // namespace

void texture_init() {
    slotInit(&manager.sets, 4, (int32_t)sizeof(TextureSet));
    const MaterialTextureHooks hooks = {loadForMaterial, texture_set_release, texture_set_texture_count, hasAlphaMask};
    materialSetTextureHooks(&hooks);
    render_set_texture_bind_hook(texture_bind);
    if (renderCaps.maxTextureSize > 0 && renderCaps.maxTextureSize < TEXTURE_SIZE_LIMIT)
        TEXTURE_SIZE_LIMIT = renderCaps.maxTextureSize;
}

void texture_shutdown() {
    for (int32_t i = 0; i < manager.sets.capacity; i++)
        if (texture_set_get(i)) freeSet(i);
    slotFree(&manager.sets);
}

int32_t texture_set_find(const char* name) {
    for (int32_t i = 0; i < manager.sets.capacity; i++) {
        TextureSet* s = texture_set_get(i);
        if (s && std::strcmp(s->name, name) == 0) return i;
    }
    return -1;
}

int32_t texture_set_load(int32_t old, const char* name, const char* dir, int32_t readOptions) {
    (void)readOptions;  // whole files are read the same way whatever the caller's options
    int32_t found = texture_set_find(name);
    if (found != -1) {
        texture_set_get(found)->references++;
        if (old != -1 && old != found) texture_set_release(old);
        return found;
    }
    texture_set_release(old);
    if (std::strlen(name) >= PATH_CAPACITY) return -1;
    uint8_t* file = nullptr;
    int32_t size = 0;
    if (readWholeFile(name, dir, &file, &size) != 0) return -1;
    int32_t set = slotAdd(&manager.sets, 1, -1);
    TextureSet* s = texture_set_get(set);
    std::memset(s, 0, sizeof *s);
    s->references = 1;
    std::memcpy(s->name, name, std::strlen(name) + 1);
    slotInit(&s->textures, 4, (int32_t)sizeof(TextureRecord));
    s->textureCount = texture_pack_parse(&s->textures, file, size, 1, nullptr);
    MEM_FREE(file);
    texture_set_upload(set);
    return set;
}

int32_t texture_set_release(int32_t set) {
    TextureSet* s = texture_set_get(set);
    if (s && --s->references <= 0) freeSet(set);
    return -1;
}

void texture_set_upload(int32_t set) {
    TextureSet* s = texture_set_get(set);
    if (!s) return;
    texture_apply_alpha_masks(&s->textures);
    for (int32_t i = 0; i < s->textures.capacity; i++) {
        TextureRecord* r = slotGet<TextureRecord>(&s->textures, i);
        if (r) uploadRecord(r);
    }
}

void texture_bind(int32_t set, int32_t id) {
    if (set == -1 || id == -1) return;
    TextureRecord* r = texture_record_get(set, id);
    if (r) glBindTexture(GL_TEXTURE_2D, r->glName);
}

TextureSet* texture_set_get(int32_t set) { return slotGet<TextureSet>(&manager.sets, set); }

int32_t texture_set_texture_count(int32_t set) {
    TextureSet* s = texture_set_get(set);
    return s ? s->textureCount : 0;
}

TextureRecord* texture_record_get(int32_t set, int32_t id) {
    TextureSet* s = texture_set_get(set);
    return s ? slotGet<TextureRecord>(&s->textures, id) : nullptr;
}
