// The file dialog: its own window on top of every other, with a title, a drop-down of the drives,
// the current directory, a list of sub-directories and matching files (case-insensitive order,
// directories in directoryColour, files in fileColour) with a scroll bar, a name field and accept /
// cancel buttons. Mode 1 picks a file, mode 0 a directory. The application fills the template, the
// title and the two button texts, creates the dialog and polls accepted / cancelled; on accept the
// results are in the template (resultName, resultDirectory), which outlives the dialog.
#pragma once
#include <cstdint>
#include <vector>

#include "system/files.h"

enum { FILE_DIALOG_PATTERN = 64 };

struct FileDialog {
    int32_t depth;         // depth inside its own window at which its routine runs
    uint8_t visible;       // 1 = active
    float x0, y0, x1, y1;  // the dialog window, canvas units
    uint8_t mode;          // 0 = pick a directory, 1 = pick a file
    char pattern[FILE_DIALOG_PATTERN];  // e.g. "*.dae"
    int32_t window;
    int32_t title, driveList, pathLabel, fileList, scrollBar, nameField, acceptButton, cancelButton;
    char directory[PATH_CAPACITY];       // current directory, ending in PATH_SEP
    char resultName[PATH_CAPACITY];      // written into the template at accept
    char resultDirectory[PATH_CAPACITY];
    uint8_t accepted;
    uint8_t cancelled;
};

// The template; also where accept writes its results.
extern FileDialog fileDialogTemplate;
// The texts of the title and the two buttons, which the dialog record has no room for: the
// application writes them before createFileDialog (copied into the widgets at creation).
extern char fileDialogTitle[256];
extern char fileDialogAcceptText[256];
extern char fileDialogCancelText[256];

void fileDialogsInit();
void fileDialogsShutdown();
// Appends the depths in 0 .. maxDepth of the dialogs whose window this is.
void fileDialogDepths(int32_t window, int32_t maxDepth, std::vector<int32_t>* depths);

// A dialog from the template in a new window one layer above the top one.
int32_t createFileDialog();
// Frees its window (and so every child widget), then the dialog.
int32_t freeFileDialog(int32_t dialog);
FileDialog* fileDialogGet(int32_t dialog);
// The files a dialog lists for the pattern in dir, in its order (hidden names left out), as a new
// string table that the caller destroys.
int32_t fileDialogFiles(const char* pattern, const char* dir);
// Refills the list (directories, then matching files; scrolled to the top, nothing selected) and
// the directory label.
void refreshFileDialog(int32_t dialog);
// The per-frame routine for the dialogs of (window, depth): drive picked, selection changed,
// double click, accept, cancel. A name or directory too long for the results refuses the accept.
void drawFileDialogs(int32_t window, int32_t depth);
