// POSIX versions of the platform services (Linux).
#include "system/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

int32_t platformProgramPath(char* out, int32_t cap) {
    if (cap < 2) return -1;
    ssize_t n = readlink("/proc/self/exe", out, (size_t)cap - 1);
    if (n <= 0 || n >= cap - 1) {
        out[0] = '\0';
        return -1;
    }
    out[n] = '\0';
    return 0;
}

const char* platformEnv(const char* name) { return std::getenv(name); }

bool platformCounterFrequency(uint64_t* ticksPerSecond) {
    struct timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return false;
    *ticksPerSecond = 1000000000ull;
    return true;
}

uint64_t platformCounter() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

uint32_t platformMilliseconds() { return (uint32_t)(platformCounter() / 1000000ull); }

void platformSleep(int32_t milliseconds) {
    if (milliseconds <= 0) return;
    struct timespec ts;
    ts.tv_sec = milliseconds / 1000;
    ts.tv_nsec = (long)(milliseconds % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void platformLocalTime(int32_t out[6]) {
    time_t now = time(nullptr);
    struct tm t;
    localtime_r(&now, &t);
    out[0] = t.tm_year + 1900;
    out[1] = t.tm_mon + 1;
    out[2] = t.tm_mday;
    out[3] = t.tm_hour;
    out[4] = t.tm_min;
    out[5] = t.tm_sec;
}

int64_t platformCalendarTime(int32_t second, int32_t minute, int32_t hour, int32_t day, int32_t month,
                             int32_t year) {
    struct tm t;
    std::memset(&t, 0, sizeof t);
    t.tm_sec = second;
    t.tm_min = minute;
    t.tm_hour = hour;
    t.tm_mday = day;
    t.tm_mon = month - 1;
    t.tm_year = year - 1900;
    t.tm_isdst = -1;
    return (int64_t)mktime(&t);
}

int64_t platformNowSeconds() { return (int64_t)time(nullptr); }

bool platformPathExists(const char* path) {
    struct stat st;
    return path && path[0] && stat(path, &st) == 0;
}

int64_t platformFileSize(const char* path) {
    struct stat st;
    if (!path || !path[0] || stat(path, &st) != 0) return -1;
    return (int64_t)st.st_size;
}

int32_t platformMakeDirectory(const char* path) { return mkdir(path, 0755) == 0 ? 0 : -1; }
int32_t platformRemoveDirectory(const char* path) { return rmdir(path) == 0 ? 0 : -1; }
int32_t platformRemoveFile(const char* path) { return unlink(path) == 0 ? 0 : -1; }

static void errorText(int code, char* reason, int32_t cap) {
    if (reason && cap > 0) std::snprintf(reason, (size_t)cap, "%s", std::strerror(code));
}

bool platformIsRegularFile(const char* path) {
    struct stat st;
    return path && path[0] && stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

int32_t platformRename(const char* from, const char* to, char* reason, int32_t cap) {
    if (rename(from, to) == 0) return 0;
    errorText(errno, reason, cap);
    return -1;
}

void platformLastError(char* reason, int32_t cap) { errorText(errno, reason, cap); }

int32_t platformProcessId() { return (int32_t)getpid(); }

bool platformProcessAlive(int32_t pid) { return pid > 0 && (kill((pid_t)pid, 0) == 0 || errno == EPERM); }

namespace {
struct DirSearch {
    DIR* dir;
    char path[4096];
};
}  // namespace

void* platformDirOpen(const char* dir) {
    DIR* d = opendir(dir[0] ? dir : ".");
    if (!d) return nullptr;
    DirSearch* s = (DirSearch*)std::malloc(sizeof(DirSearch));
    if (!s) {
        closedir(d);
        return nullptr;
    }
    s->dir = d;
    std::snprintf(s->path, sizeof s->path, "%s", dir);
    return s;
}

bool platformDirNext(void* handle, char* name, int32_t cap, bool* isDirectory) {
    DirSearch* s = (DirSearch*)handle;
    if (!s) return false;
    for (;;) {
        struct dirent* e = readdir(s->dir);
        if (!e) return false;
        size_t len = std::strlen(e->d_name);
        if ((int32_t)len >= cap) continue;  // a name that cannot be held is not offered
        std::memcpy(name, e->d_name, len + 1);
        bool dirFlag = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            char full[8192];
            std::snprintf(full, sizeof full, "%s%s", s->path, e->d_name);
            struct stat st;
            dirFlag = stat(full, &st) == 0 && S_ISDIR(st.st_mode);
        }
        *isDirectory = dirFlag;
        return true;
    }
}

void platformDirClose(void* handle) {
    DirSearch* s = (DirSearch*)handle;
    if (!s) return;
    closedir(s->dir);
    std::free(s);
}

static bool isDirectoryPath(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Adds the subdirectories of base (mount points of removable volumes) as removable drives.
static int32_t addMounts(const char* base, char (*roots)[2048], uint8_t* types, int32_t count, int32_t max) {
    DIR* d = opendir(base);
    if (!d) return count;
    while (count < max) {
        struct dirent* e = readdir(d);
        if (!e) break;
        if (e->d_name[0] == '.') continue;
        char full[2048];
        int n = std::snprintf(full, sizeof full, "%s%s/", base, e->d_name);
        if (n <= 0 || n >= (int)sizeof full || !isDirectoryPath(full)) continue;
        std::memcpy(roots[count], full, (size_t)n + 1);
        types[count++] = 2;
    }
    closedir(d);
    return count;
}

int32_t platformDrives(char (*roots)[2048], uint8_t* types, int32_t max) {
    int32_t count = 0;
    if (max <= 0) return 0;
    std::strcpy(roots[count], "/");
    types[count++] = 3;
    char home[2048];
    platformHomeDirectory(home, sizeof home);
    if (count < max && std::strcmp(home, "/") != 0) {
        std::strcpy(roots[count], home);
        types[count++] = 3;
    }
    count = addMounts("/media/", roots, types, count, max);
    count = addMounts("/mnt/", roots, types, count, max);
    const char* user = std::getenv("USER");
    if (user && user[0]) {
        char runMedia[2048];
        int n = std::snprintf(runMedia, sizeof runMedia, "/run/media/%s/", user);
        if (n > 0 && n < (int)sizeof runMedia) count = addMounts(runMedia, roots, types, count, max);
    }
    return count;
}

void platformHomeDirectory(char* out, int32_t cap) {
    const char* home = std::getenv("HOME");
    if (!home || !home[0]) {
        struct passwd* pw = getpwuid(getuid());
        home = pw ? pw->pw_dir : nullptr;
    }
    size_t len = home ? std::strlen(home) : 0;
    if (!home || len == 0 || (int32_t)len + 2 > cap) {
        std::snprintf(out, (size_t)cap, "/");
        return;
    }
    std::memcpy(out, home, len + 1);
    if (out[len - 1] != '/') {
        out[len] = '/';
        out[len + 1] = '\0';
    }
}

void platformUserDataDirectory(char* out, int32_t cap) {
    // A relative XDG_DATA_HOME is invalid by the base-directory rules and is ignored.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    size_t len = xdg ? std::strlen(xdg) : 0;
    if (len > 0 && xdg[0] == '/' && (int32_t)len + 2 <= cap) {
        std::memcpy(out, xdg, len + 1);
        if (out[len - 1] != '/') {
            out[len] = '/';
            out[len + 1] = '\0';
        }
        return;
    }
    platformHomeDirectory(out, cap);
    size_t home = std::strlen(out);
    if ((int32_t)(home + std::strlen(".local/share/")) < cap) std::strcat(out, ".local/share/");
}

int32_t platformOpenRegularFile(const char* path, int64_t* size, int32_t* error) {
    *size = 0;
    *error = 0;
    struct stat st;
    if (!path || !path[0] || stat(path, &st) != 0) {
        *error = path && path[0] ? errno : ENOENT;
        return -1;
    }
    if (S_ISDIR(st.st_mode)) return -3;
    if (!S_ISREG(st.st_mode)) return -2;  // opening a device may have effects of its own
    // Non-blocking, so that a FIFO put in its place meanwhile cannot stall the open; fstat decides.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return S_ISDIR(st.st_mode) ? -3 : -2;
    }
    *size = (int64_t)st.st_size;
    return fd;
}

int64_t platformReadFile(int32_t handle, void* buffer, int64_t count, int32_t* error) {
    for (;;) {
        ssize_t n = read(handle, buffer, (size_t)count);
        if (n >= 0) return (int64_t)n;
        if (errno == EINTR) continue;
        *error = errno;
        return -1;
    }
}

void platformCloseFile(int32_t handle) {
    if (handle >= 0) close(handle);
}


extern char** environ;

int32_t platformSpawn(const char* program, const char* const* argv, int32_t* pid) {
    *pid = -1;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0) return ENOMEM;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return ENOMEM;
    }
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // The caller's sockets and device descriptors (X, GL) stay out of the child.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t child = -1;
    int result = posix_spawn(&child, program, &actions, &attributes, const_cast<char* const*>(argv), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) return result;
    *pid = (int32_t)child;
    return 0;
}

