#include <cstring>

#include "fuzz/fuzz_target.h"

namespace {
struct FuzzRegistry {
    FuzzTarget targets[64];
    int count = 0;
};
FuzzRegistry& registry() {
    static FuzzRegistry r;
    return r;
}
}  // namespace

int fuzzRegister(const char* name, FuzzFunction run) {
    FuzzRegistry& r = registry();
    if (r.count < 64) r.targets[r.count++] = FuzzTarget{name, run};
    return r.count;
}

int fuzzTargetCount() { return registry().count; }

const FuzzTarget* fuzzTargetAt(int i) {
    return (i >= 0 && i < registry().count) ? &registry().targets[i] : nullptr;
}

const FuzzTarget* fuzzTargetFind(const char* name) {
    for (int i = 0; i < registry().count; i++)
        if (std::strcmp(registry().targets[i].name, name) == 0) return &registry().targets[i];
    return nullptr;
}

bool fuzzJpegIsSmall(const uint8_t* d, int32_t n) {
    for (int32_t i = 0; i + 8 < n; i++) {
        if (d[i] != 0xFF || d[i + 1] < 0xC0 || d[i + 1] > 0xCF || d[i + 1] == 0xC4 || d[i + 1] == 0xCC) continue;
        int64_t h = (d[i + 5] << 8) | d[i + 6], w = (d[i + 7] << 8) | d[i + 8];
        if (w * h > (1 << 20)) return false;
    }
    return true;
}
