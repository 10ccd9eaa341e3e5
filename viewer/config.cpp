#include "viewer/config.h"

#include <cstdlib>
#include <cstring>

#include "system/blob.h"
#include "system/files.h"
#include "system/memory.h"

char browseDirectory[CONFIG_SIZE];

static const char* const kModule = "vor_cv_main";

static void defaultBrowseDirectory() {
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
    defaultBrowseDirectory();
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    if (readWholeFile("vcv.cfg", saveDirectory, &buffer, &size) != 0) return;
    blobReadBegin(buffer, size);
    blobGetBytes(browseDirectory, CONFIG_SIZE);  // a short file changes nothing
    MEM_FREE(buffer);
    // A file without a terminator must not make the directory text run past the buffer.
    browseDirectory[CONFIG_SIZE - 1] = '\0';
}

int32_t saveViewerConfig() { return writeWholeFile("vcv.cfg", saveDirectory, browseDirectory, CONFIG_SIZE); }
