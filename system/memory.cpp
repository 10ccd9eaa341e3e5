#include "system/memory.h"

#include <cstdio>
#include <cstdlib>

#include "system/platform.h"

// Exhaustion is not reported to callers (none of them could recover); stop with a clear line.
static void* memCheck(void* p, int64_t size, const char* module, int line) {
    if (p == nullptr) {
        std::fprintf(stderr, "VORTEN: out of memory (%lld bytes) in %s:%d\n", (long long)size,
                     module ? module : "?", line);
        std::abort();
    }
    return p;
}

void* memFree(void* p, const char*, int) {
    std::free(p);
    return nullptr;
}

void* memAlloc(void* old, int64_t size, const char* module, int line) {
    std::free(old);
    if (size <= 0) return nullptr;
    return memCheck(std::malloc((size_t)size), size, module, line);
}

void* memRealloc(void* p, int64_t size, const char* module, int line) {
    if (size <= 0) {
        std::free(p);
        return nullptr;
    }
    return memCheck(std::realloc(p, (size_t)size), size, module, line);
}

void memAdviseHugePages(void* p, int64_t size) {
    // Below a few huge pages the saving is too small to split the heap's mappings for.
    if (p != nullptr && size >= ((int64_t)4 << 20)) platformAdviseHugePages(p, size);
}

int64_t memBlockSize(const void* p) { return p ? platformBlockSize(p) : 0; }
