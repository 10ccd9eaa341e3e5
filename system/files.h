// Files, paths and data directories. Every file is named by a directory text (ending in PATH_SEP)
// and a name, joined by plain concatenation. Texts for paths are PATH_CAPACITY bytes; an operation
// whose result would not fit leaves an empty text (which names no file) or its output untouched, as
// each comment says, and never writes past the buffer.
#pragma once
#include <cstdint>

#define PATH_SEP '/'
#define PATH_SEP_TEXT "/"
enum { PATH_CAPACITY = 2048 };

// The data directories, filled by findProgramDirectory; each ends in PATH_SEP.
extern char programDirectory[PATH_CAPACITY];
extern char dataDirectory[PATH_CAPACITY];
extern char languageDirectory[PATH_CAPACITY];
extern char saveDirectory[PATH_CAPACITY];
extern char screenshotsDirectory[PATH_CAPACITY];
extern char updateDirectory[PATH_CAPACITY];
extern char logDirectory[PATH_CAPACITY];
// The read-only data of an installed copy (<prefix>/share/vcv/, laid out as the program directory:
// data/, language/), or "" when the program runs from its build tree or under VCV_HOME.
extern char sharedDataDirectory[PATH_CAPACITY];

// Name of the last entry accepted by findFirst / findNext.
extern char foundName[PATH_CAPACITY];

// Drive list of the file browser: "/" and the home directory (fixed), then mounted volumes.
enum { MAX_DRIVES = 26 };
enum { DRIVE_NO_ROOT = 0, DRIVE_UNKNOWN = 1, DRIVE_REMOVABLE = 2, DRIVE_FIXED = 3, DRIVE_REMOTE = 4,
       DRIVE_CDROM = 5, DRIVE_RAMDISK = 6 };
struct DriveList {
    int32_t count;
    char roots[MAX_DRIVES][PATH_CAPACITY];  // each ends in PATH_SEP
    uint8_t types[MAX_DRIVES];
};
extern DriveList driveList;

// out = dir + name (out may be dir). Returns 0, or -1 with out empty when the result would not fit.
int32_t joinPath(char* out, const char* dir, const char* name);

// Reads the file whole into a buffer (re)allocated with memAlloc to exactly its size. 0 on success;
// -1 when the file is missing, empty, unreadable or larger than 2 GiB - 1, with the buffer freed and
// null. size is the file size, 0 for an empty file, -1 when the file does not exist.
int32_t readWholeFile(const char* name, const char* dir, uint8_t** buffer, int32_t* size);
// Creates or truncates the file and writes size bytes. -1 when it cannot be created or written; a
// regular file that was not completely written is removed (errno keeps the reason), while a device
// such as /dev/full is left alone.
int32_t writeWholeFile(const char* name, const char* dir, const void* data, int32_t size);
// Writes the file through a temporary file beside it ("<name>.new"), renamed over the name only once
// every byte is written, so that a failure never leaves the old file damaged or a partial new one.
// 0, or -1 (the old file unchanged; reason, when not null, gets the system's words).
int32_t writeWholeFileAtomic(const char* name, const char* dir, const void* data, int32_t size, char* reason,
                             int32_t reasonCap);
// Reads at most capacity bytes from the start of the file into out. The bytes read, or -1 when it
// is not a regular file (a FIFO or device is never opened for reading) or cannot be opened; a file
// larger than capacity is not read further.
int32_t readFilePrefix(const char* name, const char* dir, void* out, int32_t capacity);
// Whether a path can be read as a document: FILE_READABLE, or why not.
enum { FILE_READABLE = 0, FILE_MISSING = 1, FILE_IS_DIRECTORY = 2, FILE_NOT_REGULAR = 3, FILE_UNREADABLE = 4 };
// One of the codes above; for FILE_UNREADABLE reason gets the system's words (cap bytes).
int32_t checkReadableFile(const char* path, char* reason, int32_t cap);
// 0 when a file can be created in the directory (one is made and removed again); otherwise -1 with
// the system's words in reason.
int32_t directoryWritable(const char* dir, char* reason, int32_t cap);
// The system's words for why the last file operation of this thread failed.
void lastFileError(char* reason, int32_t cap);
// Reads the source whole and writes it as the destination. -1 when the source cannot be read.
int32_t copyWholeFile(const char* dstName, const char* dstDir, const char* srcName, const char* srcDir);
// 0 when both files can be read and hold the same bytes; otherwise -1.
int32_t compareFiles(const char* nameA, const char* dirA, const char* nameB, const char* dirB);
// True when the file system has an entry (file or directory) of that path.
bool fileExists(const char* path);
bool fileExistsIn(const char* name, const char* dir);
// Size in bytes, or -1 when there is no such entry.
int64_t fileSize(const char* name, const char* dir);
// Removes the file. 0 or -1.
int32_t deleteFile(const char* name, const char* dir);

