// vcvtool COMMAND ARGS...: one executable, a table of subcommands.
#include "tools/vcvtool.h"

#include <cstdio>
#include <cstring>

#include "strings/string_table.h"

namespace {
const ToolCommand kCommands[] = {
    {"jpeg2ppm", "IN.jpg OUT.ppm", "decode a JPEG with the engine's decoder into a binary PPM", toolJpegToPpm},
    {"build-set", "[--jpeg-only] DIR OUT.stf", "build a scrambled interface set file from DIR/N_*",
     toolBuildSet},
    {"pack-info", "[--pack | --set] FILE.stf", "list the records of a texture pack or an interface set file",
     toolPackInfo},
    {"import-info", "[--up X|Y|Z] FILE.dae", "import a COLLADA document and list its messages, nodes, objects and meshes",
     toolImportInfo},
    {"convert-image", "IN OUT.jpg", "convert an image to a JPEG (the importer runs this in a child process)",
     toolConvertImage},
    {"nserver", "[PORT]", "run the network server in the foreground until interrupted", toolNetServer},
};
const int kCommandCount = (int)(sizeof kCommands / sizeof kCommands[0]);

void usage(FILE* out) {
    std::fprintf(out, "usage: vcvtool COMMAND ARGS...\n");
    for (int i = 0; i < kCommandCount; i++)
        std::fprintf(out, "  %s %s\n      %s\n", kCommands[i].name, kCommands[i].usage, kCommands[i].about);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
        usage(stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("vcvtool %s\n", VCV_VERSION_TEXT);
        return 0;
    }
    for (int i = 0; i < kCommandCount; i++) {
        if (std::strcmp(argv[1], kCommands[i].name) != 0) continue;
        stringsInit();  // directory listings are string tables
        int status = kCommands[i].run(argc - 2, argv + 2);
        stringsShutdown();
        return status;
    }
    std::fprintf(stderr, "vcvtool: unknown command '%s'\n", argv[1]);
    usage(stderr);
    return 2;
}
