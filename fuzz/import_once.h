// One import of arbitrary bytes as a COLLADA document held in memory, everything it made released
// afterwards; shared by the importer's fuzz targets.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

#include "import/scene_import.h"
#include "object/node.h"
#include "object/object.h"
#include "object/object_model.h"
#include "strings/string_table.h"
#include "system/files.h"

// Images a document names are copied into a folder of the target's own (named `name` in the
// temporary directory); relative ones are looked up in a folder that is empty.
inline int importOnce(const uint8_t* data, size_t size, const char* name) {
    if (size > (1u << 22)) return 0;
    std::string base = (std::filesystem::temp_directory_path() / name).string() + "/";
    std::error_code ignored;
    std::filesystem::create_directories(base + "doc", ignored);
    std::filesystem::create_directories(base + "textures", ignored);
    std::string doc = base + "doc/", textures = base + "textures/";
    stringsInit();
    deleteMatching("*.*", textures.c_str());
    objectModelInit();
    int32_t messages = stringTableCreate(-1);
    int32_t root = importSceneMemory(-1, data, (int32_t)size, doc.c_str(), textures.c_str(), messages);
    nodeDestroy(root);
    objectCollect();
    objectModelShutdown();
    stringsShutdown();
    return 0;
}
