#include "strings/string_table.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "strings/text.h"
#include "system/files.h"
#include "system/memory.h"
#include "system/messages.h"

static const char* const kModule = "vorstring_1_11";

SlotTable stringRegistry;

static const uint8_t kWhite[4] = {255, 255, 255, 255};
static const char kEmpty[] = "";

void stringsInit() {
    scratchText = (char*)MEM_ALLOC(scratchText, SCRATCH_CAPACITY);
    scratchText[0] = '\0';
    slotInit(&stringRegistry, 4, (int32_t)sizeof(StringTable));
}

void stringsShutdown() {
    for (int32_t i = 0; i < stringRegistry.capacity; i++)
        if (slotUnits(&stringRegistry, i) > 0) stringTableDestroy(i);
    slotFree(&stringRegistry);
    scratchText = (char*)MEM_FREE(scratchText);
}

StringTable* stringTableGet(int32_t handle) { return slotGet<StringTable>(&stringRegistry, handle); }

int32_t stringTableCreate(int32_t handle) {
    if (handle != -1) stringTableDestroy(handle);
    int32_t h = slotAdd(&stringRegistry, 1, -1);
    StringTable* t = stringTableGet(h);
    if (!t) return -1;  // the strings module has not been started
    t->count = 0;
    slotInit(&t->texts, 4, 1);
    slotInit(&t->values, 4, 4);
    t->texts.cursor = t->values.cursor = 0;
    return h;
}

int32_t stringTableDestroy(int32_t handle) {
    StringTable* t = stringTableGet(handle);
    if (!t) return -1;
    slotFree(&t->texts);
    slotFree(&t->values);
    t->count = 0;
    // The registry slot goes back too, so that listing directories again and again does not grow it.
    slotRelease(&stringRegistry, handle);
    return -1;
}

void stringTableClear(int32_t handle) {
    StringTable* t = stringTableGet(handle);
    if (t) t->count = 0;
}

// Stores text (length bytes) and value at entry slot i.
static void storeEntry(StringTable* t, int32_t i, const char* text, int32_t length, const uint8_t value[4]) {
    int32_t slot = slotAdd(&t->texts, length + 1, i);
    char* dst = (char*)t->texts.slots[slot];
    if (length > 0) std::memcpy(dst, text, (size_t)length);
    dst[length] = '\0';
    slot = slotAdd(&t->values, 1, i);
    std::memcpy(t->values.slots[slot], value, 4);
}

void stringTableAddRun(int32_t handle, const char* text, int32_t length, const uint8_t value[4]) {
    StringTable* t = stringTableGet(handle);
    if (!t) return;
    if (length < 0) length = textLength(text);
    storeEntry(t, t->count, text, length, value);
    t->count++;
}

void stringTableAdd(int32_t handle, const char* text, const uint8_t value[4]) {
    stringTableAddRun(handle, text, -1, value);
}

int32_t stringTableCount(int32_t handle) {
    StringTable* t = stringTableGet(handle);
    return t ? t->count : 0;
}

const char* stringTableText(int32_t handle, int32_t i) {
    StringTable* t = stringTableGet(handle);
    if (!t || i < 0 || i >= t->count) return kEmpty;
    const char* text = (const char*)slotData(&t->texts, i);
    return text ? text : kEmpty;
}

void stringTableValue(int32_t handle, int32_t i, uint8_t out[4]) {
    StringTable* t = stringTableGet(handle);
    if (!t || i < 0 || i >= t->count) return;
    const uint8_t* v = (const uint8_t*)slotData(&t->values, i);
    if (v) std::memcpy(out, v, 4);
}

int32_t stringTableSorted(int32_t handle) {
    int32_t sorted = stringTableCreate(-1);
    StringTable* source = stringTableGet(handle);
    if (!source || sorted < 0) return sorted;
    int32_t n = source->count;
    // Each entry's place is the number of entries it compares greater than; equal texts keep their
    // order of entry. A stable sort yields exactly these places.
    std::vector<int32_t> order((size_t)n);
    for (int32_t i = 0; i < n; i++) order[(size_t)i] = i;
    std::stable_sort(order.begin(), order.end(), [handle](int32_t a, int32_t b) {
        return textCompareNoCase(stringTableText(handle, a), stringTableText(handle, b)) < 0;
    });
    for (int32_t k = 0; k < n; k++) {
        int32_t i = order[(size_t)k];
        uint8_t value[4] = {0, 0, 0, 0};
        stringTableValue(handle, i, value);
        const char* text = stringTableText(handle, i);
        storeEntry(stringTableGet(sorted), k, text, textLength(text), value);
    }
    stringTableGet(sorted)->count = n;
    stringTableDestroy(handle);
    return sorted;
}

void stringTableParse(const char* buffer, int32_t length, int32_t handle) {
    int32_t p = 0;
    while (p < length) {
        char c = buffer[p++];
        if (c == '/') {
            int32_t e = nextLine(buffer, length, p);
            if (e == p) return;
            p = e;
            continue;
        }
        if (c < '0' || c > '9') continue;
        while (p < length && buffer[p] != '=') p++;
        if (p >= length) return;  // a number without "=" starts no entry
        int32_t start = ++p;
        int32_t e = nextLine(buffer, length, start);
        if (e == start) return;
        int32_t end = e;
        if (e - 2 >= start && buffer[e - 2] == '\r' && buffer[e - 1] == '\n') end = e - 2;
        stringTableAddRun(handle, buffer + start, end - start, kWhite);
        p = e;
    }
}

int32_t stringTableLoad(const char* name, const char* dir) {
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    if (readWholeFile(name, dir, &buffer, &size) != 0) return -1;
    int32_t handle = stringTableCreate(-1);
    stringTableParse((const char*)buffer, size, handle);
    MEM_FREE(buffer);
    return handle;
}

void stringTableShow(int32_t handle) {
    char text[1024];
    int32_t used = std::snprintf(text, sizeof text, "String %d = \n\r", handle);
    for (int32_t i = 0; i < stringTableCount(handle) && used < (int32_t)sizeof text - 1; i++) {
        int n = std::snprintf(text + used, sizeof text - (size_t)used, "%d=%s\r\n", i,
                              stringTableText(handle, i));
        if (n < 0) break;
        used += n;
    }
    showMessage("%s", text);
}

static int32_t listKind(const char* pattern, const char* dir, const uint8_t value[4], int32_t kind) {
    int32_t table = stringTableCreate(-1);
    for (int32_t r = findFirst(pattern, dir, kind); r == 0; r = findNext())
        stringTableAdd(table, foundName, value);
    return stringTableSorted(table);
}

int32_t listFiles(const char* pattern, const char* dir, const uint8_t value[4]) {
    return listKind(pattern, dir, value, 1);
}

int32_t listDirectories(const char* pattern, const char* dir, const uint8_t value[4]) {
    return listKind(pattern, dir, value, 0);
}
