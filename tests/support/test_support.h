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
// The team's shared folder beside the checkout (samples, bench generator), or "" when absent.
std::string sharedDirectory();
// The source tree (for fuzz corpora and assets).
std::string sourceDirectory();
