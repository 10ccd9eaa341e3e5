// import-info: what the importer makes of a document, in a stable text form for tests and scripts.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "import/scene_import.h"
#include "object/mesh.h"
#include "object/node.h"
#include "object/object.h"
#include "object/object_model.h"
#include "strings/string_table.h"
#include "system/files.h"
#include "system/system.h"
#include "tools/vcvtool.h"

namespace {
const char* kindName(uint8_t kind) {
    switch (kind) {
        case NODE_OBJECT: return "OBJECT";
        case NODE_LIGHT: return "LIGHT";
        case NODE_CAMERA: return "CAMERA";
        default: return "EMPTY";
    }
}

const char* modeName(uint8_t mode) {
    return mode == MATERIAL_UNLIT ? "UNLIT" : mode == MATERIAL_TEXTURED ? "TEXTURED" : "LIT";
}

// One line per node of the tree, in pre-order; returns the count. *drawn receives the triangles
// of every node's object, an object held by several nodes counting for each.
int32_t printTree(int32_t root, int64_t* drawn) {
    int32_t count = 0;
    *drawn = 0;
    NodeWalk walk;
    nodeWalkBegin(&walk, &nodeTable);
    nodeWalkPush(&walk, root, 0, 0);
    NodeWalkStep step;
    while (nodeWalkNext(&walk, &step)) {
        const Node* n = nodeGet(step.node);
        count++;
        std::printf("node %d depth %d kind %s name \"%s\" attachment %d\n", step.node, step.depth, kindName(n->kind),
                    importNodeName(step.node), n->attachment);
        const Object* object = n->kind == NODE_OBJECT ? objectGet(n->attachment) : nullptr;
        for (int32_t i = 0; object && i < object->meshes.capacity; i++) {
            const Mesh* m = slotUnits(&object->meshes, i) > 0 ? meshGet(*(int32_t*)object->meshes.slots[i]) : nullptr;
            if (m) *drawn += m->indexCount / 3;
        }
        nodeWalkChildren(&walk, n, &step, 0);
    }
    nodeWalkEnd(&walk);
    return count;
}

// Work folders are named "vcvtool_<pid>"; one whose process is gone was left by a run that crashed.
void removeAbandonedWorkFolders(const std::filesystem::path& temp) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(temp, ec)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("vcvtool_", 0) != 0 || !entry.is_directory(ec)) continue;
        char* end = nullptr;
        long pid = std::strtol(name.c_str() + 8, &end, 10);
        if (!end || *end || pid <= 0 || pid > INT32_MAX || processExists((int32_t)pid)) continue;
        std::filesystem::remove_all(entry.path(), ec);
    }
}
}  // namespace

int toolImportInfo(int argc, char** argv) {
    char up = 0;
    if (argc == 3 && std::strcmp(argv[0], "--up") == 0 && argv[1][0] && !argv[1][1] && std::strchr("XYZ", argv[1][0])) {
        up = argv[1][0];
        argv += 2;
        argc -= 2;
    }
    if (argc != 1) {
        std::fprintf(stderr, "vcvtool: import-info: usage: import-info [--up X|Y|Z] FILE.dae\n");
        return 2;
    }
    importSetUpOverride(up);
    char dir[PATH_CAPACITY] = "./", name[PATH_CAPACITY];
    directoryPart(dir, argv[0]);
    fileNamePart(name, argv[0]);
    // Images are copied and converted into a folder of our own, named as the viewer's is so that the
    // pack name in the listing is the viewer's; removed afterwards.
    std::error_code tempError;
    std::filesystem::path temp = std::filesystem::temp_directory_path(tempError);
    if (tempError) temp = "/tmp";
    removeAbandonedWorkFolders(temp);
    std::string work = (temp / ("vcvtool_" + std::to_string(currentProcessId()))).string();
    std::string textures = work + "/texture_import/";
    makeDirectories(textures.c_str());

    stringsInit();
    objectModelInit();
    int32_t messages = stringTableCreate(-1);
    int32_t root = importScene(-1, name, dir, textures.c_str(), messages);
    for (int32_t i = 0; i < stringTableCount(messages); i++) std::printf("message %s\n", stringTableText(messages, i));
    const DocumentInfo* info = importLastDocument();
    if (info->version[0] || info->profile != PROFILE_EARLY || root >= 0) {
        static const char* const kProfiles[] = {"early", "1.4", "1.5"};
        // The axis the document is read with: declared, else Y for the later profiles.
        char up[8] = "none";
        char axis = info->upAxis ? info->upAxis : info->profile != PROFILE_EARLY ? 'Y' : 0;
        if (axis) up[0] = axis, up[1] = '\0';
        std::printf("document profile %s version \"%s\" up %s unit %g \"%s\"\n", kProfiles[info->profile % 3],
                    info->version, up, (double)info->unitMeter, info->unitName);
    }
    int status = 0;
    if (root < 0) {
        std::fprintf(stderr, "vcvtool: import-info: %s gives no model\n", argv[0]);
        status = 1;
    } else {
        // What the viewer shows: objects no node holds are dropped, as the scene update does.
        objectCollect();
        int64_t drawn = 0;
        int32_t nodes = printTree(root, &drawn);
        int64_t objects = 0, meshes = 0, vertices = 0, triangles = 0;
        for (int32_t o = 0; o < objectTable.capacity; o++) {
            const Object* object = objectGet(o);
            if (!object) continue;
            objects++;
            int32_t meshCount = 0;
            for (int32_t i = 0; i < object->meshes.capacity; i++) meshCount += slotUnits(&object->meshes, i) > 0;
            std::printf("object %d meshes %d references %d\n", o, meshCount, object->refCount);
            for (int32_t i = 0; i < object->meshes.capacity; i++) {
                if (slotUnits(&object->meshes, i) <= 0) continue;
                int32_t index = *(int32_t*)object->meshes.slots[i];
                const Mesh* m = meshGet(index);
                if (!m) continue;
                meshes++;
                vertices += m->vertexCount;
                triangles += m->indexCount / 3;
                std::printf("  mesh %d vertices %d triangles %d mode %s texture \"%s\" id %d transparent %s\n", index,
                            m->vertexCount, m->indexCount / 3, modeName(m->material.mode), m->material.textureName,
                            m->material.textureIds[0], materialIsTransparent(&m->material) ? "yes" : "no");
            }
        }
        std::printf("totals nodes %d objects %lld meshes %lld vertices %lld triangles %lld\n", nodes,
                    (long long)objects, (long long)meshes, (long long)vertices, (long long)triangles);
        std::printf("drawn triangles %lld\n", (long long)drawn);
        nodeDestroy(root);
        objectCollect();
    }
    objectModelShutdown();
    stringsShutdown();
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
    return status;
}
