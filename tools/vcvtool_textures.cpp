// The image subcommands: jpeg2ppm, build-set, pack-info.
#include <cstdio>
#include <cstring>

#include "pack/jpeg_decoder.h"
#include "system/files.h"
#include "system/memory.h"
#include "texsets/set_file.h"
#include "texture/texture_pack.h"
#include "tools/vcvtool.h"

static const char* const kModule = "vcvtool";

namespace {
// Splits a path into the directory text (with its separator, "" for none) and the name.
void splitPath(const char* path, char* dir, char* name) {
    dir[0] = '\0';
    directoryPart(dir, path);
    fileNamePart(name, path);
}

void printImageSize(const uint8_t* data, int32_t size) {
    uint8_t* rgb = nullptr;
    int32_t w = 0, h = 0, ok = 0;
    jpeg_decode_memory(&rgb, data, size, &w, &h, 0, &ok);
    if (ok == 1) std::printf(" jpeg %dx%d", w, h);
    else std::printf(" jpeg unreadable");
    MEM_FREE(rgb);
}

// Lists a texture pack; 0 when it is complete.
int listPack(const char* path, const uint8_t* data, int32_t size) {
    SlotTable records;
    slotInit(&records, 4, (int32_t)sizeof(TextureRecord));
    TexturePackScan scan;
    texture_pack_parse(&records, data, size, 0, &scan);
    std::printf("texture pack %s\nrecords %d\n", path, scan.loaded);
    for (int32_t i = slotFirst(&records); i != -1; i = slotNext(&records)) {
        const TextureRecord* r = slotGet<TextureRecord>(&records, i);
        std::printf("record %d target %d alpha-map %d compression %d width %d height %d size %d name %s\n", i,
                    r->target, r->alphaMap, r->compression, r->width, r->height, r->dataSize, r->name);
    }
    if (!scan.complete)
        std::printf("incomplete: %d records declared, %d complete, %d of %d bytes used\n", scan.declared,
                    scan.loaded, scan.end, size);
    texture_records_free(&records);
    return scan.complete ? 0 : 1;
}

// Reads an unscrambled set file: records that load, and whether the file is exactly that.
struct SetScan {
    int32_t declared, loaded, end;
    bool complete;
};

SetScan scanSet(const uint8_t* plain, int32_t size, bool print) {
    SetFileCursor cursor;
    SetFileRecord record;
    setFileBegin(&cursor, plain, size, 2);
    while (setFileNext(&cursor, &record) == 0) {
        if (!print) continue;
        std::printf("record %d kind %d tag %d alpha %d quality %d size %d", cursor.index - 1, record.kind,
                    record.tag, record.alpha, record.quality, record.size);
        printImageSize(record.data, record.size);
        std::printf("\n");
    }
    SetScan scan = {cursor.count, cursor.index, cursor.position, false};
    scan.complete = size >= 6 && cursor.count >= 0 && cursor.index == cursor.count && cursor.position == size;
    return scan;
}

int listSet(const char* path, uint8_t* data, int32_t size) {
    unscrambleBlob(data, size);
    SetScan scan = scanSet(data, size, false);
    std::printf("set file %s\nrecords %d\n", path, scan.loaded);
    scanSet(data, size, true);
    if (!scan.complete)
        std::printf("incomplete: %d records declared, %d complete, %d of %d bytes used\n", scan.declared,
                    scan.loaded, scan.end < size ? scan.end : size, size);
    return scan.complete ? 0 : 1;
}
}  // namespace

namespace {
// jpeg2ppm's output: rows go to the file as the decoder converts them.
struct PpmOutput {
    std::FILE* file;
    bool failed;
};

int32_t writePpmRows(void* user, const uint8_t* rows, int32_t width, int32_t, int32_t count) {
    PpmOutput* out = (PpmOutput*)user;
    size_t bytes = (size_t)width * 3 * (size_t)count;
    if (std::fwrite(rows, 1, bytes, out->file) != bytes) out->failed = true;
    return out->failed ? -1 : 0;
}
}  // namespace

