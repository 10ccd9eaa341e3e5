#include "viewer/model_load.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "import/scene_import.h"
#include "object/node.h"
#include "strings/string_table.h"
#include "strings/text.h"
#include "system/files.h"
#include "texture/texture_pack.h"
#include "viewer/app.h"
#include "viewer/config.h"
#include "viewer/scene.h"

namespace {
struct ModelLoad {
    bool active = false;
    int32_t step = 0;
    char name[PATH_CAPACITY];
    char directory[PATH_CAPACITY];
};
ModelLoad load;
}  // namespace

int32_t importModel(const char* name, const char* directory) {
    hideModel();
    deleteMatching("*.*", imageImportDirectory);
    int32_t messages = viewerScene.importMessages;
    stringTableClear(messages);
    viewerScene.modelRoot =
        importScene(viewerScene.modelRoot, name, directory, imageImportDirectory, messages);
    // What went wrong goes where a user running from a terminal looks for it.
    for (int32_t i = 0; i < stringTableCount(messages); i++) {
        const char* text = stringTableText(messages, i);
        bool problem = std::strncmp(text, "[ERROR]", 7) == 0 || std::strncmp(text, "[WARNING]", 9) == 0;
        std::fprintf(problem ? stderr : stdout, "%s\n", text);
    }
    std::fflush(stdout);
    if (viewerScene.modelRoot < 0) {
        std::fprintf(stderr, "vcv: %s%s gives no model\n", directory, name);
        return -1;
    }
    if (texture_pack_build(imageImportDirectory) != 0) {
        char reason[256];
        lastFileError(reason, sizeof reason);
        std::fprintf(stderr, "vcv: cannot write the texture pack in %s (%s): the model shows without textures\n",
                     imageImportDirectory, reason);
    }
    sceneUpdate(viewerScene.modelRoot, imageImportDirectory);
    return showModel(viewerScene.modelRoot);
}

int32_t startModelLoad(const char* name, const char* directory) {
    if (textLengthWithin(name, PATH_CAPACITY) >= PATH_CAPACITY ||
        textLengthWithin(directory, PATH_CAPACITY) >= PATH_CAPACITY)
        return -1;
    textCopy(load.name, name, PATH_CAPACITY);
    textCopy(load.directory, directory, PATH_CAPACITY);
    load.active = true;
    load.step = 0;
    return 0;
}

int32_t requestModelLoad(const char* path) {
    char full[PATH_CAPACITY];
    // The browse directory and the importer work with absolute directories.
    char* resolved = realpath(path, nullptr);
    const char* absolute = resolved ? resolved : path;
    bool fits = std::strlen(absolute) < sizeof full;
    if (fits) std::memcpy(full, absolute, std::strlen(absolute) + 1);
    std::free(resolved);
    if (!fits) return -1;
    char directory[PATH_CAPACITY] = "." PATH_SEP_TEXT;
    char name[PATH_CAPACITY];
    directoryPart(directory, full);
    fileNamePart(name, full);
    if (startModelLoad(name, directory) != 0) return -1;
    std::memset(browseDirectory, 0, sizeof browseDirectory);
    std::memcpy(browseDirectory, directory, std::strlen(directory) + 1);
    return 0;
}

namespace {
// Appends text to out (cap bytes, kept terminated); false once it no longer fits.
bool append(char* out, int32_t cap, const char* text) {
    size_t used = std::strlen(out), n = std::strlen(text);
    if (used + n + 1 > (size_t)cap) return false;
    std::memcpy(out + used, text, n + 1);
    return true;
}

bool startsWith(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }
}  // namespace

void importProblems(int32_t result, char* out, int32_t cap) {
    if (cap < 1) return;
    out[0] = '\0';
    int32_t messages = viewerScene.importMessages;
    int32_t count = stringTableCount(messages);
    if (result != 0) {
        for (int32_t i = 0; i < count; i++) {
            const char* text = stringTableText(messages, i);
            if (startsWith(text, "[ERROR] ")) {
                textCopy(out, text + 8, cap);  // a reason longer than the box is cut, never dropped
                return;
            }
        }
        std::snprintf(out, (size_t)cap, "%s gives no model.", load.name);
        return;
    }
    // Images the model had to do without: "[ERROR] image <path> <reason>."; the names are listed.
    const int32_t kListed = 6;
    int32_t images = 0;
    char names[1024] = "";
    for (int32_t i = 0; i < count; i++) {
        const char* text = stringTableText(messages, i);
        if (!startsWith(text, "[ERROR] image ")) continue;
        const char* path = text + 14;
        const char* end = std::strstr(path, " not found.");
        for (const char* reason : {" is ", " cannot ", " has "})
            if (!end) end = std::strstr(path, reason);
        if (!end) continue;
        if (++images > kListed) continue;
        char full[PATH_CAPACITY], name[PATH_CAPACITY];
        size_t n = std::min((size_t)(end - path), sizeof full - 1);
        std::memcpy(full, path, n);
        full[n] = '\0';
        fileNamePart(name, full);
        if (images > 1) append(names, sizeof names, ", ");
        append(names, sizeof names, name);
    }
    if (images == 0) return;
    std::snprintf(out, (size_t)cap, "The model opened without %d image%s: %s%s.", images, images == 1 ? "" : "s",
                  names, images > kListed ? ", ..." : "");
}

int32_t serviceModelLoad() {
    if (!load.active) return 0;
    int32_t result = 0;
    if (load.step == 1) result = importModel(load.name, load.directory) == 0 ? 1 : -1;
    if (load.step == 2) load.active = false;
    load.step++;
    return result;
}

bool modelLoadPending() { return load.active; }

const char* modelLoadName() { return load.name; }
const char* modelLoadDirectory() { return load.directory; }
