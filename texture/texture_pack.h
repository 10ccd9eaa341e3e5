// Texture records and the texture pack file that carries them from the importer to the texture
// manager. Pack layout, little-endian: int32 record count, then per record a 2076-byte header and
// data-size bytes of JPEG file data. Header: 0 int32 target id, 4 alpha-map flag, 5 compression,
// 6 name (2050 bytes, NUL-terminated), 2056 int32 width, 2060 int32 height, 2064 int32 decoded
// flag, 2068 int32 data size, 2072 alpha-mask flag, 2073 three filler bytes (written as 0).
//
// Reading works on memory and checks every bound. What a truncated or lying pack loads:
// - records are read in order while they are complete; the first record whose header or data would
//   run past the end of the buffer is not loaded, and neither is anything after it;
// - a record with a negative data size is incomplete in the same way (loading stops before it);
// - a count above the records present loads the complete ones; a negative count, or a buffer too
//   short for the count, loads none; at most TEXTURE_MAX_ID records are read; bytes after the last
//   counted record are ignored;
// - a name without a terminator in its 2050 bytes is cut to 2049 characters;
// - a record whose decoded flag is not 0 or whose data is not a JPEG the decoder accepts keeps no
//   pixels, with width and height as the header gives them; a data size of 0 gives no pixels.
#pragma once
#include <cstdint>

#include "system/slot_table.h"

enum {
    TEXTURE_HEADER_SIZE = 2076,
    TEXTURE_NAME_SIZE = 2050,
    // Cache ids and pack slots stay below this, so that a file name cannot make a table huge.
    TEXTURE_MAX_ID = 65536
};

// One texture of a set: the pack header fields, then what exists in memory only.
struct TextureRecord {
    int32_t target;       // alpha maps: id of the colour texture they supply; else -1
    uint8_t alphaMap;     // 1 when this image is an alpha map
    uint8_t compression;  // 0 none, 1 DXT5, 2 DXT1
    char name[TEXTURE_NAME_SIZE];
    int32_t width, height;  // of the decoded pixels (as stored until decoded)
    int32_t decoded;        // 0: the data is a JPEG to decode
    int32_t dataSize;       // bytes of JPEG data in the pack
    uint8_t alphaMask;      // 1 when the alpha channel holds a mask (set on upload)
    uint8_t* stored;        // the JPEG bytes until decoded, or null
    uint8_t* pixels;        // width * height RGBA bytes (memAlloc), or null
    uint32_t glName;        // GL texture name, 0 when none
};

// What texture_pack_parse found, for tools that report on a file.
struct TexturePackScan {
    int32_t declared;  // the record count the file gives
    int32_t loaded;    // complete records loaded
    int32_t end;       // offset just past the last complete record (4 at least when the count was read)
    int32_t complete;  // 1 when every declared record loaded and nothing follows them
};

// A cleared record: target -1, no data, no pixels, no GL name.
void texture_record_init(TextureRecord* r);
// Frees the stored data and the pixels (the GL name is the texture manager's).
void texture_record_free(TextureRecord* r);
// Turns the stored JPEG into RGBA pixels with alpha 255 and sets width and height from it; frees the
// stored data in every case. Records with a decoded flag other than 0 only drop their data.
void texture_record_decode(TextureRecord* r);

// Writes the 2076-byte header through the BlobWriter.
void texture_header_write(const TextureRecord* r);
// Reads a header from size bytes at data into r's header fields. 0, or -1 (r untouched) when fewer
// than 2076 bytes are there.
int32_t texture_header_read(TextureRecord* r, const uint8_t* data, int32_t size);

// Loads the records of a pack in memory into slots 0 .. n - 1 of an empty table of TextureRecord
// (unit size sizeof(TextureRecord)), decoding each JPEG when decode is 1 and otherwise keeping the
// data as stored. Returns n. scan may be null.
int32_t texture_pack_parse(SlotTable* records, const uint8_t* data, int32_t size, int32_t decode,
                           TexturePackScan* scan);
// Frees every record of the table (texture_record_free) and the table.
void texture_records_free(SlotTable* records);
// Bytes of the pack of the records in use: 4 + sum of 2076 + data size (data sizes below 0 count 0).
int64_t texture_pack_size(const SlotTable* records);
// Writes the pack of the records in use, in slot order, into buffer. Returns the bytes written, or
// -1 (nothing useful written) when capacity is below texture_pack_size.
int32_t texture_pack_write(const SlotTable* records, uint8_t* buffer, int32_t capacity);
// Alpha masks of a set of decoded records: every alpha-mask flag is cleared, then every alpha map
// with a target id names the colour record whose alpha it replaces (texture_alpha_from_map) and
// whose flag becomes 1; a missing target, missing pixels or a size that differs changes nothing.
void texture_apply_alpha_masks(SlotTable* records);

// The pack's file name for a directory ending in a separator: its last component with the
// extension replaced by "stf" ("/data/texture_import/" gives "texture_import.stf").
void texture_pack_name(char* out, const char* dir);
// Gathers the cache files of dir (see texture_cache.h) into the pack dir + texture_pack_name(dir):
// each file becomes the record in slot = its id (of two files with one id the later in listing
// order wins), with width and height 0 since nothing is decoded here. 0, or -1 when the pack
// cannot be written. Cache files that cannot be read give records of data size 0.
int32_t texture_pack_build(const char* dir);
