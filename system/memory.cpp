#include "system/memory.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "system/platform.h"

namespace {
// Atomic because importer threads allocate too.
struct MemoryCounts {
    std::atomic<int64_t> blocks{0};
    std::atomic<int64_t> bytes{0};
};
MemoryCounts counts;

void countIn(void* p) {
    if (p == nullptr) return;
    counts.blocks.fetch_add(1, std::memory_order_relaxed);
    counts.bytes.fetch_add(platformBlockSize(p), std::memory_order_relaxed);
}

void countOut(void* p) {
    if (p == nullptr) return;
    counts.blocks.fetch_sub(1, std::memory_order_relaxed);
    counts.bytes.fetch_sub(platformBlockSize(p), std::memory_order_relaxed);
}
}  // namespace

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
    countOut(p);
    std::free(p);
    return nullptr;
}

void* memAlloc(void* old, int64_t size, const char* module, int line) {
    countOut(old);
    std::free(old);
    if (size <= 0) return nullptr;
    void* p = memCheck(std::malloc((size_t)size), size, module, line);
    countIn(p);
    return p;
}

void* memRealloc(void* p, int64_t size, const char* module, int line) {
    countOut(p);
    if (size <= 0) {
        std::free(p);
        return nullptr;
    }
    // A failed realloc aborts in memCheck, so the old block never needs counting back in.
    void* q = memCheck(std::realloc(p, (size_t)size), size, module, line);
    countIn(q);
    return q;
}

void memAdviseHugePages(void* p, int64_t size) {
    // Below a few huge pages the saving is too small to split the heap's mappings for.
    if (p != nullptr && size >= ((int64_t)4 << 20)) platformAdviseHugePages(p, size);
}

int64_t memBlockSize(const void* p) { return p ? platformBlockSize(p) : 0; }

int64_t memLiveBlocks() { return counts.blocks.load(std::memory_order_relaxed); }
int64_t memLiveBytes() { return counts.bytes.load(std::memory_order_relaxed); }
