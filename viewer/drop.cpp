#include "viewer/drop.h"

#include <cstdio>
#include <cstring>

#include "system/files.h"
#include "viewer/model_load.h"
#include "viewer/screens.h"

namespace {
enum { DROP_NONE = 0, DROP_DOCUMENT = 1, DROP_REFUSED = 2 };

struct DropState {
    int32_t kind = DROP_NONE;
    char path[PATH_CAPACITY];  // the document to open
    char message[PATH_CAPACITY + 128];  // why nothing is opened
};
DropState drop;

bool isDocument(const char* path) {
    size_t n = std::strlen(path);
    if (n < 4 || path[n - 4] != '.') return false;
    const char* ext = path + n - 3;
    for (int32_t i = 0; i < 3; i++) {
        char c = ext[i] >= 'A' && ext[i] <= 'Z' ? (char)(ext[i] - 'A' + 'a') : ext[i];
        if (c != "dae"[i]) return false;
    }
    return true;
}
}  // namespace

void dropReceived(int32_t count, const char* const* paths) {
    if (count <= 0 || !paths) return;
    for (int32_t i = 0; i < count; i++) {
        if (!paths[i] || !isDocument(paths[i])) continue;
        if (std::strlen(paths[i]) >= sizeof drop.path) {
            std::snprintf(drop.message, sizeof drop.message, "The path of the dropped document is too long to open.");
            drop.kind = DROP_REFUSED;
            return;
        }
        std::memcpy(drop.path, paths[i], std::strlen(paths[i]) + 1);
        drop.kind = DROP_DOCUMENT;
        return;
    }
    if (count == 1 && paths[0]) {
        char name[PATH_CAPACITY];
        fileNamePart(name, std::strlen(paths[0]) < sizeof name ? paths[0] : "");
        std::snprintf(drop.message, sizeof drop.message, "%s is not a COLLADA document (.dae).",
                      name[0] ? name : "The dropped file");
    } else {
        std::snprintf(drop.message, sizeof drop.message, "None of the %d dropped files is a COLLADA document (.dae).",
                      count);
    }
    drop.kind = DROP_REFUSED;
}

int32_t serviceDrop() {
    if (drop.kind == DROP_REFUSED) {
        drop.kind = DROP_NONE;
        showMessageBox(drop.message);
        return -1;
    }
    // A document dropped during a load opens when that load has ended.
    if (drop.kind != DROP_DOCUMENT || modelLoadPending()) return 0;
    drop.kind = DROP_NONE;
    if (requestModelLoad(drop.path) != 0) {
        showMessageBox("The path of the dropped document is too long to open.");
        return -1;
    }
    return 1;
}

bool dropPending() { return drop.kind != DROP_NONE; }
