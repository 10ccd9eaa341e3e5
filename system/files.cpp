#include "system/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "system/memory.h"
#include "system/platform.h"
#include "system/random.h"
#include "system/slot_table.h"

static const char* const kModule = "vorsystem_1_11";

char programDirectory[PATH_CAPACITY];
char dataDirectory[PATH_CAPACITY];
char languageDirectory[PATH_CAPACITY];
char saveDirectory[PATH_CAPACITY];
char screenshotsDirectory[PATH_CAPACITY];
char updateDirectory[PATH_CAPACITY];
char logDirectory[PATH_CAPACITY];
char sharedDataDirectory[PATH_CAPACITY];
char foundName[PATH_CAPACITY];
DriveList driveList;

namespace {
struct SearchState {
    void* handle = nullptr;
    int32_t kind = 1;
    char pattern[PATH_CAPACITY];
};
SearchState search;

// Copies src into out (cap bytes) when it fits; otherwise out becomes empty. Returns 0 or -1.
int32_t copyBounded(char* out, const char* src, size_t cap) {
    size_t len = std::strlen(src);
    if (len >= cap) {
        out[0] = '\0';
        return -1;
    }
    std::memmove(out, src, len + 1);
    return 0;
}

bool isSeparator(char c) { return c == PATH_SEP; }

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c; }

bool wildcardMatch(const char* p, const char* n) {
    // Iterative matcher with one backtrack point for the last '*'.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*n) {
        if (*p == '*') {
            star = p++;
            resume = n;
        } else if (*p == '?' || (*p && lowerAscii(*p) == lowerAscii(*n))) {
            p++;
            n++;
        } else if (star) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (*p == '*') p++;
    return *p == '\0';
}
}  // namespace

int32_t joinPath(char* out, const char* dir, const char* name) {
    char scratch[PATH_CAPACITY];
    size_t a = std::strlen(dir), b = std::strlen(name);
    if (a + b >= PATH_CAPACITY) {
        out[0] = '\0';
        return -1;
    }
    std::memcpy(scratch, dir, a);
    std::memcpy(scratch + a, name, b + 1);
    std::memcpy(out, scratch, a + b + 1);
    return 0;
}

int32_t readWholeFile(const char* name, const char* dir, uint8_t** buffer, int32_t* size) {
    char path[PATH_CAPACITY];
    *buffer = (uint8_t*)MEM_FREE(*buffer);
    if (joinPath(path, dir, name) != 0) {
        *size = -1;
        return -1;
    }
    int64_t bytes = platformFileSize(path);
    *size = bytes > INT32_MAX ? -1 : (int32_t)bytes;
    if (bytes <= 0 || bytes > INT32_MAX) return -1;
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return -1;
    *buffer = (uint8_t*)MEM_ALLOC(nullptr, bytes);
    size_t got = std::fread(*buffer, 1, (size_t)bytes, f);
    std::fclose(f);
    if ((int64_t)got != bytes) {  // a file that shrank or cannot be read is not reported as read
        *buffer = (uint8_t*)MEM_FREE(*buffer);
        return -1;
    }
    return 0;
}

int32_t writeWholeFile(const char* name, const char* dir, const void* data, int32_t size) {
    char path[PATH_CAPACITY];
    if (joinPath(path, dir, name) != 0 || size < 0) return -1;
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return -1;
    size_t put = size > 0 ? std::fwrite(data, 1, (size_t)size, f) : 0;
    int closed = std::fclose(f);
    if (put == (size_t)size && closed == 0) return 0;
    // A full disk or a size limit leaves no truncated file behind; the caller still sees the reason.
    // Only a regular file is removed: the path may name a device (/dev/full) that is not ours.
    int reason = errno;
    if (platformIsRegularFile(path)) platformRemoveFile(path);
    errno = reason;
    return -1;
}

