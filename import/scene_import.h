// The importer's entry point: one COLLADA document becomes one node tree of the object model, with
// its objects, meshes, materials and textures, under a single root.
#pragma once
#include <libxml/tree.h>

#include <cstdint>

// Imports the document directory + fileName. The previous tree (previousRoot) is destroyed first.
// Images go to textureDirectory; messages ("Open %s.", "Done.", warnings, errors) are appended to
// the string table messages. Returns the new root node, or -1 (no file, not XML, a document that
// declares entities, no node).
int32_t importScene(int32_t previousRoot, const char* fileName, const char* documentDirectory,
                    const char* textureDirectory, int32_t messages);
// The same for a document held in memory; relative image URLs resolve against documentDirectory.
int32_t importSceneMemory(int32_t previousRoot, const uint8_t* data, int32_t size, const char* documentDirectory,
                          const char* textureDirectory, int32_t messages);
// The name (else the id) a node of the last import had in the document; "" for other nodes.
// Valid until the next import.
const char* importNodeName(int32_t node);

// Which reader read a document, and what its <asset> says.
enum : uint8_t { PROFILE_EARLY = 0, PROFILE_14 = 1, PROFILE_15 = 2 };
struct DocumentInfo {
    uint8_t profile;
    char version[32];  // the root's "version" attribute
    char upAxis;       // 'X', 'Y' or 'Z' as the document declares it; 0 when it declares none
    char upUsed;       // the axis the model was turned from onto +Z ('X' or 'Y'); 0: not turned
    float unitMeter;   // <unit meter>; 0 when absent
    char unitName[64];
};
// Told during an import how much of it is done (0 to 1, never going back), at the start of its
// stages and at most every 50 ms within them, so that a viewer can redraw its window meanwhile.
typedef void (*ImportProgressHook)(float done);
// Installs the hook for the imports that follow (nullptr: none).
void importSetProgressHook(ImportProgressHook hook);
// What the last import read (all zero when it read no document).
const DocumentInfo* importLastDocument();
// 'X', 'Y' or 'Z' overrides the up axis of every document imported from now on; 0 (or anything
// else) gives each document's own back. A later-profile document declaring none is Y up, an early
// one is not turned.
void importSetUpOverride(char axis);
