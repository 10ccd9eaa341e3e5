// Fuzz targets are plain functions over a byte buffer. VCV_FUZZ_TARGET(name) defines one and
// registers it by name, so that the libFuzzer executables and the unit tests (which replay every
// seed in fuzz/corpus/<name>/) call the same code.
#pragma once
#include <cstddef>
#include <cstdint>

typedef int (*FuzzFunction)(const uint8_t* data, size_t size);

struct FuzzTarget {
    const char* name;
    FuzzFunction run;
};

// Registers a target; called by VCV_FUZZ_TARGET at static initialisation.
int fuzzRegister(const char* name, FuzzFunction run);
// Number of registered targets and the i-th of them.
int fuzzTargetCount();
const FuzzTarget* fuzzTargetAt(int i);
// The target of that name, or null.
const FuzzTarget* fuzzTargetFind(const char* name);

// True when no byte pattern that could be a JPEG frame header claims more than 2^20 pixels, so
// that decoding stays small. The real frame header is among the patterns, wherever the decoder
// finds it.
bool fuzzJpegIsSmall(const uint8_t* data, int32_t size);

#define VCV_FUZZ_TARGET(name)                                            \
    static int vcvFuzz_##name(const uint8_t* data, size_t size);         \
    static const int vcvFuzzRegistered_##name = fuzzRegister(#name, vcvFuzz_##name); \
    static int vcvFuzz_##name(const uint8_t* data, size_t size)
