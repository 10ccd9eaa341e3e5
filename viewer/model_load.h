// Loading a model into the viewer: the import itself, and the three-frame loading sequence that a
// pick in the file dialog (or a model on the command line) starts, so that the loading message is
// on screen for one frame before the import runs.
#pragma once
#include <cstdint>

// Replaces the shown model by the document directory + name: the old copy leaves the scene, the
// image-import directory is emptied, the document is imported (its messages are printed), the
// converted images are packed, the tree is updated (bounds, textures) and shown fitted and centred.
// Errors and warnings go to standard error, the other messages to standard output. 0, or -1 when
// the document gives no model (none is shown then).
int32_t importModel(const char* name, const char* directory);
// Starts the loading sequence for directory + name: loading step 0 now (the loading box is drawn),
// the import at step 1, done at 2. -1 (nothing started) when a text does not fit.
int32_t startModelLoad(const char* name, const char* directory);
// startModelLoad for a path given on the command line: a path without a directory part is taken
// relative to the working directory, and the directory becomes the browse directory, as a pick in
// the file dialog makes it. -1 when the path does not fit.
int32_t requestModelLoad(const char* path);
// What a user must be told about the last import, for the message box, or "" when all went well:
// the first error of an import that gave no model, else the images that could not be used.
void importProblems(int32_t result, char* out, int32_t cap);
// Advances the loading sequence by one frame (called once per frame from the screens). 1 when this
// frame imported a model, -1 when its import gave none, 0 otherwise.
int32_t serviceModelLoad();
// True while a loading sequence runs.
bool modelLoadPending();
// The document of the last loading sequence started (its name and directory), "" before the first.
const char* modelLoadName();
const char* modelLoadDirectory();
