#include "viewer/config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "system/blob.h"
#include "system/files.h"

char browseDirectory[CONFIG_SIZE];

void resetBrowseDirectory() {
    std::memset(browseDirectory, 0, sizeof browseDirectory);
    const char* home = std::getenv("HOME");
    size_t len = home ? std::strlen(home) : 0;
    if (len == 0 || len + 2 > sizeof browseDirectory) {
        browseDirectory[0] = PATH_SEP;
        return;
    }
    std::memcpy(browseDirectory, home, len);
    if (browseDirectory[len - 1] != PATH_SEP) browseDirectory[len] = PATH_SEP;
}

void loadViewerConfig() {
    resetBrowseDirectory();
    // Only the record's own bytes are read: a huge file costs no more than a right one.
    uint8_t buffer[CONFIG_SIZE];
    if (readFilePrefix("vcv.cfg", saveDirectory, buffer, CONFIG_SIZE) != CONFIG_SIZE) return;  // short: no change
    blobReadBegin(buffer, CONFIG_SIZE);
    blobGetBytes(browseDirectory, CONFIG_SIZE);
    // A file without a terminator must not make the directory text run past the buffer.
    browseDirectory[CONFIG_SIZE - 1] = '\0';
}

int32_t saveViewerConfig() {
    // Written beside and renamed over, so that a full disk or a crash never leaves half a file.
    char reason[256];
    if (writeWholeFileAtomic("vcv.cfg", saveDirectory, browseDirectory, CONFIG_SIZE, reason, sizeof reason) == 0)
        return 0;
    std::fprintf(stderr, "vcv: cannot save the settings in %svcv.cfg: %s\n", saveDirectory, reason);
    return -1;
}
