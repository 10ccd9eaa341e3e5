// The texture manager: reference-counted texture sets of 3D materials, each loaded from one texture
// pack (texture_pack.h), decoded, given alpha masks, scaled, mipmapped, optionally compressed by
// the driver and turned into GL textures. Materials name a texture by (set index, texture id).
#pragma once
#include <cstdint>

#include "system/files.h"
#include "system/slot_table.h"
#include "texture/texture_pack.h"

// Settings the viewer fills before start-up. The largest texture edge (start-up lowers it to the
// GL maximum texture size when that is smaller) and the filter mode: 0 nearest, 1 linear,
// 2 trilinear, 3 trilinear with anisotropy 2.
extern int32_t TEXTURE_SIZE_LIMIT;
extern uint8_t TEXTURE_FILTER_MODE;

// One loaded pack, shared by every material that names it.
struct TextureSet {
    int32_t references;
    char name[PATH_CAPACITY];  // pack file name, compared exactly to share sets
    int32_t textureCount;      // records loaded from the pack (complete ones only)
    SlotTable textures;        // TextureRecord per slot; pack record j is slot j
};

// Start-up, after render_init: the empty set table; TEXTURE_SIZE_LIMIT clamped to the GL maximum;
// the texture hooks of materials and of the renderer's mesh drawing installed.
void texture_init();
// Shut-down, before render_shutdown: every set still loaded is freed (GL textures deleted), then
// the table.
void texture_shutdown();

// The set of the pack dir + name. A set loaded under exactly that name (case-sensitive; the
// directory is not compared) gains a reference and is returned, old being released when it is
// another set (when old is that very set it keeps the extra reference). Otherwise old is released,
// the pack read (readOptions does not change how), decoded and uploaded into a new set with one
// reference; needs the GL context. -1 when the file cannot be read or the name does not fit in
// PATH_CAPACITY. A pack that is truncated or lies loads what texture_pack.h describes.
int32_t texture_set_load(int32_t old, const char* name, const char* dir, int32_t readOptions);
// Drops one reference; at zero frees the records' data and pixels, deletes their GL textures and
// frees the slot. Always returns -1; -1 and sets not loaded are ignored.
int32_t texture_set_release(int32_t set);
// Alpha masks, then for every record with pixels: level-0 size, box filter, mip chain for filter
// modes 2 and 3, DXT compression through the driver for compression modes 1 (DXT5) and 2 (DXT1)
// when the extension is there, and one GL texture (repeat wrap, modulate, filters). Records
// without pixels (data size 0, undecodable data) get no GL texture: their GL name stays 0.
void texture_set_upload(int32_t set);
// Binds the record's GL texture (0 for a record without one); nothing for -1 in either index or
// for a set or id that names nothing.
void texture_bind(int32_t set, int32_t id);

// The set loaded under that name, or -1.
int32_t texture_set_find(const char* name);
// The set record, or null when the index names no loaded set.
TextureSet* texture_set_get(int32_t set);
// Texture count of a set; 0 for a set that is not loaded.
int32_t texture_set_texture_count(int32_t set);
// Record id of a set (its alphaMask flag tells whether the alpha holds a mask), or null.
TextureRecord* texture_record_get(int32_t set, int32_t id);
