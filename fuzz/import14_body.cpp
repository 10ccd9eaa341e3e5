// Imports arbitrary bytes as a COLLADA 1.4 / 1.5 document held in memory, then releases everything
// it made. The seeds are later-profile documents; the input's length picks the up-axis override, so
// every turn of the model runs without spending a byte of the document on it.
#include <filesystem>
#include <string>

#include "fuzz/fuzz_target.h"
#include "import/scene_import.h"
#include "object/node.h"
#include "object/object.h"
#include "object/object_model.h"
#include "strings/string_table.h"
#include "system/files.h"

VCV_FUZZ_TARGET(import14) {
    if (size > (1u << 22)) return 0;
    // Images a document names are copied here; relative ones are looked up in a folder that is empty.
    static const std::string base = [] {
        std::string b = (std::filesystem::temp_directory_path() / "vcv_fuzz_import14").string() + "/";
        std::filesystem::create_directories(b + "doc");
        std::filesystem::create_directories(b + "textures");
        return b;
    }();
    std::string doc = base + "doc/", textures = base + "textures/";
    static const char kAxes[4] = {0, 'X', 'Y', 'Z'};
    importSetUpOverride(kAxes[size % 4]);
    stringsInit();
    deleteMatching("*.*", textures.c_str());
    objectModelInit();
    int32_t messages = stringTableCreate(-1);
    int32_t root = importSceneMemory(-1, data, (int32_t)size, doc.c_str(), textures.c_str(), messages);
    nodeDestroy(root);
    objectCollect();
    objectModelShutdown();
    stringsShutdown();
    importSetUpOverride(0);
    return 0;
}