int32_t platformWaitChild(int32_t pid, int32_t timeoutMs, int32_t* code) {
    *code = 0;
    if (pid <= 0) return -1;
    const uint64_t deadline = platformCounter() + (uint64_t)(timeoutMs > 0 ? timeoutMs : 0) * 1000000ull;
    // A process descriptor wakes the wait the moment the child ends; without one (kernels before
    // 5.3), short sleeps poll for it.
    int processFd = -1;
#if defined(SYS_pidfd_open)
    processFd = (int)syscall(SYS_pidfd_open, (pid_t)pid, 0);
#endif
    int32_t pauseMs = 1;
    for (;;) {
        int status = 0;
        pid_t r = waitpid((pid_t)pid, &status, WNOHANG);
        if (r == (pid_t)pid) {
            if (processFd >= 0) close(processFd);
            if (WIFEXITED(status)) {
                *code = WEXITSTATUS(status);
                return 0;
            }
            *code = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            return 1;
        }
        if (r < 0 && errno != EINTR) {
            if (processFd >= 0) close(processFd);
            return -1;
        }
        uint64_t now = platformCounter();
        if (now >= deadline) {
            kill((pid_t)pid, SIGKILL);
            while (waitpid((pid_t)pid, &status, 0) < 0 && errno == EINTR) {
            }
            if (processFd >= 0) close(processFd);
            return 2;
        }
        if (processFd >= 0) {
            struct pollfd p;
            p.fd = processFd;
            p.events = POLLIN;
            p.revents = 0;
            uint64_t leftMs = (deadline - now + 999999ull) / 1000000ull;
            poll(&p, 1, leftMs > 1000 ? 1000 : (int)leftMs);
            continue;
        }
        // Short pauses first: most children end within milliseconds.
        platformSleep(pauseMs);
        if (pauseMs < 16) pauseMs *= 2;
    }
}

