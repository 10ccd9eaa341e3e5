// The user's shell folders and desktop launchers.
#pragma once
#include <cstdint>

// Path of a user folder by its name ("Desktop", "Documents", "Music", "Pictures", "Videos",
// "Download", ...; the Windows names "Personal", "My Music", "My Pictures" and "My Video" are
// understood too) from the XDG user-dirs file, with $HOME expanded and no trailing separator.
// 0 on success; 1 when the file or the entry is missing (out untouched). out holds 2048 bytes.
int32_t shellFolderPath(const char* valueName, char* out);
// Writes a desktop launcher "us.desktop" into that shell folder. 0, or -1 when the folder is unknown
// or the file cannot be written.
int32_t createShortcut(const char* target, const char* valueName, const char* description,
                       const char* workingDirectory);