// Directory search with the wildcards '*' and '?', matched without regard to case; a pattern that
// ends in ".*" also matches names without a dot ("*.*" matches every entry). kind 0 = directories,
// 1 = files. Only one search is open at a time. 0 with foundName set, -1 when nothing (more) is found.
int32_t findFirst(const char* pattern, const char* dir, int32_t kind);
int32_t findNext();
// True when name matches the pattern by the rules above.
bool patternMatches(const char* pattern, const char* name);
// Deletes every file (not directory) matching the pattern.
void deleteMatching(const char* pattern, const char* dir);
int32_t countFiles(const char* pattern, const char* dir);
int32_t countDirectories(const char* pattern, const char* dir);
// deleteMatching("*.*", dir), then removes the directory. 0 or -1.
int32_t deleteDirectory(const char* dir);
// Creates each missing level of a path ending in PATH_SEP; failures are ignored.
void makeDirectories(const char* path);
// Fills programDirectory (VCV_HOME when set, else the directory of the running program), then
// createDataDirectories under it. An installed copy (a program whose directory has ../share/vcv/
// beside it) keeps its writable directories under the user's data directory instead
// ($XDG_DATA_HOME/vcv/, default ~/.local/share/vcv/) and sets sharedDataDirectory.
void findProgramDirectory();
// The directory to read the data file name from, into out: dir when it holds the file; else, when
// dir is dataDirectory or languageDirectory, its counterpart under sharedDataDirectory if that holds
// the file; else dir. Returns out.
const char* dataFileDirectory(const char* name, const char* dir, char* out);
// Fills the six data directory texts under programDir and creates each.
void createDataDirectories(const char* programDir);

// Path texts. out is PATH_CAPACITY bytes unless said otherwise.
// Text after the last dot (a dot at index 0 counts only when it is the only one); "" when none.
void fileExtension(char* out, const char* name);
// name without its last dot (above index 0) and what follows, plus "." ext when ext is not empty.
void replaceExtension(char* out, const char* name, const char* ext);
void stripExtension(char* out, const char* name);
// Text after the last separator ('/' or '\\'), or the whole path.
void fileNamePart(char* out, const char* path);
// Path up to and including its last separator; out untouched when there is none.
void directoryPart(char* out, const char* path);
// Number of separators - 1.
int32_t pathDepth(const char* path);
// The path up to, not including, its (n + 2)-th separator.
void pathPrefix(int32_t n, char* out, const char* path);
// The characters between the (n + 1)-th and the (n + 2)-th separator ("" when there are not so many).
void pathComponent(int32_t n, char* out, const char* path);
// File-browser navigation on a directory text ending in PATH_SEP: "." and ".." go up one level and
// stop at the root (a path of at most two characters, or one without a separator before its last
// component, stays as it is); any other name is appended with PATH_SEP. Returns 0, or -1 when the
// result would not fit (path unchanged).
int32_t enterDirectory(const char* name, char* path);

// Fills driveList.
void listDrives();
// Index of the drive-list entry whose root is the longest prefix of path, or -1.
int32_t driveIndex(const char* path);

// Rewrites the file scrambled: key byte K, step byte S, then plain[i] ^ (K + i*S) mod 256.
// 0, or -1 when the file cannot be read or written.
int32_t scrambleFile(const char* name, const char* dir);
// Undoes the scrambling in place; returns 2, the offset of the plain bytes (size < 2: nothing done).
int32_t unscrambleBlob(uint8_t* buffer, int32_t size);