void platformLimitProcess(int32_t cpuSeconds, int64_t addressSpaceBytes) {
    struct rlimit limit;
    if (cpuSeconds > 0) {
        // SIGXCPU at the soft limit, SIGKILL a second later should it be caught.
        limit.rlim_cur = (rlim_t)cpuSeconds;
        limit.rlim_max = (rlim_t)cpuSeconds + 1;
        setrlimit(RLIMIT_CPU, &limit);
    }
    if (addressSpaceBytes > 0) {
        limit.rlim_cur = limit.rlim_max = (rlim_t)addressSpaceBytes;
        setrlimit(RLIMIT_AS, &limit);
    }
    limit.rlim_cur = limit.rlim_max = 0;
    setrlimit(RLIMIT_CORE, &limit);
}

bool platformConsoleOpen() { return isatty(STDIN_FILENO) == 1; }

int32_t platformConsoleReadByte() {
    struct pollfd p;
    p.fd = STDIN_FILENO;
    p.events = POLLIN;
    p.revents = 0;
    if (poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) return -1;
    unsigned char c;
    if (read(STDIN_FILENO, &c, 1) != 1) return -1;
    return c;
}

void platformAdviseHugePages(void* p, int64_t size) {
#if defined(MADV_HUGEPAGE)
    const uintptr_t huge = (uintptr_t)2 << 20;
    uintptr_t first = ((uintptr_t)p + huge - 1) & ~(huge - 1);
    uintptr_t end = ((uintptr_t)p + (uintptr_t)size) & ~(huge - 1);
    // Only advice: a kernel without transparent huge pages refuses it and nothing changes.
    if (end > first) (void)madvise((void*)first, end - first, MADV_HUGEPAGE);
#else
    (void)p;
    (void)size;
#endif
}

