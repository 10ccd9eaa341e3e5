#include "pack/rle.h"

namespace {
// Output cursor shared by both directions: counts every byte, stores only while writing and while
// there is room.
struct RleOut {
    uint8_t* destination;
    int32_t capacity;
    int32_t count;
    bool write;
};

// False once a writing pass has filled the destination.
bool put(RleOut* out, uint8_t value) {
    if (out->write) {
        if (out->count >= out->capacity) return false;
        out->destination[out->count] = value;
    }
    out->count++;
    return true;
}

bool fourEqualAt(const uint8_t* s, int32_t i, int32_t length) {
    return i + 3 < length && s[i] == s[i + 1] && s[i] == s[i + 2] && s[i] == s[i + 3];
}
}  // namespace

int32_t rle_pack(const uint8_t* source, uint8_t* destination, int32_t length, int32_t capacity,
                 int32_t write) {
    RleOut out = {destination, capacity, 0, write == 1 && destination != nullptr};
    int32_t i = 0;
    while (i < length) {
        if (fourEqualAt(source, i, length)) {
            int32_t pairs = 0;
            while (pairs < 127 && i + 1 < length && source[i] == source[i + 1]) {
                pairs++;
                i++;
            }
            // i now stands on the run's last byte, which the literal block below starts from.
            if (!put(&out, (uint8_t)(0x80 + pairs)) || !put(&out, source[i])) return out.count;
        }
        int32_t control = out.count;
        if (!put(&out, 0)) return out.count;
        int32_t copied = 0;
        while (copied < 127 && i < length && !fourEqualAt(source, i, length)) {
            if (!put(&out, source[i])) return out.count;
            copied++;
            i++;
        }
        if (out.write) out.destination[control] = (uint8_t)copied;
    }
    return out.count;
}

int32_t rle_unpack(const uint8_t* source, uint8_t* destination, int32_t length, int32_t capacity,
                   int32_t write) {
    RleOut out = {destination, capacity, 0, write == 1 && destination != nullptr};
    int32_t p = 0;
    while (p < length) {
        uint8_t control = source[p];
        if (control & 0x80) {
            if (p + 1 >= length) break;
            for (int32_t n = control - 0x80; n > 0; n--)
                if (!put(&out, source[p + 1])) return out.count;
            p += 2;
        } else {
            p++;
            for (int32_t n = control; n > 0 && p < length; n--, p++)
                if (!put(&out, source[p])) return out.count;
        }
    }
    return out.count;
}
