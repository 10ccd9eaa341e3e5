#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/test_support.h"
#include "system/blob.h"
#include "system/memory.h"
#include "system/slot_table.h"

namespace {

struct Table {
    SlotTable t;
    explicit Table(int32_t unitSize) { slotInit(&t, 4, unitSize); }
    ~Table() { slotFree(&t); }
};

std::vector<uint8_t> toBlob(const SlotTable& t) {
    uint8_t* blob = nullptr;
    int32_t size = 0;
    slotToBlob(&blob, &size, &t);
    std::vector<uint8_t> out(blob, blob + size);
    memFree(blob, "test", __LINE__);
    return out;
}

}  // namespace

TEST(SlotTable, GrowsTwoSixFourteenThirtyWhenFilledOneByOne) {
    Table tab(8);
    std::vector<int32_t> capacities;
    for (int i = 0; i < 30; i++) {
        ASSERT_EQ(slotAdd(&tab.t, 1, -1), i);
        if (capacities.empty() || capacities.back() != tab.t.capacity) capacities.push_back(tab.t.capacity);
    }
    EXPECT_EQ(capacities, (std::vector<int32_t>{2, 6, 14, 30}));
}

TEST(SlotTable, ExplicitIndexGrowsToTwiceIndexPlusTwoLeavingGapsUnused) {
    Table tab(4);
    slotAdd(&tab.t, 1, -1);
    EXPECT_EQ(slotAdd(&tab.t, 1, 10), 10);
    EXPECT_EQ(tab.t.capacity, 22);
    EXPECT_EQ(slotUnits(&tab.t, 21), 0);
    // The first-free search still finds the lowest gap.
    EXPECT_EQ(slotAdd(&tab.t, 1, -1), 1);
    EXPECT_EQ(slotAdd(&tab.t, 1, 22), 22);  // the capacity itself is past the end too
    EXPECT_EQ(tab.t.capacity, 46);
}

TEST(SlotTable, ReleasedSlotIsReusedWithItsBufferAndContents) {
    Table tab(16);
    for (int i = 0; i < 6; i++) {
        int32_t s = slotAdd(&tab.t, 1, -1);
        std::memset(tab.t.slots[s], 'a' + i, 16);
    }
    void* old = tab.t.slots[3];
    slotRelease(&tab.t, 3);
    slotRelease(&tab.t, 3);  // a second release keeps it released
    EXPECT_EQ(slotUnits(&tab.t, 3), -1);
    EXPECT_EQ(slotData(&tab.t, 3), nullptr);
    EXPECT_EQ(slotAdd(&tab.t, 1, -1), 3);
    EXPECT_EQ(tab.t.slots[3], old);
    EXPECT_EQ(((char*)tab.t.slots[3])[15], 'd');
    // A different unit count, larger or smaller, gets a fresh buffer of the new size.
    slotRelease(&tab.t, 3);
    EXPECT_EQ(slotAdd(&tab.t, 5, 3), 3);
    EXPECT_EQ(slotUnits(&tab.t, 3), 5);
    EXPECT_GE(memBlockSize(tab.t.slots[3]), 80);
    slotRelease(&tab.t, 3);
    EXPECT_EQ(slotAdd(&tab.t, 2, -1), 3);
    EXPECT_EQ(slotUnits(&tab.t, 3), 2);
}

TEST(SlotTable, RejectsCallerErrorsWithoutTouchingTheTable) {
    Table tab(4);
    slotAdd(&tab.t, 1, -1);
    for (auto [units, index] : {std::pair<int32_t, int32_t>{0, -1}, {-3, -1}, {1, -2}, {1, 1 << 30}})
        EXPECT_EQ(slotAdd(&tab.t, units, index), -1) << units << " " << index;
    EXPECT_EQ(tab.t.capacity, 2);
    slotRelease(&tab.t, -1);
    slotRelease(&tab.t, 99);
    EXPECT_EQ(slotUnits(&tab.t, -5), -1);
    EXPECT_EQ(slotUnits(&tab.t, tab.t.capacity), -1);
    EXPECT_EQ(slotData(&tab.t, tab.t.capacity), nullptr);
    EXPECT_EQ(slotUnits(&tab.t, 0), 1);
}

