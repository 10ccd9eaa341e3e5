#include "system/messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "system/files.h"
#include "system/platform.h"

namespace {
struct MessageState {
    char lastShown[1024] = "";
    uint64_t lastShownAt = 0;
    bool shownOnce = false;
};
MessageState messages;
}  // namespace

void printMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fflush(stdout);
}

void showMessage(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    uint64_t now = platformCounter();
    // A message raised every frame would flood the terminal; one line per second carries it.
    if (messages.shownOnce && std::strcmp(text, messages.lastShown) == 0 &&
        now - messages.lastShownAt < 1000000000ull)
        return;
    std::memcpy(messages.lastShown, text, sizeof text);
    messages.lastShownAt = now;
    messages.shownOnce = true;
    std::fprintf(stderr, "VORTEN: %s\n", text);
    std::fflush(stderr);
}

void clearLogFile(const char* name) {
    if (!fileExistsIn(name, logDirectory)) return;
    writeWholeFile(name, logDirectory, "", 0);
}

void writeLogLine(const char* name, int32_t append, const char* format, ...) {
    char path[PATH_CAPACITY];
    if (!fileExistsIn(name, logDirectory)) makeDirectories(logDirectory);
    if (joinPath(path, logDirectory, name) != 0) return;
    std::FILE* f = std::fopen(path, append ? "ab" : "wb");
    if (!f) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(f, format, args);
    va_end(args);
    std::fputs("\r\n", f);
    std::fclose(f);
}
