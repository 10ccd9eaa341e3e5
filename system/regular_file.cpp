#include "system/regular_file.h"

#include <cerrno>

#include "system/memory.h"
#include "system/platform.h"

static const char* const kModule = "vorsystem_1_11";

int32_t readRegularFile(const char* path, int64_t maxBytes, uint8_t** buffer, int64_t* size, int32_t* error) {
    *buffer = nullptr;
    *size = -1;
    *error = 0;
    int64_t bytes = 0;
    int32_t handle = platformOpenRegularFile(path, &bytes, error);
    if (handle == -2 || handle == -3) return REGULAR_FILE_NOT_REGULAR;
    if (handle < 0) return *error == ENOENT || *error == ENOTDIR ? REGULAR_FILE_MISSING : REGULAR_FILE_UNREADABLE;
    *size = bytes;
    if (bytes > maxBytes || bytes > INT32_MAX) {
        platformCloseFile(handle);
        return REGULAR_FILE_TOO_LARGE;
    }
    uint8_t* data = bytes > 0 ? (uint8_t*)MEM_ALLOC(nullptr, bytes) : nullptr;
    int64_t got = 0;
    while (got < bytes) {
        int64_t n = platformReadFile(handle, data + got, bytes - got, error);
        if (n <= 0) break;
        got += n;
    }
    platformCloseFile(handle);
    if (got != bytes) {  // a file that shrank or failed while being read is not taken
        MEM_FREE(data);
        if (*error == 0) *error = EIO;
        return REGULAR_FILE_UNREADABLE;
    }
    *buffer = data;
    return REGULAR_FILE_OK;
}
