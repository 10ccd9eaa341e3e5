// Times the COLLADA import of a document: import_bench [FILE.dae [RUNS]]. Without a file it generates
// a document of 500 000 quads (1 000 with holes) with the team's generator beside the checkout. One
// run in a fresh process is what a user opening a file waits for; later runs reuse freed memory.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "import/scene_import.h"
#include "object/mesh.h"
#include "object/node.h"
#include "object/object.h"
#include "object/object_model.h"
#include "strings/string_table.h"
#include "system/files.h"

int main(int argc, char** argv) {
    std::string path = argc > 1 ? argv[1] : "/tmp/vcv_import_bench.dae";
    if (argc <= 1 && !fileExists(path.c_str())) {
        std::string generator = std::string(VCV_SOURCE_DIR) + "/../shared/bench/gen_dae.py";
        std::string command = "python3 " + generator + " --quads 500000 --geoms 50 --holes 1000 --out " + path;
        std::printf("generating: %s\n", command.c_str());
        if (std::system(command.c_str()) != 0) return 1;
    }
    char dir[PATH_CAPACITY] = "./", name[PATH_CAPACITY];
    directoryPart(dir, path.c_str());
    fileNamePart(name, path.c_str());
    std::string textures = "/tmp/vcv_import_bench_textures/";
    makeDirectories(textures.c_str());
    stringsInit();
    objectModelInit();
    int32_t messages = stringTableCreate(-1);
    int32_t root = -1;
    int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    for (int run = 0; run < runs; run++) {
        auto start = std::chrono::steady_clock::now();
        root = importScene(root, name, dir, textures.c_str(), messages);
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        int64_t triangles = 0, meshes = 0;
        for (int32_t i = 0; i < meshTable.capacity; i++) {
            if (const Mesh* m = meshGet(i)) {
                meshes++;
                triangles += m->indexCount / 3;
            }
        }
        std::printf("import %s: %.1f ms, %lld meshes, %lld triangles (root %d)\n", name, ms, (long long)meshes,
                    (long long)triangles, root);
    }
    nodeDestroy(root);
    objectCollect();
    objectModelShutdown();
    stringsShutdown();
    return 0;
}
