// The engine's byte-run codec. A stream is a sequence of blocks, each opened by one control byte:
// 0x80 + n (n = 0 .. 127) is a run, the one byte that follows repeated n times; n (0 .. 127) is a
// literal block of the n bytes that follow. Literal blocks of 0 bytes are legal and the packer
// emits them (a run that follows a run of 127 repeats is announced by an empty literal block).
//
// Both operations run in two ways: with write = 1 they fill the destination, with any other value
// they only count (a sizing pass; the destination may be null). The destination's capacity bounds
// every write: a writing pass stops when the destination is full and returns the bytes written,
// so a result equal to the capacity may mean the output was cut; the sizing pass gives the full
// count and ignores the capacity.
#pragma once
#include <cstdint>

// Packs length source bytes. Returns the packed size (sizing pass) or the bytes written. Runs start
// where four equal bytes start; the last byte of a run is not counted in it but opens the literal
// block that always follows. An empty source gives 0 bytes.
int32_t rle_pack(const uint8_t* source, uint8_t* destination, int32_t length, int32_t capacity,
                 int32_t write);
// Unpacks length stream bytes, never reading past them: a run control byte with no value byte
// after it ends the stream, and a literal block cut by the end of the stream yields the bytes that
// are there. Returns the unpacked size (sizing pass) or the bytes written.
int32_t rle_unpack(const uint8_t* source, uint8_t* destination, int32_t length, int32_t capacity,
                   int32_t write);