TEST(SlotTable, IteratesSlotsInUseAndFreesRepeatably) {
    Table tab(4);
    for (int i = 0; i < 5; i++) slotAdd(&tab.t, 1, -1);
    slotRelease(&tab.t, 1);
    slotRelease(&tab.t, 3);
    std::vector<int32_t> seen;
    for (int32_t i = slotFirst(&tab.t); i != -1; i = slotNext(&tab.t)) seen.push_back(i);
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 2, 4}));
    slotFree(&tab.t);  // and once more by the destructor
    EXPECT_EQ(tab.t.slots, nullptr);
    EXPECT_EQ(tab.t.capacity, 0);
}

TEST(SlotTable, BlobOfSlotsZeroAndFiveIs140BytesAndLoadsAsZeroAndOne) {
    Table tab(60);
    EXPECT_EQ(toBlob(tab.t).size(), 12u);
    slotAdd(&tab.t, 1, 0);
    slotAdd(&tab.t, 1, 5);
    std::memset(tab.t.slots[0], 0x11, 60);
    std::memset(tab.t.slots[5], 0x55, 60);
    std::vector<uint8_t> blob = toBlob(tab.t);
    ASSERT_EQ(blob.size(), 140u);
    EXPECT_TRUE(blob[0] == 2 && blob[4] == 4 && blob[8] == 60);
    SlotTable loaded{};
    ASSERT_EQ(slotFromBlob(&loaded, blob.data(), (int32_t)blob.size()), 0);
    EXPECT_EQ(loaded.unitSize, 60);
    EXPECT_EQ(((uint8_t*)loaded.slots[0])[59], 0x11);
    EXPECT_EQ(((uint8_t*)loaded.slots[1])[0], 0x55);
    EXPECT_EQ(toBlob(loaded), blob);
    slotFree(&loaded);
}

TEST(SlotTable, SaveAndLoadThroughAFile) {
    TempDir dir;
    Table tab(3), loaded(3);
    int32_t s = slotAdd(&tab.t, 2, 4);
    std::memcpy(tab.t.slots[s], "abcdef", 6);
    ASSERT_EQ(slotSave("t.slt", dir.path().c_str(), &tab.t), 0);
    EXPECT_EQ(readBytes(dir.file("t.slt")).size(), 12u + 4u + 6u);
    ASSERT_EQ(slotLoad("t.slt", dir.path().c_str(), &loaded.t), 0);
    EXPECT_EQ(std::memcmp(loaded.t.slots[0], "abcdef", 6), 0);
    // A failed load leaves the table as it was.
    EXPECT_EQ(slotLoad("missing.slt", dir.path().c_str(), &loaded.t), -1);
    EXPECT_EQ(slotUnits(&loaded.t, 0), 2);
    EXPECT_EQ(slotSave("t.slt", (dir.path() + "no/such/dir/").c_str(), &tab.t), -1);
}

TEST(SlotTable, EveryTruncationOfABlobLoadsOnlyWholeRecords) {
    Table tab(7);
    for (int i = 0; i < 3; i++) {
        int32_t s = slotAdd(&tab.t, i + 1, -1);
        std::memset(tab.t.slots[s], 'x' + i, (size_t)(i + 1) * 7);
    }
    std::vector<uint8_t> blob = toBlob(tab.t);
    const size_t recordEnds[] = {12 + 4 + 7, 12 + 4 + 7 + 4 + 14, blob.size()};
    for (size_t len = 0; len <= blob.size(); len++) {
        std::vector<uint8_t> cut(blob.begin(), blob.begin() + (long)len);  // exact-size buffer for ASan
        SlotTable t{};
        EXPECT_EQ(slotFromBlob(&t, cut.data(), (int32_t)len), len == blob.size() ? 0 : -1) << len;
        int whole = 0, inUse = 0;
        for (size_t end : recordEnds) whole += len >= end;
        for (int32_t i = 0; i < t.capacity; i++) inUse += slotUnits(&t, i) > 0;
        EXPECT_EQ(inUse, whole) << len;
        slotFree(&t);
    }
}

