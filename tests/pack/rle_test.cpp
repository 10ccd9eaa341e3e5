#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "pack/rle.h"

namespace {
using Bytes = std::vector<uint8_t>;

Bytes pack(const Bytes& in) {
    int32_t size = rle_pack(in.data(), nullptr, (int32_t)in.size(), 0, 0);
    Bytes out((size_t)size + 8, 0xEE);
    int32_t written = rle_pack(in.data(), out.data(), (int32_t)in.size(), size, 1);
    EXPECT_EQ(written, size);
    for (size_t i = (size_t)size; i < out.size(); i++) EXPECT_EQ(out[i], 0xEE) << "wrote past the size at " << i;
    out.resize((size_t)size);
    return out;
}

Bytes unpack(const Bytes& in) {
    int32_t size = rle_unpack(in.data(), nullptr, (int32_t)in.size(), 0, 0);
    Bytes out((size_t)size);
    EXPECT_EQ(rle_unpack(in.data(), out.data(), (int32_t)in.size(), size, 1), size);
    return out;
}

// A heap copy of exactly n bytes, so that AddressSanitizer sees any read past the end.
struct Exact {
    explicit Exact(const Bytes& b, size_t n) : p(new uint8_t[n ? n : 1]) { std::memcpy(p, b.data(), n); }
    ~Exact() { delete[] p; }
    uint8_t* p;
};
}  // namespace

TEST(Rle, PacksRunsAndLiteralsAsTheFormatSays) {
    const std::pair<Bytes, Bytes> cases[] = {
        // Ten equal bytes: a run of nine, then the tenth in a literal block.
        {Bytes(10, 7), {0x89, 7, 0x01, 7}},
        // Fewer than four bytes: one literal block; three equal bytes are not a run.
        {{1, 2, 3}, {3, 1, 2, 3}},
        {{5, 5, 5}, {3, 5, 5, 5}},
        {{}, {}},
        // A run at the very end of the input, after literals; exactly four equal bytes at the end.
        {{1, 2, 3, 9, 9, 9, 9, 9, 9}, {3, 1, 2, 3, 0x85, 9, 0x01, 9}},
        {{1, 4, 4, 4, 4}, {1, 1, 0x83, 4, 0x01, 4}},
        // 300 equal bytes: 127 + 127 + 45 repeats with empty literal blocks between, then the last byte.
        {Bytes(300, 0xAB), {0xFF, 0xAB, 0x00, 0xFF, 0xAB, 0x00, 0x80 + 45, 0xAB, 0x01, 0xAB}},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(pack(in), out) << in.size() << " bytes";
    // Only the given length counts: an equal byte just past it makes no run of four.
    const Bytes longer = {1, 7, 7, 7, 7};
    Bytes out(5);
    ASSERT_EQ(rle_pack(longer.data(), out.data(), 4, 5, 1), 5);
    EXPECT_EQ(out, (Bytes{4, 1, 7, 7, 7}));
    // Long literals split at 127.
    Bytes literal(300);
    for (size_t i = 0; i < literal.size(); i++) literal[i] = (uint8_t)(i * 7 + 1);
    Bytes packed = pack(literal);
    ASSERT_EQ(packed.size(), 303u);
    EXPECT_EQ(std::make_tuple(packed[0], packed[128], packed[256]), std::make_tuple(127, 127, 300 - 254));
    EXPECT_EQ(unpack(packed), literal);
}

TEST(Rle, RoundTripsRandomAndRunHeavyData) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 200; round++) {
        Bytes data((size_t)(rng() % 2000));
        int style = round % 3;
        for (size_t i = 0; i < data.size();) {
            size_t run = style == 0 ? 1 : 1 + rng() % (style == 1 ? 8 : 400);
            uint8_t v = (uint8_t)(style == 2 ? rng() % 3 : rng());
            for (size_t k = 0; k < run && i < data.size(); k++) data[i++] = v;
        }
        Bytes packed = pack(data);
        EXPECT_EQ(unpack(packed), data) << "round " << round;
        // The worst case costs one control byte per 127 literals (plus one block).
        EXPECT_LE(packed.size(), data.size() + data.size() / 127 + 1);
    }
}

TEST(Rle, UnpackStopsAtTheEndOfTheStream) {
    // A run control byte with no value byte after it ends the stream.
    EXPECT_EQ(unpack(Bytes{0x02, 1, 2, 0x85}), (Bytes{1, 2}));
    // A literal block cut short gives what is there; an empty block gives nothing.
    EXPECT_EQ(unpack(Bytes{0x05, 1, 2}), (Bytes{1, 2}));
    EXPECT_EQ(unpack(Bytes{0x00, 0x00, 0x82, 3}), (Bytes{3, 3}));
    // Every prefix of a real stream unpacks to a prefix of the data without reading past its end.
    Bytes data;
    for (int i = 0; i < 40; i++) data.insert(data.end(), (size_t)(i % 6 + 1), (uint8_t)i);
    Bytes packed = pack(data);
    for (size_t n = 0; n <= packed.size(); n++) {
        Exact cut(packed, n);
        int32_t size = rle_unpack(cut.p, nullptr, (int32_t)n, 0, 0);
        Bytes out((size_t)size);
        ASSERT_EQ(rle_unpack(cut.p, out.data(), (int32_t)n, size, 1), size);
        ASSERT_LE(out.size(), data.size());
        EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << "prefix " << n;
    }
}

TEST(Rle, WritingNeverPassesTheCapacity) {
    Bytes data(1000, 3);
    data[500] = 4;
    Bytes packed = pack(data);
    for (int32_t capacity : {0, 1, 2, 5, (int32_t)packed.size() - 1}) {
        Bytes out((size_t)capacity + 16, 0xEE);
        int32_t written = rle_pack(data.data(), out.data(), (int32_t)data.size(), capacity, 1);
        EXPECT_LE(written, capacity);
        for (size_t i = (size_t)capacity; i < out.size(); i++) ASSERT_EQ(out[i], 0xEE) << capacity;
        Bytes plain((size_t)capacity + 16, 0xEE);
        EXPECT_EQ(rle_unpack(packed.data(), plain.data(), (int32_t)packed.size(), capacity, 1), capacity);
        for (size_t i = (size_t)capacity; i < plain.size(); i++) ASSERT_EQ(plain[i], 0xEE) << capacity;
    }
}
