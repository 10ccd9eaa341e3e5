// vcvbake OUTDIR SOURCEDIR FONTDIR: the viewer's data files, made at build time (tools/bake.h).
#include <cstdio>
#include <cstring>

#include "strings/string_table.h"
#include "system/files.h"
#include "system/random.h"
#include "texsets/set_file.h"
#include "tools/bake.h"

namespace {
// The set files are scrambled with keys from the random generator: a fixed seed makes every bake
// give the same bytes.
const uint32_t kSeed = 20240611u;
const int32_t kInterfaceImages = 36;
const int32_t kLanguageEntries = 8;

const char* const kOutputs[][2] = {
    {"data/", "font.sff"}, {"data/", "font.stf"}, {"data/", "inter.stf"}, {"language/", "vorfre.txt"},
    {"icons/48x48/", "vcv.png"}, {"icons/256x256/", "vcv.png"}};

// dir with a separator at its end, into out (PATH_CAPACITY). 0 or -1.
int32_t directoryText(char* out, const char* dir) {
    size_t n = std::strlen(dir);
    if (n == 0 || n + 2 > PATH_CAPACITY) return -1;
    std::memcpy(out, dir, n + 1);
    if (out[n - 1] != PATH_SEP) {
        out[n] = PATH_SEP;
        out[n + 1] = '\0';
    }
    return 0;
}

// An empty work directory of that name under base.
int32_t freshDirectory(char* out, const char* base, const char* name) {
    if (joinPath(out, base, name) != 0) return -1;
    if (fileExists(out)) deleteDirectory(out);
    makeDirectories(out);
    return fileExists(out) ? 0 : -1;
}

int32_t copyLanguage(const char* outDir, const char* sourceDir) {
    char from[PATH_CAPACITY], to[PATH_CAPACITY];
    if (joinPath(from, sourceDir, "assets/language/") != 0 || joinPath(to, outDir, "language/") != 0) return -1;
    makeDirectories(to);
    if (copyWholeFile("vorfre.txt", to, "vorfre.txt", from) != 0) {
        std::fprintf(stderr, "vcvbake: cannot copy %svorfre.txt to %s\n", from, to);
        return -1;
    }
    int32_t table = stringTableLoad("vorfre.txt", to);
    int32_t count = stringTableCount(table);
    stringTableDestroy(table);
    if (count < kLanguageEntries) {
        std::fprintf(stderr, "vcvbake: %svorfre.txt holds %d texts, the viewer uses %d\n", from, count,
                     kLanguageEntries);
        return -1;
    }
    return 0;
}

int32_t buildSet(const char* outName, const char* dataDir, const char* workDir, int32_t images) {
    int32_t status = buildInterfaceSetFileTo(outName, dataDir, workDir, 1);
    if (status != 0) {
        std::fprintf(stderr, "vcvbake: building %s%s failed (%d%s%s)\n", dataDir, outName, status,
                     status == 1 ? ", numbering broken at " : "", status == 1 ? interfaceSetErrorName : "");
        return -1;
    }
    if (countSetImages(workDir, 1) != images) {
        std::fprintf(stderr, "vcvbake: %s has %d images instead of %d\n", outName, countSetImages(workDir, 1), images);
        return -1;
    }
    return 0;
}

int32_t bake(const char* outDir, const char* sourceDir, const char* fontDir) {
    char dataDir[PATH_CAPACITY], work[PATH_CAPACITY], fontWork[PATH_CAPACITY], interWork[PATH_CAPACITY];
    if (joinPath(dataDir, outDir, "data/") != 0 || freshDirectory(work, outDir, ".bake/") != 0 ||
        freshDirectory(fontWork, work, "font/") != 0 || freshDirectory(interWork, work, "inter/") != 0) {
        std::fprintf(stderr, "vcvbake: cannot make work directories in %s\n", outDir);
        return -1;
    }
    makeDirectories(dataDir);
    int32_t result = copyLanguage(outDir, sourceDir);
    if (result == 0) result = bakeFontsOpen(fontDir);
    if (result == 0) {
        bakeJpegOpen();
        result = bakeFont(fontWork, dataDir);
        if (result == 0) result = buildSet("font.stf", dataDir, fontWork, 1);
        if (result == 0) result = bakeInterfaceImages(interWork);
        if (result == 0) result = bakeInfoPicture(interWork);
        if (result == 0) result = buildSet("inter.stf", dataDir, interWork, kInterfaceImages);
        if (result == 0) result = bakeIcons(outDir);
        bakeJpegClose();
        bakeFontsClose();
    }
    deleteDirectory(fontWork);
    deleteDirectory(interWork);
    deleteDirectory(work);
    return result;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: vcvbake OUTDIR SOURCEDIR FONTDIR\n");
        return 2;
    }
    char outDir[PATH_CAPACITY], sourceDir[PATH_CAPACITY], fontDir[PATH_CAPACITY];
    if (directoryText(outDir, argv[1]) != 0 || directoryText(sourceDir, argv[2]) != 0 ||
        directoryText(fontDir, argv[3]) != 0) {
        std::fprintf(stderr, "vcvbake: a directory argument is empty or too long\n");
        return 2;
    }
    seedRandom(kSeed);
    stringsInit();  // directory listings are string tables
    int32_t result = bake(outDir, sourceDir, fontDir);
    stringsShutdown();
    if (result != 0) {
        // No half-made set of files: the next build bakes again.
        for (const auto& output : kOutputs) {
            char dir[PATH_CAPACITY];
            if (joinPath(dir, outDir, output[0]) == 0) deleteFile(output[1], dir);
        }
        return 1;
    }
    return 0;
}
