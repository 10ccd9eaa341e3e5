#include "pack/zip.h"

#include <minizip/unzip.h>

#include <cstdint>

#include "system/files.h"

namespace {
// Opens the archive with the member current; null when either is missing. *size receives the
// member's uncompressed size, or -1 when it does not fit in an int32.
unzFile openAt(const char* member, const char* dir, const char* archive, int32_t* size) {
    char path[PATH_CAPACITY];
    if (!member || !archive || !dir || joinPath(path, dir, archive) != 0) return nullptr;
    unzFile zip = unzOpen64(path);
    if (!zip) return nullptr;
    unz_file_info64 info;
    // 0 asks for minizip's default comparison.
    if (unzLocateFile(zip, member, 0) != UNZ_OK ||
        unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
        unzClose(zip);
        return nullptr;
    }
    *size = info.uncompressed_size > (uint64_t)INT32_MAX ? -1 : (int32_t)info.uncompressed_size;
    return zip;
}
}  // namespace

int32_t pack_member_size(const char* member, const char* dir, const char* archive) {
    int32_t size = -1;
    unzFile zip = openAt(member, dir, archive, &size);
    if (!zip) return -1;
    unzClose(zip);
    return size;
}

int32_t pack_member_read(uint8_t* buffer, int32_t capacity, const char* member, const char* dir,
                         const char* archive) {
    int32_t size = -1;
    unzFile zip = openAt(member, dir, archive, &size);
    if (!zip) return -1;
    if (size < 0 || size > capacity || (size > 0 && !buffer) || unzOpenCurrentFile(zip) != UNZ_OK) {
        unzClose(zip);
        return -1;
    }
    int32_t done = 0;
    while (done < size) {
        int got = unzReadCurrentFile(zip, buffer + done, (unsigned)(size - done));
        if (got <= 0) break;
        done += got;
    }
    // Closing the member checks the CRC once everything was read.
    int closed = unzCloseCurrentFile(zip);
    unzClose(zip);
    return (done == size && closed == UNZ_OK) ? size : -1;
}
