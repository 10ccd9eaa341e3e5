#include "net/framing.h"

namespace {
bool lengthByteValid(uint8_t b) { return b >= 1 && b <= 31; }

// Sum of `count` length bytes after the type byte, or -1 when one is out of range.
int32_t lengthSum(const uint8_t* message, int32_t count) {
    int32_t sum = 0;
    for (int32_t i = 1; i <= count; i++) {
        if (!lengthByteValid(message[i])) return -1;
        sum += message[i];
    }
    return sum;
}

// Type byte, `count` length bytes, then a body of their sum.
int32_t lengthPrefixedNext(const uint8_t* message, int32_t have, int32_t count) {
    if (have == 1) return count;
    int32_t body = lengthSum(message, count);
    if (body < 0) return -1;
    return have == 1 + count ? body : 0;
}
}  // namespace

int32_t serverFrameNext(const uint8_t* message, int32_t have) {
    if (have < 1) return 1;
    uint8_t type = message[0];
    if (type >= 0x80) return have == 1 ? (type & 0x7F) : 0;
    switch (type) {
    case 0x41:
    case 0x42:
        return lengthPrefixedNext(message, have, 2);
    case 0x43:
        return 0;
    case 0x44:
        return lengthPrefixedNext(message, have, 3);
    default:
        return -1;
    }
}

int32_t clientFrameNext(const uint8_t* message, int32_t have, const uint8_t lengthTable[256]) {
    if (have < 1) return 1;
    uint8_t type = message[0];
    // The client side reads one byte more than the server side for the same high type byte.
    if (type >= 0x80) return have == 1 ? (type & 0x7F) + 1 : 0;
    if (type >= 0x40 && type <= 0x43) return have == 1 ? 1 : 0;
    if (type >= 0x20 && type <= 0x3F) {
        int32_t total = lengthTable ? lengthTable[type] : 0;
        if (total < 1) return -1;  // a length the application never set: an unknown type
        return have == 1 ? total - 1 : 0;
    }
    return -1;
}

int32_t frameNext(int32_t side, const uint8_t* message, int32_t have, const uint8_t lengthTable[256]) {
    return side == NET_SIDE_SERVER ? serverFrameNext(message, have) : clientFrameNext(message, have, lengthTable);
}
