// The reader of COLLADA 1.4.x and 1.5 documents (library_* elements, visual scenes): fills the same
// workspace records as the early profile's reader; nothing of the object model is made here.
#pragma once
#include <libxml/tree.h>

// Reads the asset, images, effects and materials, geometries, controllers, library nodes and the
// visual scene the <scene> instantiates (the document's first one when it names none it holds).
// That visual scene becomes a node record of its own with its nodes below; cameras and lights are
// not read.
void readLaterDocument(const xmlNode* root);
