// Helpers shared by the tests: temporary directories on disk and whole-file access.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A fresh directory under the system's temporary folder, removed with its contents on destruction.
// path() ends in the path separator, as every directory text of the engine does.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return dir; }
    // dir + name.
    std::string file(const std::string& name) const { return dir + name; }
    std::string dir;
};

// Writes bytes (or text) to a file, replacing it.
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void writeText(const std::string& path, const std::string& text);
// Reads a whole file; empty when it cannot be read.
std::vector<uint8_t> readBytes(const std::string& path);
// Little-endian 32-bit values in byte buffers, as the engine's files store them.
inline void putLe32(std::vector<uint8_t>& b, int32_t v) {
    for (int i = 0; i < 4; i++) b.push_back((uint8_t)((uint32_t)v >> (8 * i)));
}
inline int32_t getLe32(const std::vector<uint8_t>& b, size_t at) {
    return (int32_t)((uint32_t)b[at] | (uint32_t)b[at + 1] << 8 | (uint32_t)b[at + 2] << 16 | (uint32_t)b[at + 3] << 24);
}
// Every text of a string table, in order.
std::vector<std::string> stringTableTexts(int32_t table);
// The team's shared folder beside the checkout (samples, bench generator), or "" when absent.
std::string sharedDirectory();
// Writes FILE with the shared generator (gen_dae.py with FLAGS, in the 1.4.1 profile when v14);
// the generator's output, with *code its exit status.
std::string generateDocument(const std::string& shared, bool v14, const std::string& flags,
                             const std::string& file, int* code);
// The source tree (for fuzz corpora and assets).
std::string sourceDirectory();

// A child process started with extra environment variables ("NAME=value"); its output goes to the
// test's own output.
struct ChildProcess {
    int pid = -1;
};
ChildProcess startProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
// Waits up to timeoutMs; returns the exit code, or -1 on a signal or timeout (the child is killed).
int waitProcess(ChildProcess& child, int timeoutMs);
// True while the child runs.
bool processRunning(const ChildProcess& child);
// Runs a shell command and returns its standard output (trailing newline removed) and exit code.
std::string runCommand(const std::string& command, int* exitCode = nullptr);
// Runs the built vcvtool with the given arguments (shell words); standard output and error together.
std::string runVcvtool(const std::string& args, int* exitCode = nullptr);
// True when text contains part.
inline bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
// Path of a built program, relative to the build directory ("viewer/vcv").
std::string builtProgram(const std::string& relative);
// Points the importer's image converter at the vcvtool of this build.
void useBuiltImageConverter();
// Copies the viewer's baked data files (data/font.sff, data/font.stf, data/inter.stf and
// language/vorfre.txt, made by vcvbake beside the built vcv) into home's data/ and language/,
// creating them. home ends in the path separator.
void installViewerData(const std::string& home);