int32_t writeWholeFileAtomic(const char* name, const char* dir, const void* data, int32_t size, char* reason,
                             int32_t reasonCap) {
    char path[PATH_CAPACITY], temporary[PATH_CAPACITY], newName[PATH_CAPACITY];
    if (reason && reasonCap > 0) reason[0] = '\0';
    if (joinPath(path, dir, name) != 0 || joinPath(newName, name, ".new") != 0 ||
        joinPath(temporary, dir, newName) != 0 || size < 0) {
        if (reason && reasonCap > 0) std::snprintf(reason, (size_t)reasonCap, "path too long");
        return -1;
    }
    std::FILE* f = std::fopen(temporary, "wb");
    if (!f) {
        platformLastError(reason, reasonCap);
        return -1;
    }
    size_t put = size > 0 ? std::fwrite(data, 1, (size_t)size, f) : 0;
    bool written = put == (size_t)size && std::fflush(f) == 0;
    if (!written) platformLastError(reason, reasonCap);
    if (std::fclose(f) != 0 && written) {
        platformLastError(reason, reasonCap);
        written = false;
    }
    if (!written || platformRename(temporary, path, reason, reasonCap) != 0) {
        platformRemoveFile(temporary);
        return -1;
    }
    return 0;
}

int32_t readFilePrefix(const char* name, const char* dir, void* out, int32_t capacity) {
    char path[PATH_CAPACITY];
    int64_t size = 0;
    int32_t error = 0;
    if (joinPath(path, dir, name) != 0 || capacity < 0) return -1;
    int32_t handle = platformOpenRegularFile(path, &size, &error);
    if (handle < 0) return -1;
    int64_t got = 0;
    while (got < capacity) {
        int64_t n = platformReadFile(handle, (uint8_t*)out + got, capacity - got, &error);
        if (n <= 0) break;
        got += n;
    }
    platformCloseFile(handle);
    return (int32_t)got;
}

int32_t checkReadableFile(const char* path, char* reason, int32_t cap) {
    int64_t size = 0;
    int32_t error = 0;
    if (reason && cap > 0) reason[0] = '\0';
    int32_t handle = platformOpenRegularFile(path, &size, &error);
    if (handle >= 0) {
        platformCloseFile(handle);
        return FILE_READABLE;
    }
    if (handle == -3) return FILE_IS_DIRECTORY;
    if (handle == -2) return FILE_NOT_REGULAR;
    if (error == ENOENT || error == ENOTDIR) return FILE_MISSING;
    if (reason && cap > 0) std::snprintf(reason, (size_t)cap, "%s", std::strerror(error));
    return FILE_UNREADABLE;
}

int32_t directoryWritable(const char* dir, char* reason, int32_t cap) {
    char name[64], path[PATH_CAPACITY];
    std::snprintf(name, sizeof name, ".vcv-write-test-%d", (int)platformProcessId());
    if (joinPath(path, dir, name) != 0) {
        std::snprintf(reason, (size_t)cap, "path too long");
        return -1;
    }
    std::FILE* f = std::fopen(path, "wb");
    if (!f) {
        platformLastError(reason, cap);
        return -1;
    }
    bool ok = std::fputc('v', f) != EOF;
    if (std::fclose(f) != 0 || !ok) {
        platformLastError(reason, cap);
        ok = false;
    }
    platformRemoveFile(path);
    return ok ? 0 : -1;
}

void lastFileError(char* reason, int32_t cap) { platformLastError(reason, cap); }

int32_t copyWholeFile(const char* dstName, const char* dstDir, const char* srcName, const char* srcDir) {
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    if (readWholeFile(srcName, srcDir, &buffer, &size) != 0) return -1;
    int32_t result = writeWholeFile(dstName, dstDir, buffer, size);
    MEM_FREE(buffer);
    return result;
}

int32_t compareFiles(const char* nameA, const char* dirA, const char* nameB, const char* dirB) {
    if (fileSize(nameA, dirA) != fileSize(nameB, dirB)) return -1;
    uint8_t* a = nullptr;
    uint8_t* b = nullptr;
    int32_t sizeA = 0, sizeB = 0;
    int32_t result = -1;
    if (readWholeFile(nameA, dirA, &a, &sizeA) == 0 && readWholeFile(nameB, dirB, &b, &sizeB) == 0 &&
        sizeA == sizeB && std::memcmp(a, b, (size_t)sizeA) == 0)
        result = 0;
    MEM_FREE(a);
    MEM_FREE(b);
    return result;
}

bool fileExists(const char* path) { return platformPathExists(path); }

