#include "texsets/interface_sets.h"

#include <cstring>

#include "render/gl.h"
#include "render/render_state.h"
#include "system/files.h"
#include "system/memory.h"
#include "texsets/set_file.h"
#include "texture/texture_gl.h"
#include "texture/texture_image.h"

static const char* const kModule = "VOR3DTEXTURE_1_11";

int32_t interfaceSizeLimit = 2048;
int32_t interfaceFilterMode = 2;

namespace {
// Zero-initialised once for the life of the process: 256 x 1024 small records (about 6 MB). A set
// that never held an image is not read when sets are freed: reading the whole store at shut-down
// would map its 1,500 untouched pages.
struct InterfaceStore {
    SetImage images[MAX_INTERFACE_SETS][SET_IMAGES];
    bool held[MAX_INTERFACE_SETS];  // an image of the set has held pixels or a texture
};
InterfaceStore store;

// The set a handle selects, or -1.
int32_t setIndex(int32_t handle) {
    int32_t set = handle & 0xFFFFFF;
    return set < MAX_INTERFACE_SETS ? set : -1;
}

bool imageFree(const SetImage* im) { return im->texture == 0 && im->pixels == nullptr; }

// The top of the fixed power-of-two steps of interface images.
const int32_t kStepTop = 2048;
}  // namespace

SetImage* setImageGet(int32_t set, int32_t image) {
    int32_t s = setIndex(set);
    if (s < 0 || image < 0 || image >= SET_IMAGES) return nullptr;
    return &store.images[s][image];
}

