// Reading a file that may be anything a path can name: only a regular file of bounded size is read,
// so a directory, a device such as /dev/zero or a FIFO is refused without being read.
#pragma once
#include <cstdint>

enum : int32_t {
    REGULAR_FILE_OK = 0,
    REGULAR_FILE_MISSING = -1,      // no such entry
    REGULAR_FILE_NOT_REGULAR = -2,  // a directory, device, FIFO or socket
    REGULAR_FILE_TOO_LARGE = -3,    // more than the caller's bound
    REGULAR_FILE_UNREADABLE = -4    // cannot be opened or read (*error tells why)
};

// Reads path whole into a new memAlloc'd buffer (null for an empty file) when it is a regular
// file of at most maxBytes. REGULAR_FILE_OK with *buffer and *size; otherwise *buffer is null,
// *size is the file's size when known (else -1) and *error the system's error number when one
// applies (else 0).
int32_t readRegularFile(const char* path, int64_t maxBytes, uint8_t** buffer, int64_t* size, int32_t* error);