bool fileExistsIn(const char* name, const char* dir) {
    char path[PATH_CAPACITY];
    return joinPath(path, dir, name) == 0 && fileExists(path);
}

int64_t fileSize(const char* name, const char* dir) {
    char path[PATH_CAPACITY];
    if (joinPath(path, dir, name) != 0) return -1;
    return platformFileSize(path);
}

int32_t deleteFile(const char* name, const char* dir) {
    char path[PATH_CAPACITY];
    if (joinPath(path, dir, name) != 0) return -1;
    return platformRemoveFile(path);
}

bool patternMatches(const char* pattern, const char* name) {
    if (wildcardMatch(pattern, name)) return true;
    // As on the platform the file formats come from, a trailing ".*" also accepts names without a dot.
    size_t len = std::strlen(pattern);
    if (len >= 2 && pattern[len - 2] == '.' && pattern[len - 1] == '*' && !std::strchr(name, '.')) {
        char trimmed[PATH_CAPACITY];
        if (len - 2 >= PATH_CAPACITY) return false;
        std::memcpy(trimmed, pattern, len - 2);
        trimmed[len - 2] = '\0';
        return wildcardMatch(trimmed, name);
    }
    return false;
}

int32_t findNext() {
    if (!search.handle) return -1;
    char name[PATH_CAPACITY];
    bool isDirectory = false;
    while (platformDirNext(search.handle, name, PATH_CAPACITY, &isDirectory)) {
        bool wanted = search.kind == 0 ? isDirectory : !isDirectory;
        if (wanted && patternMatches(search.pattern, name)) {
            std::memcpy(foundName, name, std::strlen(name) + 1);
            return 0;
        }
    }
    platformDirClose(search.handle);
    search.handle = nullptr;
    return -1;
}

int32_t findFirst(const char* pattern, const char* dir, int32_t kind) {
    if (search.handle) platformDirClose(search.handle);
    search.handle = nullptr;
    search.kind = kind;
    if (copyBounded(search.pattern, pattern, PATH_CAPACITY) != 0) return -1;
    search.handle = platformDirOpen(dir);
    return findNext();
}

void deleteMatching(const char* pattern, const char* dir) {
    // Collect first: deleting while the listing is open may skip entries.
    SlotTable names;
    slotInit(&names, 4, 1);
    for (int32_t r = findFirst(pattern, dir, 1); r == 0; r = findNext()) {
        int32_t bytes = (int32_t)std::strlen(foundName) + 1;
        int32_t slot = slotAdd(&names, bytes, -1);
        if (slot >= 0) std::memcpy(slotData(&names, slot), foundName, (size_t)bytes);
    }
    for (int32_t i = 0; i < names.capacity; i++)
        if (const char* name = slotGet<const char>(&names, i)) deleteFile(name, dir);
    slotFree(&names);
}

static int32_t countKind(const char* pattern, const char* dir, int32_t kind) {
    int32_t n = 0;
    for (int32_t r = findFirst(pattern, dir, kind); r == 0; r = findNext()) n++;
    return n;
}

int32_t countFiles(const char* pattern, const char* dir) { return countKind(pattern, dir, 1); }
int32_t countDirectories(const char* pattern, const char* dir) { return countKind(pattern, dir, 0); }

int32_t deleteDirectory(const char* dir) {
    deleteMatching("*.*", dir);
    return platformRemoveDirectory(dir);
}

void makeDirectories(const char* path) {
    char prefix[PATH_CAPACITY];
    int32_t n = pathDepth(path);
    for (int32_t i = 0; i < n; i++) {
        pathPrefix(i, prefix, path);
        if (prefix[0] && !fileExists(prefix)) platformMakeDirectory(prefix);
    }
}

// The installed data beside a program in <prefix>/bin/: <prefix>/share/vcv/ into out when it exists.
static bool findSharedData(const char* programDir, char* out) {
    char prefix[PATH_CAPACITY];
    if (copyBounded(prefix, programDir, PATH_CAPACITY) != 0) return false;
    size_t len = std::strlen(prefix);
    if (len < 2) return false;  // a program at the root has no parent to hold share/
    prefix[len - 1] = '\0';
    char* cut = std::strrchr(prefix, PATH_SEP);
    if (!cut) return false;
    cut[1] = '\0';
    if (joinPath(out, prefix, "share" PATH_SEP_TEXT "vcv" PATH_SEP_TEXT) != 0) return false;
    return platformPathExists(out);
}

