// The reader of COLLADA 1.4.x and 1.5 documents (library_* elements, visual scenes): fills the same
// workspace records as the early profile's reader; nothing of the object model is made here.
#pragma once
#include <libxml/tree.h>

// A library_geometries, whose geometries are read one by one (readLaterGeometry).
bool laterGeometryLibrary(const xmlNode* element);
// Reads one <geometry>: sources, vertices and its primitives.
void readLaterGeometry(const xmlNode* geometry);
// Reads one child of the document's root: the asset, geometries, controllers and library nodes at
// once; images, effects, materials, visual scenes and the <scene> are kept for the end.
void readLaterElement(const xmlNode* element);
// Reads what was kept: images, effects and materials, then the visual scene the <scene> names
// (the document's first when it names none it holds), which becomes a node record of its own with
// its nodes below. Cameras and lights are not read.
void finishLaterDocument();
// Drops what was kept without reading it (a document that turned out unusable).
void laterDocumentDiscard();
