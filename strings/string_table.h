// Numbered string tables: lists of texts, each with a 4-byte value (such as a colour), held in a
// registry and named by handle (-1 = none). Language files hold one "N=text" entry per CR LF line.
#pragma once
#include <cstdint>

#include "system/slot_table.h"

struct StringTable {
    int32_t count;      // entries 0 .. count - 1
    SlotTable texts;    // slot i: text i with its terminator (unit size 1)
    SlotTable values;   // slot i: the 4-byte value of entry i (unit size 4)
};

// The registry of tables, one StringTable per slot.
extern SlotTable stringRegistry;

// Start-up: scratch buffer and empty registry. Shut-down: destroys every table, frees both.
void stringsInit();
void stringsShutdown();

// Destroys the given table (unless -1), then makes a fresh empty one; returns its handle.
int32_t stringTableCreate(int32_t handle);
// Frees the table and gives its registry slot back. Always returns -1.
int32_t stringTableDestroy(int32_t handle);
// count = 0; buffers are kept for later additions.
void stringTableClear(int32_t handle);
// Appends an entry (text of `length` bytes, or up to its terminator when length < 0).
void stringTableAdd(int32_t handle, const char* text, const uint8_t value[4]);
void stringTableAddRun(int32_t handle, const char* text, int32_t length, const uint8_t value[4]);
// The record of a handle, or null when the handle names no table.
StringTable* stringTableGet(int32_t handle);
// Number of entries (0 for a handle that names no table).
int32_t stringTableCount(int32_t handle);
// Text i, valid until the entry changes; "" for an index or handle that names nothing.
const char* stringTableText(int32_t handle, int32_t i);
// Copies the 4-byte value of entry i into out (untouched when there is no such entry).
void stringTableValue(int32_t handle, int32_t i, uint8_t out[4]);
// A new table with the entries sorted case-insensitively (values moved along); the source is
// destroyed. Texts that compare equal keep their order of entry, so every entry stays readable.
int32_t stringTableSorted(int32_t handle);
// Reads a language file into a new table; -1 when the file is missing or empty.
int32_t stringTableLoad(const char* name, const char* dir);
// Adds the entries found in buffer[0 .. length - 1] to the table. The buffer is only read: a last
// line without CR LF is taken whole, and nothing past `length` is touched.
void stringTableParse(const char* buffer, int32_t length, int32_t handle);
// A new table of the names that findFirst / findNext (system/files.h) give for the pattern, each with
// the 4-byte value, sorted case-insensitively.
int32_t listFiles(const char* pattern, const char* dir, const uint8_t value[4]);
int32_t listDirectories(const char* pattern, const char* dir, const uint8_t value[4]);
// Shows the table through showMessage: "String %d = \n\r" then "%d=%s\r\n" per entry.
void stringTableShow(int32_t handle);
