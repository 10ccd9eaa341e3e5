// Tracked memory: every heap block of the engine goes through these three calls, which carry the
// calling module's name and source line. The idiom for freeing is p = memFree(p, module, line).
#pragma once
#include <cstdint>

// Frees the block when p is not null; returns null.
void* memFree(void* p, const char* module, int line);
// Frees the old block (if any), then allocates size bytes (size > 0) or returns null. Contents are
// neither kept nor cleared. Running out of memory prints the module and line and aborts the process.
void* memAlloc(void* old, int64_t size, const char* module, int line);
// Resizes keeping the contents (a null p allocates); size <= 0 frees and returns null.
void* memRealloc(void* p, int64_t size, const char* module, int line);
// Asks the system to back the block with huge pages where it offers them, so that touching a
// large block for the first time takes few page faults. Changes nothing else; small blocks are left.
void memAdviseHugePages(void* p, int64_t size);
// Size in bytes of a block returned by memAlloc/memRealloc (0 for null).
int64_t memBlockSize(const void* p);
// Tracked blocks allocated and not yet freed, and their bytes (as memBlockSize counts them): what a
// long session can compare to find blocks that are never given back.
int64_t memLiveBlocks();
int64_t memLiveBytes();

// Shorthands for a source file that defines `static const char* const kModule = "...";`.
#define MEM_ALLOC(p, size) memAlloc((p), (size), kModule, __LINE__)
#define MEM_REALLOC(p, size) memRealloc((p), (size), kModule, __LINE__)
#define MEM_FREE(p) memFree((p), kModule, __LINE__)
