// convert-image: the image converter the importer runs in a child process (import/image_convert.h).
#include <cstdio>

#include "import/image_convert.h"
#include "tools/vcvtool.h"

int toolConvertImage(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "vcvtool: convert-image: usage: vcvtool convert-image IN OUT.jpg\n");
        return IMAGE_CONVERT_EXIT_USAGE;
    }
    return imageConvertCommand(argv[0], argv[1]);
}