int64_t platformBlockSize(const void* p) { return (int64_t)malloc_usable_size((void*)p); }

// ---- Shell folders (XDG user directories) and desktop launchers ----
#include "system/shell.h"

static void xdgKey(const char* valueName, char* key, size_t cap) {
    static const struct {
        const char* from;
        const char* to;
    } aliases[] = {{"Personal", "DOCUMENTS"}, {"My Music", "MUSIC"}, {"My Pictures", "PICTURES"},
                   {"My Video", "VIDEOS"},   {"Downloads", "DOWNLOAD"}};
    const char* name = valueName;
    for (const auto& a : aliases)
        if (strcasecmp(valueName, a.from) == 0) name = a.to;
    size_t o = 0;
    o += (size_t)std::snprintf(key, cap, "XDG_");
    for (const char* p = name; *p && o + 6 < cap; p++)
        key[o++] = (char)((*p >= 'a' && *p <= 'z') ? *p - 'a' + 'A' : *p);
    std::snprintf(key + o, cap - o, "_DIR");
}

int32_t shellFolderPath(const char* valueName, char* out) {
    char home[2048];
    platformHomeDirectory(home, sizeof home);
    char file[4096];
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0])
        std::snprintf(file, sizeof file, "%s/user-dirs.dirs", config);
    else
        std::snprintf(file, sizeof file, "%s.config/user-dirs.dirs", home);
    std::FILE* f = std::fopen(file, "rb");
    if (!f) return 1;
    char key[256];
    xdgKey(valueName, key, sizeof key);
    size_t keyLen = std::strlen(key);
    char line[4096];
    int32_t result = 1;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, key, keyLen) != 0 || line[keyLen] != '=') continue;
        const char* v = line + keyLen + 1;
        if (*v == '"') v++;
        char value[2048];
        size_t o = 0;
        if (std::strncmp(v, "$HOME", 5) == 0) {
            size_t h = std::strlen(home);
            if (h > 1) h--;  // without its trailing '/', which the value supplies
            else h = 0;
            std::memcpy(value, home, h);
            o = h;
            v += 5;
        }
        for (; *v && *v != '"' && *v != '\n' && *v != '\r' && o < sizeof value - 1; v++) value[o++] = *v;
        value[o] = '\0';
        while (o > 1 && value[o - 1] == '/') value[--o] = '\0';
        std::memcpy(out, value, o + 1);
        result = 0;
        break;
    }
    std::fclose(f);
    return result;
}

int32_t createShortcut(const char* target, const char* valueName, const char* description,
                       const char* workingDirectory) {
    char folder[2048];
    if (shellFolderPath(valueName, folder) != 0) return -1;
    char path[4096];
    std::snprintf(path, sizeof path, "%s/us.desktop", folder);
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return -1;
    std::fprintf(f,
                 "[Desktop Entry]\nType=Application\nName=%s\nComment=%s\nExec=\"%s\"\nPath=%s\n"
                 "Terminal=false\n",
                 description, description, target, workingDirectory);
    int closed = std::fclose(f);
    chmod(path, 0755);
    return closed == 0 ? 0 : -1;
}

namespace {
volatile sig_atomic_t stopSignalled = 0;
void onStopSignal(int) { stopSignalled = 1; }
}  // namespace

void platformCatchStopSignals() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool platformStopSignalled() { return stopSignalled != 0; }
