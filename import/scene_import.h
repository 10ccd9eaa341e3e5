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
// Reads every <node> of a <scene> (top-level nodes have an empty parent id).
void readScene(const xmlNode* scene);
// Reads a <node>, its transforms, instance and child nodes.
void readNode(const xmlNode* element, const char* parentId);
// Applies a node record's transforms to its node (translate and scale: the last wins; rotations
// multiply in document order), then its children's.
void applyTransforms(int32_t record);