int toolJpegToPpm(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "vcvtool: jpeg2ppm: usage: vcvtool jpeg2ppm IN.jpg OUT.ppm\n");
        return 2;
    }
    uint8_t* data = nullptr;
    int32_t size = 0;
    if (!fileExists(argv[0]) || readWholeFile(argv[0], "", &data, &size) != 0) {
        std::fprintf(stderr, "vcvtool: jpeg2ppm: cannot read '%s'\n", argv[0]);
        return 1;
    }
    int32_t w = 0, h = 0;
    if (jpeg_image_size(data, size, &w, &h) != 0) {
        std::fprintf(stderr, "vcvtool: jpeg2ppm: '%s' is not a baseline JPEG the decoder can read\n", argv[0]);
        MEM_FREE(data);
        return 1;
    }
    // No whole image in memory: the header first, then each band of rows as it is decoded.
    PpmOutput out = {std::fopen(argv[1], "wb"), false};
    if (out.file != nullptr) {
        out.failed = std::fprintf(out.file, "P6\n%d %d\n255\n", (int)w, (int)h) < 0;
        if (!out.failed && jpeg_decode_rows(data, size, writePpmRows, &out) != 0) out.failed = true;
        if (std::fclose(out.file) != 0) out.failed = true;
    }
    MEM_FREE(data);
    if (out.file == nullptr || out.failed) {
        // A partial image must not pass for a converted one; a device (/dev/full) is not ours to remove.
        int32_t kind = checkReadableFile(argv[1], nullptr, 0);
        if (out.file != nullptr && (kind == FILE_READABLE || kind == FILE_UNREADABLE)) deleteFile(argv[1], "");
        std::fprintf(stderr, "vcvtool: jpeg2ppm: cannot write '%s'\n", argv[1]);
        return 1;
    }
    std::printf("%s: %dx%d\n", argv[1], w, h);
    return 0;
}

int toolBuildSet(int argc, char** argv) {
    int32_t jpegOnly = 0;
    if (argc > 0 && std::strcmp(argv[0], "--jpeg-only") == 0) {
        jpegOnly = 1;
        argc--;
        argv++;
    }
    if (argc != 2) {
        std::fprintf(stderr, "vcvtool: build-set: usage: vcvtool build-set [--jpeg-only] DIR OUT.stf\n");
        return 2;
    }
    char dir[PATH_CAPACITY], outDir[PATH_CAPACITY], outName[PATH_CAPACITY];
    size_t len = std::strlen(argv[0]);
    if (len == 0 || len + 2 > PATH_CAPACITY || std::strlen(argv[1]) >= PATH_CAPACITY) {
        std::fprintf(stderr, "vcvtool: build-set: path too long or empty\n");
        return 2;
    }
    std::memcpy(dir, argv[0], len + 1);
    if (dir[len - 1] != PATH_SEP) std::strcat(dir, PATH_SEP_TEXT);
    splitPath(argv[1], outDir, outName);
    int32_t result = buildInterfaceSetFileTo(outName, outDir, dir, jpegOnly);
    if (result == 1) {
        std::fprintf(stderr,
                     "vcvtool: build-set: '%s' breaks the numbering: files must be named N_0000_T_00_A_0_Q_0_name "
                     "with N = 0, 1, 2, ... in listing order\n",
                     interfaceSetErrorName);
    } else if (result == 2) {
        std::fprintf(stderr, "vcvtool: build-set: cannot read a source image of '%s' or write '%s'\n", dir,
                     argv[1]);
    } else {
        std::printf("%s: %d images\n", argv[1], countSetImages(dir, jpegOnly));
    }
    return result;
}

int toolPackInfo(int argc, char** argv) {
    int mode = 0;  // 0 detect, 1 texture pack, 2 set file
    if (argc > 0 && std::strcmp(argv[0], "--pack") == 0) mode = 1;
    if (argc > 0 && std::strcmp(argv[0], "--set") == 0) mode = 2;
    if (mode != 0) {
        argc--;
        argv++;
    }
    if (argc != 1) {
        std::fprintf(stderr, "vcvtool: pack-info: usage: vcvtool pack-info [--pack | --set] FILE.stf\n");
        return 2;
    }
    uint8_t* data = nullptr;
    int32_t size = 0;
    if (readWholeFile(argv[0], "", &data, &size) != 0) {
        std::fprintf(stderr, "vcvtool: pack-info: cannot read '%s'\n", argv[0]);
        return 1;
    }
    if (mode == 0) {
        // A texture pack must account for every byte; only then is the file taken as one. A set file
        // is scrambled, so its first bytes never line up with pack headers by accident.
        SlotTable probe;
        slotInit(&probe, 4, (int32_t)sizeof(TextureRecord));
        TexturePackScan scan;
        texture_pack_parse(&probe, data, size, 0, &scan);
        texture_records_free(&probe);
        if (scan.complete) {
            mode = 1;
        } else {
            uint8_t* copy = (uint8_t*)MEM_ALLOC(nullptr, size);
            std::memcpy(copy, data, (size_t)size);
            unscrambleBlob(copy, size);
            if (scanSet(copy, size, false).complete) mode = 2;
            MEM_FREE(copy);
        }
    }
    int status = 1;
    if (mode == 1) status = listPack(argv[0], data, size);
    else if (mode == 2) status = listSet(argv[0], data, size);
    else
        std::fprintf(stderr,
                     "vcvtool: pack-info: '%s' is neither a complete texture pack nor a complete set file "
                     "(--pack or --set lists what loads)\n",
                     argv[0]);
    MEM_FREE(data);
    return status;
}
