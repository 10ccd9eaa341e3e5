// Interface texture sets: 256 numbered sets of up to 1024 interface images (widget art, font pages),
// each loaded from one set file (set_file.h), decoded to RGBA and uploaded as mipmapped, optionally
// driver-compressed GL textures. Drawn by (set, image). Only the low 24 bits of a set handle select
// the set; handles whose set is not 0 .. 255 (-1 among them) and images outside 0 .. 1023 make
// every operation do nothing (bindSetImage binds 0, queries answer -1).
#pragma once
#include <cstdint>

#include "texture/texture_image.h"

enum { MAX_INTERFACE_SETS = 256, SET_IMAGES = 1024 };

// One image of a set.
struct SetImage {
    uint8_t* pixels;   // RGBA waiting for upload (memAlloc), or null
    uint32_t texture;  // GL texture name, 0 when none
    int32_t width, height;  // of the pending pixels; after upload of mip level 0
    uint8_t tag;       // T of the record, kept for callers
    uint8_t alpha;     // A: 1 = the JPEG carries its alpha mask in its lower half
    uint8_t quality;   // Q: compression choice
    uint8_t pending;   // 1 = pixels decoded, not uploaded
};

// Settings the viewer fills before start-up: the largest interface-image edge (never lowered to the
// GL maximum) and the filter mode the 2D primitives restore after nearest filtering.
extern int32_t interfaceSizeLimit;
extern int32_t interfaceFilterMode;

// The record of (set, image), or null outside the store.
SetImage* setImageGet(int32_t set, int32_t image);

// Loads directory + name into set (-1: the first free set; another set is emptied first, but only
// once the file was read). image -1 loads every record i into image i (records past 1023 are
// skipped); image i >= 0 loads record i alone into image 0. Without defer the pending images are
// uploaded at once (needs the GL context). Returns the set, or -1 when the file cannot be read, no
// set is free or the handle names no set. Truncated files load their complete records (set_file.h).
int32_t loadInterfaceSet(int32_t set, int32_t image, const char* name, const char* dir, int32_t defer);
// The same on a scrambled set file in memory; buffer is unscrambled in place.
int32_t loadInterfaceSetBlob(int32_t set, int32_t image, uint8_t* buffer, int32_t size, int32_t defer);
// A set file read, decoded and mipmapped without GL, so that another thread can make it while the
// window opens; installPreparedSet uploads it. images[i] belongs to record i; an image whose
// record was no JPEG the decoder accepts has no levels.
struct PreparedSetImage {
    ImageLevels levels;
    uint8_t tag, alpha, quality;
};
struct PreparedSet {
    int32_t count;  // images (records up to SET_IMAGES)
    PreparedSetImage* images;
};
// Reads and decodes directory + name (touches no GL and no set). 0, or -1 when it cannot be read.
int32_t prepareInterfaceSet(PreparedSet* prepared, const char* name, const char* dir);
// Installs a prepared set as loadInterfaceSet(set, -1, ..., 0) would load its file, and frees it.
// Returns the set, or -1 when no set is free or the handle names no set.
int32_t installPreparedSet(int32_t set, PreparedSet* prepared);
// Frees what a prepared set holds (it is then empty).
void freePreparedSet(PreparedSet* prepared);
// freeSetImage on every image of the set. Returns -1.
int32_t freeInterfaceSet(int32_t set);
// Deletes the image's GL texture (texture 0 after), frees its pixels, clears pending.
void freeSetImage(int32_t set, int32_t image);
// The lowest set whose image 0 is free (neither texture nor pixels), or -1.
int32_t findFreeSet();
// The lowest image of the set with neither texture nor pixels, or -1.
int32_t firstFreeImage(int32_t set);
// Decodes a record into (set, image): kind other than 0 leaves the image unchanged; a JPEG the
// decoder refuses leaves it as it was; otherwise the pixels replace the old ones, T, A, Q and the
// size are stored and the image is pending.
void decodeSetImage(int32_t set, int32_t image, const uint8_t* data, int32_t size, uint8_t kind, uint8_t t,
                    uint8_t a, uint8_t q);
// Uploads every pending image of the set in image order and frees its pixels. The compression
// choice c: without driver compression 0; otherwise Q 0 gives DXT1, 1 DXT5, 2 none, and any other
// Q keeps the choice of the image before it in this pass (none for the first).
void uploadPendingImages(int32_t set);
// Makes the image's texture (replacing one it had): level 0 limited to interfaceSizeLimit, rounded
// down to a power of two by the steps 2048 .. 4, no side above eight times the other, box-resampled
// when the size changed; the full mip chain, each level from the one before; c = 1, 2, 3 compresses
// to DXT1, DXT3, DXT5 through the driver; repeat wrap, applyFilterMode(2), modulate. The image's
// width and height become those of level 0. The pixels are only read.
void uploadSetImage(int32_t set, int32_t image, int32_t c, const uint8_t* pixels, int32_t w, int32_t h);
// Binds the image's texture (0 when it has none or the indices name nothing).
void bindSetImage(int32_t set, int32_t image);
// Filters of the bound texture: magnification linear; minification linear for mode 0, linear with
// linear mipmaps for any other mode; with the anisotropic-filter extension, anisotropy 2 for mode 2
// and 1 otherwise.
void applyFilterMode(int32_t mode);
