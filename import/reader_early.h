// The reader of early-profile COLLADA documents (typed <library> elements, nodes under <scene>):
// fills the workspace records; nothing of the object model is made here.
#pragma once
#include <libxml/tree.h>

// A <library type="GEOMETRY">, whose geometries are read one by one (readEarlyGeometry).
bool earlyGeometryLibrary(const xmlNode* element);
// Reads one <geometry>: its sources, vertices and polygons elements.
void readEarlyGeometry(const xmlNode* geometry);
// Reads one child of the document's root: the asset, a library by its type, or the scene.
void readEarlyElement(const xmlNode* element);
// Reads every <node> of a <scene> (top-level nodes have an empty parent id).
void readScene(const xmlNode* scene);
// Reads a <node>, its transforms, instance and child nodes.
void readNode(const xmlNode* element, const char* parentId);
