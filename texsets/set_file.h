// Interface set files (.stf) and the directories they are built from. A set file is scrambled
// whole (files.h: two key bytes, then the plain bytes); the plain content is, little-endian:
// int32 record count, then per record int32 data size S, kind (0 = image; others are skipped),
// T (tag), A (alpha flag), Q (compression choice) and S bytes of a baseline JPEG. Record i is
// image i of the set.
//
// Reading works on the unscrambled memory and checks every bound: records are read in order while
// complete; a record whose five header bytes or S data bytes run past the end, or whose S is
// negative, ends the reading and is not delivered, nor is anything after it; a negative count
// reads nothing; bytes after the last counted record are ignored.
//
// Source images are named "N_0000_T_00_A_0_Q_0_name.jpg": N at characters 2-5, T at 9-10, A at 14,
// Q at 18, the image's own name from 20 on.
#pragma once
#include <cstdint>

#include "system/files.h"

enum { SET_NAME_BAD = 255 };

// One record as read from a set file; data points into the reader's buffer.
struct SetFileRecord {
    int32_t size;
    uint8_t kind, tag, alpha, quality;
    const uint8_t* data;
};

// Reading position in an unscrambled set file.
struct SetFileCursor {
    const uint8_t* data;
    int32_t size;
    int32_t position;  // next record header
    int32_t count;     // records the file declares (0 when the count itself is missing)
    int32_t index;     // records delivered so far
};

// Name of the file that broke the numbering in the last buildInterfaceSetFile that returned 1.
extern char interfaceSetErrorName[PATH_CAPACITY];

// Starts reading at offset (2 after unscrambleBlob). 0, or -1 when the count does not fit.
int32_t setFileBegin(SetFileCursor* cursor, const uint8_t* data, int32_t size, int32_t offset);
// The next complete record: 0, or -1 at the end of the declared records or at an incomplete one.
int32_t setFileNext(SetFileCursor* cursor, SetFileRecord* record);

// Decodes a record's JPEG into RGBA pixels (memAlloc). alpha 1: the picture's upper half is the
// colour, the red channel of its lower half the alpha (height halves; a picture one row high fails);
// any other alpha value gives alpha 255 over the whole picture. 0, or -1 (nothing allocated) when
// the decoder does not accept the data.
int32_t decodeSetPixels(const uint8_t* data, int32_t size, uint8_t alpha, uint8_t** pixels, int32_t* width,
                        int32_t* height);

// Reads a source name. 0 with the fields filled, or SET_NAME_BAD for a null name, a name shorter than
// 20 characters, one not starting with "N_", or a non-digit where N, T, A or Q stand. name receives
// characters 20 on, cut to nameSize - 1 (name may be null).
uint8_t parseSetImageName(const char* fileName, int32_t* n, uint8_t* t, uint8_t* a, uint8_t* q, char* name,
                          int32_t nameSize);
// Writes dir + outName from the source files of dir ("N_*.*", or "N_*.JPG" with jpegOnly 1), in
// listing order, then scrambles it. 0 success; 1 when listed file i does not carry N = i or cannot
// be parsed (its name goes to interfaceSetErrorName; the output is left empty); 2 when the output
// cannot be written or scrambled, or a source cannot be read (an empty source is a record of size 0).
int32_t buildInterfaceSetFile(const char* outName, const char* dir, int32_t jpegOnly);
// The same with the output in a directory of its own.
int32_t buildInterfaceSetFileTo(const char* outName, const char* outDir, const char* dir, int32_t jpegOnly);
// The highest N of the listed files plus 1; 0 when none (unparsable names are ignored).
int32_t countSetImages(const char* dir, int32_t jpegOnly);
// N of the listed file whose own name equals name exactly; the last match in listing order wins; -1.
int32_t findSetImage(const char* name, const char* dir, int32_t jpegOnly);
