#include "viewer/model_load.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "import/scene_import.h"
#include "object/node.h"
#include "strings/string_table.h"
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
    directoryPart(directory, full);
    fileNamePart(load.name, full);
    std::memcpy(load.directory, directory, std::strlen(directory) + 1);
    std::memset(browseDirectory, 0, sizeof browseDirectory);
    std::memcpy(browseDirectory, directory, std::strlen(directory) + 1);
    load.active = true;
    load.step = 0;
    return 0;
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
