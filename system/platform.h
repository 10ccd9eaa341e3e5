// The platform services under the system layer. Only system/platform_posix.cpp implements them;
// nothing outside system/ includes this header.
#pragma once
#include <cstdint>

// Full path of the running program into out (cap bytes). 0, or -1 when unknown or too long.
int32_t platformProgramPath(char* out, int32_t cap);
// Value of an environment variable, or null.
const char* platformEnv(const char* name);
// High-resolution counter: ticks per second (false when there is none) and the current count.
bool platformCounterFrequency(uint64_t* ticksPerSecond);
uint64_t platformCounter();
// Milliseconds since an arbitrary start, wrapping at 2^32.
uint32_t platformMilliseconds();
void platformSleep(int32_t milliseconds);
// Broken-down local time of now: year, month 1-12, day, hour, minute, second.
void platformLocalTime(int32_t out[6]);
// Seconds since the epoch for a local date and time (second, minute, hour, day, month 1-12, year).
int64_t platformCalendarTime(int32_t second, int32_t minute, int32_t hour, int32_t day, int32_t month,
                             int32_t year);
int64_t platformNowSeconds();

// File system.
bool platformPathExists(const char* path);
// Size of a regular file or directory entry, -1 when missing.
int64_t platformFileSize(const char* path);
int32_t platformMakeDirectory(const char* path);
int32_t platformRemoveDirectory(const char* path);
int32_t platformRemoveFile(const char* path);
// True when the path names a regular file (symbolic links followed).
bool platformIsRegularFile(const char* path);
// Renames a file, replacing the target. 0, or -1 (reason gets the system's words when not null).
int32_t platformRename(const char* from, const char* to, char* reason, int32_t cap);
// The system's words for the last failed call of this thread (errno), into reason.
void platformLastError(char* reason, int32_t cap);
// This process's id, and whether a process of that id still exists.
int32_t platformProcessId();
bool platformProcessAlive(int32_t pid);
// Directory listing: open (null when it cannot be read), next entry (false at the end), close.
void* platformDirOpen(const char* dir);
bool platformDirNext(void* handle, char* name, int32_t cap, bool* isDirectory);
void platformDirClose(void* handle);
// Fills up to max drive roots (each ending in '/') with their types; returns the count.
int32_t platformDrives(char (*roots)[2048], uint8_t* types, int32_t max);
// The user's home directory with a trailing '/', or "/" when unknown.
void platformHomeDirectory(char* out, int32_t cap);
// The user's directory for application data with a trailing '/': $XDG_DATA_HOME when it is an
// absolute path, else the home directory's .local/share/.
void platformUserDataDirectory(char* out, int32_t cap);

// Opens a file for reading only when it is a regular file, without blocking on a FIFO and without
// opening what stat already shows to be a directory, device or FIFO. A handle >= 0 with *size,
// -1 when it cannot be opened (*error: the system's error number), -2 when it is not a regular file,
// -3 when it is a directory.
int32_t platformOpenRegularFile(const char* path, int64_t* size, int32_t* error);
// Reads up to count bytes; the bytes read (0 at the end), or -1 (*error set).
int64_t platformReadFile(int32_t handle, void* buffer, int64_t count, int32_t* error);
void platformCloseFile(int32_t handle);

// Processes. Starts program with argv (null-terminated; argv[0] as given), standard input, output
// and error on the null device, no other descriptor inherited, signal mask and dispositions reset.
// 0 with *pid, or the system's error number when it cannot be started.
int32_t platformSpawn(const char* program, const char* const* argv, int32_t* pid);
// Waits for a spawned child at most timeoutMs, then kills it. 0 when it exited (*code: its exit
// status), 1 when a signal ended it (*code: the signal), 2 when it was killed after the timeout,
// -1 when it cannot be waited for.
int32_t platformWaitChild(int32_t pid, int32_t timeoutMs, int32_t* code);
// Limits the running process: CPU seconds and address-space bytes (0 leaves a limit as it is);
// core files are turned off.
void platformLimitProcess(int32_t cpuSeconds, int64_t addressSpaceBytes);
// From now on SIGINT and SIGTERM only set a flag, which platformStopSignalled reports.
void platformCatchStopSignals();
bool platformStopSignalled();

// Console: whether standard input is a terminal that can be polled, and one byte without blocking
// (-1 when none is waiting).
bool platformConsoleOpen();
int32_t platformConsoleReadByte();

// Advises huge pages for the whole 2 MiB pages inside [p, p + size), when the system has them.
void platformAdviseHugePages(void* p, int64_t size);
// Size of a heap block from malloc.
int64_t platformBlockSize(const void* p);