namespace {
// The record of (set, image) that is about to hold pixels or a texture, or null outside the store.
SetImage* imageToFill(int32_t set, int32_t image) {
    SetImage* im = setImageGet(set, image);
    if (im) store.held[setIndex(set)] = true;
    return im;
}

// The levels of an image: level 0 limited, rounded and box-resampled, then the mip chain.
int32_t buildSetLevels(ImageLevels* levels, const uint8_t* pixels, int32_t w, int32_t h) {
    int32_t limit = interfaceSizeLimit < 1 ? 1 : interfaceSizeLimit;
    int32_t tw = texture_round_steps(w < limit ? w : limit, kStepTop);
    int32_t th = texture_round_steps(h < limit ? h : limit, kStepTop);
    texture_limit_aspect(&tw, &th);
    return texture_build_levels(levels, pixels, w, h, tw, th, 1);
}

// Makes the image's texture from built levels, compressed by choice c.
void uploadSetLevels(int32_t set, int32_t image, int32_t c, ImageLevels* levels) {
    SetImage* im = imageToFill(set, image);
    static const uint32_t formats[4] = {0, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT,
                                        GL_COMPRESSED_RGBA_S3TC_DXT5_EXT};
    if (c >= 1 && c <= 3) texture_compress_levels(levels, formats[c]);
    if (im->texture != 0) {
        GLuint old = im->texture;
        glDeleteTextures(1, &old);
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    im->texture = name;
    im->width = levels->level[0].width;
    im->height = levels->level[0].height;
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    applyFilterMode(2);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    texture_upload_levels(levels);
}

// The compression choice for an image of quality q, given the choice of the image before it.
int32_t compressionChoice(uint8_t q, int32_t before) {
    if (extensions.flag[EXT_TEXTURE_COMPRESSION] != 1) return 0;
    return q == 0 ? 1 : q == 1 ? 3 : q == 2 ? 0 : before;
}
}  // namespace

int32_t loadInterfaceSet(int32_t set, int32_t image, const char* name, const char* dir, int32_t defer) {
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    if (readWholeFile(name, dir, &buffer, &size) != 0) return -1;
    int32_t result = loadInterfaceSetBlob(set, image, buffer, size, defer);
    MEM_FREE(buffer);
    return result;
}

int32_t loadInterfaceSetBlob(int32_t set, int32_t image, uint8_t* buffer, int32_t size, int32_t defer) {
    int32_t offset = unscrambleBlob(buffer, size);
    if (set == -1) set = findFreeSet();
    if (set == -1 || setIndex(set) < 0) return -1;
    freeInterfaceSet(set);
    SetFileCursor cursor;
    SetFileRecord record;
    setFileBegin(&cursor, buffer, size, offset);
    for (int32_t i = 0; setFileNext(&cursor, &record) == 0; i++) {
        if (image == -1) {
            if (i < SET_IMAGES)
                decodeSetImage(set, i, record.data, record.size, record.kind, record.tag, record.alpha,
                               record.quality);
        } else if (image == i) {
            decodeSetImage(set, 0, record.data, record.size, record.kind, record.tag, record.alpha,
                           record.quality);
            break;
        }
    }
    if (defer == 0) uploadPendingImages(set);
    return set;
}

int32_t freeInterfaceSet(int32_t set) {
    int32_t s = setIndex(set);
    if (s < 0 || !store.held[s]) return -1;
    for (int32_t i = 0; i < SET_IMAGES; i++) freeSetImage(set, i);
    store.held[s] = false;
    return -1;
}

void freeSetImage(int32_t set, int32_t image) {
    SetImage* im = setImageGet(set, image);
    if (!im || (im->texture == 0 && im->pixels == nullptr && im->pending == 0)) return;
    if (im->texture != 0) {
        GLuint name = im->texture;
        glDeleteTextures(1, &name);
        im->texture = 0;
    }
    im->pixels = (uint8_t*)MEM_FREE(im->pixels);
    im->pending = 0;
}

int32_t findFreeSet() {
    for (int32_t s = 0; s < MAX_INTERFACE_SETS; s++)
        if (imageFree(&store.images[s][0])) return s;
    return -1;
}

int32_t firstFreeImage(int32_t set) {
    int32_t s = setIndex(set);
    if (s < 0) return -1;
    for (int32_t i = 0; i < SET_IMAGES; i++)
        if (imageFree(&store.images[s][i])) return i;
    return -1;
}

void decodeSetImage(int32_t set, int32_t image, const uint8_t* data, int32_t size, uint8_t kind, uint8_t t,
                    uint8_t a, uint8_t q) {
    SetImage* im = imageToFill(set, image);
    if (!im || kind != 0) return;
    uint8_t* pixels = nullptr;
    int32_t w = 0, h = 0;
    if (decodeSetPixels(data, size, a, &pixels, &w, &h) != 0) return;
    MEM_FREE(im->pixels);
    im->pixels = pixels;
    im->width = w;
    im->height = h;
    im->tag = t;
    im->alpha = a;
    im->quality = q;
    im->pending = 1;
}

void uploadPendingImages(int32_t set) {
    if (setIndex(set) < 0) return;
    int32_t c = 0;
    for (int32_t i = 0; i < SET_IMAGES; i++) {
        SetImage* im = setImageGet(set, i);
        if (im->pending != 1) continue;
        c = compressionChoice(im->quality, c);
        uploadSetImage(set, i, c, im->pixels, im->width, im->height);
        im->pixels = (uint8_t*)MEM_FREE(im->pixels);
        im->pending = 0;
    }
}


void uploadSetImage(int32_t set, int32_t image, int32_t c, const uint8_t* pixels, int32_t w, int32_t h) {
    SetImage* im = setImageGet(set, image);
    if (!im || !pixels || w < 1 || h < 1) return;
    ImageLevels levels;
    if (buildSetLevels(&levels, pixels, w, h) != 0) return;
    uploadSetLevels(set, image, c, &levels);
    texture_free_levels(&levels);
}

int32_t prepareInterfaceSet(PreparedSet* prepared, const char* name, const char* dir) {
    prepared->count = 0;
    prepared->images = nullptr;
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    if (readWholeFile(name, dir, &buffer, &size) != 0) return -1;
    int32_t offset = unscrambleBlob(buffer, size);
    SetFileCursor cursor;
    SetFileRecord record;
    setFileBegin(&cursor, buffer, size, offset);
    int32_t capacity = cursor.count < 1 ? 1 : cursor.count < SET_IMAGES ? cursor.count : SET_IMAGES;
    prepared->images = (PreparedSetImage*)MEM_ALLOC(nullptr, (int64_t)capacity * (int64_t)sizeof(PreparedSetImage));
    std::memset(prepared->images, 0, (size_t)capacity * sizeof(PreparedSetImage));
    for (int32_t i = 0; i < capacity && setFileNext(&cursor, &record) == 0; i++) {
        PreparedSetImage* p = &prepared->images[i];
        prepared->count = i + 1;
        uint8_t* pixels = nullptr;
        int32_t w = 0, h = 0;
        if (record.kind != 0 || decodeSetPixels(record.data, record.size, record.alpha, &pixels, &w, &h) != 0) continue;
        p->tag = record.tag;
        p->alpha = record.alpha;
        p->quality = record.quality;
        buildSetLevels(&p->levels, pixels, w, h);
        MEM_FREE(pixels);
    }
    MEM_FREE(buffer);
    return 0;
}

int32_t installPreparedSet(int32_t set, PreparedSet* prepared) {
    if (set == -1) set = findFreeSet();
    if (set == -1 || setIndex(set) < 0) {
        freePreparedSet(prepared);
        return -1;
    }
    freeInterfaceSet(set);
    int32_t c = 0;
    for (int32_t i = 0; i < prepared->count; i++) {
        PreparedSetImage* p = &prepared->images[i];
        if (p->levels.count == 0) continue;
        SetImage* im = setImageGet(set, i);
        im->tag = p->tag;
        im->alpha = p->alpha;
        im->quality = p->quality;
        c = compressionChoice(p->quality, c);
        uploadSetLevels(set, i, c, &p->levels);
    }
    freePreparedSet(prepared);
    return set;
}

void freePreparedSet(PreparedSet* prepared) {
    for (int32_t i = 0; i < prepared->count; i++) texture_free_levels(&prepared->images[i].levels);
    prepared->images = (PreparedSetImage*)MEM_FREE(prepared->images);
    prepared->count = 0;
}

void bindSetImage(int32_t set, int32_t image) {
    SetImage* im = setImageGet(set, image);
    glBindTexture(GL_TEXTURE_2D, im ? im->texture : 0);
}

void applyFilterMode(int32_t mode) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mode == 0 ? GL_LINEAR : GL_LINEAR_MIPMAP_LINEAR);
    if (extensions.flag[EXT_TEXTURE_FILTER_ANISOTROPIC] == 1)
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, mode == 2 ? 2.0f : 1.0f);
}
