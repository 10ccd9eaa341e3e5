// Single members of zip archives, read through minizip's unzip layer. An archive is named by a
// directory text and a file name joined as every engine file is; a member by its name inside the
// archive, matched with minizip's default case rule (case-sensitive here).
#pragma once
#include <cstdint>

// Uncompressed size of the member, or -1 when the archive cannot be opened, the member is not
// found, its information cannot be read or its size does not fit in an int32.
int32_t pack_member_size(const char* member, const char* dir, const char* archive);
// Reads the whole uncompressed member into buffer, which holds capacity bytes; returns the
// member's size. -1, with nothing written, for the failures of pack_member_size and when the member
// is larger than capacity; -1 as well when inflating fails or the data do not match the stored
// checksum (the buffer may then hold part of the member).
int32_t pack_member_read(uint8_t* buffer, int32_t capacity, const char* member, const char* dir,
                         const char* archive);