TEST(SlotTable, LyingBlobsAreRefused) {
    const struct {
        const char* what;
        std::vector<int32_t> words;
    } cases[] = {
        {"huge count", {0x7FFFFFFF, 4, 1, 1, 0}},
        {"negative count", {-1, 4, 1}},
        {"negative units", {1, 4, 8, -2, 0, 0}},
        {"huge units", {1, 4, 8, 0x7FFFFFFF, 0, 0}},
        {"units times size overflows", {1, 4, 0x10000, 0x10000, 0}},
        {"zero units", {1, 4, 4, 0, 0}},
        {"entry size not 4", {1, 1, 4, 1, 0}},
        {"zero unit size", {1, 4, 0, 1, 0}},
        {"negative unit size", {1, 4, -4, 1, 0}},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> blob;
        for (int32_t w : c.words) putLe32(blob, w);
        SlotTable t{};
        EXPECT_EQ(slotFromBlob(&t, blob.data(), (int32_t)blob.size()), -1) << c.what;
        slotFree(&t);
    }
    SlotTable t{};
    EXPECT_EQ(slotFromBlob(&t, nullptr, 0), -1);
    EXPECT_EQ(slotFromBlob(&t, (const uint8_t*)"\1\0\0", 3), -1);
}

TEST(SlotTable, BlobOfOtherUnitsIsRefusedByATableInitialisedForItsRecords) {
    Table small(8);
    slotAdd(&small.t, 1, -1);
    std::vector<uint8_t> blob = toBlob(small.t);
    Table records(60);
    EXPECT_EQ(slotFromBlob(&records.t, blob.data(), (int32_t)blob.size()), -1);
    EXPECT_TRUE(records.t.unitSize == 60 && records.t.capacity == 0);
}

TEST(Memory, AllocFreesTheOldBlockAndZeroSizeGivesNull) {
    void* p = memAlloc(nullptr, 10, "test", __LINE__);
    EXPECT_EQ(memAlloc(p, 0, "test", __LINE__), nullptr);  // frees p (ASan would report a leak)
    void* q = memRealloc(nullptr, 16, "test", __LINE__);
    std::memset(q, 7, 16);
    q = memRealloc(q, 4096, "test", __LINE__);
    EXPECT_EQ(((uint8_t*)q)[15], 7);
    EXPECT_EQ(memRealloc(q, -1, "test", __LINE__), nullptr);
    EXPECT_EQ(memFree(nullptr, "test", __LINE__), nullptr);
}

TEST(Blob, LittleEndianFieldsAndNoAccessPastEitherEnd) {
    uint8_t out[7] = {0};
    blobWriteBegin(out, 6);
    blobPut16(0x1234);
    blobPut32(0x89ABCDEFu);
    EXPECT_FALSE(blobWriteOverflow());
    blobPut8(0x77);  // one byte too many: nothing written
    EXPECT_TRUE(blobWriteOverflow());
    EXPECT_EQ(std::vector<uint8_t>(out, out + 7), (std::vector<uint8_t>{0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89, 0}));
    uint16_t a = 0;
    uint32_t b = 0, c = 7;
    blobReadBegin(out, 6);
    blobGet16(&a);
    blobGet32(&b);
    EXPECT_TRUE(a == 0x1234 && b == 0x89ABCDEFu && !blobReadOverflow());
    blobReadBegin(out, 5);  // a 32-bit value one byte short
    blobSkip(2);
    blobGet32(&c);
    EXPECT_TRUE(blobReadOverflow() && c == 7u);
}
