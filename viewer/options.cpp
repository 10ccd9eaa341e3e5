#include "viewer/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char kUsage[] =
    "usage: vcv [options] [model.dae]\n"
    "  --frames N            quit after N frames\n"
    "  --screenshot FILE.png save the last frame as a PNG image\n"
    "  --size WxH            window size (default 800x600)\n"
    "  --up X|Y|Z            the up axis of the model, whatever its document says\n"
    "  --help                show this text\n"
    "  --version             show the version\n";

void optionsDefault(AppOptions* options) {
    std::memset(options, 0, sizeof *options);
    options->width = 800;
    options->height = 600;
}

static bool copyArgument(char* out, const char* value) {
    size_t len = std::strlen(value);
    if (len >= 2048) return false;
    std::memcpy(out, value, len + 1);
    return true;
}

int32_t optionsParse(AppOptions* options, int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        bool hasValue = i + 1 < argc;
        if (std::strcmp(a, "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 1;
        }
        if (std::strcmp(a, "--version") == 0) {
            std::printf("vcv %s\n", VCV_VERSION_TEXT);
            return 1;
        }
        if (std::strcmp(a, "--frames") == 0 && hasValue) {
            char* end = nullptr;
            long n = std::strtol(argv[++i], &end, 10);
            if (!end || *end || n < 1 || n > 100000000) {
                std::fprintf(stderr, "vcv: --frames needs a positive number\n");
                return -1;
            }
            options->frames = (int32_t)n;
        } else if (std::strcmp(a, "--screenshot") == 0 && hasValue) {
            if (!copyArgument(options->screenshot, argv[++i])) {
                std::fprintf(stderr, "vcv: the screenshot path is too long\n");
                return -1;
            }
        } else if (std::strcmp(a, "--size") == 0 && hasValue) {
            int w = 0, h = 0;
            char tail = 0;
            if (std::sscanf(argv[++i], "%dx%d%c", &w, &h, &tail) != 2 || w < 16 || h < 16 || w > 16384 ||
                h > 16384) {
                std::fprintf(stderr, "vcv: --size needs WIDTHxHEIGHT, for example 1024x768\n");
                return -1;
            }
            options->width = w;
            options->height = h;
        } else if (std::strcmp(a, "--up") == 0 && hasValue) {
            const char* axis = argv[++i];
            char c = axis[0] >= 'a' && axis[0] <= 'z' ? (char)(axis[0] - 'a' + 'A') : axis[0];
            if ((c != 'X' && c != 'Y' && c != 'Z') || axis[1] != '\0') {
                std::fprintf(stderr, "vcv: --up needs X, Y or Z\n");
                return -1;
            }
            options->up = c;
        } else if (a[0] == '-' && a[1] == '-') {
            std::fprintf(stderr, "vcv: unknown or incomplete option %s\n%s", a, kUsage);
            return -1;
        } else if (options->model[0] == '\0') {
            if (!copyArgument(options->model, a)) {
                std::fprintf(stderr, "vcv: the model path is too long\n");
                return -1;
            }
        } else {
            std::fprintf(stderr, "vcv: only one model can be opened\n");
            return -1;
        }
    }
    return 0;
}
