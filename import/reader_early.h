// The reader of early-profile COLLADA documents (typed <library> elements, nodes under <scene>):
// fills the workspace records; nothing of the object model is made here.
#pragma once
#include <libxml/tree.h>

// Reads the asset, every library by its type, and the scene.
void readEarlyDocument(const xmlNode* root);
// Reads every <geometry> of a GEOMETRY library: sources, vertices and polygons elements.
void readGeometryLibrary(const xmlNode* library);
// Reads every <node> of a <scene> (top-level nodes have an empty parent id).
void readScene(const xmlNode* scene);
// Reads a <node>, its transforms, instance and child nodes.
void readNode(const xmlNode* element, const char* parentId);