void findProgramDirectory() {
    char path[PATH_CAPACITY];
    const char* home = platformEnv("VCV_HOME");
    sharedDataDirectory[0] = '\0';
    bool fromHome = home && home[0] && std::strlen(home) + 2 < PATH_CAPACITY;
    if (fromHome) {
        std::strcpy(path, home);
        size_t len = std::strlen(path);
        if (path[len - 1] != PATH_SEP) {
            path[len] = PATH_SEP;
            path[len + 1] = '\0';
        }
    } else if (platformProgramPath(path, PATH_CAPACITY) == 0) {
        char* cut = std::strrchr(path, PATH_SEP);
        if (cut) cut[1] = '\0';
    } else {
        std::strcpy(path, "." PATH_SEP_TEXT);
    }
    std::memcpy(programDirectory, path, std::strlen(path) + 1);
    // An installed program's directory is shared and not the user's to write: its writable
    // directories go to the user's data directory.
    char user[PATH_CAPACITY];
    if (!fromHome && findSharedData(programDirectory, sharedDataDirectory)) {
        platformUserDataDirectory(user, PATH_CAPACITY);
        if (joinPath(user, user, "vcv" PATH_SEP_TEXT) == 0) {
            createDataDirectories(user);
            return;
        }
    }
    createDataDirectories(programDirectory);
}

const char* dataFileDirectory(const char* name, const char* dir, char* out) {
    copyBounded(out, dir, PATH_CAPACITY);
    if (sharedDataDirectory[0] == '\0' || fileExistsIn(name, dir)) return out;
    const char* sub = nullptr;
    if (std::strcmp(dir, dataDirectory) == 0) sub = "data" PATH_SEP_TEXT;
    if (std::strcmp(dir, languageDirectory) == 0) sub = "language" PATH_SEP_TEXT;
    char shared[PATH_CAPACITY];
    if (sub && joinPath(shared, sharedDataDirectory, sub) == 0 && fileExistsIn(name, shared))
        copyBounded(out, shared, PATH_CAPACITY);
    return out;
}

void createDataDirectories(const char* programDir) {
    struct Entry {
        char* target;
        const char* name;
    };
    const Entry entries[] = {{dataDirectory, "data" PATH_SEP_TEXT},
                             {languageDirectory, "language" PATH_SEP_TEXT},
                             {saveDirectory, "save" PATH_SEP_TEXT},
                             {screenshotsDirectory, "screenshots" PATH_SEP_TEXT},
                             {updateDirectory, "update" PATH_SEP_TEXT},
                             {logDirectory, "log" PATH_SEP_TEXT}};
    for (const Entry& e : entries) {
        joinPath(e.target, programDir, e.name);
        makeDirectories(e.target);
    }
}

void fileExtension(char* out, const char* name) {
    int32_t len = (int32_t)std::strlen(name);
    for (int32_t i = len - 1; i >= 1; i--) {
        if (name[i] == '.') {
            copyBounded(out, name + i + 1, PATH_CAPACITY);
            return;
        }
    }
    if (len > 0 && name[0] == '.') {
        copyBounded(out, name + 1, PATH_CAPACITY);
        return;
    }
    out[0] = '\0';
}

void replaceExtension(char* out, const char* name, const char* ext) {
    char scratch[PATH_CAPACITY];
    if (copyBounded(scratch, name, PATH_CAPACITY) != 0) {
        out[0] = '\0';
        return;
    }
    for (int32_t i = (int32_t)std::strlen(scratch) - 1; i > 0; i--) {
        if (scratch[i] == '.') {
            scratch[i] = '\0';
            break;
        }
    }
    if (ext[0]) {
        size_t a = std::strlen(scratch), b = std::strlen(ext);
        if (a + 1 + b >= PATH_CAPACITY) {
            out[0] = '\0';
            return;
        }
        scratch[a] = '.';
        std::memcpy(scratch + a + 1, ext, b + 1);
    }
    std::memcpy(out, scratch, std::strlen(scratch) + 1);
}

