// The viewer's one persisted setting: the directory in which the file browser opens ("vcv.cfg",
// exactly 2048 bytes, the buffer verbatim).
#pragma once
#include <cstdint>

enum { CONFIG_SIZE = 2048 };
extern char browseDirectory[CONFIG_SIZE];

// Sets the default (the home directory, else "/"), then copies the first 2048 bytes of
// saveDirectory + "vcv.cfg" over it when the file holds at least that many (no more is read). The
// text is kept terminated within the buffer whatever the file holds.
void loadViewerConfig();
// The default alone: the home directory, else "/".
void resetBrowseDirectory();
// Writes the 2048 bytes as saveDirectory + "vcv.cfg" through a temporary file and a rename. 0, or
// -1 with a message on standard error (the old file unchanged).
int32_t saveViewerConfig();