void stripExtension(char* out, const char* name) { replaceExtension(out, name, ""); }

void fileNamePart(char* out, const char* path) {
    const char* start = path;
    for (const char* p = path; *p; p++)
        if (*p == PATH_SEP || *p == '\\') start = p + 1;
    copyBounded(out, start, PATH_CAPACITY);
}

void directoryPart(char* out, const char* path) {
    const char* last = std::strrchr(path, PATH_SEP);
    if (!last) return;
    size_t len = (size_t)(last - path) + 1;
    if (len >= PATH_CAPACITY) return;
    std::memmove(out, path, len);
    out[len] = '\0';
}

int32_t pathDepth(const char* path) {
    int32_t n = 0;
    for (const char* p = path; *p; p++)
        if (isSeparator(*p)) n++;
    return n - 1;
}

void pathPrefix(int32_t n, char* out, const char* path) {
    int32_t seen = 0;
    size_t i = 0;
    for (; path[i] && i < PATH_CAPACITY - 1; i++) {
        if (isSeparator(path[i]) && ++seen > n + 1) break;
        out[i] = path[i];
    }
    out[i] = '\0';
}

void pathComponent(int32_t n, char* out, const char* path) {
    int32_t seen = 0;
    size_t o = 0;
    for (const char* p = path; *p; p++) {
        if (isSeparator(*p)) {
            if (++seen >= n + 2) break;
            continue;
        }
        if (seen == n + 1 && o < PATH_CAPACITY - 1) out[o++] = *p;
    }
    out[o] = '\0';
}

int32_t enterDirectory(const char* name, char* path) {
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
        int32_t len = (int32_t)std::strlen(path);
        if (len <= 2) return 0;
        for (int32_t i = len - 2; i >= 0; i--) {
            if (isSeparator(path[i])) {
                path[i + 1] = '\0';
                return 0;
            }
        }
        return 0;  // no separator before the last component: already at the top
    }
    size_t a = std::strlen(path), b = std::strlen(name);
    if (a + b + 1 >= PATH_CAPACITY) return -1;
    std::memcpy(path + a, name, b);
    path[a + b] = PATH_SEP;
    path[a + b + 1] = '\0';
    return 0;
}

void listDrives() {
    std::memset(driveList.types, 0, sizeof driveList.types);
    driveList.count = platformDrives(driveList.roots, driveList.types, MAX_DRIVES);
}

int32_t driveIndex(const char* path) {
    int32_t best = -1;
    size_t bestLen = 0;
    for (int32_t i = 0; i < driveList.count; i++) {
        size_t len = std::strlen(driveList.roots[i]);
        if (len > bestLen && std::strncmp(path, driveList.roots[i], len) == 0) {
            best = i;
            bestLen = len;
        }
    }
    return best;
}

int32_t scrambleFile(const char* name, const char* dir) {
    uint8_t* plain = nullptr;
    int32_t size = 0;
    if (readWholeFile(name, dir, &plain, &size) != 0 || size > INT32_MAX - 2) {
        MEM_FREE(plain);
        return -1;
    }
    uint8_t* out = (uint8_t*)MEM_ALLOC(nullptr, (int64_t)size + 2);
    uint8_t key = (uint8_t)randomInt(0, 255);
    uint8_t step = (uint8_t)randomInt(1, 128);
    out[0] = key;
    out[1] = step;
    for (int32_t i = 0; i < size; i++) {
        out[i + 2] = (uint8_t)(plain[i] ^ key);
        key = (uint8_t)(key + step);
    }
    int32_t result = writeWholeFile(name, dir, out, size + 2);
    MEM_FREE(out);
    MEM_FREE(plain);
    return result;
}

int32_t unscrambleBlob(uint8_t* buffer, int32_t size) {
    if (!buffer || size < 2) return 2;
    uint8_t key = buffer[0];
    uint8_t step = buffer[1];
    for (int32_t i = 2; i < size; i++) {
        buffer[i] = (uint8_t)(buffer[i] ^ key);
        key = (uint8_t)(key + step);
    }
    return 2;
}
